// What the modes of client_bench share: the account, Winsock, the server and the settings that
// point at it, the client in this process with a recorder window, and the server's records.
#pragma once

#include "auth/client.h"
#include "bench/bench_support.h"
#include "env/env.h"
#include "tests/common/auth_server.h"
#include "tests/common/registry_override.h"
#include "tests/common/settings_registry.h"
#include "tests/common/window_recorder.h"

#include <memory>
#include <string>
#include <vector>

namespace bench {

extern const char* const login;
extern const char* const password;

[[noreturn]] void fail(const std::string& what);

// What went wrong in a run that still yields figures: how often, and the first of it.
struct anomaly_log {
    int anomalies = 0;
    std::string first;
    void note(const std::string& what) {
        if (!anomalies++)
            first = what;
    }
};

bool contains(const std::string& json, const char* text);

std::string protocol_name(int protocol);
int protocol_of(const std::string& name);

class winsock {
public:
    winsock();
    ~winsock();
    winsock(const winsock&) = delete;
    winsock& operator=(const winsock&) = delete;
};

// Winsock, the reference server with the account, and HKEY_CURRENT_USER overridden with
// settings that point at that server: where the modes of the client in this process start.
struct served {
    winsock sockets;
    test_auth_server server{{"--account", std::string(login) + ":" + password}};
    test::registry_override sandbox;

    served() { test::settings::point_at(server.port()); }
};

// The environment and the client, reporting to a recorder window of this thread.
struct client_run {
    test::window_recorder recorder;
    env::c_env environment{recorder.window()};
    std::unique_ptr<auth::c_client> client;

    client_run();
    ~client_run();
    client_run(const client_run&) = delete;
    client_run& operator=(const client_run&) = delete;

    // Waits for `state` at or after `from`; its position. A failure names the error box that
    // stands in the way, if one is open.
    std::size_t wait(int state, std::size_t from, DWORD timeout_ms = 30000);
};

// Server records until `count` have come (or, with count 0, until none came for `quiet_ms`),
// keeping this thread's messages flowing meanwhile.
std::vector<std::string> records(test_auth_server& server, std::size_t count, int timeout_ms,
                                 int quiet_ms = 300);

// The server's records one by one while the client runs at period 0, keeping this thread's
// messages flowing. A pass takes at most the 5 s answer time and a 500 ms pause: no record
// for 20 s is a hang and fails the run.
class pass_reader {
public:
    explicit pass_reader(test_auth_server& server) : server_(server), last_us_(now_us()) {}
    std::string next(int seen); // `seen`: the passes so far, for the failure's text
    double longest_gap_us() const { return longest_gap_us_; }

private:
    test_auth_server& server_;
    double last_us_;
    double longest_gap_us_ = 0;
};

// " (error box: TEXT)" while an error box of this process is open, else nothing.
std::string open_error_box_note();

} // namespace bench
