#include "ui/message_window.h"

#include "app/application.h"
#include "auth/messages.h"
#include "env/env.h"
#include "res/resource.h"
#include "support/text.h"
#include "ui/dpi.h"
#include "ui/error_report.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

struct gdi_deleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using unique_font = std::unique_ptr<std::remove_pointer_t<HFONT>, gdi_deleter>;
using unique_bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, gdi_deleter>;

// What a message window shows, what it created and must release when it goes, and the picture
// that its params chose, drawn again after a DPI change; kept in a window property, which also
// tells the message windows from other windows.
struct c_window_objects {
    auth::server_info message;
    unique_font bold;
    unique_bitmap picture;
    int chosen_picture = IDB_EMBLEM;
};

const char* const objects_property = "AuthClient.ServerMessage";

c_window_objects* objects_of(HWND window) {
    return static_cast<c_window_objects*>(GetPropA(window, objects_property));
}

bool same_message(const auth::server_info& a, const auth::server_info& b) {
    return a.header == b.header && a.data == b.data && a.params == b.params;
}

struct c_message_search {
    const auth::server_info* message;
    HWND found;
};

BOOL CALLBACK find_window_showing(HWND window, LPARAM search_data) {
    auto& search = *reinterpret_cast<c_message_search*>(search_data);
    const c_window_objects* objects = objects_of(window);
    if (objects && same_message(objects->message, *search.message)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

const env::c_env& environment() {
    if (!app || !app->environment)
        EX_RAISE(c_application::c_exception, "The settings are not available.");
    return *app->environment;
}

void place(HWND window) {
    RECT work_area{}, own{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work_area, 0);
    GetWindowRect(window, &own);
    const POINT corner = message_position(work_area, own);
    SetWindowPos(window, HWND_TOPMOST, corner.x, corner.y, 0, 0, SWP_NOSIZE);
}

void make_bold(HWND window, c_window_objects& objects) {
    auto font =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_GETFONT, 0, 0));
    if (!font)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (!font)
        font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
    LOGFONTA description{};
    if (!font || !GetObjectA(font, sizeof description, &description))
        return;
    description.lfWeight = FW_BOLD;
    unique_font bold(CreateFontIndirectA(&description));
    if (!bold)
        return;
    SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(bold.get()),
                        FALSE);
    objects.bold = std::move(bold);
}

void show_chosen_picture(HWND window, UINT dpi, c_window_objects& objects) {
    unique_bitmap picture(
        load_picture(app ? app->instance : GetModuleHandleA(nullptr), objects.chosen_picture, dpi));
    if (!picture)
        return;
    const auto previous = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(picture.get())));
    // The template's own image was loaded by the control, which does not release what it is
    // given back.
    if (previous && previous != picture.get() && previous != objects.picture.get())
        DeleteObject(previous);
    objects.picture = std::move(picture);
}

void fill(HWND window, const auth::server_info& info, c_window_objects& objects) {
    place(window);
    SetWindowTextA(window, environment().value(env::APP_CAPTION).get_str().c_str());
    SetDlgItemTextW(window, IDC_MESSAGE_TITLE,
                    utf8_to_utf16(info.header, message_header_units).c_str());
    make_bold(window, objects);
    SetWindowTextW(GetDlgItem(window, IDC_MESSAGE_TEXT),
                   utf8_to_utf16(info.data, message_data_units).c_str());
    objects.chosen_picture = message_picture(info.params);
    show_chosen_picture(window, window_dpi(window), objects);
}

} // namespace

int message_picture(const std::string& params) {
    long icon = 0;
    for (const std::string& piece : split(params, ";")) {
        const std::vector<std::string> pair = split(piece, "=");
        if (pair.size() == 2 && pair[0] == "icon")
            icon = std::strtol(pair[1].c_str(), nullptr, 10);
    }
    switch (icon) {
    case 1:
        return IDB_ROADWORKS;
    case 2:
        return IDB_MESSAGE_WARNING;
    default:
        return IDB_EMBLEM;
    }
}

POINT message_position(const RECT& work_area, const RECT& window) {
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    return POINT{work_area.right - width - 5, work_area.bottom - height - 8};
}

std::wstring utf8_to_utf16(const std::string& text, std::size_t buffer_units) {
    const std::size_t bytes = std::min<std::size_t>(std::strlen(text.c_str()), INT_MAX);
    if (buffer_units < 2 || bytes == 0)
        return {};
    const int length = static_cast<int>(bytes);
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
    if (wide.size() > buffer_units - 1) {
        wide.resize(buffer_units - 1);
        // Half of a surrogate pair is no character: the whole pair goes.
        if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF)
            wide.pop_back();
    }
    return wide;
}

INT_PTR CALLBACK DlgProcMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return guarded([&]() -> INT_PTR {
            static const auth::server_info nothing;
            const auto* info = reinterpret_cast<const auth::server_info*>(lparam);
            auto objects = std::make_unique<c_window_objects>();
            objects->message = info ? *info : nothing;
            if (!SetPropA(window, objects_property, objects.get()))
                return 0;
            c_window_objects& kept = *objects.release();
            fill(window, info ? *info : nothing, kept);
            return 0;
        });
    case WM_DPICHANGED: {
        const UINT dpi = take_dpi_change(window, wparam, lparam);
        if (c_window_objects* objects = objects_of(window))
            show_chosen_picture(window, dpi, *objects);
        return 0;
    }
    case WM_DPI_FONTS:
        if (c_window_objects* objects = objects_of(window))
            make_bold(window, *objects); // the system gave the title the plain font
        return 0;
    case WM_CLOSE:
        // A modeless window: destroyed, not just hidden, so that it releases what it holds.
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        // The control may show a copy of the picture it was given; that copy is ours too.
        if (const c_window_objects* objects = objects_of(window)) {
            const auto shown = reinterpret_cast<HBITMAP>(
                SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, 0));
            if (shown && shown != objects->picture.get())
                DeleteObject(shown);
        }
        return 0;
    case WM_NCDESTROY:
        // The controls are gone by now: nothing uses the font or the picture any more.
        delete static_cast<c_window_objects*>(RemovePropA(window, objects_property));
        return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    default:
        return 0;
    }
}

HWND show_server_message(HINSTANCE instance, const auth::server_info& message) {
    c_message_search search{&message, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), find_window_showing, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        // Raised but not activated: a notice repeated at every renewal must not take the
        // keyboard from the user each time.
        SetWindowPos(search.found, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return search.found;
    }
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MESSAGE), nullptr, DlgProcMessage,
                              reinterpret_cast<LPARAM>(&message));
}
