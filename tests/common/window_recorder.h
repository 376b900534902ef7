// A real window that takes the client's notifications, as the main window would, and records
// each with the time it was handled; like the main window, it passes a resume from sleep on.
#pragma once

#include "auth/messages.h"
#include "tests/common/message_pump.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

namespace test {

class window_recorder {
public:
    struct event {
        int state;
        double t_us; // now_us() when it was handled
    };

    window_recorder();
    ~window_recorder();
    window_recorder(const window_recorder&) = delete;
    window_recorder& operator=(const window_recorder&) = delete;

    HWND window() const { return window_; }
    const std::vector<event>& events() const { return events_; }
    // The states reported at or after position `from`, in order.
    std::vector<int> states(std::size_t from = 0) const;
    int last_state() const { return events_.empty() ? -1 : events_.back().state; }
    const std::vector<auth::server_info>& infos() const { return infos_; }
    // When each server message was handled: the worker reports one right after the answer that
    // carried it, also when the state stays the same.
    const std::vector<double>& info_times() const { return info_times_; }

    // Called for WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC or PBT_APMRESUMESUSPEND.
    std::function<void()> on_resume;

    // The position of the first `state` at or after `from`.
    std::optional<std::size_t> find(int state, std::size_t from = 0) const;
    // Waits, handling this thread's messages, until `find` has it.
    std::optional<std::size_t> wait_state(int state, std::size_t from = 0,
                                          DWORD timeout_ms = 15000);

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);

    HWND window_ = nullptr;
    std::vector<event> events_;
    std::vector<auth::server_info> infos_;
    std::vector<double> info_times_;
};

} // namespace test
