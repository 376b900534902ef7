// A client in a sandboxed registry, a real window that records what it reports, and the
// reference auth server on loopback.
#pragma once

#include "auth/client.h"
#include "env/env.h"
#include "tests/common/auth_server.h"
#include "tests/common/process_windows.h"
#include "tests/common/registry_sandbox.h"
#include "tests/common/temp_folder.h"
#include "tests/common/window_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace test {

// The client's states by name, and a list of them as the recorder saw them.
using auth::authorised;
using auth::busy;
using auth::error;
using auth::idle;
using states = std::vector<int>;

class client_fixture : public ::testing::Test {
protected:
    client_fixture();
    ~client_fixture() override;

    // Starts the reference server (extra arguments after the listen and control ones) and
    // points the settings at it.
    void serve(const std::vector<std::string>& arguments = {"--account", "user:secret"});
    void configure(int protocol, int type, int period_seconds);
    void set(int key, const std::string& text) { environment->value(key).set(text); }

    // Copies the credentials as the main window does and starts the client.
    void connect(const std::string& login = "user", const std::string& password = "secret",
                 bool at_logon = false);
    // The same as the start-up's "--connect" does it: waiting for the network.
    void connect_at_logon() { connect("user", "secret", true); }

    // Waits for the server's next request; fails the test when none comes in time.
    std::string request(int timeout_ms = 15000);

    // Stops a running worker while the window still takes its reports; the destructor does it
    // too, but a fixture that changes the working folder must do it before it changes back.
    void stop_worker();

    c_registry_sandbox registry;
    window_recorder recorder;
    std::unique_ptr<env::c_env> environment;
    std::unique_ptr<auth::c_client> client;
    std::unique_ptr<test_auth_server> server;
};

// The same, run in a scratch working folder, where the client writes its daily log.
class logged_client_fixture : public client_fixture {
protected:
    logged_client_fixture();
    ~logged_client_fixture() override;

    std::string log_file() const;
    // The lines with their stamps and the server's random numbers masked.
    std::vector<std::string> log_lines() const;
    // How many lines hold `text`.
    int log_count(const std::string& text) const;

private:
    temp_folder folder_{"authclient-log"};
    std::string previous_;
};

using clock_type = std::chrono::steady_clock;

inline long long ms_since(clock_type::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start).count();
}

// Threads of this process: a worker that has ended is gone from the count.
int thread_count();

// "a.b.c.d:port" of the loopback server
std::string server_text(unsigned short port);

} // namespace test

namespace test {

// Fields of the server's request records.
inline std::string json_str(const std::string& json, const char* name) {
    return test_auth_server::is_null(json, name) ? std::string()
                                                 : test_auth_server::field(json, name);
}
inline bool json_bool(const std::string& json, const char* name) {
    return !test_auth_server::is_null(json, name) && test_auth_server::bool_field(json, name);
}
inline long long json_int(const std::string& json, const char* name) {
    return test_auth_server::int_field(json, name);
}
inline std::vector<int> json_ints(const std::string& json, const char* name) {
    return test_auth_server::ints_field(json, name);
}

} // namespace test
