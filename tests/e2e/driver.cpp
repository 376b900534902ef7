#include "tests/e2e/driver.h"

#include "tests/common/message_pump.h"

#include <algorithm>

#ifndef AUTHCLIENT_EXE_PATH
#error "AUTHCLIENT_EXE_PATH must name the AuthClient.exe under test"
#endif

namespace e2e {

namespace {

// A message to a window of another process that cannot hang the test.
LRESULT send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 10000, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

std::string window_text(HWND window) {
    char text[2048] = {};
    send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

} // namespace

std::string program_path() {
    return test::windows_path(AUTHCLIENT_EXE_PATH);
}

HWND client_process::main_window(DWORD timeout_ms) const {
    HWND found = nullptr;
    test::pump_until(
        [&] {
            found = test::window_of(id(), MAIN_WINDOW_CLASS);
            return found != nullptr || !running();
        },
        timeout_ms);
    return found;
}

bool checked(HWND main, int id) {
    return send(GetDlgItem(main, id), BM_GETCHECK) == BST_CHECKED;
}

std::string control_text(HWND main, int id) {
    return window_text(GetDlgItem(main, id));
}

void click(HWND main, int id) {
    send(GetDlgItem(main, id), BM_CLICK);
}

LRESULT end_session(HWND main, bool ending) {
    const LRESULT answer = send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    send(main, WM_ENDSESSION, ending, ENDSESSION_LOGOFF);
    return answer;
}

std::optional<int> coloured_globe_pixels(HWND main) {
    RECT r;
    if (!GetWindowRect(GetDlgItem(main, IDC_PICTURE), &r))
        return std::nullopt;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 3 || height <= 0)
        return std::nullopt;
    // Another program's window (a message box of a test running beside this one) may cover it.
    const int left = r.left + width * 2 / 3;
    for (const POINT p :
         {POINT{left, r.top}, POINT{r.right - 1, r.top}, POINT{left, r.bottom - 1},
          POINT{r.right - 1, r.bottom - 1}, POINT{(left + r.right) / 2, (r.top + r.bottom) / 2}})
        if (GetAncestor(WindowFromPoint(p), GA_ROOT) != main)
            return std::nullopt;

    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<int> count;
    if (bitmap && bits) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
            GdiFlush();
            const auto* pixels = static_cast<const unsigned char*>(bits);
            int coloured = 0;
            for (int y = 0; y < height; ++y)
                for (int x = width * 2 / 3; x < width; ++x) {
                    const unsigned char* p = pixels + (static_cast<std::size_t>(y) * width + x) * 4;
                    const int high = std::max({p[0], p[1], p[2]});
                    const int low = std::min({p[0], p[1], p[2]});
                    coloured += high - low > 60;
                }
            count = coloured;
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

} // namespace e2e
