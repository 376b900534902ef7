// Starting another Windows program from a test or a benchmark under Wine, and the paths that
// CMake hands over as Unix paths.
#pragma once

#include "support/win_handle.h"

#include <windows.h>

#include <optional>
#include <string>

namespace test {

// Wine maps the Unix file system onto drive Z:.
std::string windows_path(const std::string& unix_path);

// One run of a program. The destructor kills it if it still runs, so that a failed test leaves
// nothing behind (a program holding its single-instance mutex, say).
class process {
public:
    // Runs `program` (a Windows path) with the command line `"program" arguments` in `folder`
    // (empty: ours); throws std::runtime_error when it cannot start.
    process(const std::string& program, const std::string& arguments,
            const std::string& folder = "");
    ~process();
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    HANDLE handle() const { return process_.get(); }
    DWORD id() const { return id_; }
    const std::string& command_line() const { return command_line_; }

    // Waits until the program waits for input with nothing queued (start-up done).
    bool wait_input_idle(DWORD timeout_ms = 30000) const;
    // The exit code, or nothing if the process still runs after the time.
    std::optional<DWORD> wait_exit(DWORD timeout_ms) const;
    bool running() const;
    void kill();

private:
    unique_handle process_;
    DWORD id_ = 0;
    std::string command_line_;
};

} // namespace test
