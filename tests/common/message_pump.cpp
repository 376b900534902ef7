#include "tests/common/message_pump.h"

#include <algorithm>
#include <chrono>

namespace test {

namespace {

using clock = std::chrono::steady_clock;

// Handles the messages in this thread's queue; stops at WM_QUIT and gives its exit code.
std::optional<WPARAM> handle_queued() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return msg.wParam;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return std::nullopt;
}

// Sleeps until a message arrives, `wake` signals, `slice_ms` or the deadline has passed; false
// once the deadline has.
bool sleep_for_input(clock::time_point deadline, DWORD slice_ms, HANDLE wake) {
    const auto left = deadline - clock::now();
    if (left <= clock::duration::zero())
        return false;
    const auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
    // Sent messages (the worker's SendMessage) wake this wait as well.
    MsgWaitForMultipleObjectsEx(wake ? 1 : 0, wake ? &wake : nullptr,
                                std::min(static_cast<DWORD>(left_ms), slice_ms), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    return true;
}

} // namespace

bool pump_until(const std::function<bool()>& done, DWORD timeout_ms, DWORD slice_ms, HANDLE wake) {
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        handle_queued(); // a WM_QUIT is dropped, as a dialog's own loop would
        if (done())
            return true;
        if (!sleep_for_input(deadline, slice_ms, wake))
            return false;
    }
}

void pump_for(DWORD milliseconds) {
    pump_until([] { return false; }, milliseconds);
}

std::optional<WPARAM> wait_quit(DWORD timeout_ms) {
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (const auto code = handle_queued())
            return code;
        if (!sleep_for_input(deadline, 20, nullptr))
            return std::nullopt;
    }
}

} // namespace test
