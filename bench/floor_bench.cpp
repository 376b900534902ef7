// The floor of the client's timings: the same request/answer exchanges with the same server,
// made by the least a Winsock program can do (blocking calls, no thread, no window, no
// registry). Also, with "window", the least a window program does between WM_CLOSE and its
// exit, the peer of the real program's shutdown.
//
//   floor_bench udp|tcp PORT REPETITIONS   prints floor_connect_* and floor_rtt_* samples (us)
//   floor_bench window                     a hidden window that ends its process on WM_CLOSE
#include "bench/bench_support.h"

#include "auth/packet.h"
#include "authclient_version.h"

#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

const char* const login = "user";
const char* const password = "secret";

// Request packets of the sizes the client sends, built with the client's own packet code; part
// of what the floor times, so it stays as it is whatever the tests' packet helpers become.
std::vector<unsigned char> build(const std::string& login, const std::string& password,
                                 const auth::server_random& random, bool disconnect) {
    std::vector<unsigned char> buffer(auth::packet_buffer_size);
    auth::request r;
    r.login = &login;
    r.version = "WIN-" AUTHCLIENT_VERSION;
    r.random = random;
    r.key = auth::make_key(password);
    r.disconnect = disconnect;
    auth::build_request(buffer.data(), r, nullptr);
    buffer.resize(auth::request_size(buffer.data()));
    return buffer;
}

// The server_random of an answer, or all zero when it carries none.
auth::server_random answer_random(const unsigned char* answer, std::size_t size) {
    auth::server_random random{};
    if (auth::check_answer(answer, size) != auth::verdict::well_formed)
        return random;
    auth::read_answer(answer, size,
                      [&](unsigned char type, const unsigned char* data, std::size_t) {
                          if (type == auth::chunk_server_random)
                              std::copy(data, data + 8, random.begin());
                      });
    return random;
}

class socket_owner {
public:
    explicit socket_owner(SOCKET s) : s_(s) {
        if (s_ == INVALID_SOCKET)
            throw std::runtime_error("socket failed");
    }
    ~socket_owner() { closesocket(s_); }
    socket_owner(const socket_owner&) = delete;
    socket_owner& operator=(const socket_owner&) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

sockaddr_in server_address(unsigned short port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// One datagram each way on an open socket; returns the answer's random.
auth::server_random udp_round_trip(SOCKET s, const sockaddr_in& to,
                                   const std::vector<unsigned char>& request) {
    if (sendto(s, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()),
               0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR)
        throw std::runtime_error("sendto failed");
    unsigned char answer[auth::packet_buffer_size];
    const int n = recvfrom(s, reinterpret_cast<char*>(answer), sizeof answer, 0, nullptr, nullptr);
    if (n < 1)
        throw std::runtime_error("no UDP answer");
    return answer_random(answer, static_cast<std::size_t>(n));
}

// One connection: connect, send, read until the server closes.
auth::server_random tcp_round_trip(const sockaddr_in& to,
                                   const std::vector<unsigned char>& request) {
    socket_owner s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR)
        throw std::runtime_error("connect failed");
    if (send(s.get(), reinterpret_cast<const char*>(request.data()),
             static_cast<int>(request.size()), 0) == SOCKET_ERROR)
        throw std::runtime_error("send failed");
    unsigned char answer[auth::packet_buffer_size];
    std::size_t received = 0;
    for (;;) {
        // Under Wine a wait in select and then recv is quicker than a blocking recv.
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s.get(), &readable);
        timeval limit{10, 0};
        if (select(0, &readable, nullptr, nullptr, &limit) != 1)
            throw std::runtime_error("no TCP answer");
        const int n = recv(s.get(), reinterpret_cast<char*>(answer) + received,
                           static_cast<int>(sizeof answer - received), 0);
        if (n < 0)
            throw std::runtime_error("recv failed");
        if (n == 0 || (received += static_cast<std::size_t>(n)) == sizeof answer)
            break;
    }
    return answer_random(answer, received);
}

// What the client's connect needs on the wire: the challenge request, then the answer to it.
// Returns the random held afterwards, for the disconnect exchange.
auth::server_random connect_floor(bool udp, const sockaddr_in& to, SOCKET udp_socket) {
    const auto first = build(login, password, auth::server_random{}, false);
    if (!udp) {
        const auto random = tcp_round_trip(to, first);
        return tcp_round_trip(to, build(login, password, random, false));
    }
    const auto random = udp_round_trip(udp_socket, to, first);
    return udp_round_trip(udp_socket, to, build(login, password, random, false));
}

int run_exchanges(bool udp, unsigned short port, int repetitions) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    const sockaddr_in to = server_address(port);
    std::vector<double> connect_us, round_trip_us;
    for (int i = -1; i < repetitions; ++i) { // the first one warms up and is not counted
        const double t0 = bench::now_us();
        auth::server_random random;
        SOCKET raw = INVALID_SOCKET;
        std::unique_ptr<socket_owner> s;
        if (udp) {
            s = std::make_unique<socket_owner>(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
            // A lost answer must end the run, not hang it; this costs nothing measurable.
            const DWORD limit_ms = 10000;
            setsockopt(s->get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit_ms),
                       sizeof limit_ms);
            sockaddr_in any{};
            any.sin_family = AF_INET;
            if (bind(s->get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == SOCKET_ERROR)
                throw std::runtime_error("bind failed");
            raw = s->get();
        }
        random = connect_floor(udp, to, raw);
        const double t1 = bench::now_us();
        const auto disconnect = build(login, password, random, true);
        const double t2 = bench::now_us();
        if (udp)
            udp_round_trip(raw, to, disconnect);
        else
            tcp_round_trip(to, disconnect);
        const double t3 = bench::now_us();
        if (i >= 0) {
            connect_us.push_back(t1 - t0);
            round_trip_us.push_back(t3 - t2);
        }
    }
    const std::string p = udp ? "udp" : "tcp";
    bench::result("floor_connect_" + p).numbers("samples_us", connect_us);
    bench::result("floor_rtt_" + p).numbers("samples_us", round_trip_us);
    WSACleanup();
    return 0;
}

LRESULT CALLBACK peer_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int run_window() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = peer_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "AuthClientBenchPeer";
    RegisterClassExA(&wc);
    if (!CreateWindowExA(0, wc.lpszClassName, "peer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                         nullptr, wc.hInstance, nullptr))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "window")
            return run_window();
        if ((mode == "udp" || mode == "tcp") && argc == 4)
            return run_exchanges(mode == "udp", static_cast<unsigned short>(std::atoi(argv[2])),
                                 std::atoi(argv[3]));
        std::fprintf(stderr, "usage: floor_bench udp|tcp PORT REPETITIONS | window\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "floor_bench: %s\n", e.what());
        return 1;
    }
}
