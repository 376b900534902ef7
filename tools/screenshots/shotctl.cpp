// The hands of scripts/screenshots.sh inside the Wine session: finds the program's windows, waits
// for the state that the main window shows, fills its fields and posts the messages that a
// user's clicks produce. One command a run; exit code 0 once it has done what was asked, 1 when
// the window or state did not come, 2 for a command it does not know.
//
//   shotctl wait-window CLASS TITLE SECONDS   prints "x y width height" of the visible window
//   shotctl wait-gone CLASS TITLE SECONDS     until no such window is visible
//   shotctl wait-state STATE SECONDS          idle, busy, error or authorised
//   shotctl set-text CONTROL TEXT             a field of the main window: login, password
//   shotctl focus CONTROL                     the main window's control for the keyboard
//   shotctl press CONTROL                     a button of the main window: connect,
//                                             disconnect, properties
//   shotctl close CLASS TITLE                 as its close box does
//   shotctl page CLASS TITLE INDEX            shows a property sheet's page
//   shotctl show CLASS TITLE, hide CLASS TITLE
//   shotctl workarea                          prints "left top right bottom"
//
// CLASS "main" is the main window's class; TITLE "-" stands for any title.
#include "res/resource.h"
#include "tests/e2e/window_state.h"

#include <windows.h>

#include <prsht.h>

#include <cstdio>
#include <cwchar>

namespace {

// The class that ui/ registers for the main window.
const wchar_t* const main_class = L"" MAIN_WINDOW_CLASS;

struct named_control {
    const wchar_t* name;
    int id;
};

const named_control controls[] = {
    {L"login", IDC_LOGIN},           {L"password", IDC_PASSWORD},     {L"connect", IDC_CONNECT},
    {L"disconnect", IDC_DISCONNECT}, {L"properties", IDC_PROPERTIES},
};

// The id of the main window's control of that name, or 0.
int control_id(const wchar_t* name) {
    for (const named_control& c : controls)
        if (!wcscmp(c.name, name))
            return c.id;
    return 0;
}

bool same_text(const wchar_t* wide, const char* ascii) {
    for (; *wide && *ascii; ++wide, ++ascii)
        if (*wide != static_cast<unsigned char>(*ascii))
            return false;
    return !*wide && !*ascii;
}

// shows_other for a name that is no state.
int state_named(const wchar_t* name) {
    for (int state = e2e::shows_idle; state <= e2e::shows_authorised; ++state)
        if (same_text(name, e2e::state_name(state)))
            return state;
    return e2e::shows_other;
}

HWND find(const wchar_t* window_class, const wchar_t* title) {
    return FindWindowW(wcscmp(window_class, L"main") ? window_class : main_class,
                       wcscmp(title, L"-") ? title : nullptr);
}

HWND find_visible(const wchar_t* window_class, const wchar_t* title) {
    const HWND window = find(window_class, title);
    return window && IsWindowVisible(window) ? window : nullptr;
}

// Another process's windows give no event to wait for: look again until `done` or the time is
// over (checked once for 0 seconds).
template <class Done> bool wait_until(Done done, const wchar_t* seconds) {
    const ULONGLONG end = GetTickCount64() + 1000ULL * static_cast<ULONGLONG>(_wtoi(seconds));
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
}

int result(bool done) {
    return done ? 0 : 1;
}

int wait_window(const wchar_t* window_class, const wchar_t* title, const wchar_t* seconds) {
    RECT r{};
    const bool found = wait_until(
        [&] {
            const HWND window = find_visible(window_class, title);
            return window && GetWindowRect(window, &r);
        },
        seconds);
    if (found)
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return result(found);
}

int wait_state(const wchar_t* name, const wchar_t* seconds) {
    const int state = state_named(name);
    if (state == e2e::shows_other)
        return 2;
    return result(wait_until(
        [&] {
            const HWND main = find_visible(L"main", L"-");
            return main && e2e::state_shown(main) == state;
        },
        seconds));
}

// `act(main, id)` on the main window's control of that name.
template <class Act> int to_control(const wchar_t* name, Act act) {
    const int id = control_id(name);
    if (!id)
        return 2;
    const HWND main = find_visible(L"main", L"-");
    return result(main && act(main, id));
}

int workarea() {
    RECT r{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0))
        return 1;
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* command = argc > 1 ? argv[1] : L"";
    const int arguments = argc - 2;
    auto is = [&](const wchar_t* name, int count) {
        return !wcscmp(command, name) && arguments == count;
    };
    if (is(L"wait-window", 3))
        return wait_window(argv[2], argv[3], argv[4]);
    if (is(L"wait-gone", 3))
        return result(wait_until([&] { return !find_visible(argv[2], argv[3]); }, argv[4]));
    if (is(L"wait-state", 2))
        return wait_state(argv[2], argv[3]);
    if (is(L"set-text", 2))
        return to_control(argv[2], [&](HWND main, int id) {
            return SetDlgItemTextW(main, id, argv[3]) != FALSE;
        });
    if (is(L"focus", 1))
        return to_control(argv[2], [](HWND main, int id) {
            return PostMessageW(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(main, id)),
                                TRUE) != FALSE;
        });
    if (is(L"press", 1))
        return to_control(argv[2], [](HWND main, int id) {
            // What the button sends its dialog when clicked.
            return PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(GetDlgItem(main, id))) != FALSE;
        });
    if (is(L"close", 2)) {
        const HWND window = find(argv[2], argv[3]);
        return result(window && PostMessageW(window, WM_CLOSE, 0, 0));
    }
    if (is(L"page", 3)) {
        const HWND sheet = find(argv[2], argv[3]);
        return result(sheet && PostMessageW(sheet, PSM_SETCURSEL, _wtoi(argv[4]), 0));
    }
    if (is(L"show", 2) || is(L"hide", 2)) {
        const HWND window = find(argv[2], argv[3]);
        if (window)
            ShowWindow(window, wcscmp(command, L"show") ? SW_HIDE : SW_SHOW);
        return result(window != nullptr);
    }
    if (is(L"workarea", 0))
        return workarea();
    std::fwprintf(stderr, L"shotctl: unknown command or wrong number of arguments: %ls\n", command);
    return 2;
}
