// The reference auth server: the server side of the auth exchange over UDP and TCP on a loopback
// port, with accounts, fresh challenges, DES checks, info messages and chosen faults. One thread,
// one poll loop; every request received becomes one JSON line.
#include "tools/auth-server/behaviour.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <list>
#include <random>
#include <string>

namespace {

using namespace server;
using clock_type = std::chrono::steady_clock;

const char help_text[] = R"(auth-server: reference auth server for testing the client (UDP and TCP).

Usage:
  auth-server --listen 127.0.0.1:PORT [options]

Options:
  --listen ADDR:PORT       serve UDP and TCP on this loopback address and port. Port 0 picks a
                           free port, the same for both. Prints "port N", then "listening" once
                           both sockets are ready.
  --account LOGIN:PASSWORD add an account (repeatable). Requests without a login (identification
                           by IP address) use the account with the empty login: --account :PASSWORD
  --accounts FILE          read accounts from FILE, one LOGIN:PASSWORD a line; blank lines and
                           lines starting with # are skipped.
  --control HOST:PORT      connect to HOST:PORT at start-up: every output line also goes there,
                           command lines are read from it, each answered "ok" or "error TEXT".
                           The server exits when that connection closes.
  --fault MODE[:ARG][:COUNT]  start with a fault (see below), e.g. --fault drop:3
  --info HEADER|DATA|PARAMS   attach an info message to the first answer
  --lifetime SECONDS       exit after that long at the latest (a guard for test runs)
  --quiet                  nothing on standard output (the control connection still gets it all)
  --help                   this text

Exchange:
  Every answer carries a fresh 8-byte server_random (101) and an error_code (255). A request
  without encrypted_random gets code 0. An encrypted_random is checked against the last random
  given to that login (without a login: to that peer IP address) under the account's password:
  right gives code 0, wrong (or unknown account, or no random given yet) gives 1001. A disconnect
  request is answered the same way. Over TCP the answer ends when the server closes the
  connection; an incomplete request is dropped after 10 s.

Commands (on the control connection; fault and info also as start-up options):
  fault MODE [ARG] [COUNT]  change the answers of the next COUNT exchanges (no COUNT: all of
                            them until "fault none"). Tokens may be separated by blanks or ':'.
                            A new fault replaces the previous one. MODE is one of:
      none         normal answers
      drop         no answer (TCP: close without answering)
      delay MS     answer after MS milliseconds
      stall        TCP: send the first 3 bytes of the answer, then go on like hold (the rest
                   follows at "release"). UDP: like drop.
      hold         TCP: keep the connection open without answering until "release"; the
                   connection is closed unanswered at "fault ..." or when an exchange comes
                   that the hold no longer covers. UDP: like drop.
      magic        wrong magic word (bytes 4C 44)
      broken       a last chunk whose length runs past the end, no end marker
      overlong     an answer longer than 8192 bytes (error_code beyond byte 8192)
      chunks65     65 chunks
      type ID      an extra chunk of type ID (8 zero data bytes) before error_code
      error CODE   error_code CODE instead of 0
      short1       an answer of 1 byte (44)
      short2       an answer of 2 bytes (44 4C)
      raw HEX      exactly these answer bytes
      drip BYTES MS  TCP: the answer BYTES bytes at a time, MS milliseconds apart. UDP: like
                   drop.
      norandom     answers without a server_random
      stranger WHAT  UDP: first a forged answer from another port of this address (WHAT: info,
                   an info message; error, code 1001; random, its own challenge), then the real
                   answer. TCP: the normal answer.
      late BYTES   UDP: the normal answer, then 150 ms later one more datagram of BYTES zero
                   bytes from the server's port. TCP: the normal answer.
      unreachable  TCP: connections are not accepted and their SYNs are dropped (the listen
                   backlog is kept full), so a client's connect hangs. UDP: like drop. Lasts
                   until the next fault command (no COUNT).
  release                   answer the held TCP connections now, then close them
  info HEADER|DATA|PARAMS   attach info chunks (121, 122, 123) to the next answer that a client
                            can read; an empty field is left out. Escapes: \n \r \t \\ \| \xHH.
  info none                 forget a pending info message
  account LOGIN:PASSWORD    add or replace an account
  quit                      answer "ok" and exit

Output (standard output, flushed after each line, and the control connection):
  port N
  listening
  one JSON object per request received, e.g.
  {"seq":1,"t_ms":15,"proto":"udp","peer":"127.0.0.1:40000","request":"well_formed",
   "chunks":[13,1],"login":null,"version":"WIN-0.0.0","random_request":true,
   "encrypted_random":false,"verified":null,"disconnect":false,"local_ip":null,
   "random":"8c1f...","code":0,"info":false,"answer":"ok","hex":"444c0a00..."}
  seq counts requests from 1; t_ms is milliseconds since start (monotonic); request is
  well_formed, ignore, wrong_magic, broken_chunks or incomplete (only well-formed requests are
  answered); verified is null without encrypted_random; random and code are what the answer
  carries (null when it carries none); answer is "ok", "error N", "fault MODE ..." or "none".
  Strings hold bytes: quote, backslash, control bytes and bytes above 0x7E appear as \u00XX.

SIGTERM or SIGINT end the server cleanly.
)";

volatile sig_atomic_t signalled = 0;
int signal_pipe[2] = {-1, -1};

void on_signal(int) {
    signalled = 1;
    const char c = 0;
    const ssize_t ignored = write(signal_pipe[1], &c, 1);
    (void)ignored;
}

class fd_guard {
public:
    explicit fd_guard(int fd = -1) : fd_(fd) {}
    fd_guard(fd_guard&& other) noexcept : fd_(other.release()) {}
    fd_guard& operator=(fd_guard&& other) noexcept {
        reset(other.release());
        return *this;
    }
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    ~fd_guard() { reset(); }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool parse_address(const std::string& text, sockaddr_in& out) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &a.sin_addr) != 1)
        return false;
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long p = std::stoul(port);
    if (p > 65535)
        return false;
    a.sin_port = htons(static_cast<unsigned short>(p));
    out = a;
    return true;
}

std::string address_text(const sockaddr_in& a) {
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

std::string ip_only(const sockaddr_in& a) {
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
    return ip;
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
            char e[8];
            std::snprintf(e, sizeof e, "\\u%04x", c);
            out += e;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string json_optional(const std::optional<std::string>& s) {
    return s ? json_string(*s) : std::string("null");
}

const char* verdict_name(auth::verdict v) {
    switch (v) {
    case auth::verdict::ignore:
        return "ignore";
    case auth::verdict::wrong_magic:
        return "wrong_magic";
    case auth::verdict::broken_chunks:
        return "broken_chunks";
    case auth::verdict::well_formed:
        return "well_formed";
    }
    return "";
}

bool send_all(int fd, const unsigned char* data, std::size_t size) {
    while (size) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void set_blocking(int fd, bool blocking) {
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

struct options {
    sockaddr_in listen{};
    bool have_listen = false;
    std::optional<sockaddr_in> control;
    std::map<std::string, std::string> accounts;
    fault start_fault;
    info_message start_info;
    long lifetime_s = 0;
    bool quiet = false;
};

// An answer waiting to go out: a delayed one, or a held TCP connection's.
struct pending_answer {
    bytes packet;
    std::optional<auth::server_random> random;
    std::string random_key; // whose random it is, when the client can read the answer
    bool readable = false;
};

struct tcp_connection {
    fd_guard fd;
    sockaddr_in peer{};
    bytes request;
    clock_type::time_point deadline;
    enum { reading, delayed, held, dripping } state = reading;
    pending_answer answer;
    std::size_t piece = 0;                 // dripping: bytes a piece
    std::chrono::milliseconds interval{0}; // dripping: between two pieces
};

struct udp_delayed {
    sockaddr_in peer{};
    clock_type::time_point due;
    pending_answer answer;
};

class server_loop {
public:
    explicit server_loop(options o) : options_(std::move(o)), random_(std::random_device{}()) {
        accounts_ = options_.accounts;
        fault_ = options_.start_fault;
        info_ = options_.start_info;
    }

    int run() {
        if (options_.control && !connect_control())
            return 1;
        if (!open_sockets())
            return 2;
        emit("port " + std::to_string(port_));
        apply_fault(fault_);
        emit("listening");
        const auto end_of_life = start_ + std::chrono::seconds(options_.lifetime_s);
        while (!signalled && !quit_) {
            auto next = earliest_due();
            if (options_.lifetime_s > 0 && (!next || end_of_life < *next))
                next = end_of_life;
            int timeout = -1;
            if (next) {
                const auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(*next - clock_type::now())
                        .count();
                timeout = ms < 0 ? 0 : static_cast<int>(ms + 1);
            }
            std::vector<pollfd> fds;
            fds.push_back({signal_pipe[0], POLLIN, 0});
            fds.push_back({udp_.get(), POLLIN, 0});
            fds.push_back({tcp_.get(), static_cast<short>(filler_.get() < 0 ? POLLIN : 0), 0});
            if (control_.get() >= 0)
                fds.push_back({control_.get(), POLLIN, 0});
            std::vector<tcp_connection*> polled;
            for (auto& c : connections_)
                if (c.state == tcp_connection::reading) {
                    fds.push_back({c.fd.get(), POLLIN, 0});
                    polled.push_back(&c);
                }
            const int n = poll(fds.data(), fds.size(), timeout);
            if (n < 0 && errno != EINTR) {
                std::perror("auth-server: poll");
                return 3;
            }
            if (signalled)
                break;
            if (n > 0) {
                std::size_t i = 1;
                if (fds[i++].revents)
                    on_udp();
                if (fds[i++].revents)
                    on_accept();
                if (control_.get() >= 0 && fds[i++].revents)
                    on_control();
                for (auto* c : polled)
                    if (fds[i++].revents)
                        on_tcp_readable(*c);
            }
            run_due();
            if (options_.lifetime_s > 0 && clock_type::now() >= end_of_life)
                break;
            connections_.remove_if([](const tcp_connection& c) { return c.fd.get() < 0; });
        }
        return 0;
    }

private:
    // ---- output ----

    void emit(const std::string& line) {
        if (!options_.quiet) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
        reply(line);
    }

    void reply(const std::string& line) {
        if (control_.get() < 0)
            return;
        const std::string l = line + "\n";
        if (!send_all(control_.get(), reinterpret_cast<const unsigned char*>(l.data()), l.size())) {
            control_.reset();
            quit_ = true;
        }
    }

    long long t_ms(clock_type::time_point t) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
    }

    // ---- start-up ----

    bool connect_control() {
        fd_guard fd(socket(AF_INET, SOCK_STREAM, 0));
        if (fd.get() < 0 || connect(fd.get(), reinterpret_cast<const sockaddr*>(&*options_.control),
                                    sizeof *options_.control) != 0) {
            std::fprintf(stderr, "auth-server: cannot connect to the control address %s: %s\n",
                         address_text(*options_.control).c_str(), std::strerror(errno));
            return false;
        }
        // Each line goes out as it is written: held back until the last one is acknowledged
        // (Nagle's rule against the reader's delayed ACK), a record would reach a test or a
        // benchmark some 40 ms late.
        const int on = 1;
        setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        control_ = std::move(fd);
        return true;
    }

    bool open_sockets() {
        const bool any_port = options_.listen.sin_port == 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            fd_guard tcp(socket(AF_INET, SOCK_STREAM, 0));
            fd_guard udp(socket(AF_INET, SOCK_DGRAM, 0));
            fd_guard stranger(socket(AF_INET, SOCK_DGRAM, 0));
            if (tcp.get() < 0 || udp.get() < 0 || stranger.get() < 0)
                return fail("socket");
            const int one = 1;
            setsockopt(tcp.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in a = options_.listen;
            if (bind(tcp.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                return fail("bind TCP");
            socklen_t size = sizeof a;
            getsockname(tcp.get(), reinterpret_cast<sockaddr*>(&a), &size);
            if (bind(udp.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                if (any_port && errno == EADDRINUSE)
                    continue; // the TCP port is taken for UDP: try another
                return fail("bind UDP");
            }
            sockaddr_in other = options_.listen;
            other.sin_port = 0;
            if (bind(stranger.get(), reinterpret_cast<sockaddr*>(&other), sizeof other) != 0)
                return fail("bind the stranger's UDP socket");
            if (listen(tcp.get(), 16) != 0)
                return fail("listen");
            set_blocking(tcp.get(), false);
            set_blocking(udp.get(), false);
            tcp_ = std::move(tcp);
            udp_ = std::move(udp);
            stranger_ = std::move(stranger);
            port_ = ntohs(a.sin_port);
            return true;
        }
        std::fprintf(stderr, "auth-server: no port free for both UDP and TCP\n");
        reply("error no port free for both UDP and TCP");
        return false;
    }

    bool fail(const char* what) {
        const std::string text = std::string(what) + ": " + std::strerror(errno);
        std::fprintf(stderr, "auth-server: %s\n", text.c_str());
        reply("error " + text);
        return false;
    }

    // ---- events ----

    void on_udp() {
        for (;;) {
            static unsigned char buffer[65536];
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const ssize_t n = recvfrom(udp_.get(), buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&peer), &size);
            if (n < 0)
                return; // drained
            exchange(false, peer, bytes(buffer, buffer + n), nullptr);
        }
    }

    // A client that sends nothing whole within 10 s is judged on what it sent.
    void serve(int fd, const sockaddr_in& peer) {
        set_blocking(fd, false);
        tcp_connection c;
        c.fd.reset(fd);
        c.peer = peer;
        c.deadline = clock_type::now() + std::chrono::seconds(10);
        connections_.push_back(std::move(c));
    }

    void on_accept() {
        for (;;) {
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const int fd = accept(tcp_.get(), reinterpret_cast<sockaddr*>(&peer), &size);
            if (fd < 0)
                return;
            serve(fd, peer);
        }
    }

    void on_tcp_readable(tcp_connection& c) {
        unsigned char buffer[4096];
        for (;;) {
            const ssize_t n = recv(c.fd.get(), buffer, sizeof buffer, 0);
            if (n > 0) {
                c.request.insert(c.request.end(), buffer, buffer + n);
                if (request_complete(c.request) || c.request.size() >= auth::packet_buffer_size)
                    return exchange(true, c.peer, c.request, &c);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n < 0 && errno == EINTR)
                continue;
            // The peer closed (or failed) before a whole request: judge what came.
            return exchange(true, c.peer, c.request, &c, !c.request.empty());
        }
    }

    void on_control() {
        char buffer[4096];
        const ssize_t n = recv(control_.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            control_.reset();
            quit_ = true;
            return;
        }
        control_input_.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = control_input_.find('\n')) != std::string::npos) {
            std::string line = control_input_.substr(0, end);
            control_input_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                command(line);
        }
    }

    void command(const std::string& line) {
        const auto space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        std::optional<std::string> problem;
        if (verb == "fault") {
            fault f;
            problem = parse_fault(rest, f);
            if (!problem) {
                apply_fault(f);
                drop_held();
            }
        } else if (verb == "info") {
            problem = parse_info(rest, info_);
        } else if (verb == "account") {
            std::string login, password;
            problem = parse_account(rest, login, password);
            if (!problem)
                accounts_[login] = password;
        } else if (verb == "release") {
            for (auto& c : connections_)
                if (c.state == tcp_connection::held)
                    finish_tcp(c);
        } else if (verb == "quit") {
            quit_ = true;
        } else {
            problem = "unknown command '" + verb + "'";
        }
        reply(problem ? "error " + *problem : std::string("ok"));
    }

    // ---- unreachable ----

    void apply_fault(const fault& f) {
        fault_ = f;
        if (f.kind == fault_kind::unreachable)
            block_tcp();
        else
            unblock_tcp();
    }

    // A backlog of 0 and one connection of our own that is never accepted: the queue is full,
    // and the kernel drops every further SYN.
    void block_tcp() {
        if (filler_.get() >= 0)
            return;
        listen(tcp_.get(), 0);
        fd_guard filler(socket(AF_INET, SOCK_STREAM, 0));
        set_blocking(filler.get(), false);
        sockaddr_in self = options_.listen;
        self.sin_port = htons(port_);
        connect(filler.get(), reinterpret_cast<const sockaddr*>(&self), sizeof self);
        filler_ = std::move(filler);
    }

    void unblock_tcp() {
        if (filler_.get() < 0)
            return;
        sockaddr_in own{};
        socklen_t size = sizeof own;
        getsockname(filler_.get(), reinterpret_cast<sockaddr*>(&own), &size);
        // The filler is taken off the queue unrecorded; anything else waiting is served.
        for (;;) {
            sockaddr_in peer{};
            socklen_t peer_size = sizeof peer;
            const int fd = accept(tcp_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_size);
            if (fd < 0)
                break;
            if (peer.sin_port == own.sin_port && peer.sin_addr.s_addr == own.sin_addr.s_addr) {
                close(fd);
                continue;
            }
            serve(fd, peer);
        }
        filler_.reset();
        listen(tcp_.get(), 16);
    }

    // ---- one exchange ----

    fault take_fault() {
        const fault f = fault_;
        if (fault_.remaining > 0 && --fault_.remaining == 0)
            fault_ = fault{}; // never `unreachable`, which takes no count
        return f;
    }

    void exchange(bool tcp, const sockaddr_in& peer, const bytes& request, tcp_connection* c,
                  bool incomplete = false) {
        const auto now = clock_type::now();
        const parsed_request r = parse_request(request);
        std::string line = "{\"seq\":" + std::to_string(++seq_) +
                           ",\"t_ms\":" + std::to_string(t_ms(now)) + ",\"proto\":\"" +
                           (tcp ? "tcp" : "udp") + "\",\"peer\":\"" + address_text(peer) + "\"";
        line += ",\"request\":\"";
        line += incomplete && r.verdict != auth::verdict::wrong_magic ? "incomplete"
                                                                      : verdict_name(r.verdict);
        line += "\",\"chunks\":[";
        for (std::size_t i = 0; i < r.chunks.size(); ++i)
            line += (i ? "," : "") + std::to_string(r.chunks[i]);
        line +=
            "],\"login\":" + json_optional(r.login) + ",\"version\":" + json_optional(r.version);
        line += std::string(",\"random_request\":") + (r.random_request ? "true" : "false");
        line += std::string(",\"encrypted_random\":") + (r.encrypted ? "true" : "false");

        if (r.verdict != auth::verdict::well_formed || incomplete) {
            line += ",\"verified\":null,\"disconnect\":false,\"local_ip\":null,\"random\":null,"
                    "\"code\":null,\"info\":false,\"answer\":\"none\"";
            finish_line(line, request);
            if (c)
                c->fd.reset();
            return;
        }

        const fault f = take_fault();
        const bool holding = f.kind == fault_kind::hold || f.kind == fault_kind::stall;
        if (!holding)
            drop_held(); // a hold no longer covers this exchange
        const std::string key = r.login ? "login:" + *r.login : "ip:" + ip_only(peer);
        std::optional<bool> verified;
        if (r.encrypted)
            verified = verify(r, key);
        const unsigned code = verified == false ? 1001 : 0;

        const bool unanswered = f.kind == fault_kind::drop || f.kind == fault_kind::unreachable ||
                                (!tcp && (holding || f.kind == fault_kind::drip));
        const auth::server_random random = fresh_random();
        const bool with_info = !info_.empty() && !unanswered;
        answer_plan plan = plan_answer(f, code, random, with_info ? &info_ : nullptr);
        if (unanswered)
            plan = answer_plan{};
        const bool info_sent = with_info && plan.readable;
        if (info_sent)
            info_ = info_message{};

        line += ",\"verified\":";
        line += verified ? (*verified ? "true" : "false") : "null";
        line += std::string(",\"disconnect\":") + (r.disconnect ? "true" : "false");
        line += ",\"local_ip\":" + json_optional(r.local_ip);
        line += ",\"random\":" +
                (plan.random ? "\"" + to_hex(plan.random->data(), 8) + "\"" : std::string("null"));
        line += ",\"code\":" + (plan.code ? std::to_string(*plan.code) : std::string("null"));
        line += std::string(",\"info\":") + (info_sent ? "true" : "false");
        line += ",\"answer\":\"" +
                (f.kind != fault_kind::none ? "fault " + f.describe()
                 : code                     ? "error " + std::to_string(code)
                                            : std::string("ok")) +
                "\"";
        finish_line(line, request);
        if (r.disconnect)
            std::fprintf(stderr, "auth-server: disconnect requested by %s\n",
                         address_text(peer).c_str());

        pending_answer answer;
        if (plan.packet)
            answer.packet = *plan.packet;
        answer.random = plan.random;
        answer.random_key = key;
        answer.readable = plan.readable;

        if (!plan.packet) { // no answer at all
            if (c)
                c->fd.reset();
            return;
        }
        if (f.kind == fault_kind::delay) {
            const auto due = now + std::chrono::milliseconds(f.argument);
            if (c) {
                c->state = tcp_connection::delayed;
                c->deadline = due;
                c->answer = std::move(answer);
            } else {
                udp_delayed_.push_back({peer, due, std::move(answer)});
            }
            return;
        }
        if (c && f.kind == fault_kind::stall) {
            // A start of the answer, so the client is inside its receive loop when it stalls.
            const std::size_t head = std::min<std::size_t>(3, answer.packet.size());
            set_blocking(c->fd.get(), true);
            send_all(c->fd.get(), answer.packet.data(), head);
            set_blocking(c->fd.get(), false);
            answer.packet.erase(answer.packet.begin(), answer.packet.begin() + head);
        }
        if (c && holding) {
            c->state = tcp_connection::held;
            c->answer = std::move(answer);
            return;
        }
        if (c && f.kind == fault_kind::drip) {
            c->state = tcp_connection::dripping;
            c->answer = std::move(answer);
            c->piece = f.argument;
            c->interval = std::chrono::milliseconds(f.interval);
            c->deadline = now;
            return;
        }
        if (c) {
            c->answer = std::move(answer);
            finish_tcp(*c);
            return;
        }
        if (f.kind == fault_kind::stranger) {
            const bytes forged =
                stranger_answer(static_cast<stranger_kind>(f.argument), fresh_random());
            sendto(stranger_.get(), forged.data(), forged.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        }
        send_udp(peer, answer);
        if (f.kind == fault_kind::late) {
            pending_answer extra;
            extra.packet = bytes(f.argument, 0);
            udp_delayed_.push_back({peer, now + std::chrono::milliseconds(150), std::move(extra)});
        }
    }

    // The next piece of a dripping answer; the connection closes after the last one.
    void drip(tcp_connection& c) {
        bytes& rest = c.answer.packet;
        const std::size_t size = std::min(c.piece, rest.size());
        set_blocking(c.fd.get(), true);
        const bool sent = send_all(c.fd.get(), rest.data(), size);
        set_blocking(c.fd.get(), false);
        rest.erase(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(size));
        if (!sent)
            return c.fd.reset();
        if (!rest.empty()) {
            c.deadline = clock_type::now() + c.interval;
            return;
        }
        delivered(c.answer);
        close_tcp(c);
    }

    void finish_line(std::string& line, const bytes& request) {
        line += ",\"hex\":\"" + to_hex(request.data(), request.size()) + "\"}";
        emit(line);
    }

    bool verify(const parsed_request& r, const std::string& key) {
        const auto account = accounts_.find(r.login ? *r.login : std::string());
        const auto given = last_random_.find(key);
        if (account == accounts_.end() || given == last_random_.end() || r.encrypted->size() != 8)
            return false;
        const auto expected = auth::encrypt_random(auth::make_key(account->second), given->second);
        return std::memcmp(expected.data(), r.encrypted->data(), 8) == 0;
    }

    auth::server_random fresh_random() {
        auth::server_random r{};
        do {
            const std::uint64_t v = random_();
            std::memcpy(r.data(), &v, 8);
        } while (r == auth::server_random{});
        return r;
    }

    // The answer left: its random is now the one the client is to answer.
    void delivered(const pending_answer& a) {
        if (a.readable && a.random)
            last_random_[a.random_key] = *a.random;
    }

    void send_udp(const sockaddr_in& peer, const pending_answer& a) {
        if (sendto(udp_.get(), a.packet.data(), a.packet.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer) >= 0)
            delivered(a);
    }

    void finish_tcp(tcp_connection& c) {
        set_blocking(c.fd.get(), true);
        timeval limit{2, 0};
        setsockopt(c.fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (send_all(c.fd.get(), c.answer.packet.data(), c.answer.packet.size()))
            delivered(c.answer);
        close_tcp(c);
    }

    // Closes with a FIN: unread bytes would make the close a reset and could cost the client
    // the answer.
    void close_tcp(tcp_connection& c) {
        shutdown(c.fd.get(), SHUT_WR);
        set_blocking(c.fd.get(), false);
        unsigned char sink[1024];
        while (recv(c.fd.get(), sink, sizeof sink, 0) > 0) {
        }
        c.fd.reset();
    }

    void drop_held() {
        for (auto& c : connections_)
            if (c.state == tcp_connection::held)
                close_tcp(c);
    }

    // ---- timers ----

    std::optional<clock_type::time_point> earliest_due() const {
        std::optional<clock_type::time_point> next;
        for (const auto& c : connections_)
            if (c.state != tcp_connection::held && (!next || c.deadline < *next))
                next = c.deadline;
        for (const auto& d : udp_delayed_)
            if (!next || d.due < *next)
                next = d.due;
        return next;
    }

    void run_due() {
        const auto now = clock_type::now();
        for (auto& c : connections_) {
            if (c.fd.get() < 0 || c.state == tcp_connection::held || c.deadline > now)
                continue;
            if (c.state == tcp_connection::delayed)
                finish_tcp(c);
            else if (c.state == tcp_connection::dripping)
                drip(c);
            else
                exchange(true, c.peer, c.request, &c, true); // too slow: judged as it is
        }
        for (auto d = udp_delayed_.begin(); d != udp_delayed_.end();) {
            if (d->due <= now) {
                send_udp(d->peer, d->answer);
                d = udp_delayed_.erase(d);
            } else {
                ++d;
            }
        }
    }

    options options_;
    std::map<std::string, std::string> accounts_;
    std::map<std::string, auth::server_random> last_random_;
    fault fault_;
    info_message info_;
    std::mt19937_64 random_;
    const clock_type::time_point start_ = clock_type::now();
    fd_guard control_, udp_, tcp_, stranger_;
    fd_guard filler_; // while TCP is unreachable: the connection that fills the backlog
    std::string control_input_;
    unsigned short port_ = 0;
    std::list<tcp_connection> connections_;
    std::list<udp_delayed> udp_delayed_;
    long seq_ = 0;
    bool quit_ = false;
};

int usage_error(const std::string& text) {
    std::fprintf(stderr, "auth-server: %s (see --help)\n", text.c_str());
    return 64;
}

} // namespace

int main(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(help_text, stdout);
            return 0;
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (i + 1 >= argc)
            return usage_error("unknown option or missing value: " + arg);
        const std::string value = argv[++i];
        std::optional<std::string> problem;
        if (arg == "--listen") {
            if (!parse_address(value, o.listen))
                return usage_error("bad address " + value);
            if ((ntohl(o.listen.sin_addr.s_addr) >> 24) != 127)
                return usage_error("only loopback addresses (127.x.x.x) are served");
            o.have_listen = true;
        } else if (arg == "--control") {
            sockaddr_in a{};
            if (!parse_address(value, a) || a.sin_port == 0)
                return usage_error("bad control address " + value);
            o.control = a;
        } else if (arg == "--account") {
            std::string login, password;
            problem = parse_account(value, login, password);
            if (!problem)
                o.accounts[login] = password;
        } else if (arg == "--accounts") {
            std::ifstream file(value);
            if (!file)
                return usage_error("cannot read " + value);
            std::string line;
            while (!problem && std::getline(file, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (line.empty() || line[0] == '#')
                    continue;
                std::string login, password;
                problem = parse_account(line, login, password);
                if (!problem)
                    o.accounts[login] = password;
            }
        } else if (arg == "--fault") {
            problem = parse_fault(value, o.start_fault);
        } else if (arg == "--info") {
            problem = parse_info(value, o.start_info);
        } else if (arg == "--lifetime") {
            char* end = nullptr;
            o.lifetime_s = std::strtol(value.c_str(), &end, 10);
            if (*end || o.lifetime_s <= 0)
                return usage_error("bad lifetime " + value);
        } else {
            return usage_error("unknown option " + arg);
        }
        if (problem)
            return usage_error(*problem);
    }
    if (!o.have_listen)
        return usage_error("--listen is required");

    if (pipe(signal_pipe) != 0)
        return 3;
    fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    server_loop loop(std::move(o));
    const int status = loop.run();
    close(signal_pipe[0]);
    close(signal_pipe[1]);
    return status;
}
