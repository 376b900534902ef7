// What the Windows benchmark programs share: a clock, result lines, a recorder window for the
// client's notifications, a message pump that sleeps until something arrives, a registry
// sandbox, and the request packets as the client builds them.
#pragma once

#include "auth/messages.h"
#include "auth/packet.h"

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace bench {

// Microseconds on the monotonic performance counter.
double now_us();

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

// A real window that takes WM_CLIENT_STATE and time-stamps each state as it is handled.
class recorder {
public:
    struct event {
        int state;
        double t_us;
    };

    recorder();
    ~recorder();
    recorder(const recorder&) = delete;
    recorder& operator=(const recorder&) = delete;

    HWND window() const { return window_; }
    const std::vector<event>& events() const { return events_; }
    // The first event of `state` at or after `from`, or -1.
    long find(int state, std::size_t from) const;

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::vector<event> events_;
};

// Handles this thread's messages until `done` holds or `timeout_ms` has passed. Sleeps until a
// message arrives or `wake` (if given) signals, or at most `slice_ms` when `done` watches
// something else.
bool pump_until(const std::function<bool()>& done, DWORD timeout_ms, DWORD slice_ms = INFINITE,
                HANDLE wake = nullptr);

// HKEY_CURRENT_USER of this process mapped onto a scratch key, removed again at the end.
class registry_sandbox {
public:
    registry_sandbox();
    ~registry_sandbox();
    registry_sandbox(const registry_sandbox&) = delete;
    registry_sandbox& operator=(const registry_sandbox&) = delete;

private:
    std::string path_;
    HKEY scratch_ = nullptr;
};

// Values under HKCU\Software\Auth Client (of the sandbox when one is active).
void set_setting(const char* name, const std::string& value);
void remove_setting(const char* name);

// Wine maps the Unix file system onto drive Z:.
std::string windows_path(const std::string& unix_path);

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

// Request packets of the sizes the client sends, built with the client's own packet code.
std::vector<unsigned char> build(const std::string& login, const std::string& password,
                                 const auth::server_random& random, bool disconnect);
// The server_random of an answer, or all zero when it carries none.
auth::server_random answer_random(const unsigned char* answer, std::size_t size);

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
