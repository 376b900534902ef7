// The real AuthClient.exe under Wine against the reference auth server, driven from outside:
// start-up switches, the single instance, the buttons, closing, recovery after the server went
// away, and the log. The program uses the prefix's real HKEY_CURRENT_USER, so each test sets the
// settings it needs and removes them again.
#include "tests/common/auth_server.h"
#include "tests/common/log_lines.h"
#include "tests/common/message_pump.h"
#include "tests/common/settings_registry.h"
#include "tests/common/temp_folder.h"
#include "tests/e2e/driver.h"

#include "env/settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace e2e {
namespace {

namespace settings = test::settings;

const char* const login = "e2e";
const char* const password = "e2e-secret";

bool verified(const std::string& record) {
    return !test_auth_server::is_null(record, "verified") &&
           test_auth_server::bool_field(record, "verified");
}

bool disconnect(const std::string& record) {
    return test_auth_server::bool_field(record, "disconnect");
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() { settings::clear(); }
    ~EndToEnd() override {
        // Nothing may outlive the test: a leftover copy would hold the single-instance mutex.
        for (auto& process : processes_)
            process->kill();
        processes_.clear();
        settings::clear();
    }

    // The server with the test account, and the settings that point the program at it.
    void serve(int protocol, int period_seconds) {
        server = std::make_unique<test_auth_server>(
            std::vector<std::string>{"--account", std::string(login) + ":" + password});
        settings::point_at(server->port());
        settings::set("AUTH_PROTOCOL", std::to_string(protocol));
        settings::set("RECONNECT_PERIOD", std::to_string(period_seconds));
    }

    client_process& start(const std::string& arguments, const std::string& folder = "",
                          const std::string& program = program_path()) {
        processes_.push_back(std::make_unique<client_process>(arguments, folder, program));
        return *processes_.back();
    }

    // Waits for a request record that satisfies `match`; every record seen is kept in
    // `records`. `meanwhile` runs at every look.
    std::optional<std::string> wait_record(const std::function<bool(const std::string&)>& match,
                                           DWORD timeout_ms,
                                           const std::function<void()>& meanwhile = {}) {
        std::optional<std::string> found;
        test::pump_until(
            [&] {
                if (meanwhile)
                    meanwhile();
                while (auto record = server->next_request(0)) {
                    records.push_back(*record);
                    if (match(*record)) {
                        found = record;
                        return true;
                    }
                }
                return false;
            },
            timeout_ms);
        return found;
    }

    // Takes the records that have arrived until nothing came for `quiet_ms`.
    void drain_records(int quiet_ms = 1000) {
        while (auto record = server->next_request(quiet_ms))
            records.push_back(*record);
    }

    // Waits until the main window shows `state`; on failure says what it shows, and the text
    // of an error box if the program shows one.
    ::testing::AssertionResult wait_shown(const client_process& client, HWND main, int state,
                                          DWORD timeout_ms) {
        if (test::pump_until([&] { return state_shown(main) == state; }, timeout_ms))
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure()
                       << "the window shows " << state_name(state_shown(main)) << ", not "
                       << state_name(state);
        if (const HWND box = client.error_box())
            failure << "; error box: " << test::error_box_text(box);
        return failure;
    }

    // Waits until the program's main window is there, the server has verified its answer and
    // the window shows it authorised; `main` is that window.
    ::testing::AssertionResult authorised(const client_process& client, HWND& main) {
        main = client.main_window();
        if (!main)
            return ::testing::AssertionFailure() << "no main window";
        if (!wait_record(verified, 30000))
            return ::testing::AssertionFailure() << "the server verified no answer";
        return wait_shown(client, main, shows_authorised, 15000);
    }

    // Closes the program as its close box does and waits for it to end.
    std::optional<DWORD> close(const client_process& client, HWND main, DWORD timeout_ms = 10000) {
        PostMessageA(main, WM_CLOSE, 0, 0);
        return client.wait_exit(timeout_ms);
    }

    std::unique_ptr<test_auth_server> server;
    std::vector<std::string> records;
    std::unique_ptr<test::temp_folder> folder; // goes after the programs that may still use it

private:
    std::vector<std::unique_ptr<client_process>> processes_;
};

// ---- start-up switches ----

struct switches_case {
    const char* name;
    const char* arguments;
    const char* folder; // the program runs from a copy in a folder of this name; null: in place
};

void PrintTo(const switches_case& c, std::ostream* out) {
    *out << c.arguments << (c.folder ? std::string(" from \"") + c.folder + "\"" : "");
}

class StartUpSwitches : public EndToEnd, public ::testing::WithParamInterface<switches_case> {};

// Saved credentials and the autostart switches: the subscriber is authorised while the window
// never appears and nobody clicks anything.
TEST_P(StartUpSwitches, AuthoriseHiddenFromStoredCredentials) {
    serve(env::protocol_tcp, 20);
    settings::save_credentials(login, password);

    std::string program = program_path();
    if (GetParam().folder) {
        folder = std::make_unique<test::temp_folder>(GetParam().folder);
        program = folder->path() + "\\AuthClient.exe";
        ASSERT_TRUE(CopyFileA(program_path().c_str(), program.c_str(), FALSE)) << program;
    }
    client_process& client = start(GetParam().arguments, "", program);
    const HWND main = client.main_window();
    ASSERT_TRUE(main) << "no main window of " << client.command_line();

    bool ever_visible = false;
    const auto record =
        wait_record(verified, 30000, [&] { ever_visible |= !!IsWindowVisible(main); });
    ASSERT_TRUE(record) << "no verified request; " << records.size() << " records";
    EXPECT_EQ(test_auth_server::field(*record, "login"), login);
    EXPECT_TRUE(wait_shown(client, main, shows_authorised, 15000));
    ever_visible |= !!IsWindowVisible(main);
    EXPECT_FALSE(ever_visible) << "the window was shown";
    EXPECT_EQ(close(client, main), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, StartUpSwitches,
    ::testing::Values(switches_case{"Autostart", "--tray --connect", nullptr},
                      switches_case{"InsideLongerWords", "--trayicon --connected", nullptr},
                      switches_case{"ConnectInFolderName", "--tray", "authclient e2e--connect"}),
    [](const auto& info) { return std::string(info.param.name); });

// Port and protocol as numbers (REG_DWORD), as deployment tools write them.
TEST_F(EndToEnd, SettingsStoredAsNumbersAreUsed) {
    serve(env::protocol_tcp, 20);
    settings::set_number("AUTH_PORT", server->port());
    settings::set_number("AUTH_PROTOCOL", env::protocol_udp);
    settings::save_credentials(login, password);

    client_process& client = start("--tray --connect");
    const HWND main = client.main_window();
    ASSERT_TRUE(main);
    const auto record = wait_record(verified, 30000);
    ASSERT_TRUE(record) << "no verified request; " << records.size() << " records";
    EXPECT_EQ(test_auth_server::field(*record, "proto"), "udp");
    EXPECT_EQ(close(client, main), 1u);
}

TEST_F(EndToEnd, ConnectWithoutStoredPasswordStartsNothing) {
    serve(env::protocol_tcp, 20);
    settings::set("AUTH_SAVE", "1");
    settings::set("AUTH_LOGIN", test::protect(login)); // a login alone is not enough

    client_process& client = start("--connect");
    const HWND main = client.main_window();
    ASSERT_TRUE(main);
    ASSERT_TRUE(test::pump_until([&] { return IsWindowVisible(main) != FALSE; }, 15000));
    ASSERT_TRUE(client.wait_input_idle());
    EXPECT_EQ(control_text(main, IDC_LOGIN), login);
    EXPECT_EQ(control_text(main, IDC_PASSWORD), "");

    EXPECT_FALSE(server->next_request(3000)) << "the program connected";
    EXPECT_EQ(state_shown(main), shows_idle) << state_name(state_shown(main));
    EXPECT_EQ(close(client, main), 1u);
}

// ---- the single instance ----

TEST_F(EndToEnd, SecondCopyIsRefusedAndTheFirstGoesOn) {
    serve(env::protocol_tcp, 20);
    settings::save_credentials(login, password);
    client_process& first = start("--tray --connect");
    HWND main = nullptr;
    ASSERT_TRUE(authorised(first, main));

    client_process& second = start("--connect");
    const HWND box = second.wait_error_box(30000);
    ASSERT_TRUE(box) << "the second copy shows no error box";
    EXPECT_EQ(test::error_box_text(box), "Клиент авторизации уже запущен.");
    EXPECT_FALSE(second.main_window(0)) << "the second copy made a main window";
    // While its box is open the first copy is untouched.
    EXPECT_TRUE(first.running());
    EXPECT_EQ(state_shown(main), shows_authorised);
    EXPECT_FALSE(IsWindowVisible(main));

    ASSERT_TRUE(test::press_ok(box));
    EXPECT_EQ(second.wait_exit(10000), 1u);

    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.main_window(0), main);
    EXPECT_EQ(state_shown(main), shows_authorised);
    EXPECT_FALSE(IsWindowVisible(main));
    drain_records(500);
    for (const std::string& record : records)
        EXPECT_FALSE(disconnect(record)) << record;
    EXPECT_EQ(close(first, main), 1u);
}

// ---- closing ----

// What the program writes for autostart: its quoted path, then the switches.
std::string autostart_command() {
    return "\"" + program_path() + "\" --tray --connect";
}

class Closing : public EndToEnd, public ::testing::WithParamInterface<bool> {};

// The close box: the disconnect request reaches the server, the autostart choice is written
// only now, and the process ends with code 1 soon after the server's answer.
TEST_P(Closing, DisconnectsSavesTheAutostartChoiceAndExits) {
    const bool autostart_before = GetParam();
    const std::string earlier = "C:\\Old\\AuthClient.exe --tray --connect";
    serve(env::protocol_tcp, 20);
    settings::save_credentials(login, password);
    if (autostart_before)
        test::set_autostart(earlier);

    client_process& client = start("--connect");
    HWND main = nullptr;
    ASSERT_TRUE(authorised(client, main));
    EXPECT_TRUE(IsWindowVisible(main));

    EXPECT_EQ(checked(main, IDC_AUTOSTART), autostart_before);
    click(main, IDC_AUTOSTART);
    ASSERT_EQ(checked(main, IDC_AUTOSTART), !autostart_before);
    // The choice is written only at close.
    EXPECT_EQ(test::autostart(),
              autostart_before ? std::optional<std::string>(earlier) : std::nullopt);

    const auto begin = std::chrono::steady_clock::now();
    const auto exit_code = close(client, main);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - begin)
                          .count();
    ASSERT_TRUE(exit_code) << "the program still runs " << took << " ms after WM_CLOSE";
    std::printf("exit %lu ms after WM_CLOSE\n", static_cast<unsigned long>(took));
    EXPECT_EQ(*exit_code, 1u);
    EXPECT_LT(took, 10000);

    drain_records(500);
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(disconnect(records.back())) << records.back();
    EXPECT_TRUE(verified(records.back())) << records.back();
    EXPECT_EQ(test_auth_server::field(records.back(), "answer"), "ok");

    if (autostart_before)
        EXPECT_EQ(test::autostart(), std::nullopt);
    else
        EXPECT_EQ(test::autostart(), autostart_command());
    // "Сохранять имя пользователя и пароль" stayed checked: the credentials stay saved.
    EXPECT_EQ(settings::get("AUTH_SAVE"), "1");
    EXPECT_EQ(test::unprotect(settings::get("AUTH_PASSWD").value_or("")), password);
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, Closing, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "AutostartWasOn" : "AutostartWasOff");
});

// The server stops taking connections (its SYNs are dropped) while a renewal is connecting:
// closing still ends the program within the close's wait, the disconnect having been tried.
TEST_F(EndToEnd, ClosingWhileTheServerIsUnreachableEndsWithinTheWait) {
    folder = std::make_unique<test::temp_folder>("authclient-e2e-unreachable");
    serve(env::protocol_tcp, 1);
    settings::set("LOG_LEVEL", "5");
    settings::save_credentials(login, password);
    const std::string file = test::daily_log_file(folder->path());
    auto count = [&](const std::string& text) { return test::log_count(file, text); };

    client_process& client = start("--tray --connect", folder->path());
    const HWND main = client.main_window();
    ASSERT_TRUE(main);
    ASSERT_TRUE(wait_record(verified, 30000));
    const int connects = count("Connecting to auth server");
    server->command("fault unreachable");
    ASSERT_TRUE(
        test::pump_until([&] { return count("Connecting to auth server") > connects; }, 10000));

    const auto begin = std::chrono::steady_clock::now();
    const auto exit_code = close(client, main);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - begin)
                          .count();
    ASSERT_TRUE(exit_code) << "the program still runs " << took << " ms after WM_CLOSE";
    EXPECT_EQ(*exit_code, 1u);
    EXPECT_LT(took, 7500) << "the close waited for more than its 5000 ms";
    EXPECT_EQ(count("<- Request to disconnect"), 1);
}

// ---- the end of the Windows session ----

struct session_case {
    const char* name;
    bool connected;
    bool ending; // false: another program refused the logoff
};

void PrintTo(const session_case& c, std::ostream* out) {
    *out << c.name;
}

class SessionEnd : public EndToEnd, public ::testing::WithParamInterface<session_case> {};

// Logoff or shutdown: the program agrees, and when the session really ends it does what its
// close does, within the system's time-out: choices saved, disconnect sent, process ended.
// A close that follows changes nothing more.
TEST_P(SessionEnd, SavesTheChoicesSaysGoodbyeAndEnds) {
    const session_case& c = GetParam();
    serve(env::protocol_tcp, 20);
    settings::save_credentials(login, password);
    client_process& client = start(c.connected ? "--connect" : "");
    const HWND main = client.main_window();
    ASSERT_TRUE(main);
    if (c.connected) {
        ASSERT_TRUE(wait_record(verified, 30000));
        ASSERT_TRUE(wait_shown(client, main, shows_authorised, 15000));
    } else {
        ASSERT_TRUE(test::pump_until([&] { return IsWindowVisible(main) != FALSE; }, 15000));
        ASSERT_TRUE(client.wait_input_idle());
    }
    click(main, IDC_AUTOSTART);
    ASSERT_TRUE(checked(main, IDC_AUTOSTART));

    EXPECT_EQ(end_session(main, c.ending), TRUE);

    if (!c.ending) {
        EXPECT_FALSE(client.wait_exit(1000)) << "the program ended with the session going on";
        EXPECT_EQ(test::autostart(), std::nullopt);
        EXPECT_EQ(state_shown(main), c.connected ? shows_authorised : shows_idle);
        drain_records(500);
        for (const std::string& record : records)
            EXPECT_FALSE(disconnect(record)) << record;
        EXPECT_EQ(close(client, main), 1u);
        return;
    }
    PostMessageA(main, WM_CLOSE, 0, 0); // a close that arrives after the end of the session
    EXPECT_EQ(client.wait_exit(10000), 1u);
    EXPECT_EQ(test::autostart(), autostart_command());
    EXPECT_EQ(settings::get("AUTH_SAVE"), "1");
    EXPECT_EQ(test::unprotect(settings::get("AUTH_PASSWD").value_or("")), password);
    drain_records(500);
    const auto goodbyes = std::count_if(records.begin(), records.end(), disconnect);
    EXPECT_EQ(goodbyes, c.connected ? 1 : 0);
    if (c.connected) {
        ASSERT_FALSE(records.empty());
        EXPECT_TRUE(disconnect(records.back())) << records.back();
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, SessionEnd,
                         ::testing::Values(session_case{"ConnectedSessionEnds", true, true},
                                           session_case{"IdleSessionEnds", false, true},
                                           session_case{"ConnectedSessionGoesOn", true, false},
                                           session_case{"IdleSessionGoesOn", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- a failed start-up ----

class StartUpFailure : public EndToEnd, public ::testing::WithParamInterface<const char*> {};

// A copy of the program whose client cannot create its event: the error is shown with no
// window left behind, and the process ends (releasing the single-instance mutex) once it is
// confirmed, hidden start or not.
TEST_P(StartUpFailure, ShowsTheErrorAndEnds) {
    client_process& client = start(GetParam(), "", test::windows_path(START_FAILURE_EXE_PATH));
    const HWND box = client.wait_error_box(30000);
    ASSERT_TRUE(box) << "no error box";
    EXPECT_EQ(test::error_box_text(box).rfind("Can't create event.\n", 0), 0u)
        << test::error_box_text(box);
    EXPECT_FALSE(client.main_window(0)) << "a main window is left";

    ASSERT_TRUE(test::press_ok(box));
    EXPECT_EQ(client.wait_exit(10000), 1u);
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, StartUpFailure, ::testing::Values("", "--tray"),
                         [](const auto& info) {
                             return std::string(*info.param ? "Hidden" : "Shown");
                         });

// ---- the buttons ----

// "Отключить" ends the session with a disconnect request and leaves the program running, idle;
// "Подключить" starts a new one with the fields' credentials.
TEST_F(EndToEnd, DisconnectAndConnectAgainWithTheButtons) {
    serve(env::protocol_udp, 20);
    settings::save_credentials(login, password);
    client_process& client = start("--connect");
    HWND main = nullptr;
    ASSERT_TRUE(authorised(client, main));

    click(main, IDC_DISCONNECT);
    const auto last = wait_record(disconnect, 15000);
    ASSERT_TRUE(last) << "no disconnect request";
    EXPECT_TRUE(verified(*last)) << *last;
    EXPECT_TRUE(wait_shown(client, main, shows_idle, 15000));
    EXPECT_TRUE(client.running());

    click(main, IDC_CONNECT);
    const auto again = wait_record(verified, 30000);
    ASSERT_TRUE(again) << "no new session";
    EXPECT_EQ(test_auth_server::field(*again, "login"), login);
    EXPECT_FALSE(disconnect(*again));
    EXPECT_TRUE(wait_shown(client, main, shows_authorised, 15000));
    EXPECT_EQ(close(client, main), 1u);
}

// ---- recovery ----

// Whether the screen shows the picture with the coloured globe (connected) or the grey one; the
// window paints a new picture a moment after the state changed.
::testing::AssertionResult shows_globe(HWND main, bool coloured) {
    std::optional<int> pixels;
    const bool shown = test::pump_until(
        [&] {
            pixels = coloured_globe_pixels(main);
            return pixels && (coloured ? *pixels > 500 : *pixels < 50);
        },
        10000);
    if (shown)
        return ::testing::AssertionSuccess();
    if (!pixels)
        return ::testing::AssertionFailure() << "the screen cannot be read or is covered";
    return ::testing::AssertionFailure()
           << "the globe has " << *pixels << " coloured pixels; expected it "
           << (coloured ? "coloured" : "grey");
}

// The server goes away after a success: the window shows the error, the program keeps trying,
// and once the server is back on its port the subscriber is authorised again.
TEST_F(EndToEnd, ServerGoneAfterSuccessGivesErrorThenRecovery) {
    serve(env::protocol_tcp, 2);
    settings::save_credentials(login, password);
    client_process& client = start("--connect");
    HWND main = nullptr;
    ASSERT_TRUE(authorised(client, main));
    EXPECT_TRUE(shows_globe(main, true));

    const unsigned short port = server->port();
    server.reset();
    ASSERT_TRUE(wait_shown(client, main, shows_error, 30000));
    EXPECT_TRUE(control_shown(main, IDC_BADGE));
    EXPECT_FALSE(client.error_box()) << "a failure after a success is not fatal";
    EXPECT_TRUE(shows_globe(main, false));

    server = std::make_unique<test_auth_server>(
        std::vector<std::string>{"--account", std::string(login) + ":" + password, "--listen",
                                 "127.0.0.1:" + std::to_string(port)});
    ASSERT_EQ(server->port(), port);
    ASSERT_TRUE(wait_record(verified, 30000)) << records.size() << " records";
    ASSERT_TRUE(wait_shown(client, main, shows_authorised, 15000));
    EXPECT_FALSE(control_shown(main, IDC_BADGE));

    EXPECT_TRUE(shows_globe(main, true));
    EXPECT_EQ(close(client, main), 1u);
}

// ---- started with the system, before the network ----

enum class logon_trouble { silent_server, unknown_name, wrong_password, disconnect };

struct logon_case {
    const char* name;
    logon_trouble trouble;
};

void PrintTo(const logon_case& c, std::ostream* out) {
    *out << c.name;
}

class AtLogon : public EndToEnd, public ::testing::WithParamInterface<logon_case> {};

// "--tray --connect" while the server cannot be reached yet: the window shows the error (no
// box) and the program is authorised by itself once the server is there. What the server says
// is no network trouble: a wrong password ends it at once, with its box.
TEST_P(AtLogon, WaitsForTheNetworkButNotForARefusal) {
    const logon_trouble trouble = GetParam().trouble;
    serve(env::protocol_tcp, 20);
    settings::save_credentials(login,
                               trouble == logon_trouble::wrong_password ? "wrong" : password);
    if (trouble == logon_trouble::unknown_name)
        settings::set("AUTH_SERVER", "nonexistent.invalid");
    else if (trouble != logon_trouble::wrong_password)
        server->command("fault unreachable"); // its SYNs are dropped

    client_process& client = start("--tray --connect");
    const HWND main = client.main_window();
    ASSERT_TRUE(main);
    if (trouble == logon_trouble::wrong_password) {
        const HWND box = client.wait_error_box(30000);
        ASSERT_TRUE(box) << "no box for the refusal";
        EXPECT_EQ(test::error_box_text(box), "Неверный пароль");
        ASSERT_TRUE(test::press_ok(box));
        EXPECT_TRUE(wait_shown(client, main, shows_idle, 15000));
        EXPECT_EQ(close(client, main), 1u);
        return;
    }
    ASSERT_TRUE(wait_shown(client, main, shows_error, 30000));
    EXPECT_TRUE(control_enabled(main, IDC_DISCONNECT));
    EXPECT_FALSE(client.error_box()) << "a box while waiting for the network";

    if (trouble == logon_trouble::disconnect) {
        click(main, IDC_DISCONNECT);
        EXPECT_TRUE(wait_shown(client, main, shows_idle, 15000));
        EXPECT_FALSE(client.wait_error_box(1000)) << "a box for the disconnect";
        EXPECT_EQ(close(client, main), 1u);
        return;
    }
    if (trouble == logon_trouble::unknown_name)
        settings::set("AUTH_SERVER", "127.0.0.1");
    else
        server->command("fault none");
    ASSERT_TRUE(wait_record(verified, 40000)) << records.size() << " records";
    EXPECT_TRUE(wait_shown(client, main, shows_authorised, 15000));
    EXPECT_FALSE(client.error_box());
    EXPECT_EQ(close(client, main), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, AtLogon,
    ::testing::Values(logon_case{"ServerSilentThenAnswering", logon_trouble::silent_server},
                      logon_case{"NameUnknownThenKnown", logon_trouble::unknown_name},
                      logon_case{"WrongPasswordAtOnce", logon_trouble::wrong_password},
                      logon_case{"DisconnectWhileWaiting", logon_trouble::disconnect}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the log ----

// LOG_LEVEL 5: a connection and a close, step by step, in the daily file of the working folder.
TEST_F(EndToEnd, LogLevelFiveWritesTheConnectionAndTheClose) {
    folder = std::make_unique<test::temp_folder>("authclient-e2e-log");
    serve(env::protocol_tcp, 20);
    settings::set("LOG_LEVEL", "5");
    settings::save_credentials(login, password);
    const std::string file = test::daily_log_file(folder->path());

    auto lines = [&] { return test::masked_log_lines(file); };

    client_process& client = start("--tray --connect", folder->path());
    HWND main = nullptr;
    ASSERT_TRUE(authorised(client, main));
    // Close once the worker waits in its pause, so the order of the lines is fixed.
    ASSERT_TRUE(test::pump_until(
        [&] {
            const auto now = lines();
            return !now.empty() && now.back() == "[DEBUG] CLIENT - Pause: 20000 ms ...";
        },
        10000));
    ASSERT_EQ(close(client, main), 1u);

    EXPECT_EQ(lines(), test::connection_log("127.0.0.1:" + std::to_string(server->port()),
                                            test::transport::tcp, false));
}

} // namespace
} // namespace e2e
