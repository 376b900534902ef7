#include "tests/common/auth_server.h"

#ifdef _WIN32
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <stdexcept>

#ifndef AUTH_SERVER_PATH
#error "AUTH_SERVER_PATH must name the native auth-server binary"
#endif

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int start_timeout_ms = 30000; // a loaded machine may start programs slowly
constexpr int command_timeout_ms = 10000;
constexpr int exit_timeout_ms = 5000;

#ifdef _WIN32
using native_socket = SOCKET;
const native_socket no_socket = INVALID_SOCKET;
void close_native(native_socket s) {
    closesocket(s);
}
int last_socket_error() {
    return WSAGetLastError();
}
#else
using native_socket = int;
const native_socket no_socket = -1;
void close_native(native_socket s) {
    close(s);
}
int last_socket_error() {
    return errno;
}
#endif

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("auth server test: " + what);
}

// Winsock counts its users; POSIX has nothing to start.
class socket_library {
public:
    socket_library() {
#ifdef _WIN32
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            fail("WSAStartup failed");
#endif
    }
    ~socket_library() {
#ifdef _WIN32
        WSACleanup();
#endif
    }
    socket_library(const socket_library&) = delete;
    socket_library& operator=(const socket_library&) = delete;
};

class socket_guard {
public:
    explicit socket_guard(native_socket s = no_socket) : s_(s) {}
    ~socket_guard() { reset(); }
    socket_guard(const socket_guard&) = delete;
    socket_guard& operator=(const socket_guard&) = delete;
    native_socket get() const { return s_; }
    void reset(native_socket s = no_socket) {
        if (s_ != no_socket)
            close_native(s_);
        s_ = s;
    }

private:
    native_socket s_;
};

sockaddr_in loopback(unsigned short port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int remaining_ms(clock_type::time_point deadline) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

// Waits until the socket is readable (or has news such as a close), at most until the deadline.
bool wait_readable(native_socket s, clock_type::time_point deadline) {
    for (;;) {
        const int ms = remaining_ms(deadline);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval limit{ms / 1000, (ms % 1000) * 1000};
        const int n = select(static_cast<int>(s + 1), &set, nullptr, nullptr, &limit);
        if (n > 0)
            return true;
#ifndef _WIN32
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n < 0)
            fail("select failed: " + std::to_string(last_socket_error()));
        return false;
    }
}

void send_all(native_socket s, const char* data, std::size_t size) {
    while (size) {
#ifdef _WIN32
        const int n = send(s, data, static_cast<int>(size), 0);
#else
        const ssize_t n = send(s, data, size, MSG_NOSIGNAL);
#endif
        if (n <= 0)
            fail("send failed: " + std::to_string(last_socket_error()));
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// ---- the records' JSON: one flat object of strings, numbers, booleans, null, int arrays ----

struct json_value {
    enum kind_type { string, number, boolean, null, array } kind = null;
    std::string text;
    long long number_value = 0;
    bool boolean_value = false;
    std::vector<int> items;
};

class json_reader {
public:
    explicit json_reader(const std::string& s) : s_(s) {}

    std::optional<json_value> find(const char* name) {
        skip();
        expect('{');
        skip();
        if (peek() == '}')
            return std::nullopt;
        for (;;) {
            skip();
            const std::string key = string_value();
            skip();
            expect(':');
            json_value v = value();
            if (key == name)
                return v;
            skip();
            if (peek() == ',') {
                ++i_;
                continue;
            }
            expect('}');
            return std::nullopt;
        }
    }

private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    void skip() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
            ++i_;
    }
    void expect(char c) {
        if (peek() != c)
            fail(std::string("bad JSON (expected '") + c + "'): " + s_);
        ++i_;
    }

    std::string string_value() {
        expect('"');
        std::string out;
        for (;;) {
            if (i_ >= s_.size())
                fail("unterminated JSON string: " + s_);
            const char c = s_[i_++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = peek();
            ++i_;
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (i_ + 4 > s_.size())
                    fail("bad \\u escape: " + s_);
                const unsigned long code = std::stoul(s_.substr(i_, 4), nullptr, 16);
                i_ += 4;
                if (code > 0xFF)
                    fail("the records carry bytes only: " + s_);
                out += static_cast<char>(code);
                break;
            }
            default:
                out += e;
            }
        }
    }

    json_value value() {
        skip();
        json_value v;
        const char c = peek();
        if (c == '"') {
            v.kind = json_value::string;
            v.text = string_value();
        } else if (c == '[') {
            v.kind = json_value::array;
            ++i_;
            skip();
            if (peek() == ']') {
                ++i_;
                return v;
            }
            for (;;) {
                json_value item = value();
                if (item.kind != json_value::number)
                    fail("only arrays of integers are expected: " + s_);
                v.items.push_back(static_cast<int>(item.number_value));
                skip();
                if (peek() == ',') {
                    ++i_;
                    continue;
                }
                expect(']');
                return v;
            }
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            v.kind = json_value::number;
            const std::size_t start = i_;
            ++i_;
            while (peek() >= '0' && peek() <= '9')
                ++i_;
            v.number_value = std::stoll(s_.substr(start, i_ - start));
        } else if (s_.compare(i_, 4, "true") == 0) {
            v.kind = json_value::boolean;
            v.boolean_value = true;
            i_ += 4;
        } else if (s_.compare(i_, 5, "false") == 0) {
            v.kind = json_value::boolean;
            i_ += 5;
        } else if (s_.compare(i_, 4, "null") == 0) {
            i_ += 4;
        } else {
            fail("bad JSON value: " + s_);
        }
        return v;
    }

    const std::string& s_;
    std::size_t i_ = 0;
};

json_value get(const std::string& json, const char* name, json_value::kind_type kind) {
    auto v = json_reader(json).find(name);
    if (!v)
        fail(std::string("no field '") + name + "' in " + json);
    if (v->kind != kind)
        fail(std::string("field '") + name + "' has another type in " + json);
    return *v;
}

#ifdef _WIN32
// Wine maps the Unix file system onto drive Z:.
std::string windows_path(const std::string& unix_path) {
    if (unix_path.empty() || unix_path[0] != '/')
        return unix_path;
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

// One argument quoted the way the command-line parser splits it again.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}
#endif

} // namespace

// ---- the server ----

struct test_auth_server::impl {
    socket_library library;
    socket_guard control;
    std::string input;
    std::deque<std::string> requests, replies;
    unsigned short port = 0;
#ifdef _WIN32
    HANDLE process = nullptr;
#else
    pid_t pid = -1;
#endif

    void start(std::vector<std::string> args) {
        socket_guard listener(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a = loopback(0);
        socklen_t size = sizeof a;
        if (listener.get() == no_socket ||
            bind(listener.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listener.get(), 1) != 0 ||
            getsockname(listener.get(), reinterpret_cast<sockaddr*>(&a), &size) != 0)
            fail("cannot open the control listener: " + std::to_string(last_socket_error()));

        std::vector<std::string> argv = {AUTH_SERVER_PATH,
                                         "--listen",
                                         "127.0.0.1:0",
                                         "--control",
                                         "127.0.0.1:" + std::to_string(ntohs(a.sin_port)),
                                         "--quiet",
                                         "--lifetime",
                                         "900"};
        argv.insert(argv.end(), args.begin(), args.end());
        spawn(argv);

        const auto deadline = clock_type::now() + std::chrono::milliseconds(start_timeout_ms);
        if (!wait_readable(listener.get(), deadline))
            fail(std::string("the server did not connect back (is it built? ") + AUTH_SERVER_PATH +
                 ")");
        control.reset(accept(listener.get(), nullptr, nullptr));
        if (control.get() == no_socket)
            fail("accept failed: " + std::to_string(last_socket_error()));
        for (;;) {
            const auto line = read_line(deadline);
            if (!line)
                fail("the server did not start listening");
            if (line->rfind("port ", 0) == 0)
                port = static_cast<unsigned short>(std::stoul(line->substr(5)));
            else if (*line == "listening")
                break;
            else if (line->rfind("error", 0) == 0)
                fail("the server failed to start: " + *line);
        }
        if (port == 0)
            fail("the server did not tell its port");
    }

    void spawn(const std::vector<std::string>& argv) {
#ifdef _WIN32
        const std::string program = windows_path(argv[0]);
        std::string command_line = quoted(program);
        for (std::size_t i = 1; i < argv.size(); ++i)
            command_line += " " + quoted(argv[i]);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::vector<char> writable(command_line.begin(), command_line.end());
        writable.push_back('\0');
        if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info))
            fail("cannot start " + program + ": error " + std::to_string(GetLastError()));
        if (info.hThread)
            CloseHandle(info.hThread);
        process = info.hProcess;
#else
        if (access(argv[0].c_str(), X_OK) != 0)
            fail("no server binary at " + argv[0] + " (build the host preset first)");
        std::vector<char*> raw;
        for (const auto& arg : argv)
            raw.push_back(const_cast<char*>(arg.c_str()));
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int error = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            pid = -1;
            fail("cannot start " + argv[0] + ": " + std::strerror(error));
        }
#endif
    }

    // The next line that is not a request record; records met on the way are queued.
    std::optional<std::string> read_line(clock_type::time_point deadline) {
        while (replies.empty())
            if (!read_one(deadline))
                return std::nullopt;
        std::string line = replies.front();
        replies.pop_front();
        return line;
    }

    // Sorts one more line into the records or the other lines.
    bool read_one(clock_type::time_point deadline) {
        for (;;) {
            const auto end = input.find('\n');
            if (end != std::string::npos) {
                std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                (!line.empty() && line[0] == '{' ? requests : replies).push_back(line);
                return true;
            }
            if (!read_some(deadline))
                return false;
        }
    }

    // Reads what has arrived; false on time-out or a closed connection.
    bool read_some(clock_type::time_point deadline) {
        if (control.get() == no_socket || !wait_readable(control.get(), deadline))
            return false;
        char buffer[4096];
        const int n = static_cast<int>(recv(control.get(), buffer, sizeof buffer, 0));
        if (n <= 0) {
            control.reset();
            return false;
        }
        input.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    void stop() {
        bool ended = false;
        if (control.get() != no_socket) {
#ifdef _WIN32
            shutdown(control.get(), SD_SEND);
#else
            shutdown(control.get(), SHUT_WR);
#endif
            // The server closes its end as it exits.
            const auto deadline = clock_type::now() + std::chrono::milliseconds(exit_timeout_ms);
            while (read_some(deadline)) {
            }
            ended = control.get() == no_socket;
            control.reset();
        }
#ifdef _WIN32
        if (process) {
            if (WaitForSingleObject(process, ended ? exit_timeout_ms : 0) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
            process = nullptr;
        }
#else
        if (pid > 0) {
            if (!ended)
                kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
        }
#endif
    }

    ~impl() {
        stop();
    }
};

test_auth_server::test_auth_server(std::vector<std::string> args) : impl_(new impl) {
    impl_->start(std::move(args));
}

test_auth_server::~test_auth_server() = default;

unsigned short test_auth_server::port() const {
    return impl_->port;
}

std::string test_auth_server::try_command(const std::string& line) {
    const std::string l = line + "\n";
    send_all(impl_->control.get(), l.data(), l.size());
    const auto reply =
        impl_->read_line(clock_type::now() + std::chrono::milliseconds(command_timeout_ms));
    if (!reply)
        fail("no reply to '" + line + "'");
    return *reply;
}

void test_auth_server::command(const std::string& line) {
    const std::string reply = try_command(line);
    if (reply != "ok")
        fail("'" + line + "' answered: " + reply);
}

std::optional<std::string> test_auth_server::next_request(int timeout_ms) {
    const auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
    while (impl_->requests.empty())
        if (!impl_->read_one(deadline))
            return std::nullopt;
    std::string r = impl_->requests.front();
    impl_->requests.pop_front();
    return r;
}

std::string test_auth_server::field(const std::string& json, const char* name) {
    return get(json, name, json_value::string).text;
}

bool test_auth_server::is_null(const std::string& json, const char* name) {
    auto v = json_reader(json).find(name);
    if (!v)
        fail(std::string("no field '") + name + "' in " + json);
    return v->kind == json_value::null;
}

bool test_auth_server::bool_field(const std::string& json, const char* name) {
    return get(json, name, json_value::boolean).boolean_value;
}

long long test_auth_server::int_field(const std::string& json, const char* name) {
    return get(json, name, json_value::number).number_value;
}

std::vector<int> test_auth_server::ints_field(const std::string& json, const char* name) {
    return get(json, name, json_value::array).items;
}

test_bytes test_auth_server::hex_field(const std::string& json, const char* name) {
    const std::string hex = field(json, name);
    if (hex.size() % 2)
        fail(std::string("odd hex in '") + name + "'");
    test_bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// ---- plain exchanges ----

std::optional<test_bytes> udp_exchange(unsigned short port, const test_bytes& request,
                                       int timeout_ms) {
    socket_library library;
    socket_guard s(socket(AF_INET, SOCK_DGRAM, 0));
    if (s.get() == no_socket)
        fail("cannot create a UDP socket");
    const sockaddr_in to = loopback(port);
    if (sendto(s.get(), reinterpret_cast<const char*>(request.data()),
               static_cast<int>(request.size()), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0)
        fail("sendto failed: " + std::to_string(last_socket_error()));
    if (!wait_readable(s.get(), clock_type::now() + std::chrono::milliseconds(timeout_ms)))
        return std::nullopt;
    test_bytes answer(65536);
    const int n = static_cast<int>(recvfrom(s.get(), reinterpret_cast<char*>(answer.data()),
                                            static_cast<int>(answer.size()), 0, nullptr, nullptr));
    if (n < 0)
        fail("recvfrom failed: " + std::to_string(last_socket_error()));
    answer.resize(static_cast<std::size_t>(n));
    return answer;
}

struct test_tcp_exchange::impl {
    socket_library library;
    socket_guard s;
};

test_tcp_exchange::test_tcp_exchange(unsigned short port, const test_bytes& request)
    : impl_(new impl) {
    impl_->s.reset(socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in to = loopback(port);
    if (impl_->s.get() == no_socket ||
        connect(impl_->s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        fail("cannot connect over TCP: " + std::to_string(last_socket_error()));
    send_all(impl_->s.get(), reinterpret_cast<const char*>(request.data()), request.size());
}

test_tcp_exchange::~test_tcp_exchange() = default;

std::optional<test_bytes> test_tcp_exchange::answer(int timeout_ms) {
    const auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
    test_bytes answer;
    for (;;) {
        if (!wait_readable(impl_->s.get(), deadline))
            return std::nullopt;
        char buffer[4096];
        const int n = static_cast<int>(recv(impl_->s.get(), buffer, sizeof buffer, 0));
        if (n < 0)
            fail("recv failed: " + std::to_string(last_socket_error()));
        if (n == 0)
            return answer;
        answer.insert(answer.end(), buffer, buffer + n);
    }
}
