#include "tests/common/window_recorder.h"

#include <algorithm>

namespace test {

namespace {

const char* const class_name = "AuthClientTestRecorder";

ATOM register_class() {
    static const ATOM atom = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA; // replaced per window below
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = class_name;
        return RegisterClassExA(&wc);
    }();
    return atom;
}

} // namespace

window_recorder::window_recorder() {
    register_class();
    window_ = CreateWindowExA(0, class_name, "recorder", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
}

window_recorder::~window_recorder() {
    if (window_)
        DestroyWindow(window_);
}

LRESULT CALLBACK window_recorder::procedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
    auto* self = reinterpret_cast<window_recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == auth::WM_CLIENT_STATE) {
        self->states_.push_back(static_cast<int>(lparam));
        return 0;
    }
    if (self && message == auth::WM_SERVER_INFO) {
        self->infos_.push_back(*reinterpret_cast<const auth::server_info*>(lparam));
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

std::optional<std::size_t> window_recorder::wait_state(int state, std::size_t from,
                                                       DWORD timeout_ms) {
    std::optional<std::size_t> found;
    pump_until(
        [&] {
            for (std::size_t i = from; i < states_.size(); ++i)
                if (states_[i] == state) {
                    found = i;
                    return true;
                }
            return false;
        },
        timeout_ms);
    return found;
}

bool pump_until(const std::function<bool()>& done, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        // Wakes for every message, sent ones included; the short bound lets `done` look at
        // things that arrive without a message (an error box of another thread).
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                  QS_ALLINPUT);
    }
}

void pump_for(DWORD milliseconds) {
    pump_until([] { return false; }, milliseconds);
}

namespace {

struct box_search {
    HWND found = nullptr;
};

BOOL CALLBACK look_at(HWND window, LPARAM lparam) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    char class_text[16] = {}, caption[64] = {};
    GetClassNameA(window, class_text, sizeof class_text);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(class_text) == "#32770" && std::string(caption) == "Ошибка") {
        reinterpret_cast<box_search*>(lparam)->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND find_error_box(DWORD timeout_ms) {
    box_search search;
    pump_until(
        [&] {
            EnumWindows(look_at, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout_ms);
    return search.found;
}

std::string error_box_text(HWND box) {
    char text[2048] = {};
    // The message text of a message box is its static control 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

std::optional<std::string> take_error_box(DWORD timeout_ms) {
    const HWND box = find_error_box(timeout_ms);
    if (!box)
        return std::nullopt;
    std::string text = error_box_text(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    pump_until([&] { return !IsWindow(box); }, 5000);
    return text;
}

} // namespace test
