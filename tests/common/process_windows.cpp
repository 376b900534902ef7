#include "tests/common/process_windows.h"

#include "tests/common/message_pump.h"

#include <functional>

namespace test {

namespace {

struct window_search {
    DWORD process;
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
};

BOOL CALLBACK look_at(HWND window, LPARAM lparam) {
    auto* search = reinterpret_cast<window_search*>(lparam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !search->match(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND find_window(DWORD process, const std::function<bool(HWND)>& match) {
    window_search search{process, match};
    EnumWindows(look_at, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool is_error_box(HWND window) {
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    return IsWindowVisible(window) && window_class(window) == "#32770" &&
           std::string(caption) == "Ошибка";
}

} // namespace

std::string window_class(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND window_of(DWORD process, const char* class_name) {
    return find_window(process, [&](HWND window) {
        return lstrcmpiA(window_class(window).c_str(), class_name) == 0;
    });
}

HWND error_box_of(DWORD process) {
    return find_window(process, is_error_box);
}

HWND find_error_box(DWORD timeout_ms, DWORD process) {
    HWND box = nullptr;
    pump_until(
        [&] {
            box = error_box_of(process);
            return box != nullptr;
        },
        timeout_ms);
    return box;
}

std::string error_box_text(HWND box) {
    // The message of a message box is its static control 0xFFFF. A box of another process
    // answers through its own thread, which must not hang the caller.
    char text[2048] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(GetDlgItem(box, 0xFFFF), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &copied);
    return text;
}

bool press_ok(HWND box, DWORD timeout_ms) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return pump_until([&] { return !IsWindow(box); }, timeout_ms);
}

std::optional<std::string> take_error_box(DWORD timeout_ms) {
    const HWND box = find_error_box(timeout_ms);
    if (!box)
        return std::nullopt;
    std::string text = error_box_text(box);
    press_ok(box, 5000);
    return text;
}

} // namespace test
