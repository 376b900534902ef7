// The worker's cycle: request/answer exchanges with the auth server, paced by the reconnect
// period, until a stop has been noticed twice or a fatal error has been shown.
#include "auth/exception.h"
#include "auth/socket.h"
#include "auth/worker_context.h"
#include "env/settings.h"
#include "support/system_error.h"
#include "support/text.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace auth {

namespace {

const char* const auth_proc_signature = "static DWORD auth::c_client::auth_proc(LPVOID)";

// The TCP answer ends when the server closes; a server silent this long has failed.
constexpr long answer_timeout_seconds = 5;
constexpr DWORD quick_retry_ms = 500;
constexpr int max_quick_retries = 3;
// Bounded, so that a flood of datagrams cannot hold the worker before its request.
constexpr int max_late_answers = 64;

[[noreturn]] void fatal(const std::string& message) {
    EX_RAISE_IN(c_exception, message, auth_proc_signature);
}

// The message, a line feed and the system's text for the last socket error.
[[noreturn]] void fatal_socket(const std::string& message) {
    const int code = WSAGetLastError();
    fatal(message + "\n" + system_error_text(static_cast<std::uint32_t>(code)));
}

// Waits until the socket is readable: 1 readable, 0 time-out, SOCKET_ERROR on failure.
int wait_readable(SOCKET s) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{answer_timeout_seconds, 0};
    return select(0, &readable, nullptr, nullptr, &timeout);
}

class worker {
public:
    explicit worker(worker_input& input) : in_(input), ctx_(*input.context), log_(ctx_.logger) {}

    void run() {
        LOG(log_, LOG_TRACE, auth_proc_signature);
        try {
            start_up();
            while (pass())
                ;
        } catch (const ex::c_exception& e) {
            LOG(log_, LOG_ERROR, "Error ! " << e.text());
            MessageBoxA(ctx_.state.main_window(), e.text().c_str(), "Ошибка", MB_ICONERROR);
        } catch (...) {
            LOG(log_, LOG_ERROR, "System Error !");
            MessageBoxA(ctx_.state.main_window(), "Системная ошибка", "Ошибка", MB_ICONERROR);
        }
        socket_.reset();
        // Before idle is reported: a connect made in answer to that report must find the way
        // free. The state is still not idle here, so start() cannot slip in earlier.
        ctx_.running.store(false);
        ctx_.state.set(idle);
    }

private:
    bool is_tcp() const { return in_.protocol.get_int() == env::protocol_tcp; }
    bool is_udp() const { return in_.protocol.get_int() == env::protocol_udp; }

    std::string address_text() const {
        std::string s = ip_to_text(address_.sin_addr.s_addr);
        return s << ":" << static_cast<unsigned short>(ntohs(address_.sin_port));
    }

    void start_up() {
        key_ = make_key(in_.password);

        LOG(log_, LOG_DEBUG, "Resolving server name into IP address");
        const std::string name = in_.server.get_str();
        const hostent* host = gethostbyname(name.c_str());
        std::uint32_t server = 0;
        if (host != nullptr && host->h_addrtype == AF_INET && host->h_length == 4 &&
            host->h_addr_list != nullptr && host->h_addr_list[0] != nullptr)
            std::memcpy(&server, host->h_addr_list[0], 4);
        if (server == 0) // also a host entry that is not IPv4, or 0.0.0.0
            fatal("Can't resolve server name '" + name + "' into IP address.");
        server_address_ = server;
        server_port_ = htons(static_cast<u_short>(in_.port.get_int() & 0xFFFF));

        ctx_.state.set(busy);

        address_.sin_family = AF_INET;
        if (is_udp()) {
            LOG(log_, LOG_DEBUG, "Creating UDP socket");
            socket_.reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
            if (!socket_.valid())
                fatal_socket("Ошибка при создании сокета.");
            LOG(log_, LOG_DEBUG, "Binding UDP socket");
            if (bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address_),
                     sizeof address_) == SOCKET_ERROR)
                fatal_socket("Ошибка \"привязки\" сокета.");
        }

        std::fill(std::begin(send_), std::end(send_), 0);
        std::fill(std::begin(receive_), std::end(receive_), 0);
        skip_pause_ = true;
        encrypted_sent_ = false;
        disconnect_requested_ = false;
        info_pending_ = false;
        quick_retries_ = 0;
        ctx_.random = server_random{};
        info_ = server_info{};
    }

    // One exchange; false once the worker is to leave the cycle.
    bool pass() {
        LOG(log_, LOG_DEBUG, "Auth cycle BEGIN");
        if (!pause())
            return false;
        build();
        address_.sin_addr.s_addr = server_address_;
        address_.sin_port = server_port_;
        if (!send_request())
            return true;
        int received = 0;
        if (!receive_answer(received))
            return true;
        LOG(log_, LOG_DEBUG, "OK, got data from auth server: " << received << " bytes");
        read(received < 0 ? 0 : static_cast<std::size_t>(received));
        return true;
    }

    // False when a stop is noticed for the second time.
    bool pause() {
        if (skip_pause_) {
            skip_pause_ = false;
            return true;
        }
        // A period beyond what a wait can take, or below zero, is clamped rather than wrapped.
        long long period_ms = static_cast<long long>(in_.period.get_int()) * 1000;
        period_ms = std::clamp<long long>(period_ms, 0, INFINITE - 1);
        DWORD pause_ms = static_cast<DWORD>(period_ms);
        if (ctx_.state.is(error) && quick_retries_ < max_quick_retries) {
            pause_ms = quick_retry_ms;
            ++quick_retries_;
        }
        LOG(log_, LOG_DEBUG, "Pause: " << pause_ms << " ms ...");
        if (WaitForSingleObject(ctx_.stop_event.get(), pause_ms) == WAIT_TIMEOUT)
            return true;
        LOG(log_, LOG_DEBUG, "Force disconnect!");
        if (disconnect_requested_)
            return false;
        disconnect_requested_ = true;
        return true;
    }

    void log_element(element e) { LOG(log_, LOG_DEBUG, element_log_text(e)); }

    void build() {
        LOG(log_, LOG_DEBUG, "Building auth packet:");
        request r;
        if (in_.type.get_int() == env::type_login)
            r.login = &in_.login;
        r.version = in_.version;
        r.random = ctx_.random;
        r.key = key_;
        r.disconnect = disconnect_requested_;
        const bool holds_random = ctx_.random != server_random{};
        end_marker_ = build_request(send_, r, [this](element e) {
            log_element(e);
            if (e == element::encrypted_random)
                encrypted_sent_ = true;
            if (e == element::disconnect_request)
                ctx_.state.set(busy); // every failure of the disconnect exchange is fatal
        });
        if (!holds_random)
            skip_pause_ = true; // nothing to answer yet: the next request follows at once
    }

    // An answer that arrives after its exchange was given up (select time-out) waits in the
    // socket. Taken for the answer to the next request, it would put every later exchange one
    // answer behind: each encrypted random would answer a superseded challenge and the server
    // would refuse it for good. So what is already waiting before a request is dropped.
    void discard_late_answers() {
        for (int i = 0; i < max_late_answers; ++i) {
            u_long waiting = 0;
            if (ioctlsocket(socket_.get(), FIONREAD, &waiting) == SOCKET_ERROR || waiting == 0)
                return;
            const int got = recvfrom(socket_.get(), reinterpret_cast<char*>(receive_),
                                     static_cast<int>(packet_buffer_size), 0, nullptr, nullptr);
            if (got == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE) // too long: dropped too
                return;
            LOG(log_, LOG_DEBUG, "Late answer dropped: " << got << " bytes");
        }
    }

    // False when the pass ends here (no answer to wait for).
    bool send_request() {
        const int protocol = in_.protocol.get_int();
        if (protocol == env::protocol_udp) {
            discard_late_answers();
            LOG(log_, LOG_DEBUG, "Sending auth packet to server: " << address_text());
            const int size = static_cast<int>(request_size(send_));
            if (sendto(socket_.get(), reinterpret_cast<const char*>(send_), size, 0,
                       reinterpret_cast<const sockaddr*>(&address_),
                       sizeof address_) == SOCKET_ERROR) {
                LOG(log_, LOG_ERROR, "Error: can't send auth packet!");
                if (ctx_.state.is(busy))
                    fatal_socket("Ошибка отправки пакета авторизации.");
                ctx_.state.set(error);
            }
            return true;
        }
        if (protocol != env::protocol_tcp)
            return true; // nothing is sent; the wait for the answer fails

        LOG(log_, LOG_DEBUG, "Connecting to auth server: " << address_text());
        socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!socket_.valid())
            fatal_socket("Ошибка при создании сокета.");
        if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address_), sizeof address_) ==
            SOCKET_ERROR) {
            LOG(log_, LOG_ERROR, "Error: can't connect to auth server!");
            if (ctx_.state.is(busy))
                fatal_socket("Сервер авторизации (TCP) недоступен.");
            ctx_.state.set(error); // the next steps fail or succeed on their own
        }
        if (in_.type.get_int() == env::type_local_ip) {
            LOG(log_, LOG_DEBUG, "<- local IP");
            sockaddr_in local{};
            int length = sizeof local;
            if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) ==
                SOCKET_ERROR)
                fatal_socket("Ошибка определения IP-адреса клиента.");
            end_marker_ = append_local_ip(
                send_, end_marker_, reinterpret_cast<const unsigned char*>(&local.sin_addr),
                reinterpret_cast<const unsigned char*>(&local.sin_port), [this](element e) {
                    if (e != element::local_ip) // logged above, before the address was known
                        log_element(e);
                });
        }
        LOG(log_, LOG_DEBUG, "Sending auth packet to server: " << address_text());
        const int size = static_cast<int>(request_size(send_));
        if (send(socket_.get(), reinterpret_cast<const char*>(send_), size, 0) == SOCKET_ERROR) {
            LOG(log_, LOG_ERROR, "Error: can't send auth packet to server!");
            if (ctx_.state.is(busy))
                fatal_socket("Ошибка отправки пакета авторизации.");
            ctx_.state.set(error);
            socket_.reset();
            return false;
        }
        return true;
    }

    // False when the pass ends here; otherwise `received` is what came (possibly nothing).
    bool receive_answer(int& received) {
        LOG(log_, LOG_DEBUG, "Receive server answer");
        const int ready = wait_readable(socket_.get());
        if (ready == SOCKET_ERROR)
            fatal_socket("Select failed.");
        if (ready == 0) {
            LOG(log_, LOG_ERROR, "Error: no answer from auth server (select timeout).");
            if (ctx_.state.is(busy))
                fatal("Нет ответа от сервера авторизации.");
            ctx_.state.set(error);
            if (is_tcp())
                socket_.reset();
            return false;
        }
        if (is_udp()) {
            sockaddr_in from{};
            int from_length = sizeof from;
            received = recvfrom(socket_.get(), reinterpret_cast<char*>(receive_),
                                static_cast<int>(packet_buffer_size), 0,
                                reinterpret_cast<sockaddr*>(&from), &from_length);
            if (received < 1) {
                LOG(log_, LOG_ERROR, "Error: no answer from auth server.");
                if (ctx_.state.is(busy))
                    fatal_socket("Нет ответа от сервера авторизации.");
                ctx_.state.set(error);
            }
            return true;
        }
        received = receive_stream();
        if (received == 0 && ctx_.state.is(busy))
            fatal_socket("Нет ответа от сервера авторизации.");
        socket_.reset();
        return true;
    }

    // Reads until the server closes, the buffer is full, or it stays silent too long.
    int receive_stream() {
        int received = 0;
        while (received < static_cast<int>(packet_buffer_size)) {
            int got;
            const int ready = wait_readable(socket_.get());
            if (ready == 0) {
                WSASetLastError(WSAETIMEDOUT);
                got = SOCKET_ERROR;
            } else if (ready == SOCKET_ERROR) {
                got = SOCKET_ERROR;
            } else {
                got = recv(socket_.get(), reinterpret_cast<char*>(receive_) + received,
                           static_cast<int>(packet_buffer_size) - received, 0);
            }
            if (got == 0)
                break;
            if (got < 0) {
                LOG(log_, LOG_ERROR, "Error: no answer from auth server (recv timeout).");
                if (ctx_.state.is(busy))
                    fatal_socket("Нет ответа от сервера авторизации.");
                ctx_.state.set(error);
                return 0;
            }
            received += got;
        }
        return received;
    }

    // A failure after a success only sets `error`; before it (and while disconnecting) it ends
    // the worker.
    void failure(const std::string& user_text) {
        if (ctx_.state.is(busy))
            fatal(user_text);
        ctx_.state.set(error);
    }

    void read(std::size_t received) {
        switch (check_answer(receive_, received)) {
        case verdict::ignore:
            return;
        case verdict::wrong_magic:
            LOG(log_, LOG_ERROR, "Error: wrong magic word.");
            failure("Ошибка протокола авторизации.");
            return;
        case verdict::broken_chunks:
            LOG(log_, LOG_ERROR, "Error: data chunks are broken.");
            failure("Ошибка протокола авторизации.");
            return;
        case verdict::well_formed:
            break;
        }
        LOG(log_, LOG_DEBUG, "Parsing server answer packet:");
        read_answer(receive_, received,
                    [this](unsigned char type, const unsigned char* data, std::size_t length) {
                        read_chunk(type, data, length);
                    });
        if (info_pending_) {
            ctx_.state.send_info(&info_);
            info_pending_ = false;
        }
    }

    void read_chunk(unsigned char type, const unsigned char* data, std::size_t length) {
        const std::string text(reinterpret_cast<const char*>(data), length);
        switch (type) {
        case chunk_server_random:
            std::memcpy(ctx_.random.data(), data, ctx_.random.size());
            LOG(log_, LOG_DEBUG, "-> Server random message: " << read_random_as_number(data));
            return;
        case chunk_info_header:
            info_.header = text;
            info_pending_ = true;
            LOG(log_, LOG_DEBUG, "-> Server info message header: " << text);
            return;
        case chunk_info_data:
            info_.data = text;
            info_pending_ = true;
            LOG(log_, LOG_DEBUG, "-> Server info message data: " << text);
            return;
        case chunk_info_params:
            info_.params = text;
            info_pending_ = true;
            LOG(log_, LOG_DEBUG, "-> Server info message params: " << text);
            return;
        case chunk_error_code: {
            const unsigned code = read_error_code(data);
            if (code != 0) {
                LOG(log_, LOG_ERROR, "-> Error: Server error code: " << code);
                failure(server_error_text(static_cast<std::uint16_t>(code)));
                return;
            }
            LOG(log_, LOG_INFO, "-> Auth OK");
            if (encrypted_sent_)
                ctx_.state.set(authorised);
            quick_retries_ = 0;
            return;
        }
        default:
            LOG(log_, LOG_ERROR,
                "Error: Server return unsupported data type ID: " << static_cast<unsigned>(type));
            failure(unsupported_type_text(type));
        }
    }

    worker_input& in_;
    worker_context& ctx_;
    const c_logger& log_;

    des_key key_{};
    std::uint32_t server_address_ = 0; // network order
    u_short server_port_ = 0;          // network order
    socket_handle socket_;
    sockaddr_in address_{}; // 0.0.0.0:0 for the UDP bind, then the server before every send
    unsigned char send_[packet_buffer_size];
    unsigned char receive_[packet_buffer_size];
    std::size_t end_marker_ = 0;
    bool skip_pause_ = true;
    bool encrypted_sent_ = false;
    bool disconnect_requested_ = false;
    int quick_retries_ = 0;
    server_info info_;
    bool info_pending_ = false;
};

} // namespace

void run_worker(worker_input& input) {
    // Two 8 KiB buffers: on the heap rather than on the thread's stack.
    auto w = std::make_unique<worker>(input);
    w->run();
}

} // namespace auth
