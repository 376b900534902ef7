// The reference server as the client and the other tests meet it: challenges and DES checks,
// faults, info messages, control commands, and the plain start-up form on standard output.
#include "auth/packet.h"
#include "authclient_version.h"
#include "tests/common/auth_server.h"
#include "tests/common/packets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

extern char** environ;

namespace {

using server = test_auth_server;
using clock_type = std::chrono::steady_clock;

constexpr int wait_ms = 10000;

using test::parse_answer;
using test::parsed_answer;
using test::request_bytes;

// A client of one protocol that keeps the challenge like the real one does.
class client {
public:
    client(unsigned short port, bool tcp, std::optional<std::string> login,
           const std::string& password)
        : port_(port), tcp_(tcp), login_(std::move(login)) {
        request_.version = "WIN-" AUTHCLIENT_VERSION;
        request_.key = auth::make_key(password);
        request_.login = login_ ? &*login_ : nullptr;
    }

    std::optional<test_bytes> send(const test_bytes& packet, int timeout_ms = wait_ms) {
        return tcp_ ? tcp_exchange(port_, packet, timeout_ms)
                    : udp_exchange(port_, packet, timeout_ms);
    }

    // One exchange; a readable answer's random becomes the one to answer next.
    parsed_answer pass(bool disconnect = false) {
        request_.disconnect = disconnect;
        const auto answer = send(request_bytes(request_));
        if (!answer) {
            ADD_FAILURE() << "no answer";
            return {};
        }
        parsed_answer p = parse_answer(*answer);
        if (p.random)
            request_.random = *p.random;
        return p;
    }

    auth::request& request() { return request_; }

private:
    unsigned short port_;
    bool tcp_;
    std::optional<std::string> login_;
    auth::request request_;
};

std::string next(server& s) {
    const auto line = s.next_request(wait_ms);
    if (!line)
        throw std::runtime_error("no request record");
    return *line;
}

class Exchange : public ::testing::TestWithParam<bool> {
protected:
    bool tcp() const { return GetParam(); }
};

std::string protocol_name(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Tcp" : "Udp";
}

TEST_P(Exchange, AuthenticatesWithFreshChallengesAndDisconnects) {
    server s({"--account", "alice:secret", "--account", "bob:other"});
    client c(s.port(), tcp(), std::string("alice"), "secret");

    const parsed_answer first = c.pass();
    ASSERT_EQ(first.verdict, auth::verdict::well_formed);
    ASSERT_TRUE(first.random);
    EXPECT_EQ(first.code, 0u);
    std::string j = next(s);
    EXPECT_EQ(server::field(j, "login"), "alice");
    EXPECT_FALSE(server::bool_field(j, "encrypted_random"));
    EXPECT_TRUE(server::is_null(j, "verified"));
    EXPECT_EQ(server::field(j, "answer"), "ok");

    const parsed_answer second = c.pass();
    EXPECT_EQ(second.code, 0u);
    ASSERT_TRUE(second.random);
    EXPECT_NE(*second.random, *first.random);
    j = next(s);
    EXPECT_EQ(server::ints_field(j, "chunks"), (std::vector<int>{7, 13, 1, 2}));
    EXPECT_TRUE(server::bool_field(j, "verified"));

    const parsed_answer last = c.pass(true);
    EXPECT_EQ(last.code, 0u);
    j = next(s);
    EXPECT_TRUE(server::bool_field(j, "disconnect"));
    EXPECT_TRUE(server::bool_field(j, "verified"));
    EXPECT_EQ(server::ints_field(j, "chunks"), (std::vector<int>{7, 13, 1, 2, 31}));
}

TEST_P(Exchange, WrongPasswordIsRefusedWith1001) {
    server s({"--account", "alice:secret"});
    client c(s.port(), tcp(), std::string("alice"), "secreT");
    c.pass();
    next(s);
    const parsed_answer refused = c.pass();
    EXPECT_EQ(refused.verdict, auth::verdict::well_formed);
    EXPECT_EQ(refused.code, 1001u);
    const std::string j = next(s);
    EXPECT_FALSE(server::bool_field(j, "verified"));
    EXPECT_EQ(server::field(j, "answer"), "error 1001");
}

TEST_P(Exchange, OnlyTheLastChallengeCounts) {
    server s({"--account", "alice:secret"});
    client c(s.port(), tcp(), std::string("alice"), "secret");
    const auto first = c.pass();
    c.request().random = auth::server_random{}; // a second first request: a new challenge
    c.pass();
    c.request().random = *first.random; // answering the older one
    EXPECT_EQ(c.pass().code, 1001u);
}

TEST_P(Exchange, UnknownLoginIsRefused) {
    server s({"--account", "alice:secret"});
    client c(s.port(), tcp(), std::string("mallory"), "secret");
    EXPECT_EQ(c.pass().code, 0u); // a challenge for anyone
    EXPECT_EQ(c.pass().code, 1001u);
}

INSTANTIATE_TEST_SUITE_P(Protocols, Exchange, ::testing::Values(false, true), protocol_name);

TEST(Exchange, WithoutLoginByPeerAddressAndLocalIpRecorded) {
    server s({"--account", ":pw"});
    client c(s.port(), true, std::nullopt, "pw");
    c.pass();
    next(s);
    const unsigned char local_ip[6] = {127, 0, 0, 1, 0x1F, 0x90};
    const auto answer = c.send(request_bytes(c.request(), local_ip));
    ASSERT_TRUE(answer);
    EXPECT_EQ(parse_answer(*answer).code, 0u);
    const std::string j = next(s);
    EXPECT_EQ(server::field(j, "local_ip"), "127.0.0.1:8080");
    EXPECT_EQ(server::ints_field(j, "chunks"), (std::vector<int>{13, 1, 2, 10}));
    EXPECT_TRUE(server::bool_field(j, "verified"));
}

TEST(Exchange, BadRequestIsRecordedAndNotAnswered) {
    server s;
    const test_bytes garbage = {0x4C, 0x44, 0x00, 0x00};
    EXPECT_FALSE(udp_exchange(s.port(), garbage, 300));
    const std::string j = next(s);
    EXPECT_EQ(server::field(j, "request"), "wrong_magic");
    EXPECT_EQ(server::field(j, "answer"), "none");
    EXPECT_EQ(server::hex_field(j, "hex"), garbage);
}

// ---- faults ----

struct fault_case {
    const char* name;
    const char* command;
    // What the answer must be, over UDP and over TCP alike.
    std::function<void(const std::optional<test_bytes>&)> check;
};

void PrintTo(const fault_case& c, std::ostream* os) {
    *os << c.command;
}

void no_answer(const std::optional<test_bytes>& a) {
    // UDP: nothing arrives; TCP: closed without a byte.
    if (a)
        EXPECT_TRUE(a->empty());
}

void verdict_is(const std::optional<test_bytes>& a, auth::verdict v) {
    ASSERT_TRUE(a);
    EXPECT_EQ(auth::check_answer(a->data(), std::min(a->size(), auth::packet_buffer_size)), v);
}

const fault_case fault_cases[] = {
    {"Drop", "fault drop", no_answer},
    {"Magic", "fault magic",
     [](const std::optional<test_bytes>& a) { verdict_is(a, auth::verdict::wrong_magic); }},
    {"Broken", "fault broken",
     [](const std::optional<test_bytes>& a) { verdict_is(a, auth::verdict::broken_chunks); }},
    {"Overlong", "fault overlong",
     [](const std::optional<test_bytes>& a) {
         ASSERT_TRUE(a);
         EXPECT_GT(a->size(), auth::packet_buffer_size);
         verdict_is(a, auth::verdict::broken_chunks); // as a client's 8192 bytes see it
     }},
    {"SixtyFiveChunks", "fault chunks65",
     [](const std::optional<test_bytes>& a) { verdict_is(a, auth::verdict::broken_chunks); }},
    {"UnsupportedType", "fault type 7",
     [](const std::optional<test_bytes>& a) {
         ASSERT_TRUE(a);
         const auto p = parse_answer(*a);
         ASSERT_EQ(p.verdict, auth::verdict::well_formed);
         std::vector<int> types;
         for (const auto& c : p.chunks)
             types.push_back(c.type);
         EXPECT_EQ(types, (std::vector<int>{101, 7, 255}));
         EXPECT_EQ(p.code, 0u);
     }},
    {"ErrorCode", "fault error 1006",
     [](const std::optional<test_bytes>& a) {
         ASSERT_TRUE(a);
         EXPECT_EQ(parse_answer(*a).code, 1006u);
         EXPECT_TRUE(parse_answer(*a).random);
     }},
    {"OneByte", "fault short1",
     [](const std::optional<test_bytes>& a) { EXPECT_EQ(a, test_bytes{0x44}); }},
    {"TwoBytes", "fault short2",
     [](const std::optional<test_bytes>& a) {
         EXPECT_EQ(a, (test_bytes{0x44, 0x4C}));
     }},
    {"Raw", "fault raw 444c0300fffe0000",
     [](const std::optional<test_bytes>& a) {
         EXPECT_EQ(a, (test_bytes{0x44, 0x4C, 0x03, 0x00, 0xFF, 0xFE, 0x00, 0x00}));
     }},
    {"NoRandom", "fault norandom",
     [](const std::optional<test_bytes>& a) {
         ASSERT_TRUE(a);
         const auto p = parse_answer(*a);
         ASSERT_EQ(p.verdict, auth::verdict::well_formed);
         EXPECT_FALSE(p.random);
         EXPECT_EQ(p.code, 0u);
     }},
};

class Fault : public ::testing::TestWithParam<std::tuple<fault_case, bool>> {};

TEST_P(Fault, AppliesForItsCountThenNormalAnswersResume) {
    const fault_case& f = std::get<0>(GetParam());
    const bool tcp = std::get<1>(GetParam());
    server s({"--account", ":pw"});
    s.command(std::string(f.command) + " 1");
    client c(s.port(), tcp, std::nullopt, "pw");

    // A missing UDP answer is only waited for briefly: a wrong one would arrive at once.
    const int timeout = tcp ? wait_ms : 500;
    f.check(c.send(request_bytes(c.request()), timeout));
    EXPECT_EQ(server::field(next(s), "answer"), std::string("fault ") + (f.command + 6));

    EXPECT_EQ(c.pass().code, 0u);
    EXPECT_EQ(server::field(next(s), "answer"), "ok");
}

INSTANTIATE_TEST_SUITE_P(Modes, Fault,
                         ::testing::Combine(::testing::ValuesIn(fault_cases),
                                            ::testing::Values(false, true)),
                         [](const ::testing::TestParamInfo<std::tuple<fault_case, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Tcp" : "Udp");
                         });

// A client ignores an answer it cannot read and answers its old challenge again: that must
// still verify.
TEST(Fault, UnreadableAnswerDoesNotReplaceTheChallenge) {
    for (const char* mode : {"magic", "broken", "chunks65", "short2", "drop"}) {
        server s({"--account", ":pw"});
        client c(s.port(), false, std::nullopt, "pw");
        c.pass();
        s.command(std::string("fault ") + mode + " 1");
        c.send(request_bytes(c.request()), 300);
        EXPECT_EQ(c.pass().code, 0u) << mode;
    }
}

TEST(Fault, WithoutCountLastsUntilNone) {
    server s({"--account", ":", "--fault", "error:1005"});
    client c(s.port(), false, std::nullopt, "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(c.pass().code, 1005u);
    s.command("fault none");
    EXPECT_EQ(c.pass().code, 0u);
}

TEST(Fault, StartUpCountCoversTheFirstExchanges) {
    server s({"--fault", "short2:2"});
    client c(s.port(), false, std::nullopt, "");
    const test_bytes request = request_bytes(c.request());
    EXPECT_EQ(c.send(request), (test_bytes{0x44, 0x4C}));
    EXPECT_EQ(c.send(request), (test_bytes{0x44, 0x4C}));
    EXPECT_EQ(c.pass().code, 0u);
}

TEST(Fault, DelayHoldsTheAnswerBack) {
    server s;
    s.command("fault delay 400 2");
    for (bool tcp : {false, true}) {
        client c(s.port(), tcp, std::nullopt, "");
        const auto start = clock_type::now();
        const parsed_answer p = c.pass();
        const auto elapsed = clock_type::now() - start;
        EXPECT_EQ(p.code, 0u);
        EXPECT_GE(elapsed, std::chrono::milliseconds(400)) << (tcp ? "tcp" : "udp");
        EXPECT_EQ(server::field(next(s), "answer"), "fault delay 400");
    }
}

TEST(Fault, HeldTcpConnectionIsAnsweredAtRelease) {
    server s({"--account", ":pw"});
    s.command("fault hold");
    client c(s.port(), true, std::nullopt, "pw");
    test_tcp_exchange held(s.port(), request_bytes(c.request()));
    EXPECT_EQ(server::field(next(s), "answer"), "fault hold");
    EXPECT_FALSE(held.answer(300)); // still open, nothing sent
    s.command("release");
    const auto a = held.answer(wait_ms);
    ASSERT_TRUE(a);
    const parsed_answer p = parse_answer(*a);
    EXPECT_EQ(p.code, 0u);
    ASSERT_TRUE(p.random);

    // The released answer's challenge is the one to answer.
    s.command("fault none");
    c.request().random = *p.random;
    EXPECT_EQ(c.pass().code, 0u);
    EXPECT_TRUE(server::bool_field(next(s), "verified"));
}

TEST(Fault, HeldConnectionClosedUnansweredOnceTheHoldIsUsedUp) {
    server s;
    s.command("fault hold 1");
    client c(s.port(), true, std::nullopt, "");
    test_tcp_exchange held(s.port(), request_bytes(c.request()));
    EXPECT_EQ(server::field(next(s), "answer"), "fault hold");
    EXPECT_EQ(c.pass().code, 0u);
    EXPECT_EQ(held.answer(wait_ms), test_bytes{});
}

// Every datagram that comes back to one request within the time, with its sender's port.
struct datagram {
    unsigned short from;
    test_bytes data;
};

std::vector<datagram> udp_datagrams(unsigned short port, const test_bytes& request,
                                    int timeout_ms) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
    std::vector<datagram> got;
    const auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        static unsigned char buffer[65536];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0)
            break;
        got.push_back({ntohs(from.sin_port), test_bytes(buffer, buffer + n)});
    }
    close(fd);
    return got;
}

struct stranger_case {
    const char* what;
    std::function<void(const parsed_answer&)> check;
};

void PrintTo(const stranger_case& c, std::ostream* os) {
    *os << c.what;
}

class Stranger : public ::testing::TestWithParam<stranger_case> {};

TEST_P(Stranger, ForgesFromAnotherPortBeforeTheRealAnswer) {
    server s;
    s.command(std::string("fault stranger ") + GetParam().what + " 1");
    client c(s.port(), false, std::nullopt, "");
    const auto got = udp_datagrams(s.port(), request_bytes(c.request()), 700);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].from, s.port());
    EXPECT_EQ(got[1].from, s.port());
    const parsed_answer forged = parse_answer(got[0].data);
    ASSERT_EQ(forged.verdict, auth::verdict::well_formed);
    GetParam().check(forged);
    const parsed_answer real = parse_answer(got[1].data);
    EXPECT_EQ(real.code, 0u);
    ASSERT_TRUE(real.random);
    EXPECT_EQ(server::field(next(s), "answer"), std::string("fault stranger ") + GetParam().what);
}

INSTANTIATE_TEST_SUITE_P(
    Forgeries, Stranger,
    ::testing::Values(stranger_case{"info",
                                    [](const parsed_answer& p) {
                                        EXPECT_EQ(p.chunks.size(), 3u);
                                        EXPECT_EQ(p.chunks[0].type, auth::chunk_info_header);
                                        EXPECT_EQ(p.code, 0u);
                                    }},
                      stranger_case{"error",
                                    [](const parsed_answer& p) { EXPECT_EQ(p.code, 1001u); }},
                      stranger_case{"random",
                                    [](const parsed_answer& p) {
                                        EXPECT_TRUE(p.random);
                                        EXPECT_EQ(p.code, 0u);
                                    }}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(Fault, LateDatagramFollowsTheAnswerFromTheServersPort) {
    for (unsigned size : {0u, 9000u}) {
        server s;
        s.command("fault late " + std::to_string(size) + " 1");
        client c(s.port(), false, std::nullopt, "");
        const auto got = udp_datagrams(s.port(), request_bytes(c.request()), 700);
        ASSERT_EQ(got.size(), 2u) << size;
        EXPECT_EQ(parse_answer(got[0].data).code, 0u);
        EXPECT_EQ(got[1].from, s.port());
        EXPECT_EQ(got[1].data, test_bytes(size, 0));
    }
}

TEST(Fault, DripSendsTheAnswerInPiecesOverTcpOnly) {
    server s;
    s.command("fault drip 4 150 2");
    client c(s.port(), true, std::nullopt, "");
    const auto start = clock_type::now();
    const auto answer = c.send(request_bytes(c.request()));
    ASSERT_TRUE(answer);
    EXPECT_EQ(parse_answer(*answer).code, 0u);
    // 20 bytes in pieces of 4: four pauses between five pieces.
    EXPECT_GE(clock_type::now() - start, std::chrono::milliseconds(4 * 150));
    EXPECT_EQ(server::field(next(s), "answer"), "fault drip 4 150");
    EXPECT_FALSE(udp_exchange(s.port(), request_bytes(c.request()), 500));
}

TEST(Fault, UnreachableDropsConnectionsUntilReplaced) {
    server s;
    s.command("fault unreachable");
    EXPECT_EQ(s.try_command("fault unreachable 2").rfind("error", 0), 0u) << "takes no count";
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(s.port());
    connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLOUT, 0};
    EXPECT_EQ(poll(&p, 1, 1500), 0) << "the connection was made";
    close(fd);
    client c(s.port(), false, std::nullopt, "");
    EXPECT_FALSE(c.send(request_bytes(c.request()), 500)) << "UDP answered";

    s.command("fault none");
    EXPECT_EQ(client(s.port(), true, std::nullopt, "").pass().code, 0u);
    EXPECT_EQ(server::field(next(s), "answer"), "fault unreachable"); // the UDP request
    EXPECT_EQ(server::field(next(s), "answer"), "ok");
    EXPECT_FALSE(s.next_request(300)) << "a record of the connection that filled the backlog";
}

// ---- info messages and commands ----

TEST(Info, AttachedToTheNextAnswerOnlyAndKeptAsBytes) {
    server s;
    s.command(std::string("info ") + u8"Заголовок|Line 1\\nLine\\|2|icon=2");
    client c(s.port(), false, std::nullopt, "");
    const parsed_answer p = c.pass();
    ASSERT_EQ(p.verdict, auth::verdict::well_formed);
    std::vector<int> types;
    for (const auto& ch : p.chunks)
        types.push_back(ch.type);
    ASSERT_EQ(types, (std::vector<int>{101, 121, 122, 123, 255}));
    const std::string header = u8"Заголовок";
    EXPECT_EQ(p.chunks[1].data, test_bytes(header.begin(), header.end()));
    const std::string data = "Line 1\nLine|2";
    EXPECT_EQ(p.chunks[2].data, test_bytes(data.begin(), data.end()));
    EXPECT_EQ(p.chunks[3].data, (test_bytes{'i', 'c', 'o', 'n', '=', '2'}));
    EXPECT_TRUE(server::bool_field(next(s), "info"));

    EXPECT_EQ(c.pass().chunks.size(), 2u);
    EXPECT_FALSE(server::bool_field(next(s), "info"));
}

TEST(Info, WaitsForAnAnswerThatTheClientCanRead) {
    server s({"--info", "|only data|"});
    s.command("fault drop 1");
    client c(s.port(), false, std::nullopt, "");
    EXPECT_FALSE(c.send(request_bytes(c.request()), 300));
    const parsed_answer p = c.pass();
    ASSERT_EQ(p.chunks.size(), 3u);
    EXPECT_EQ(p.chunks[1].type, auth::chunk_info_data);
}

TEST(Commands, AccountsAddedAndBadLinesRefused) {
    server s;
    EXPECT_EQ(s.try_command("fault bogus").rfind("error", 0), 0u);
    EXPECT_EQ(s.try_command("fault delay").rfind("error", 0), 0u);
    EXPECT_EQ(s.try_command("fault drop 0").rfind("error", 0), 0u);
    EXPECT_EQ(s.try_command("account nocolon").rfind("error", 0), 0u);
    EXPECT_EQ(s.try_command("info a|b|c|d").rfind("error", 0), 0u);
    EXPECT_EQ(s.try_command("launch").rfind("error", 0), 0u);

    s.command("account carol:pa:ss");
    client c(s.port(), false, std::string("carol"), "pa:ss");
    c.pass();
    EXPECT_EQ(c.pass().code, 0u);
}

// ---- the plain form that scripts use: standard output, accounts file, SIGTERM ----

class child_process {
public:
    explicit child_process(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe");
        out_ = fds[0];
        std::vector<char*> argv{const_cast<char*>(AUTH_SERVER_PATH)};
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int error =
            posix_spawn(&pid_, AUTH_SERVER_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (error)
            throw std::runtime_error(std::string("spawn: ") + std::strerror(error));
    }
    ~child_process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    std::optional<std::string> line(int timeout_ms) {
        const auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string l = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return l;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Sends SIGTERM and returns the exit status (or -1 if it did not end in time).
    int terminate(int timeout_ms) {
        kill(pid_, SIGTERM);
        while (line(timeout_ms)) { // the pipe closes when the server has gone
        }
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

TEST(PlainForm, ListensPrintsRecordsAndEndsCleanlyOnSigterm) {
    const std::string accounts = testing::TempDir() + "auth-server-accounts.txt";
    {
        std::ofstream file(accounts);
        file << "# test accounts\n\ndave:pw1\r\nerin:pw2\n";
    }
    child_process p({"--listen", "127.0.0.1:0", "--accounts", accounts});
    const auto port_line = p.line(wait_ms);
    ASSERT_TRUE(port_line);
    ASSERT_EQ(port_line->rfind("port ", 0), 0u);
    const auto port = static_cast<unsigned short>(std::stoul(port_line->substr(5)));
    EXPECT_EQ(p.line(wait_ms), "listening");

    client c(port, false, std::string("erin"), "pw2");
    c.pass();
    EXPECT_EQ(c.pass().code, 0u);
    const auto first = p.line(wait_ms);
    const auto second = p.line(wait_ms);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(server::int_field(*first, "seq"), 1);
    EXPECT_TRUE(server::bool_field(*second, "verified"));

    EXPECT_EQ(p.terminate(wait_ms), 0);
    std::remove(accounts.c_str());
}

TEST(PlainForm, RefusesAddressesOffLoopback) {
    child_process p({"--listen", "0.0.0.0:0"});
    EXPECT_FALSE(p.line(wait_ms)); // exits without listening
    EXPECT_EQ(p.terminate(wait_ms), 64);
}

} // namespace
