#include "tests/common/window_recorder.h"

#include "tests/common/clock.h"

#include <stdexcept>

namespace test {

namespace {
const char* const class_name = "AuthClientTestRecorder";
}

window_recorder::window_recorder() {
    static const ATOM atom = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &window_recorder::procedure;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = class_name;
        return RegisterClassExA(&wc);
    }();
    (void)atom;
    // Room for a long soak, so that recording a state never moves the list while timed.
    events_.reserve(1 << 16);
    window_ = CreateWindowExA(0, class_name, "recorder", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (!window_)
        throw std::runtime_error("cannot create the recorder window");
}

window_recorder::~window_recorder() {
    DestroyWindow(window_);
}

LRESULT CALLBACK window_recorder::procedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<window_recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == auth::WM_CLIENT_STATE) {
        self->events_.push_back({static_cast<int>(lparam), now_us()});
        return 0;
    }
    if (self && message == WM_POWERBROADCAST && self->on_resume &&
        (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND)) {
        self->on_resume();
        return TRUE;
    }
    if (message == auth::WM_SERVER_INFO) {
        if (self) {
            self->info_times_.push_back(now_us());
            self->infos_.push_back(*reinterpret_cast<const auth::server_info*>(lparam));
        }
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

std::vector<int> window_recorder::states(std::size_t from) const {
    std::vector<int> out;
    for (std::size_t i = from; i < events_.size(); ++i)
        out.push_back(events_[i].state);
    return out;
}

std::optional<std::size_t> window_recorder::find(int state, std::size_t from) const {
    for (std::size_t i = from; i < events_.size(); ++i)
        if (events_[i].state == state)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> window_recorder::wait_state(int state, std::size_t from,
                                                       DWORD timeout_ms) {
    std::optional<std::size_t> found;
    pump_until(
        [&] {
            found = find(state, from);
            return found.has_value();
        },
        timeout_ms);
    return found;
}

} // namespace test
