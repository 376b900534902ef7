// Owner of a Winsock socket.
#pragma once

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

} // namespace auth
