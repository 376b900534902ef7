// The main window built from the real template in this process and driven with messages: its
// state display, connect, the save box, close, hiding, the tray icon and menu, server messages;
// and the application object's single-instance guard.
#include "res/resource.h"
#include "ui/main_window.h"

#include "app/application.h"
#include "auth/client.h"
#include "authclient_version.h"
#include "env/env.h"
#include "tests/common/auth_server.h"
#include "tests/common/case_name.h"
#include "tests/common/process.h"
#include "tests/common/process_windows.h"
#include "tests/common/settings_registry.h"
#include "tests/common/window_recorder.h"
#include "tests/ui/icon_images.h"
#include "tests/ui/recording_shell.h"
#include "tests/ui/ui_fixture.h"
#include "ui/dpi.h"
#include "ui/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using test::protect;
using test::pump_until;
using test::shell_call;
using test::wait_quit;

const char* const already_running = "Клиент авторизации уже запущен.";

std::string own_path() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// The autostart command the window writes for this program.
std::string autostart_command() {
    return "\"" + own_path() + "\" --tray --connect";
}

std::vector<unsigned char> resource_pixels(int id) {
    const HBITMAP bitmap = LoadBitmapA(app->instance, MAKEINTRESOURCEA(id));
    std::vector<unsigned char> bits = test::pixels(bitmap);
    DeleteObject(bitmap);
    return bits;
}

// Top-level dialogs of this thread other than the main window (the message windows), topmost
// first.
BOOL CALLBACK collect_dialog(HWND window, LPARAM list) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
        test::window_class(window) == "#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> dialogs_of_this_thread() {
    std::vector<HWND> found;
    EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Takes a posted WM_QUIT off the queue; its exit code, or nothing when none was posted.
std::optional<WPARAM> take_quit() {
    MSG message;
    std::optional<WPARAM> code;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        code = message.wParam;
    return code;
}

// Parameterised cases print themselves by their `name`, which names their tests too.
template <class Case> auto operator<<(std::ostream& out, const Case& c) -> decltype(out << c.name) {
    return out << c.name;
}

class main_window_test : public test::settings_test {
protected:
    ~main_window_test() override;

    // Creates the main window from its template (hidden, as the start-up does) and puts the
    // recording seam behind its tray icon.
    HWND create() {
        window =
            CreateDialogParamA(app->instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DlgProcMain, 0);
        if (!window)
            return nullptr;
        app->tray_icon->remove(0); // the real one, added at creation
        app->tray_icon =
            std::make_unique<c_tray_icon>(window, std::make_unique<test::recording_shell>(shell));
        return window;
    }

    // The reference server with one account, and the settings pointing at it.
    void serve(const std::string& account) {
        server = std::make_unique<test_auth_server>(std::vector<std::string>{"--account", account});
        store(env::AUTH_SERVER, "127.0.0.1");
        store(env::AUTH_PORT, std::to_string(server->port()).c_str());
    }

    env::c_env& environment() const { return *app->environment; }

    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }
    bool has_visible_style(int id) const {
        return (GetWindowLongPtrA(GetDlgItem(window, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    bool visible() const { return IsWindowVisible(window) != FALSE; }
    bool is_checked(int id) const { return IsDlgButtonChecked(window, id) == BST_CHECKED; }
    void check(int id, bool on) const {
        CheckDlgButton(window, id, on ? BST_CHECKED : BST_UNCHECKED);
    }
    void type_into(int id, const std::string& text) const {
        SetDlgItemTextA(window, id, text.c_str());
    }
    std::string text_of(int id) const {
        char text[1024] = {};
        GetDlgItemTextA(window, id, text, sizeof text);
        return text;
    }
    // As a click: the control's identifier with BN_CLICKED, from the control itself.
    void command(int id) const {
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
    void report_state(int state) const {
        SendMessageA(window, auth::WM_CLIENT_STATE, 0, static_cast<LPARAM>(state));
    }
    void tray_mouse(UINT mouse) const {
        SendMessageA(window, c_tray_icon::callback_message, 0, static_cast<LPARAM>(mouse));
    }
    HCURSOR class_cursor() const {
        return reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
    }
    std::vector<unsigned char> picture() const {
        return test::pixels(reinterpret_cast<HBITMAP>(
            SendDlgItemMessageA(window, IDC_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0)));
    }

    // The last record handed to the shell, or null.
    const shell_call* last_notification() const {
        for (auto c = shell->calls.rbegin(); c != shell->calls.rend(); ++c)
            if (c->what == shell_call::notify)
                return &*c;
        return nullptr;
    }
    // The resource of the icon that the last record with an icon showed (0: none, -1: no
    // record); a balloon's record leaves the icon as it is.
    int tray_icon_shown() const {
        for (auto c = shell->calls.rbegin(); c != shell->calls.rend(); ++c)
            if (c->what == shell_call::notify && (c->record.uFlags & NIF_ICON))
                return shell->resource_of(c->record.hIcon);
        const shell_call* last = last_notification();
        return last ? shell->resource_of(last->record.hIcon) : -1;
    }

    // The client authorised and the window showing it.
    bool wait_authorised() {
        return pump_until(
            [&] {
                return app->client->state() == auth::authorised && tray_icon_shown() == IDI_GLOBE &&
                       enabled(IDC_DISCONNECT);
            },
            20000);
    }
    bool wait_idle() {
        return pump_until(
            [&] { return app->client->state() == auth::idle && enabled(IDC_CONNECT); }, 20000);
    }

    // The window created and authorised at the reference server, renewing every second.
    void connect_renewing_every_second() {
        serve("alice:secret");
        store(env::RECONNECT_PERIOD, "1");
        ASSERT_NE(create(), nullptr);
        type_into(IDC_LOGIN, "alice");
        type_into(IDC_PASSWORD, "secret");
        command(IDC_CONNECT);
        ASSERT_TRUE(wait_authorised());
    }

    // The server's next request record; fails the test when none comes in time.
    std::string request(DWORD timeout_ms = 15000) {
        std::optional<std::string> line;
        pump_until(
            [&] {
                line = server->next_request(0);
                return line.has_value();
            },
            timeout_ms);
        EXPECT_TRUE(line.has_value()) << "the server saw no request";
        return line.value_or("{}");
    }
    // Waits for a disconnect request, skipping the renewals before it.
    bool saw_disconnect() {
        for (int i = 0; i < 20; ++i) {
            const std::string r = request();
            if (r == "{}")
                return false;
            if (test_auth_server::bool_field(r, "disconnect"))
                return true;
        }
        return false;
    }

    std::shared_ptr<test::shell_log> shell = std::make_shared<test::shell_log>();
    std::unique_ptr<test_auth_server> server;
    HWND window = nullptr;
};

main_window_test::~main_window_test() {
    if (window) {
        // Let a running worker finish while the window still takes its reports.
        if (app->client && app->client->state() != auth::idle) {
            app->client->stop(0);
            wait_idle();
        }
        test::destroy_main_window(window);
    }
    for (HWND message_window : dialogs_of_this_thread())
        DestroyWindow(message_window);
    take_quit();
    EXPECT_TRUE(shell->live.empty()) << "tray icons left unreleased";
    EXPECT_TRUE(shell->released_twice_or_unknown.empty());
}

// --- creation ------------------------------------------------------------------------------

class main_window_creation_test : public main_window_test,
                                  public ::testing::WithParamInterface<int> {};

TEST_P(main_window_creation_test, fills_the_window_from_the_settings) {
    const int type = GetParam();
    store(env::AUTH_TYPE, std::to_string(type).c_str());
    store(env::AUTH_SAVE, "1");
    store(env::AUTH_LOGIN, protect("alice").c_str());
    store(env::AUTH_PASSWD, protect("secret").c_str());
    store(env::AuthClient, "C:\\Program Files\\AuthClient.exe --tray --connect");
    store(env::APP_CAPTION, "Тестовый клиент");
    ASSERT_NE(create(), nullptr);

    EXPECT_EQ(test::window_class(window), MAIN_WINDOW_CLASS);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Тестовый клиент");
    EXPECT_FALSE(visible()) << "the start-up decides whether to show it";
    EXPECT_EQ(environment().main_window.load(), window);

    EXPECT_EQ(text_of(IDC_LOGIN), type == env::type_login ? "alice" : "")
        << "the stored login is shown only for login identification";
    EXPECT_EQ(text_of(IDC_PASSWORD), "secret");
    EXPECT_EQ(enabled(IDC_LOGIN), type == env::type_login);
    EXPECT_EQ(enabled(IDC_LOGIN_LABEL), type == env::type_login);
    EXPECT_TRUE(is_checked(IDC_SAVE));
    EXPECT_TRUE(is_checked(IDC_AUTOSTART));

    // The idle display.
    EXPECT_EQ(picture(), resource_pixels(IDB_DISCONNECTED));
    EXPECT_FALSE(has_visible_style(IDC_BADGE));
    EXPECT_TRUE(enabled(IDC_CONNECT));
    EXPECT_FALSE(enabled(IDC_DISCONNECT));
    EXPECT_TRUE(enabled(IDC_PROPERTIES));
    EXPECT_TRUE(enabled(IDC_PASSWORD));
    EXPECT_EQ(class_cursor(), LoadCursorA(nullptr, IDC_ARROW));

    const HMENU menu = environment().tray_menu;
    ASSERT_TRUE(IsMenu(menu));
    EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 0), 0), static_cast<UINT>(IDM_SHOW));

    const auto font =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(window, IDC_LINK, WM_GETFONT, 0, 0));
    LOGFONTA link{};
    ASSERT_TRUE(GetObjectA(font, sizeof link, &link));
    EXPECT_TRUE(link.lfUnderline);
}

INSTANTIATE_TEST_SUITE_P(auth_types, main_window_creation_test, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "type" + std::to_string(info.param);
                         });

class main_window_autostart_test : public main_window_test,
                                   public ::testing::WithParamInterface<const char*> {};

// The quoted command written now and the unquoted one of earlier versions both tick the box.
TEST_P(main_window_autostart_test, either_form_of_the_command_ticks_the_box) {
    store(env::AuthClient, GetParam());
    ASSERT_NE(create(), nullptr);
    EXPECT_TRUE(is_checked(IDC_AUTOSTART));
}

INSTANTIATE_TEST_SUITE_P(forms, main_window_autostart_test,
                         ::testing::Values("\"C:\\Program Files\\AuthClient.exe\" --tray --connect",
                                           "C:\\Program Files\\AuthClient.exe --tray --connect"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param[0] == '"' ? "quoted" : "unquoted");
                         });

TEST_F(main_window_test, starts_empty_and_unchecked_without_saved_settings) {
    ASSERT_NE(create(), nullptr);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Клиент авторизации " AUTHCLIENT_VERSION);
    EXPECT_EQ(text_of(IDC_LOGIN), "");
    EXPECT_EQ(text_of(IDC_PASSWORD), "");
    EXPECT_FALSE(is_checked(IDC_SAVE));
    EXPECT_FALSE(is_checked(IDC_AUTOSTART));
    EXPECT_TRUE(enabled(IDC_LOGIN)) << "login identification is the default";
}

// --- state display -------------------------------------------------------------------------

struct state_view {
    int state;
    const char* name;
    int picture;
    bool badge;
    int tray_icon;
    bool connect, disconnect, properties, fields; // enabled
    bool wait_cursor;
};

const state_view state_views[] = {
    {auth::idle, "idle", IDB_DISCONNECTED, false, IDI_GLOBE_GREY, true, false, true, true, false},
    {auth::busy, "busy", IDB_DISCONNECTED, false, IDI_GLOBE_GREY, false, false, false, false, true},
    {auth::error, "error", IDB_DISCONNECTED, true, IDI_GLOBE_ERROR, false, true, false, false,
     false},
    {auth::authorised, "authorised", IDB_CONNECTED, false, IDI_GLOBE, false, true, false, false,
     false},
};

class main_window_state_test : public main_window_test,
                               public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(main_window_state_test, shows_the_state_whatever_came_before) {
    const int type = std::get<0>(GetParam());
    const state_view& view = state_views[std::get<1>(GetParam())];
    store(env::AUTH_TYPE, std::to_string(type).c_str());
    store(env::APP_CAPTION, "Тестовый клиент");
    ASSERT_NE(create(), nullptr);

    const auto expected_picture = resource_pixels(view.picture);
    ASSERT_FALSE(expected_picture.empty());
    ASSERT_NE(expected_picture,
              resource_pixels(view.picture == IDB_CONNECTED ? IDB_DISCONNECTED : IDB_CONNECTED));
    const HCURSOR expected_cursor = LoadCursorA(nullptr, view.wait_cursor ? IDC_WAIT : IDC_ARROW);

    for (const state_view& before : state_views) {
        SCOPED_TRACE(std::string("after ") + before.name);
        report_state(before.state);
        shell->calls.clear();
        report_state(view.state);

        EXPECT_EQ(picture(), expected_picture);
        EXPECT_EQ(has_visible_style(IDC_BADGE), view.badge);

        const shell_call* tray = last_notification();
        ASSERT_NE(tray, nullptr);
        EXPECT_EQ(tray->command, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(tray->record.uID, 0u);
        EXPECT_EQ(tray_icon_shown(), view.tray_icon);
        EXPECT_STREQ(tray->record.szTip, "Тестовый клиент");

        EXPECT_EQ(enabled(IDC_CONNECT), view.connect);
        EXPECT_EQ(enabled(IDC_DISCONNECT), view.disconnect);
        EXPECT_EQ(enabled(IDC_PROPERTIES), view.properties);
        EXPECT_EQ(enabled(IDC_PASSWORD), view.fields);
        EXPECT_EQ(enabled(IDC_LOGIN), type == env::type_login && view.fields);
        EXPECT_EQ(enabled(IDC_LOGIN_LABEL), type == env::type_login);
        EXPECT_TRUE(enabled(IDC_SAVE));
        EXPECT_TRUE(enabled(IDC_AUTOSTART));

        EXPECT_EQ(class_cursor(), expected_cursor);
    }
}

INSTANTIATE_TEST_SUITE_P(types_and_states, main_window_state_test,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::Values(0, 1, 2, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return "type" + std::to_string(std::get<0>(info.param)) + "_" +
                                    state_views[std::get<1>(info.param)].name;
                         });

struct focus_case {
    const char* name;
    int before; // the state shown while the control takes the focus
    int focused;
    int after;
    int expected; // where the focus is then
};

class main_window_focus_test : public main_window_test,
                               public ::testing::WithParamInterface<focus_case> {};

// The keyboard keeps working when the state disables the control that has the focus: it goes
// to the next control that takes input.
TEST_P(main_window_focus_test, a_disabled_control_passes_the_focus_on) {
    const focus_case& c = GetParam();
    ASSERT_NE(create(), nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    report_state(c.before);
    SetFocus(GetDlgItem(window, c.focused));
    ASSERT_EQ(GetFocus(), GetDlgItem(window, c.focused));

    report_state(c.after);

    EXPECT_EQ(GetDlgCtrlID(GetFocus()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(states, main_window_focus_test,
                         ::testing::Values(focus_case{"busy_after_connect", auth::idle, IDC_CONNECT,
                                                      auth::busy, IDC_SAVE},
                                           focus_case{"busy_after_typing", auth::idle, IDC_PASSWORD,
                                                      auth::busy, IDC_SAVE},
                                           focus_case{"idle_after_disconnect", auth::authorised,
                                                      IDC_DISCONNECT, auth::idle, IDC_PROPERTIES},
                                           focus_case{"still_enabled", auth::idle, IDC_AUTOSTART,
                                                      auth::busy, IDC_AUTOSTART}),
                         test::case_name());

// --- connect and the save box ---------------------------------------------------------------

class main_window_connect_test : public main_window_test,
                                 public ::testing::WithParamInterface<int> {};

TEST_P(main_window_connect_test, copies_the_fields_saves_them_and_the_client_gets_authorised) {
    const int type = GetParam();
    const bool by_login = type == env::type_login;
    serve(by_login ? "alice:secret" : ":secret");
    store(env::AUTH_TYPE, std::to_string(type).c_str());
    ASSERT_NE(create(), nullptr);
    environment().login = "earlier";
    type_into(IDC_LOGIN, "alice");
    type_into(IDC_PASSWORD, "secret");
    check(IDC_SAVE, true);

    command(IDC_CONNECT);

    const std::string login = by_login ? "alice" : "earlier";
    EXPECT_EQ(environment().login, login) << "the login field is read only for login type";
    EXPECT_EQ(environment().password, "secret");
    EXPECT_EQ(stored("AUTH_SAVE"), "1");
    EXPECT_EQ(stored("AUTH_LOGIN"), protect(login));
    EXPECT_EQ(stored("AUTH_PASSWD"), protect("secret"));

    ASSERT_TRUE(wait_authorised());
    const std::string first = request();
    if (by_login)
        EXPECT_EQ(test_auth_server::field(first, "login"), "alice");
    else
        EXPECT_TRUE(test_auth_server::is_null(first, "login"));
    EXPECT_EQ(picture(), resource_pixels(IDB_CONNECTED));
    EXPECT_FALSE(enabled(IDC_CONNECT));

    // The notification area came back (Explorer restarted): the icon of the current state.
    shell->calls.clear();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    const shell_call* added = last_notification();
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->command, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(tray_icon_shown(), IDI_GLOBE);
    EXPECT_EQ(added->record.uID, 0u);

    command(IDC_DISCONNECT);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(saw_disconnect());
    EXPECT_EQ(tray_icon_shown(), IDI_GLOBE_GREY);
    EXPECT_EQ(picture(), resource_pixels(IDB_DISCONNECTED));
}

INSTANTIATE_TEST_SUITE_P(auth_types, main_window_connect_test, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "type" + std::to_string(info.param);
                         });

TEST_F(main_window_test, the_icon_comes_back_as_idle_when_the_taskbar_is_recreated) {
    ASSERT_NE(create(), nullptr);
    report_state(auth::authorised); // only the display: the client itself is idle
    shell->calls.clear();

    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);

    const shell_call* added = last_notification();
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->command, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(tray_icon_shown(), IDI_GLOBE_GREY);
    EXPECT_STREQ(added->record.szTip, "Клиент авторизации " AUTHCLIENT_VERSION);
}

TEST_F(main_window_test, connect_takes_at_most_253_characters_of_each_field) {
    const std::string login(253, 'l'), password(253, 'p');
    serve(login + ":" + password);
    ASSERT_NE(create(), nullptr);
    type_into(IDC_LOGIN, login + "LLLLLLLLLL");
    type_into(IDC_PASSWORD, password + "PPPPPPPPPP");

    command(IDC_CONNECT);

    EXPECT_EQ(environment().login, login);
    EXPECT_EQ(environment().password, password);
    ASSERT_TRUE(wait_authorised());
    EXPECT_EQ(test_auth_server::field(request(), "login"), login);
}

TEST_F(main_window_test, connect_with_an_empty_password_still_starts_the_client) {
    serve("alice:");
    ASSERT_NE(create(), nullptr);
    type_into(IDC_LOGIN, "alice");

    command(IDC_CONNECT);

    EXPECT_EQ(environment().password, "");
    EXPECT_EQ(test_auth_server::field(request(), "login"), "alice");
    EXPECT_TRUE(wait_authorised());
}

TEST_F(main_window_test, connect_with_the_box_unchecked_forgets_what_was_saved) {
    serve("alice:secret");
    store(env::AUTH_SAVE, "1");
    store(env::AUTH_LOGIN, protect("old").c_str());
    store(env::AUTH_PASSWD, protect("oldpw").c_str());
    ASSERT_NE(create(), nullptr);
    ASSERT_EQ(text_of(IDC_LOGIN), "old");
    check(IDC_SAVE, false);
    type_into(IDC_LOGIN, "alice");
    type_into(IDC_PASSWORD, "secret");

    command(IDC_CONNECT);

    EXPECT_EQ(stored("AUTH_SAVE"), "0");
    EXPECT_EQ(stored("AUTH_LOGIN"), "");
    EXPECT_EQ(stored("AUTH_PASSWD"), "");
    ASSERT_TRUE(wait_authorised());

    // Checking the box now keeps what was taken at this connect.
    check(IDC_SAVE, true);
    command(IDC_SAVE);
    EXPECT_EQ(stored("AUTH_SAVE"), "1");
    EXPECT_EQ(stored("AUTH_LOGIN"), protect("alice"));
    EXPECT_EQ(stored("AUTH_PASSWD"), protect("secret"));
}

TEST_F(main_window_test, the_save_box_writes_at_once) {
    store(env::AUTH_SAVE, "0");
    store(env::AUTH_LOGIN, protect("old").c_str());
    store(env::AUTH_PASSWD, protect("oldpw").c_str());
    ASSERT_NE(create(), nullptr);
    ASSERT_FALSE(is_checked(IDC_SAVE));

    check(IDC_SAVE, true);
    command(IDC_SAVE);
    EXPECT_EQ(stored("AUTH_SAVE"), "1");
    EXPECT_EQ(stored("AUTH_LOGIN"), protect("old")) << "nothing was taken at a connect yet";
    EXPECT_EQ(stored("AUTH_PASSWD"), protect("oldpw"));

    check(IDC_SAVE, false);
    command(IDC_SAVE);
    EXPECT_EQ(stored("AUTH_SAVE"), "0");
    EXPECT_EQ(stored("AUTH_LOGIN"), "");
    EXPECT_EQ(stored("AUTH_PASSWD"), "");
}

// --- server messages ------------------------------------------------------------------------

std::string title_of(HWND message_window) {
    char text[256] = {};
    GetDlgItemTextA(message_window, IDC_MESSAGE_TITLE, text, sizeof text);
    return text;
}

TEST_F(main_window_test, each_server_message_opens_a_window_of_its_own) {
    ASSERT_NE(create(), nullptr);
    const auth::server_info first{"First", "one", ""};
    auth::server_info second{"Second", "two", ""};

    SendMessageA(window, auth::WM_SERVER_INFO, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageA(window, auth::WM_SERVER_INFO, 0, reinterpret_cast<LPARAM>(&second));
    second.header = "changed afterwards"; // the window took its own copy

    const auto windows = dialogs_of_this_thread();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(title_of(windows[0]), "Second") << "the later one is on top";
    EXPECT_EQ(title_of(windows[1]), "First");
    RECT upper{}, lower{};
    GetWindowRect(windows[0], &upper);
    GetWindowRect(windows[1], &lower);
    EXPECT_TRUE(EqualRect(&upper, &lower));
    EXPECT_EQ(GetWindow(windows[0], GW_OWNER), nullptr);
}

struct repeat_case {
    const char* name;
    std::vector<auth::server_info> messages; // in the order they arrive
    std::vector<std::string> titles;         // of the windows then open, topmost first
};

class main_window_repeat_test : public main_window_test,
                                public ::testing::WithParamInterface<repeat_case> {};

// A message whose window is still open opens no other one; its window comes to the front.
TEST_P(main_window_repeat_test, a_message_already_shown_opens_no_second_window) {
    ASSERT_NE(create(), nullptr);
    for (const auth::server_info& message : GetParam().messages)
        SendMessageA(window, auth::WM_SERVER_INFO, 0, reinterpret_cast<LPARAM>(&message));

    std::vector<std::string> titles;
    for (HWND shown : dialogs_of_this_thread())
        titles.push_back(title_of(shown));
    EXPECT_EQ(titles, GetParam().titles);
}

const auth::server_info reminder{"Pay", "Please pay", "icon=2"};

INSTANTIATE_TEST_SUITE_P(
    messages, main_window_repeat_test,
    ::testing::Values(
        repeat_case{"same_three_times", {reminder, reminder, reminder}, {"Pay"}},
        repeat_case{
            "other_header", {reminder, {"Pay now", "Please pay", "icon=2"}}, {"Pay now", "Pay"}},
        repeat_case{
            "other_data", {reminder, {"Pay", "Please pay today", "icon=2"}}, {"Pay", "Pay"}},
        repeat_case{"other_params", {reminder, {"Pay", "Please pay", "icon=1"}}, {"Pay", "Pay"}},
        repeat_case{"repeat_comes_to_the_front",
                    {reminder, {"Works", "Tonight", ""}, reminder},
                    {"Pay", "Works"}}),
    test::case_name());

// The server attaches the same notice to renewals a second apart: one window, and a new one
// only after the user has closed it; another notice gets its own.
TEST_F(main_window_test, a_notice_repeated_by_the_server_stays_one_window) {
    ASSERT_NO_FATAL_FAILURE(connect_renewing_every_second());

    // Each notice goes with one answer; the window has taken it once the next request comes.
    auto notice = [&](const std::string& line) {
        server->command("info " + line);
        for (bool carried = false; !carried;) {
            const std::string r = request();
            if (r == "{}")
                return;
            carried = test_auth_server::bool_field(r, "info");
        }
        request();
    };
    notice("Pay|Please pay|icon=2");
    notice("Pay|Please pay|icon=2");
    ASSERT_EQ(dialogs_of_this_thread().size(), 1u);

    SendMessageA(dialogs_of_this_thread().front(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(dialogs_of_this_thread().empty());
    notice("Pay|Please pay|icon=2");
    EXPECT_EQ(dialogs_of_this_thread().size(), 1u) << "a closed notice opens again";

    notice("Works|Tonight|");
    const auto shown = dialogs_of_this_thread();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(title_of(shown[0]), "Works");
    EXPECT_EQ(title_of(shown[1]), "Pay");
}

// A failed renewal: the tip says why access is closed, and one balloon says it when the
// episode begins; back in `authorised` the tip is the caption again.
TEST_F(main_window_test, a_failed_renewal_says_why_in_the_tip_and_once_in_a_balloon) {
    ASSERT_NO_FATAL_FAILURE(connect_renewing_every_second());
    const std::string caption = "Клиент авторизации " AUTHCLIENT_VERSION;
    auto balloons = [&] {
        int count = 0;
        for (const shell_call& c : shell->notifications())
            count += (c.record.uFlags & NIF_INFO) != 0;
        return count;
    };
    auto tip_shown = [&]() -> std::string {
        const auto sent = shell->notifications();
        for (auto c = sent.rbegin(); c != sent.rend(); ++c)
            if (c->record.uFlags & NIF_TIP)
                return c->record.szTip;
        return "";
    };

    server->command("fault error 1005");
    ASSERT_TRUE(pump_until([&] { return app->client->state() == auth::error; }, 10000));
    request();
    request(); // two more refusals: the episode goes on
    request();
    EXPECT_EQ(tray_icon_shown(), IDI_GLOBE_ERROR);
    EXPECT_EQ(tip_shown(), caption + "\nНет действующего платежа");
    EXPECT_EQ(balloons(), 1);
    const auto sent = shell->notifications();
    const auto balloon = std::find_if(sent.begin(), sent.end(), [](const shell_call& c) {
        return (c.record.uFlags & NIF_INFO) != 0;
    });
    ASSERT_NE(balloon, sent.end());
    EXPECT_EQ(balloon->record.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(std::string(balloon->record.szInfoTitle), caption);
    EXPECT_EQ(std::string(balloon->record.szInfo), "Нет действующего платежа");

    server->command("fault none");
    ASSERT_TRUE(wait_authorised());
    EXPECT_EQ(tip_shown(), caption);

    server->command("fault error 1006 1"); // a new episode
    ASSERT_TRUE(pump_until([&] { return balloons() == 2; }, 10000));
    EXPECT_EQ(tip_shown(), caption + "\nАккаунт заблокирован");
}

// Back from sleep: the renewal goes out at once, not at the end of the 30 s pause.
TEST_F(main_window_test, resume_from_sleep_renews_at_once) {
    ASSERT_NO_FATAL_FAILURE(connect_renewing_every_second());
    store(env::RECONNECT_PERIOD, "30");
    // Let the renewals of a second run out: the next pause is one of 30 s.
    while (server->next_request(1500))
        ;
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
    EXPECT_FALSE(server->next_request(1000)) << "a power change that is no resume";

    const auto sent = GetTickCount64();
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(test_auth_server::bool_field(request(5000), "verified"));
    const ULONGLONG took = GetTickCount64() - sent;
    std::printf("resume message to the renewal request %llu ms\n", took);
    EXPECT_LT(took, 5000u);
}

TEST_F(main_window_test, a_message_from_the_server_reaches_the_user) {
    ASSERT_NO_FATAL_FAILURE(connect_renewing_every_second());

    server->command("info Notice|Maintenance tonight|");

    ASSERT_TRUE(pump_until([] { return !dialogs_of_this_thread().empty(); }, 15000));
    const HWND shown = dialogs_of_this_thread().front();
    EXPECT_EQ(title_of(shown), "Notice");
    char text[256] = {};
    GetDlgItemTextA(shown, IDC_MESSAGE_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "Maintenance tonight");
}

// --- close -----------------------------------------------------------------------------------

struct close_case {
    const char* name;
    bool autostart;
    bool save;
};

class main_window_close_test : public main_window_test,
                               public ::testing::WithParamInterface<close_case> {};

TEST_P(main_window_close_test, removes_the_icon_saves_the_choices_and_quits) {
    const close_case& c = GetParam();
    store(env::AuthClient, "old command");
    store(env::AUTH_SAVE, "1");
    store(env::AUTH_LOGIN, protect("old").c_str());
    ASSERT_NE(create(), nullptr);
    ASSERT_TRUE(is_checked(IDC_AUTOSTART));

    check(IDC_AUTOSTART, c.autostart);
    command(IDC_AUTOSTART);
    EXPECT_EQ(test::autostart(), "old command") << "written only at close";
    check(IDC_SAVE, c.save); // no command: the close saves it
    environment().login = "alice";
    environment().password = "secret";
    const HMENU menu = environment().tray_menu;
    ShowWindow(window, SW_SHOW);
    shell->calls.clear();

    SendMessageA(window, WM_CLOSE, 0, 0);

    const auto sent = shell->notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(sent[0].record.uID, 0u);
    EXPECT_EQ(sent[0].record.hIcon, nullptr);
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_EQ(environment().tray_menu, nullptr);

    if (c.autostart)
        EXPECT_EQ(test::autostart(), autostart_command());
    else
        EXPECT_EQ(test::autostart(), std::nullopt);
    EXPECT_EQ(stored("AUTH_SAVE"), c.save ? "1" : "0");
    EXPECT_EQ(stored("AUTH_LOGIN"), c.save ? protect("alice") : "");
    EXPECT_EQ(stored("AUTH_PASSWD"), c.save ? protect("secret") : "");

    EXPECT_FALSE(visible());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(environment().main_window.load(), nullptr);
    EXPECT_EQ(take_quit(), WPARAM{0});

    // Explorer restarting while the program ends brings no icon back.
    shell->calls.clear();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(shell->notifications().empty());
}

INSTANTIATE_TEST_SUITE_P(choices, main_window_close_test,
                         ::testing::Values(close_case{"autostart_and_save", true, true},
                                           close_case{"neither", false, false},
                                           close_case{"autostart_only", true, false}),
                         test::case_name());

// The end of the session closes the window as WM_CLOSE does; a close that follows, or a click
// still queued, changes nothing more.
TEST_F(main_window_test, the_end_of_the_session_closes_once) {
    store(env::AUTH_SAVE, "1");
    ASSERT_NE(create(), nullptr);
    check(IDC_AUTOSTART, true);
    check(IDC_SAVE, false);
    shell->calls.clear();

    EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(shell->notifications().empty()) << "asking is not yet ending";
    SendMessageA(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(shell->notifications().empty()) << "another program refused: the session goes on";
    EXPECT_EQ(test::autostart(), std::nullopt);

    SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(shell->notifications().size(), 1u);
    EXPECT_EQ(test::autostart(), autostart_command());
    EXPECT_EQ(stored("AUTH_SAVE"), "0");
    EXPECT_EQ(take_quit(), WPARAM{0});

    check(IDC_AUTOSTART, false);
    SendMessageA(window, WM_CLOSE, 0, 0);
    type_into(IDC_PASSWORD, "typed");
    command(IDC_CONNECT);
    EXPECT_EQ(shell->notifications().size(), 1u);
    EXPECT_EQ(test::autostart(), autostart_command());
    EXPECT_EQ(take_quit(), std::nullopt);
    EXPECT_EQ(environment().password, "") << "no connect after the end";
}

TEST_F(main_window_test, close_stops_a_running_client_without_waiting_for_its_reports) {
    serve("alice:secret");
    ASSERT_NE(create(), nullptr);
    type_into(IDC_LOGIN, "alice");
    type_into(IDC_PASSWORD, "secret");
    command(IDC_CONNECT);
    ASSERT_TRUE(wait_authorised());
    shell->calls.clear();

    SendMessageA(window, WM_CLOSE, 0, 0);

    // The worker has ended inside the close: it did not wait for the window to take a report.
    EXPECT_EQ(app->client->state(), auth::idle);
    EXPECT_EQ(take_quit(), WPARAM{0});
    EXPECT_TRUE(saw_disconnect());
    test::pump_for(200);
    const auto sent = shell->notifications();
    ASSERT_EQ(sent.size(), 1u) << "no state reached the window after the close";
    EXPECT_EQ(sent[0].command, static_cast<DWORD>(NIM_DELETE));
}

// --- hiding and the notification area --------------------------------------------------------

enum class hide_way { escape, size_message, minimise };

void PrintTo(hide_way way, std::ostream* out) {
    *out << (way == hide_way::escape         ? "escape"
             : way == hide_way::size_message ? "size_message"
                                             : "minimise");
}

class main_window_hide_test : public main_window_test,
                              public ::testing::WithParamInterface<hide_way> {};

TEST_P(main_window_hide_test, hides_the_window_and_the_program_goes_on) {
    ASSERT_NE(create(), nullptr);
    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(visible());

    switch (GetParam()) {
    case hide_way::escape:
        SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
        break;
    case hide_way::size_message:
        SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case hide_way::minimise:
        ShowWindow(window, SW_MINIMIZE);
        break;
    }

    EXPECT_TRUE(pump_until([&] { return !visible(); }, 5000));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(environment().main_window.load(), window);
    EXPECT_TRUE(shell->notifications().empty()) << "the icon stays";
    EXPECT_EQ(take_quit(), std::nullopt);

    // A left click on the icon brings it back, restored.
    tray_mouse(WM_LBUTTONDOWN);
    EXPECT_TRUE(visible());
    EXPECT_FALSE(IsIconic(window));
}

INSTANTIATE_TEST_SUITE_P(ways, main_window_hide_test,
                         ::testing::Values(hide_way::escape, hide_way::size_message,
                                           hide_way::minimise),
                         [](const ::testing::TestParamInfo<hide_way>& info) {
                             switch (info.param) {
                             case hide_way::escape:
                                 return "escape";
                             case hide_way::size_message:
                                 return "size_message";
                             default:
                                 return "minimise";
                             }
                         });

TEST_F(main_window_test, sizes_other_than_minimised_keep_the_window_shown) {
    ASSERT_NE(create(), nullptr);
    ShowWindow(window, SW_SHOW);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 300));
    SendMessageA(window, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(300, 300));
    EXPECT_TRUE(visible());
}

TEST_F(main_window_test, a_left_click_on_the_icon_shows_and_hides_the_window) {
    ASSERT_NE(create(), nullptr);
    ASSERT_FALSE(visible());
    const UINT ignored[] = {WM_MOUSEMOVE, WM_LBUTTONUP,     WM_LBUTTONDBLCLK,
                            WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN};

    for (UINT mouse : ignored)
        tray_mouse(mouse);
    EXPECT_FALSE(visible());

    tray_mouse(WM_LBUTTONDOWN);
    EXPECT_TRUE(visible());
    EXPECT_FALSE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST)
        << "lifted above the others without staying on top";

    for (UINT mouse : ignored)
        tray_mouse(mouse);
    EXPECT_TRUE(visible());

    tray_mouse(WM_LBUTTONDOWN);
    EXPECT_FALSE(visible());
    EXPECT_TRUE(shell->notifications().empty());
}

std::string menu_text(HMENU menu, UINT position) {
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

void expect_tray_menu(HMENU menu) {
    const HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), 3);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(IDM_SHOW));
    EXPECT_EQ(menu_text(popup, 0), "Клиент авторизации");
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(popup, 1, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(popup, 2), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(menu_text(popup, 2), "Выход");
    EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, 0), static_cast<UINT>(IDM_SHOW));
}

TEST_F(main_window_test, the_tray_menu_offers_the_window_as_default_and_exit) {
    const HMENU menu = LoadMenuA(app->instance, MAKEINTRESOURCEA(IDM_TRAY));
    ASSERT_NE(menu, nullptr);
    expect_tray_menu(menu);
    DestroyMenu(menu);

    ASSERT_NE(create(), nullptr);
    expect_tray_menu(environment().tray_menu);
}

// Cancels a dialog that `owner` (the window passed in LPARAM) owns.
BOOL CALLBACK cancel_owned(HWND window, LPARAM owner) {
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner))
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// The menu (and the properties sheet) run their own loops on this thread and take the keys
// queued for them; a watchdog cancels them should they not close by themselves.
class menu_watchdog {
public:
    explicit menu_watchdog(HWND window)
        : thread_([this, window, owner_thread = GetCurrentThreadId()] {
              const ULONGLONG deadline = GetTickCount64() + 10000;
              while (!done_ && GetTickCount64() < deadline)
                  Sleep(20);
              if (!done_) {
                  fired_ = true;
                  for (int i = 0; i < 3; ++i)
                      PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
                  EnumThreadWindows(owner_thread, cancel_owned, reinterpret_cast<LPARAM>(window));
              }
          }) {}
    ~menu_watchdog() {
        done_ = true;
        thread_.join();
    }
    menu_watchdog(const menu_watchdog&) = delete;
    menu_watchdog& operator=(const menu_watchdog&) = delete;
    bool fired() const { return fired_; }

private:
    std::atomic<bool> done_{false}, fired_{false};
    std::thread thread_;
};

struct menu_case {
    const char* name;
    std::vector<WPARAM> keys;
    bool visible_before;
    enum { toggles, nothing, closes } outcome;
};

class main_window_menu_test : public main_window_test,
                              public ::testing::WithParamInterface<menu_case> {};

TEST_P(main_window_menu_test, a_right_click_opens_the_menu_and_its_choice_is_carried_out) {
    const menu_case& c = GetParam();
    ASSERT_NE(create(), nullptr);
    if (c.visible_before)
        ShowWindow(window, SW_SHOW);
    for (WPARAM key : c.keys) {
        PostMessageA(window, WM_KEYDOWN, key, 0);
        PostMessageA(window, WM_KEYUP, key, 0);
    }

    {
        menu_watchdog watchdog(window);
        tray_mouse(WM_RBUTTONDOWN);
        ASSERT_FALSE(watchdog.fired()) << "the menu did not close by itself";
    }

    switch (c.outcome) {
    case menu_case::toggles:
        EXPECT_TRUE(pump_until([&] { return visible() != c.visible_before; }, 5000));
        EXPECT_TRUE(shell->notifications().empty());
        break;
    case menu_case::nothing:
        test::pump_for(100);
        EXPECT_EQ(visible(), c.visible_before);
        EXPECT_TRUE(shell->notifications().empty());
        EXPECT_EQ(take_quit(), std::nullopt);
        break;
    case menu_case::closes: {
        EXPECT_EQ(wait_quit(5000), WPARAM{0});
        const auto sent = shell->notifications();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].command, static_cast<DWORD>(NIM_DELETE));
        EXPECT_FALSE(visible());
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(
    choices, main_window_menu_test,
    ::testing::Values(
        menu_case{"first_item_shows", {VK_DOWN, VK_RETURN}, false, menu_case::toggles},
        menu_case{"first_item_hides", {VK_DOWN, VK_RETURN}, true, menu_case::toggles},
        menu_case{"nothing_chosen", {VK_ESCAPE}, true, menu_case::nothing},
        menu_case{"exit_closes", {VK_UP, VK_RETURN}, true, menu_case::closes}),
    test::case_name());

// "Выход" chosen while the properties sheet is open: the sheet is cancelled, the window's
// choices are saved and the program ends.
TEST_F(main_window_test, exit_from_the_tray_with_the_properties_open_ends_the_program) {
    ASSERT_NE(create(), nullptr);
    ShowWindow(window, SW_SHOW);
    check(IDC_AUTOSTART, true);
    shell->calls.clear();
    // Taken by the sheet's own loop once it runs: a right click on the icon, then "Выход".
    PostMessageA(window, c_tray_icon::callback_message, 0, WM_RBUTTONDOWN);
    for (WPARAM key : {VK_UP, VK_RETURN}) {
        PostMessageA(window, WM_KEYDOWN, key, 0);
        PostMessageA(window, WM_KEYUP, key, 0);
    }

    {
        menu_watchdog watchdog(window);
        command(IDC_PROPERTIES); // returns when the sheet has gone
        ASSERT_FALSE(watchdog.fired()) << "the menu or the sheet stayed open";
    }

    EXPECT_TRUE(dialogs_of_this_thread().empty());
    EXPECT_EQ(stored("AUTH_SERVER"), std::nullopt) << "the sheet was applied, not cancelled";
    EXPECT_EQ(test::autostart(), autostart_command());
    EXPECT_EQ(stored("AUTH_SAVE"), "0");
    const auto sent = shell->notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(wait_quit(5000), WPARAM{0});
}

// --- a monitor of another scale ------------------------------------------------------------

LOGFONTA font_of(HWND control) {
    LOGFONTA description{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof description,
               &description);
    return description;
}

TEST_F(main_window_test, on_a_monitor_of_another_scale_it_is_drawn_anew_for_that_scale) {
    ASSERT_NE(create(), nullptr);
    RECT before{};
    GetWindowRect(window, &before);
    RECT suggested{before.left + 10, before.top + 20,
                   before.left + 10 + 2 * (before.right - before.left),
                   before.top + 20 + 2 * (before.bottom - before.top)};
    shell->calls.clear();

    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&after, &suggested)) << "the suggested rectangle is taken";
    EXPECT_EQ(picture(), resource_pixels(IDB_DISCONNECTED + 3 * IDB_SCALE_STEP));
    EXPECT_EQ(test::pixels(reinterpret_cast<HBITMAP>(
                  SendDlgItemMessageA(window, IDC_BADGE, STM_GETIMAGE, IMAGE_BITMAP, 0))),
              resource_pixels(IDB_WARNING + 3 * IDB_SCALE_STEP));
    const auto icon = [&](WPARAM kind) {
        return reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, kind, 0));
    };
    EXPECT_EQ(test::icon_width(icon(ICON_SMALL)), metric_for_dpi(SM_CXSMICON, 192));
    EXPECT_EQ(test::icon_width(icon(ICON_BIG)), metric_for_dpi(SM_CXICON, 192));

    // The tray icon is loaded anew: the system's shell loads it at the small-icon size of the
    // window's new DPI.
    const shell_call* tray = last_notification();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->command, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(tray_icon_shown(), IDI_GLOBE_GREY);

    // The system gives the controls the dialog font of the new DPI; the link is underlined
    // again in that font.
    const HWND link = GetDlgItem(window, IDC_LINK);
    LOGFONTA plain = font_of(link);
    plain.lfUnderline = FALSE;
    plain.lfHeight *= 2;
    const HFONT larger = CreateFontIndirectA(&plain);
    SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(larger), FALSE);
    EXPECT_TRUE(pump_until([&] { return font_of(link).lfUnderline != FALSE; }, 5000));
    EXPECT_EQ(font_of(link).lfHeight, plain.lfHeight);
    EXPECT_NE(reinterpret_cast<HFONT>(SendMessageA(link, WM_GETFONT, 0, 0)), larger);
    DeleteObject(larger);
}

// --- the application object ------------------------------------------------------------------

TEST(application_test, a_second_object_in_the_same_logon_is_refused) {
    ASSERT_TRUE(app) << "the test program's own application object holds the mutex";
    try {
        c_application second(GetModuleHandleA(nullptr));
        ADD_FAILURE() << "a second application object was built";
    } catch (const c_application::c_exception& e) {
        EXPECT_EQ(e.text(), already_running);
    }

    const HANDLE same = CreateMutexA(nullptr, FALSE, c_application::instance_mutex_name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(same);
}

TEST_F(main_window_test, a_second_copy_of_the_program_says_so_and_leaves_the_first_alone) {
    ASSERT_NE(create(), nullptr);
    const test::process child(test::windows_path(AUTHCLIENT_PROGRAM), "");

    const HWND box = test::find_error_box(20000, child.id());
    ASSERT_TRUE(box) << "no error box from the second copy";
    EXPECT_EQ(test::error_box_text(box), already_running);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(child.wait_exit(15000), std::optional<DWORD>(1));

    EXPECT_FALSE(visible()) << "the running copy is not brought up";
    EXPECT_TRUE(shell->notifications().empty());
}

} // namespace
