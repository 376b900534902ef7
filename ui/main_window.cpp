#include "ui/main_window.h"

#include "app/application.h"
#include "auth/client.h"
#include "env/env.h"
#include "env/protector.h"
#include "res/resource.h"
#include "support/system_error.h"
#include "ui/dpi.h"
#include "ui/error_report.h"
#include "ui/message_window.h"
#include "ui/properties.h"
#include "ui/tray_icon.h"

#include <shellapi.h>

#include <exception>
#include <string>

namespace {

const char* const link_font_property = "AuthClient.LinkFont";

env::c_env& environment() {
    return *app->environment;
}

std::string setting(int key) {
    return environment().value(key).get_str();
}

bool is_login_type() {
    return environment().value(env::AUTH_TYPE).get_int() == env::type_login;
}

bool checked(HWND window, int id) {
    return IsDlgButtonChecked(window, id) == BST_CHECKED;
}

void enable(HWND window, int id, bool on) {
    EnableWindow(GetDlgItem(window, id), on);
}

// At most 253 characters, as typed.
std::string field_text(HWND window, int id) {
    char text[254] = {};
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

int picture_for(int state) {
    return state == auth::authorised ? IDB_CONNECTED : IDB_DISCONNECTED;
}

int tray_icon_for(int state) {
    return state == auth::authorised ? IDI_GLOBE
           : state == auth::error    ? IDI_GLOBE_ERROR
                                     : IDI_GLOBE_GREY;
}

void apply_login_rule(HWND window) {
    enable(window, IDC_LOGIN_LABEL, is_login_type());
    enable(window, IDC_LOGIN, is_login_type());
}

// A copy of the control's font (or a stock one) with the underline flag; again after a DPI
// change, when the system has given the link the plain font for the new DPI.
void underline_link(HWND window) {
    const HWND link = GetDlgItem(window, IDC_LINK);
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(link, WM_GETFONT, 0, 0));
    if (!font)
        font = GetStockObject(DEFAULT_GUI_FONT);
    if (!font)
        font = GetStockObject(ANSI_VAR_FONT);
    LOGFONTA description{};
    if (!font || !GetObjectA(font, sizeof description, &description))
        return;
    description.lfUnderline = TRUE;
    const HFONT underlined = CreateFontIndirectA(&description);
    SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(underlined), FALSE);
    const HANDLE earlier = GetPropA(window, link_font_property);
    SetPropA(window, link_font_property, underlined); // released when the window goes
    if (earlier)
        DeleteObject(earlier);
}

// The badge and the window's icons as drawn for `dpi`; the template has the 100 % badge.
void show_art(HWND window, UINT dpi) {
    show_picture(window, IDC_BADGE, load_picture(app->instance, IDB_WARNING, dpi));
    set_window_icons(window, app->instance, IDI_APP, dpi);
}

void on_create(HWND window) {
    app->environment = std::make_unique<env::c_env>(window);
    app->tray_icon = std::make_unique<c_tray_icon>(window);
    app->client = std::make_unique<auth::c_client>(*app->environment);

    const std::string caption = setting(env::APP_CAPTION);
    SetWindowTextA(window, caption.c_str());
    app->tray_icon->add(IDI_GLOBE_GREY, caption.c_str(), 0);
    environment().tray_menu = LoadMenuA(app->instance, MAKEINTRESOURCEA(IDM_TRAY));
    apply_login_rule(window);
    CheckDlgButton(window, IDC_SAVE,
                   environment().value(env::AUTH_SAVE).get_int() != 0 ? BST_CHECKED
                                                                      : BST_UNCHECKED);
    env::c_protector protector;
    protector.read_volume_key();
    if (is_login_type())
        SetDlgItemTextA(window, IDC_LOGIN,
                        protector.unprotect(setting(env::AUTH_LOGIN).c_str()).c_str());
    SetDlgItemTextA(window, IDC_PASSWORD,
                    protector.unprotect(setting(env::AUTH_PASSWD).c_str()).c_str());
    CheckDlgButton(window, IDC_AUTOSTART,
                   setting(env::AuthClient).empty() ? BST_UNCHECKED : BST_CHECKED);
    underline_link(window);
    show_art(window, window_dpi(window));
}

// What the user is told of a failure, without the line break that ends a system text.
std::string failure_text() {
    std::string text = app->client ? app->client->failure_text() : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The tray icon for `state` (added anew after Explorer restarted). In `error` its tip also says
// why access is closed, and when an error episode begins a balloon says it once.
void show_tray(int state, DWORD command, bool episode_begins = false) {
    if (!app->tray_icon)
        return;
    const std::string caption = setting(env::APP_CAPTION);
    const std::string why = state == auth::error ? failure_text() : std::string();
    const std::string tip = why.empty() ? caption : caption + "\n" + why;
    const int tip_bytes = why.empty() ? c_tray_icon::tip_limit : c_tray_icon::long_tip_limit;
    if (command == NIM_ADD)
        app->tray_icon->add(tray_icon_for(state), tip.c_str(), 0, tip_bytes);
    else
        app->tray_icon->modify(tray_icon_for(state), tip.c_str(), 0, tip_bytes);
    if (episode_begins && !why.empty())
        app->tray_icon->warn(0, caption.c_str(), why.c_str());
}

bool badge_shown(HWND window) {
    return (GetWindowLongPtrA(GetDlgItem(window, IDC_BADGE), GWL_STYLE) & WS_VISIBLE) != 0;
}

// A control that a state change disabled would leave the window without keyboard focus.
void move_focus_from_disabled(HWND window, HWND focus) {
    if (!focus || GetParent(focus) != window || IsWindowEnabled(focus))
        return;
    const HWND next = GetNextDlgTabItem(window, focus, FALSE);
    if (next && next != focus && IsWindowEnabled(next))
        SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    else
        SetFocus(window);
}

void show_state(HWND window, int state) {
    show_picture(window, IDC_PICTURE,
                 load_picture(app->instance, picture_for(state), window_dpi(window)));

    // The badge still shows the state before: an error episode begins when it is not up yet.
    show_tray(state, NIM_MODIFY, state == auth::error && !badge_shown(window));

    const bool running = state == auth::error || state == auth::authorised;
    const bool editable = !running && state != auth::busy;
    const HWND focus = GetFocus(); // disabling it drops the focus
    enable(window, IDC_CONNECT, editable);
    enable(window, IDC_DISCONNECT, running);
    enable(window, IDC_PROPERTIES, editable);
    if (is_login_type())
        enable(window, IDC_LOGIN, editable);
    enable(window, IDC_PASSWORD, editable);
    move_focus_from_disabled(window, focus);

    const HCURSOR cursor = LoadCursorA(nullptr, state == auth::busy ? IDC_WAIT : IDC_ARROW);
    SetClassLongPtrA(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
    POINT at;
    if (GetCursorPos(&at)) { // a nudge, so the new cursor shows at once
        SetCursorPos(at.x + 1, at.y);
        SetCursorPos(at.x, at.y);
    }
    ShowWindow(GetDlgItem(window, IDC_BADGE), state == auth::error ? SW_SHOW : SW_HIDE);
}

// `at_logon`: the start-up's "--connect", which waits for the network rather than failing
// at once.
void connect(HWND window, bool at_logon) {
    if (is_login_type())
        environment().login = field_text(window, IDC_LOGIN);
    environment().password = field_text(window, IDC_PASSWORD);
    environment().save_credentials(checked(window, IDC_SAVE));
    app->client->start(at_logon);
}

void on_command(HWND window, int id, LPARAM control) {
    switch (id) {
    case IDC_CONNECT:
        // A click comes from the button and names it; the start-up's "--connect" sends the
        // command without a control.
        connect(window, control == 0);
        break;
    case IDC_DISCONNECT:
        app->client->stop(0);
        break;
    case IDC_SAVE:
        environment().save_credentials(checked(window, IDC_SAVE));
        break;
    case IDC_PROPERTIES:
        show_properties(window);
        apply_login_rule(window); // AUTH_TYPE may have changed
        break;
    case IDCANCEL:
        EndDialog(window, 1); // hides the window; the program goes on in the notification area
        break;
    }
}

bool over_link(HWND window, LPARAM lparam) {
    POINT at{LOWORD(lparam), HIWORD(lparam)};
    ClientToScreen(window, &at);
    RECT link;
    GetWindowRect(GetDlgItem(window, IDC_LINK), &link);
    return PtInRect(&link, at) != FALSE;
}

void toggle_visibility(HWND window) {
    if (IsWindowVisible(window)) {
        ShowWindow(window, SW_HIDE);
        return;
    }
    SetFocus(window);
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_RESTORE);
    // Lifted above the others without staying on top.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void tray_menu(HWND window) {
    POINT at;
    GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    const int command = TrackPopupMenuEx(GetSubMenu(environment().tray_menu, 0),
                                         TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTALIGN, at.x,
                                         at.y, window, nullptr);
    // Without it the next menu may close as soon as it opens.
    PostMessageA(window, WM_NULL, 0, 0);
    if (command == IDM_EXIT)
        PostMessageA(window, WM_CLOSE, 0, 0);
    else if (command == IDM_SHOW)
        PostMessageA(window, c_tray_icon::callback_message, 0, WM_LBUTTONDOWN);
}

void on_tray(HWND window, LPARAM mouse) {
    if (mouse == WM_LBUTTONDOWN)
        toggle_visibility(window);
    else if (mouse == WM_RBUTTONDOWN)
        tray_menu(window);
}

void on_server_info(LPARAM info) {
    if (!show_server_message(app->instance, *reinterpret_cast<const auth::server_info*>(info)))
        EX_RAISE_IN(c_application::c_exception,
                    "'CreateDialog' failed.\n" + system_error_text(GetLastError()),
                    "INT_PTR DlgProcMain(HWND, UINT, WPARAM, LPARAM)");
}

// The window moved to a monitor of another scale: its size, pictures and icons for the new DPI,
// and the tray icon at the size the notification area now asks for.
void on_dpi_changed(HWND window, WPARAM wparam, LPARAM lparam) {
    const UINT dpi = take_dpi_change(window, wparam, lparam);
    const int state = app->client ? app->client->state() : auth::idle;
    show_picture(window, IDC_PICTURE, load_picture(app->instance, picture_for(state), dpi));
    show_art(window, dpi);
    show_tray(state, NIM_MODIFY);
}

// After the close (or the end of the session) the window no longer speaks for a client.
bool closed() {
    return !app->environment || !app->environment->main_window.load();
}

// The autostart command: the quoted path, so that Windows never tries a shorter path at a
// blank first.
std::string autostart_command() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return "\"" + std::string(path) + "\" --tray --connect";
}

// What closing the window does, once: at WM_CLOSE and at the end of the session, which
// leaves less time for the goodbye to the server.
void close_window(HWND window, int stop_wait_ms) {
    if (closed())
        return;
    cancel_properties(window);
    app->tray_icon->remove(0);
    DestroyMenu(environment().tray_menu);
    environment().tray_menu = nullptr;
    environment().save_credentials(checked(window, IDC_SAVE));
    if (checked(window, IDC_AUTOSTART))
        environment().value(env::AuthClient).set(autostart_command());
    else
        environment().value(env::AuthClient).remove();
    ShowWindow(window, SW_HIDE);
    // No more reports from the worker: the main thread is about to wait for it.
    environment().main_window = nullptr;
    app->client->stop(stop_wait_ms);
    PostQuitMessage(0);
}

// A throw half-way through creation: nothing of it may stay visible or running; the start-up
// reports the error once the window is gone.
void on_init(HWND window) {
    try {
        on_create(window);
    } catch (...) {
        app->start_failure = std::current_exception();
        if (app->environment) {
            app->environment->main_window = nullptr;
            DestroyMenu(app->environment->tray_menu);
            app->environment->tray_menu = nullptr;
        }
        if (app->tray_icon)
            app->tray_icon->remove(0);
        app->client.reset();
        DestroyWindow(window);
    }
}

// The notification area forgets every icon when Explorer restarts; it says so with this.
UINT taskbar_created() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

} // namespace

INT_PTR CALLBACK DlgProcMain(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            on_init(window);
            break;
        case WM_COMMAND:
            if (!closed()) // a click still queued at the close starts nothing
                on_command(window, LOWORD(wparam), lparam);
            break;
        case WM_SIZE:
            if (wparam == SIZE_MINIMIZED)
                ShowWindow(window, SW_HIDE);
            break;
        case WM_MOUSEMOVE:
            if (over_link(window, lparam))
                SetCursor(LoadCursorA(nullptr, IDC_HAND));
            break;
        case WM_LBUTTONDOWN:
            if (over_link(window, lparam))
                ShellExecuteA(window, "open", setting(env::LINK_PERSONAL).c_str(), nullptr, nullptr,
                              SW_SHOWNORMAL);
            break;
        case WM_CLOSE:
            close_window(window, 5000);
            break;
        case WM_QUERYENDSESSION:
            // Nothing to ask the user: the session may end.
            SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            // The system waits about 5 s for this before it offers to end the program.
            if (wparam)
                close_window(window, 3000);
            break;
        case WM_POWERBROADCAST:
            // Back from sleep: the session may have lapsed meanwhile.
            if ((wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) &&
                app->client && !closed())
                app->client->resumed();
            break;
        case auth::WM_CLIENT_STATE:
            show_state(window, static_cast<int>(lparam));
            break;
        case auth::WM_SERVER_INFO:
            on_server_info(lparam);
            break;
        case c_tray_icon::callback_message: // from the notification area, or the menu
            on_tray(window, lparam);
            break;
        case WM_DPICHANGED:
            on_dpi_changed(window, wparam, lparam);
            break;
        case WM_DPI_FONTS:
            underline_link(window);
            break;
        case WM_DESTROY:
            if (const HANDLE font = RemovePropA(window, link_font_property))
                DeleteObject(font);
            release_window_icons(window);
            release_picture(window, IDC_PICTURE);
            release_picture(window, IDC_BADGE);
            break;
        default:
            if (message == taskbar_created() && app->client && !closed())
                show_tray(app->client->state(), NIM_ADD);
        }
        return 0;
    });
}
