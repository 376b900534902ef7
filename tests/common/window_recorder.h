// A real window that records the client's notifications, and waiting helpers that keep this
// thread's messages flowing (the worker's SendMessage waits for them).
#pragma once

#include "auth/messages.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace test {

class window_recorder {
public:
    window_recorder();
    ~window_recorder();
    window_recorder(const window_recorder&) = delete;
    window_recorder& operator=(const window_recorder&) = delete;

    HWND window() const { return window_; }
    const std::vector<int>& states() const { return states_; }
    const std::vector<auth::server_info>& infos() const { return infos_; }
    int last_state() const { return states_.empty() ? -1 : states_.back(); }

    // Waits until `state` has been recorded at or after position `from`; returns its position.
    std::optional<std::size_t> wait_state(int state, std::size_t from = 0,
                                          DWORD timeout_ms = 15000);

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);

    HWND window_ = nullptr;
    std::vector<int> states_;
    std::vector<auth::server_info> infos_;
};

// Handles this thread's messages until `done` holds or the time is up; true if it holds.
bool pump_until(const std::function<bool()>& done, DWORD timeout_ms);

// Handles this thread's messages for about `milliseconds` (to see that nothing more arrives).
void pump_for(DWORD milliseconds);

// Finds an error box of this process (caption "Ошибка"), returns its text and presses OK.
std::optional<std::string> take_error_box(DWORD timeout_ms = 15000);

// The same, but leaves the box open and returns its window.
HWND find_error_box(DWORD timeout_ms = 15000);

std::string error_box_text(HWND box);

} // namespace test
