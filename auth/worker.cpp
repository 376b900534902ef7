// The worker's cycle: request/answer exchanges with the auth server, paced by the reconnect
// period, until a stop has been noticed twice or a fatal error has been shown.
#include "auth/exception.h"
#include "auth/pause.h"
#include "auth/socket.h"
#include "auth/worker_context.h"
#include "env/settings.h"
#include "support/system_error.h"
#include "support/text.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace auth {

namespace {

const char* const auth_proc_signature = "static DWORD auth::c_client::auth_proc(LPVOID)";

// Every exchange is bounded: the connection within this long, the whole answer (over TCP too)
// within this long of the request.
constexpr DWORD connect_timeout_ms = 5000;
constexpr DWORD answer_timeout_ms = 5000;
constexpr DWORD quick_retry_ms = 500;
constexpr int max_quick_retries = 3;
// Waiting for the network at logon: the pauses between tries, in seconds (the last one repeats),
// and how long it goes on before the last failure is shown after all.
constexpr DWORD network_retry_s[] = {2, 4, 8, 16, 30};
constexpr ULONGLONG network_wait_ms = 5 * 60 * 1000;
// Bounded, so that a flood of datagrams cannot hold the worker before its request.
constexpr int max_late_answers = 64;
// Big enough for any datagram, so a dropped one is logged with its real size.
constexpr std::size_t max_datagram_size = 65536;
// The server's refusal of an encrypted random that answers no challenge it holds.
constexpr unsigned wrong_password_code = 1001;

[[noreturn]] void fatal(const std::string& message) {
    EX_RAISE_IN(c_exception, message, auth_proc_signature);
}

// The message, a line feed and the system's text for `code`, the error of the call that failed
// (taken before anything else, logging included, could replace it).
std::string with_system_text(const std::string& message, int code) {
    return message + "\n" + system_error_text(static_cast<std::uint32_t>(code));
}

// What made an exchange fail, for the rule of what the worker survives.
enum class cause {
    network, // the name, a connect, a send, no answer: the network may come up later
    socket,  // a socket of our own could not be made: fatal in any state, unless at logon
    server,  // the server answered, and what it said is the failure
};

class worker {
public:
    explicit worker(worker_input& input)
        : in_(input), ctx_(*input.context), log_(ctx_.logger), events_(ctx_.stop_event.get()),
          pause_(ctx_), started_(GetTickCount64()) {}

    void run() {
        LOG(log_, LOG_TRACE, auth_proc_signature);
        try {
            if (start_up())
                while (pass())
                    ;
        } catch (const ex::c_exception& e) {
            LOG(log_, LOG_ERROR, "Error ! " << e.text());
            // A client that is gone has nobody to tell.
            if (!ctx_.state.detached())
                MessageBoxA(ctx_.state.main_window(), e.text().c_str(), "Ошибка", MB_ICONERROR);
        } catch (...) {
            LOG(log_, LOG_ERROR, "System Error !");
            if (!ctx_.state.detached())
                MessageBoxA(ctx_.state.main_window(), "Системная ошибка", "Ошибка", MB_ICONERROR);
        }
        socket_.reset();
        ctx_.state.end_worker();
    }

private:
    bool is_tcp() const { return in_.protocol.get_int() == env::protocol_tcp; }
    bool is_udp() const { return in_.protocol.get_int() == env::protocol_udp; }
    bool holds_random() const { return ctx_.random != server_random{}; }

    std::string address_text() const {
        std::string s = ip_to_text(address_.sin_addr.s_addr);
        return s << ":" << static_cast<unsigned short>(ntohs(address_.sin_port));
    }

    // False when the client was destroyed before the worker got going: nothing to authorize.
    bool start_up() {
        key_ = make_key(in_.password);
        const bool resolved = resolve();
        server_port_ = htons(static_cast<u_short>(in_.port.get_int() & 0xFFFF));

        // Only the destructor stops a worker that is still idle.
        if (WaitForSingleObject(ctx_.stop_event.get(), 0) == WAIT_OBJECT_0)
            return false;
        if (resolved)
            ctx_.state.set(busy);
        else
            failure("", resolve_failure_, cause::network);

        if (!events_.open())
            fatal(
                with_system_text("Ошибка при создании сокета.", static_cast<int>(GetLastError())));
        pause_.watch_addresses(log_);
        address_.sin_family = AF_INET;
        if (is_udp())
            open_udp_socket();

        std::fill(std::begin(send_), std::end(send_), 0);
        std::fill(std::begin(receive_), std::end(receive_), 0);
        ctx_.random = server_random{};
        info_ = server_info{};
        return true;
    }

    // The first IPv4 address of AUTH_SERVER, read anew. False when it does not resolve (also to
    // an entry that is not IPv4, or to 0.0.0.0); the address known so far stays.
    bool resolve() {
        LOG(log_, LOG_DEBUG, "Resolving server name into IP address");
        const std::string name = in_.server.get_str();
        const hostent* host = gethostbyname(name.c_str());
        std::uint32_t server = 0;
        if (host != nullptr && host->h_addrtype == AF_INET && host->h_length == 4 &&
            host->h_addr_list != nullptr && host->h_addr_list[0] != nullptr)
            std::memcpy(&server, host->h_addr_list[0], 4);
        if (server == 0) {
            resolve_failure_ = "Can't resolve server name '" + name + "' into IP address.";
            return false;
        }
        if (server_address_ != 0 && server != server_address_)
            LOG(log_, LOG_INFO,
                "Server address changed: " << ip_to_text(server_address_) << " -> "
                                           << ip_to_text(server));
        server_address_ = server;
        return true;
    }

    // After a failed exchange the server may have moved: the name is resolved again. False when
    // there is still no address to send to.
    bool resolve_again() {
        if (!resolve_again_)
            return true;
        resolve_again_ = false;
        if (resolve() || server_address_ != 0)
            return true;
        failure("", resolve_failure_, cause::network);
        return false;
    }

    // False when the socket could not be made (the failure is handled).
    bool open_udp_socket() {
        LOG(log_, LOG_DEBUG, "Creating UDP socket");
        socket_handle s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        if (!s.valid()) {
            failure("", with_system_text("Ошибка при создании сокета.", WSAGetLastError()),
                    cause::socket);
            return false;
        }
        LOG(log_, LOG_DEBUG, "Binding UDP socket");
        sockaddr_in any{};
        any.sin_family = AF_INET;
        if (bind(s.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == SOCKET_ERROR) {
            failure("", with_system_text("Ошибка \"привязки\" сокета.", WSAGetLastError()),
                    cause::socket);
            return false;
        }
        if (!events_.watch(s.get(), FD_READ))
            fatal(with_system_text("Select failed.", WSAGetLastError()));
        socket_ = std::move(s);
        return true;
    }

    // One exchange; false once the worker is to leave the cycle.
    bool pass() {
        LOG(log_, LOG_DEBUG, "Auth cycle BEGIN");
        if (!pause())
            return false;
        pause_.exchange_begins();
        if (!resolve_again())
            return true;
        build();
        address_.sin_addr.s_addr = server_address_;
        address_.sin_port = server_port_;
        try {
            exchange();
        } catch (const exchange_abandoned&) {
            // A stop inside the exchange: give it up, and send the disconnect request at once.
            if (is_tcp())
                socket_.reset();
            if (!notice_stop())
                return false;
            at_once_ = true;
            abandoned_ = true;
        }
        return true;
    }

    void exchange() {
        if (!send_request())
            return;
        int received = 0;
        if (!receive_answer(received))
            return;
        LOG(log_, LOG_DEBUG, "OK, got data from auth server: " << received << " bytes");
        read(received < 0 ? 0 : static_cast<std::size_t>(received));
    }

    // False when there is nothing to disconnect: still waiting for the network at logon, never
    // authorised. The worker then just ends.
    bool notice_stop() {
        LOG(log_, LOG_DEBUG, "Force disconnect!");
        if (waiting_for_network_)
            return false;
        disconnect_requested_ = true;
        events_.watch_stop(false); // the disconnect exchange runs to its own deadlines
        return true;
    }

    // False when a stop is noticed for the second time (or the first, when there is nothing to
    // disconnect).
    bool pause() {
        DWORD pause_ms;
        if (network_retry_) {
            network_retry_ = false;
            at_once_ = false;
            const DWORD seconds = network_retry_s[std::min<std::size_t>(
                network_retries_++, std::size(network_retry_s) - 1)];
            LOG(log_, LOG_INFO, "Waiting for the network: retry in " << seconds << " s");
            pause_ms = seconds * 1000;
        } else if (at_once_) { // the first pass, or the disconnect after a stop inside an exchange
            at_once_ = false;
            return true;
        } else if (unanswered_ && holds_random()) {
            return true; // a challenge has just come: answer it at once
        } else {
            pause_ms = period_pause();
        }
        LOG(log_, LOG_DEBUG, "Pause: " << pause_ms << " ms ...");
        if (pause_.wait(pause_ms, log_) != pause_waiter::end::stop)
            return true;
        if (disconnect_requested_) {
            LOG(log_, LOG_DEBUG, "Force disconnect!");
            return false;
        }
        return notice_stop();
    }

    DWORD period_pause() {
        // A period beyond what a wait can take, or below zero, is clamped rather than wrapped.
        long long period_ms = static_cast<long long>(in_.period.get_int()) * 1000;
        period_ms = std::clamp<long long>(period_ms, 0, INFINITE - 1);
        // Answers without a challenge are paced like failures, never back to back.
        if ((ctx_.state.is(error) || unanswered_) && quick_retries_ < max_quick_retries) {
            ++quick_retries_;
            return quick_retry_ms;
        }
        return static_cast<DWORD>(period_ms);
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
        unanswered_ = !holds_random();
        end_marker_ = build_request(send_, r, [this](element e) {
            log_element(e);
            if (e == element::encrypted_random)
                encrypted_sent_ = true;
            if (e == element::disconnect_request)
                ctx_.state.set(busy); // every failure of the disconnect exchange is fatal
        });
    }

    // The failure rule: the disconnect exchange survives nothing; after a success, everything
    // but a socket of our own that cannot be made is survived with `error`; before it, only a
    // connect at logon survives network failures (and its own sockets'), for five minutes.
    bool survives(cause why) const {
        if (disconnect_requested_)
            return false;
        if (succeeded_)
            return why != cause::socket;
        return in_.wait_for_network && why != cause::server &&
               GetTickCount64() - started_ < network_wait_ms;
    }

    // Logs the failure (when there is a line to log), then ends the worker with the user's text
    // or sets `error`; the next exchange resolves the name again.
    void failure(const std::string& log_line, const std::string& user_text,
                 cause why = cause::network) {
        if (!log_line.empty())
            LOG(log_, LOG_ERROR, log_line);
        if (!survives(why))
            fatal(user_text);
        ctx_.state.set_error(user_text);
        resolve_again_ = true;
        if (!succeeded_) {
            waiting_for_network_ = true;
            network_retry_ = true;
        }
    }

    bool from_server(const sockaddr_in& from) const {
        return from.sin_family == AF_INET && from.sin_addr.s_addr == server_address_ &&
               from.sin_port == server_port_;
    }

    // What already waits in the UDP socket before a request belongs to no exchange: an answer
    // that came after its exchange was given up, a stranger's datagram, or a port-unreachable
    // report. Taken for the next answer, a late answer would put every later exchange one
    // answer behind, each answering a superseded challenge, refused for good.
    void discard_late_answers() {
        for (int i = 0; i < max_late_answers; ++i) {
            const int got = recvfrom(socket_.get(), reinterpret_cast<char*>(drain_),
                                     static_cast<int>(max_datagram_size), 0, nullptr, nullptr);
            if (got != SOCKET_ERROR) {
                LOG(log_, LOG_DEBUG, "Late answer dropped: " << got << " bytes");
                continue;
            }
            const int code = WSAGetLastError();
            if (code != WSAECONNRESET && code != WSAECONNREFUSED)
                return; // nothing more waits
            LOG(log_, LOG_DEBUG, "Late unreachable report dropped");
        }
    }

    // False when the pass ends here (no answer to wait for).
    bool send_request() {
        const int protocol = in_.protocol.get_int();
        if (protocol == env::protocol_udp) {
            if (!socket_.valid() && !open_udp_socket())
                return false;
            discard_late_answers();
            LOG(log_, LOG_DEBUG, "Sending auth packet to server: " << address_text());
            const int size = static_cast<int>(request_size(send_));
            answer_due_ = deadline::in(answer_timeout_ms);
            if (sendto(socket_.get(), reinterpret_cast<const char*>(send_), size, 0,
                       reinterpret_cast<const sockaddr*>(&address_),
                       sizeof address_) == SOCKET_ERROR)
                failure("Error: can't send auth packet!",
                        with_system_text("Ошибка отправки пакета авторизации.", WSAGetLastError()));
            return true;
        }
        if (protocol != env::protocol_tcp)
            return true; // nothing is sent; the wait for the answer fails

        LOG(log_, LOG_DEBUG, "Connecting to auth server: " << address_text());
        socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!socket_.valid()) {
            failure("", with_system_text("Ошибка при создании сокета.", WSAGetLastError()),
                    cause::socket);
            return false;
        }
        if (!events_.watch(socket_.get(), FD_CONNECT | FD_READ | FD_CLOSE))
            fatal(with_system_text("Select failed.", WSAGetLastError()));
        if (const int refused =
                events_.connect(socket_.get(), address_, deadline::in(connect_timeout_ms))) {
            failure("Error: can't connect to auth server!",
                    with_system_text("Сервер авторизации (TCP) недоступен.", refused));
            // Nothing can be sent without the connection; the failure to show is this one.
            socket_.reset();
            return false;
        }
        if (in_.type.get_int() == env::type_local_ip) {
            LOG(log_, LOG_DEBUG, "<- local IP");
            sockaddr_in local{};
            int length = sizeof local;
            if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) ==
                SOCKET_ERROR)
                fatal(with_system_text("Ошибка определения IP-адреса клиента.", WSAGetLastError()));
            end_marker_ = append_local_ip(
                send_, end_marker_, reinterpret_cast<const unsigned char*>(&local.sin_addr),
                reinterpret_cast<const unsigned char*>(&local.sin_port), [this](element e) {
                    if (e != element::local_ip) // logged above, before the address was known
                        log_element(e);
                });
        }
        LOG(log_, LOG_DEBUG, "Sending auth packet to server: " << address_text());
        const int size = static_cast<int>(request_size(send_));
        answer_due_ = deadline::in(answer_timeout_ms);
        if (send(socket_.get(), reinterpret_cast<const char*>(send_), size, 0) == SOCKET_ERROR) {
            failure("Error: can't send auth packet to server!",
                    with_system_text("Ошибка отправки пакета авторизации.", WSAGetLastError()));
            socket_.reset();
            return false;
        }
        return true;
    }

    // Nothing came within the answer's time.
    void no_answer_in_time() {
        failure("Error: no answer from auth server (select timeout).",
                "Нет ответа от сервера авторизации.");
        if (is_tcp())
            socket_.reset();
    }

    // False when the pass ends here; otherwise `received` is what came (possibly nothing).
    bool receive_answer(int& received) {
        LOG(log_, LOG_DEBUG, "Receive server answer");
        if (!socket_.valid()) // no protocol that this client speaks: nothing to wait for
            fatal(with_system_text("Select failed.", WSAENOTSOCK));
        if (is_udp())
            return receive_datagram(received);
        const stream_end ended = receive_stream(received);
        if (ended == stream_end::nothing_in_time)
            return false;
        // Closed without a word: only a failure while the answer matters for the session.
        if (ended == stream_end::closed && received == 0 && (!succeeded_ || disconnect_requested_))
            failure("", with_system_text("Нет ответа от сервера авторизации.", 0));
        socket_.reset();
        return true;
    }

    // The server's datagram. Anyone else's is dropped and the wait goes on: only the server may
    // answer, or strangers could show messages, fail the session or choose the challenge.
    bool receive_datagram(int& received) {
        for (;;) {
            sockaddr_in from{};
            int from_length = sizeof from;
            received = recvfrom(socket_.get(), reinterpret_cast<char*>(receive_),
                                static_cast<int>(packet_buffer_size), 0,
                                reinterpret_cast<sockaddr*>(&from), &from_length);
            const int code = received == SOCKET_ERROR ? WSAGetLastError() : 0;
            if (code == WSAEWOULDBLOCK) {
                if (!events_.wait(socket_.get(), answer_due_)) {
                    no_answer_in_time();
                    return false;
                }
                continue;
            }
            if ((code == 0 || code == WSAEMSGSIZE) && !from_server(from)) {
                LOG(log_, LOG_DEBUG,
                    "Datagram from a stranger dropped: "
                        << ip_to_text(from.sin_addr.s_addr) << ":"
                        << static_cast<unsigned short>(ntohs(from.sin_port)));
                continue;
            }
            // A port-unreachable report for this request counts as no answer to it.
            if (received < 1)
                failure("Error: no answer from auth server.",
                        with_system_text("Нет ответа от сервера авторизации.", code));
            return true;
        }
    }

    enum class stream_end { closed, full, failed, nothing_in_time };

    // Reads until the server closes, the buffer is full, or the answer's time is up.
    stream_end receive_stream(int& received) {
        received = 0;
        bool heard = false; // the server has sent something or closed
        while (received < static_cast<int>(packet_buffer_size)) {
            const int got = recv(socket_.get(), reinterpret_cast<char*>(receive_) + received,
                                 static_cast<int>(packet_buffer_size) - received, 0);
            int code = got == SOCKET_ERROR ? WSAGetLastError() : 0;
            if (got == 0)
                return stream_end::closed;
            if (got > 0) {
                heard = true;
                received += got;
                continue;
            }
            if (code == WSAEWOULDBLOCK) {
                if (events_.wait(socket_.get(), answer_due_))
                    continue;
                if (!heard) {
                    no_answer_in_time();
                    return stream_end::nothing_in_time;
                }
                code = WSAETIMEDOUT;
            }
            failure("Error: no answer from auth server (recv timeout).",
                    with_system_text("Нет ответа от сервера авторизации.", code));
            received = 0;
            return stream_end::failed;
        }
        return stream_end::full;
    }

    void read(std::size_t received) {
        switch (check_answer(receive_, received)) {
        case verdict::ignore:
            return;
        case verdict::wrong_magic:
            failure("Error: wrong magic word.", "Ошибка протокола авторизации.", cause::server);
            return;
        case verdict::broken_chunks:
            failure("Error: data chunks are broken.", "Ошибка протокола авторизации.",
                    cause::server);
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
            if (refused_after_abandon(code))
                return;
            if (code != 0) {
                failure("-> Error: Server error code: " + std::to_string(code),
                        server_error_text(static_cast<std::uint16_t>(code)), cause::server);
                return;
            }
            LOG(log_, LOG_INFO, "-> Auth OK");
            // Only an answered challenge ends a run of failures; answers without one are
            // still paced.
            if (encrypted_sent_) {
                ctx_.state.set(authorised);
                quick_retries_ = 0;
                succeeded_ = true;
                waiting_for_network_ = false;
                network_retry_ = false;
            }
            return;
        }
        default:
            failure("Error: Server return unsupported data type ID: " + std::to_string(type),
                    unsupported_type_text(type), cause::server);
        }
    }

    // The exchange given up for a stop may have been answered all the same, with a challenge
    // this worker never read; the server then refuses the disconnect request, which answers
    // the one before. The refusal carries the server's newest challenge: the disconnect request
    // goes out once more, at once, answering that one.
    bool refused_after_abandon(unsigned code) {
        if (code != wrong_password_code || !disconnect_requested_ || !abandoned_)
            return false;
        abandoned_ = false;
        at_once_ = true;
        LOG(log_, LOG_WARNING, "-> Disconnect refused after an abandoned exchange, sent again");
        return true;
    }

    worker_input& in_;
    worker_context& ctx_;
    const c_logger& log_;
    socket_events events_;
    pause_waiter pause_;
    const ULONGLONG started_;

    des_key key_{};
    std::uint32_t server_address_ = 0; // network order
    u_short server_port_ = 0;          // network order
    socket_handle socket_;
    sockaddr_in address_{}; // 0.0.0.0:0 for the UDP bind, then the server before every send
    deadline answer_due_ = deadline::in(0);
    unsigned char send_[packet_buffer_size];
    unsigned char receive_[packet_buffer_size];
    unsigned char drain_[max_datagram_size];
    std::size_t end_marker_ = 0;
    bool at_once_ = true;     // the next pass starts without a pause
    bool unanswered_ = false; // the last request answered no challenge
    bool encrypted_sent_ = false;
    bool disconnect_requested_ = false;
    bool abandoned_ = false; // an exchange was given up for the stop; its answer may have gone out
    int quick_retries_ = 0;
    bool succeeded_ = false;           // an answered challenge was accepted in this run
    bool waiting_for_network_ = false; // at logon, a network failure before any success
    bool network_retry_ = false;       // the next pause is a try of the wait for the network
    std::size_t network_retries_ = 0;
    bool resolve_again_ = false;
    std::string resolve_failure_;
    server_info info_;
    bool info_pending_ = false;
};

} // namespace

void run_worker(worker_input& input) {
    // Its buffers are large: on the heap rather than on the thread's stack.
    auto w = std::make_unique<worker>(input);
    w->run();
}

} // namespace auth
