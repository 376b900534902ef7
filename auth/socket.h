// A Winsock socket, and the waits of one exchange: each ends at the exchange's deadline, and at
// once when the worker is asked to stop.
#pragma once

#include "support/win_handle.h"

#include <winsock2.h>

#include <utility>

namespace auth {

class socket_handle {
public:
    socket_handle() = default;
    explicit socket_handle(SOCKET s) : socket_(s) {}
    socket_handle(socket_handle&& other) noexcept
        : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
    socket_handle& operator=(socket_handle&& other) noexcept {
        reset(std::exchange(other.socket_, INVALID_SOCKET));
        return *this;
    }
    socket_handle(const socket_handle&) = delete;
    socket_handle& operator=(const socket_handle&) = delete;
    ~socket_handle() { reset(); }

    SOCKET get() const { return socket_; }
    bool valid() const { return socket_ != INVALID_SOCKET; }

    void reset(SOCKET s = INVALID_SOCKET) {
        if (valid())
            closesocket(socket_);
        socket_ = s;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

// Thrown by a wait that the stop event ended: the exchange is abandoned. It never leaves the
// worker's pass.
struct exchange_abandoned {};

// A moment on the tick clock by which a step must be done.
class deadline {
public:
    static deadline in(DWORD milliseconds) { return deadline(GetTickCount64() + milliseconds); }
    DWORD left() const {
        const ULONGLONG now = GetTickCount64();
        return now < end_ ? static_cast<DWORD>(end_ - now) : 0;
    }

private:
    explicit deadline(ULONGLONG end) : end_(end) {}
    ULONGLONG end_;
};

// Network events of the worker's socket, signalled through an event object, so that a wait for
// the socket can also wait for the stop event.
class socket_events {
public:
    explicit socket_events(HANDLE stop_event) : stop_(stop_event) {}

    // Creates the event object; false on failure, with the error in GetLastError().
    bool open();

    // Ties `s` to these events (FD_READ, FD_CLOSE and, for a stream, FD_CONNECT); the socket
    // becomes non-blocking. False on failure, with the error in WSAGetLastError().
    bool watch(SOCKET s, long events);

    // Whether a stop ends a wait: no longer once it has been noticed, so that the disconnect
    // exchange runs to its own deadlines.
    void watch_stop(bool on) { watch_stop_ = on; }

    // Waits until the socket has news (true, with the events that came) or the deadline passed
    // (false). Throws exchange_abandoned when the stop event is set first.
    bool wait(SOCKET s, const deadline& until, WSANETWORKEVENTS& events);
    bool wait(SOCKET s, const deadline& until);

    // Connects without blocking: 0 once connected, else the error (WSAETIMEDOUT at the
    // deadline). Throws exchange_abandoned on a stop.
    int connect(SOCKET s, const sockaddr_in& to, const deadline& until);

private:
    unique_handle event_;
    HANDLE stop_;
    bool watch_stop_ = true;
};

} // namespace auth
