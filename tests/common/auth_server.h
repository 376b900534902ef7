// Runs the native reference auth server for a test and talks to it over its control connection,
// the same way on Linux (fork/exec, POSIX sockets) and under Wine (CreateProcessA, Winsock).
// Every wait has a deadline; failures throw std::runtime_error, which the test reports.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

using test_bytes = std::vector<unsigned char>;

class test_auth_server {
public:
    // Starts the server with --listen 127.0.0.1:0 --control ... --quiet and `args` (e.g.
    // {"--account", "alice:secret"}), and waits for it to listen. Pass texts that are not ASCII
    // through command(): under Wine the command line goes through the ANSI code page.
    explicit test_auth_server(std::vector<std::string> args = {});
    // Closes the control connection, which ends the server; waits for it (bounded), kills it
    // if it lingers.
    ~test_auth_server();
    test_auth_server(const test_auth_server&) = delete;
    test_auth_server& operator=(const test_auth_server&) = delete;

    unsigned short port() const;

    // Sends a command line and waits for "ok"; throws on "error ..." or no reply.
    void command(const std::string& line);
    // Sends a command line and returns its reply ("ok" or "error TEXT").
    std::string try_command(const std::string& line);

    // The next request record (one JSON object), or nothing within the time.
    std::optional<std::string> next_request(int timeout_ms);

    // Accessors for the flat JSON records. Each throws when the field is missing or of another
    // kind. Strings come back as the bytes they stand for (\u00XX is byte XX).
    static std::string field(const std::string& json, const char* name);
    static bool is_null(const std::string& json, const char* name);
    static bool bool_field(const std::string& json, const char* name);
    static long long int_field(const std::string& json, const char* name);
    static std::vector<int> ints_field(const std::string& json, const char* name);
    static test_bytes hex_field(const std::string& json, const char* name); // "hex", "random"

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// One UDP exchange with 127.0.0.1:port: the answer datagram, or nothing within the time.
std::optional<test_bytes> udp_exchange(unsigned short port, const test_bytes& request,
                                       int timeout_ms);

// One TCP exchange with 127.0.0.1:port: connects and sends at construction; answer() gives
// everything received until the server closed, or nothing if it has not closed in time.
class test_tcp_exchange {
public:
    test_tcp_exchange(unsigned short port, const test_bytes& request);
    ~test_tcp_exchange();
    test_tcp_exchange(const test_tcp_exchange&) = delete;
    test_tcp_exchange& operator=(const test_tcp_exchange&) = delete;

    std::optional<test_bytes> answer(int timeout_ms);

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

inline std::optional<test_bytes> tcp_exchange(unsigned short port, const test_bytes& request,
                                              int timeout_ms) {
    return test_tcp_exchange(port, request).answer(timeout_ms);
}
