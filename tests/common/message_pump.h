// Waiting on the test's own thread while its messages keep flowing: the client's worker reports
// with SendMessage, which only returns once this thread has handled the message.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace test {

// Handles this thread's messages until `done` holds or `timeout_ms` has passed; true if it
// holds. Sleeps until a message arrives or `wake` (if given) signals, or at most `slice_ms`,
// which lets `done` watch things that come without a message (a window of another thread).
bool pump_until(const std::function<bool()>& done, DWORD timeout_ms, DWORD slice_ms = 20,
                HANDLE wake = nullptr);

// Handles this thread's messages for about `milliseconds` (to see that nothing more arrives).
void pump_for(DWORD milliseconds);

// Handles this thread's messages until WM_QUIT comes (which pump_until drops); its exit code,
// or nothing within the time.
std::optional<WPARAM> wait_quit(DWORD timeout_ms);

} // namespace test
