// What the Windows benchmark programs share beyond the test harness (tests/common): result
// lines, a message pump that sleeps until something arrives, and readings of this machine.
#pragma once

#include "tests/common/clock.h"
#include "tests/common/message_pump.h"

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace bench {

using test::now_us;

// One result line on standard output: {"id":"...", ...}. The report reads these.
class result {
public:
    explicit result(const std::string& id);
    ~result(); // prints the line
    result(const result&) = delete;
    result& operator=(const result&) = delete;

    result& number(const char* key, double value);
    result& text(const char* key, const std::string& value);
    result& flag(const char* key, bool value);
    result& numbers(const char* key, const std::vector<double>& values);

private:
    std::string line_;
};

// The harness's pump, which here sleeps until a message arrives or `wake` (if given) signals,
// or at most `slice_ms` when `done` watches something else: no wake-up of its own in a timing.
inline bool pump_until(const std::function<bool()>& done, DWORD timeout_ms,
                       DWORD slice_ms = INFINITE, HANDLE wake = nullptr) {
    return test::pump_until(done, timeout_ms, slice_ms, wake);
}

// Everything a file or pipe gives until its end.
std::string read_all(HANDLE source);

// A whole file (also one of Linux's /proc, through Z:); empty when it cannot be read.
std::string read_file(const std::string& path);

// Text of the ANSI code page (the program's texts) as UTF-8 (the result lines' texts).
std::string utf8_of_ansi(const std::string& text);

// The local addresses ("0100007F:C350") of this machine's TCP connects to 127.0.0.1:port that
// have had no answer yet (SYN_SENT): the client's connect to a server that drops SYNs. Linux
// lists them; the Windows side has no call that shows a connect in progress.
std::set<std::string> unanswered_connects(unsigned short port);

// Median and largest of samples.
double median(std::vector<double> samples);

// The process's handle count and private bytes, as the system reports them, with the same
// things counted another way where Wine leaves the usual calls unfilled.
struct resources {
    double handles = 0;       // GetProcessHandleCount; else this process's share of the
                              // system handle table
    double private_bytes = 0; // GetProcessMemoryInfo: PrivateUsage, else its equal the
                              // commit charge (PagefileUsage)
    double committed = 0;     // committed private regions, by VirtualQuery over the space
    double working_set = 0;
    double unix_fds = 0; // Wine's Unix file descriptors of this process
};
resources sample_resources();

} // namespace bench
