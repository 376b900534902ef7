#include "ui/dpi.h"

#include "ui/picture_scale.h"

#include <initializer_list>

namespace {

// A user32 function that older Windows lack; null there.
template <class Function> Function user32_function(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleA("user32.dll"), name);
    // Through the generic function type, which any function pointer converts to and from.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

using dpi_for_window_t = UINT(WINAPI*)(HWND);
using dpi_for_system_t = UINT(WINAPI*)();
using metrics_for_dpi_t = int(WINAPI*)(int, UINT);

UINT system_dpi() {
    const auto for_system = user32_function<dpi_for_system_t>("GetDpiForSystem");
    if (for_system)
        return for_system();
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

} // namespace

UINT window_dpi(HWND window) {
    const auto for_window = user32_function<dpi_for_window_t>("GetDpiForWindow");
    const UINT dpi = window && for_window ? for_window(window) : 0;
    return dpi ? dpi : system_dpi();
}

int metric_for_dpi(int index, UINT dpi) {
    const auto for_dpi = user32_function<metrics_for_dpi_t>("GetSystemMetricsForDpi");
    if (for_dpi)
        return for_dpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(system_dpi()));
}

HBITMAP load_picture(HINSTANCE instance, int picture, UINT dpi) {
    return LoadBitmapA(instance, MAKEINTRESOURCEA(picture_for_dpi(picture, dpi)));
}

void show_picture(HWND window, int control, HBITMAP picture) {
    if (!picture)
        return; // the static keeps what it shows
    const auto previous = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(
        window, control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
    // Also the template's own picture: the static loaded it but never releases it.
    if (previous && previous != picture)
        DeleteObject(previous);
}

void release_picture(HWND window, int control) {
    if (const auto shown = reinterpret_cast<HGDIOBJ>(
            SendDlgItemMessageA(window, control, STM_SETIMAGE, IMAGE_BITMAP, 0)))
        DeleteObject(shown);
}

HICON load_icon(HINSTANCE instance, int icon, int size) {
    return static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(icon), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void set_window_icons(HWND window, HINSTANCE instance, int icon, UINT dpi) {
    const struct {
        WPARAM kind;
        int metric;
    } icons[] = {{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}};
    for (const auto& wanted : icons) {
        const HICON loaded = load_icon(instance, icon, metric_for_dpi(wanted.metric, dpi));
        if (!loaded)
            continue;
        const auto previous = reinterpret_cast<HICON>(
            SendMessageA(window, WM_SETICON, wanted.kind, reinterpret_cast<LPARAM>(loaded)));
        if (previous && previous != loaded)
            DestroyIcon(previous);
    }
}

void release_window_icons(HWND window) {
    for (const WPARAM kind : {ICON_SMALL, ICON_BIG})
        if (const auto icon = reinterpret_cast<HICON>(SendMessageA(window, WM_SETICON, kind, 0)))
            DestroyIcon(icon);
}

UINT take_dpi_change(HWND window, WPARAM wparam, LPARAM lparam) {
    if (const auto* suggested = reinterpret_cast<const RECT*>(lparam))
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    PostMessageA(window, WM_DPI_FONTS, 0, 0);
    return LOWORD(wparam); // the same DPI for x and y
}
