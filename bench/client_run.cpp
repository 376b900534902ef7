#include "bench/client_run.h"

#include "tests/common/process_windows.h"
#include "tests/common/settings_registry.h"

#include <winsock2.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace bench {

const char* const login = "user";
const char* const password = "secret";

void fail(const std::string& what) {
    throw std::runtime_error(what);
}

bool contains(const std::string& json, const char* text) {
    return json.find(text) != std::string::npos;
}

std::string protocol_name(int protocol) {
    return protocol == env::protocol_udp ? "udp" : "tcp";
}

int protocol_of(const std::string& name) {
    if (name == "udp")
        return env::protocol_udp;
    if (name == "tcp")
        return env::protocol_tcp;
    fail("protocol must be udp or tcp");
}

winsock::winsock() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
        fail("WSAStartup failed");
}

winsock::~winsock() {
    WSACleanup();
}

client_run::client_run() {
    environment.login = login;
    environment.password = password;
    client = std::make_unique<auth::c_client>(environment);
}

client_run::~client_run() {
    if (client->state() != auth::idle) {
        const std::size_t mark = recorder.events().size();
        client->stop(0);
        pump_until([&] { return recorder.find(auth::idle, mark).has_value(); }, 30000);
    }
    environment.main_window = nullptr;
    client.reset();
}

std::size_t client_run::wait(int state, std::size_t from, DWORD timeout_ms) {
    std::optional<std::size_t> found;
    if (!pump_until(
            [&] {
                found = recorder.find(state, from);
                return found.has_value();
            },
            timeout_ms))
        fail("the client did not report state " + std::to_string(state) + open_error_box_note());
    return *found;
}

std::vector<std::string> records(test_auth_server& server, std::size_t count, int timeout_ms,
                                 int quiet_ms) {
    std::vector<std::string> out;
    const double deadline = now_us() + timeout_ms * 1000.0;
    double last = now_us();
    for (;;) {
        if (auto r = server.next_request(2)) {
            out.push_back(std::move(*r));
            last = now_us();
            if (count && out.size() == count)
                return out;
            continue;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        const double now = now_us();
        if (now > deadline || (!count && now - last > quiet_ms * 1000.0))
            return out;
    }
}

std::string pass_reader::next(int seen) {
    for (;;) {
        auto r = server_.next_request(5);
        const double now = now_us();
        if (r) {
            longest_gap_us_ = std::max(longest_gap_us_, now - last_us_);
            last_us_ = now;
            return std::move(*r);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (now - last_us_ > 20e6)
            fail("hang: no request for 20 s after pass " + std::to_string(seen) +
                 open_error_box_note());
    }
}

std::string open_error_box_note() {
    const HWND box = test::find_error_box(0);
    return box ? " (error box: " + utf8_of_ansi(test::error_box_text(box)) + ")" : "";
}

} // namespace bench
