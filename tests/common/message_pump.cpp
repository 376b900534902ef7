#include "tests/common/message_pump.h"

#include <algorithm>
#include <chrono>

namespace test {

bool pump_until(const std::function<bool()>& done, DWORD timeout_ms, DWORD slice_ms, HANDLE wake) {
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        const auto left = deadline - clock::now();
        if (left <= clock::duration::zero())
            return false;
        const auto left_ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
        // Sent messages (the worker's SendMessage) wake this wait as well.
        MsgWaitForMultipleObjectsEx(wake ? 1 : 0, wake ? &wake : nullptr,
                                    std::min(static_cast<DWORD>(left_ms), slice_ms), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void pump_for(DWORD milliseconds) {
    pump_until([] { return false; }, milliseconds);
}

} // namespace test
