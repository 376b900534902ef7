#include "auth/socket.h"

namespace auth {

bool socket_events::open() {
    event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return static_cast<bool>(event_);
}

bool socket_events::watch(SOCKET s, long events) {
    ResetEvent(event_.get()); // nothing of an earlier socket counts
    return WSAEventSelect(s, event_.get(), events) != SOCKET_ERROR;
}

bool socket_events::wait(SOCKET s, const deadline& until, WSANETWORKEVENTS& events) {
    const HANDLE handles[2] = {event_.get(), stop_};
    const DWORD count = watch_stop_ ? 2 : 1;
    const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, until.left());
    if (woken == WAIT_OBJECT_0 + 1)
        throw exchange_abandoned{};
    if (woken != WAIT_OBJECT_0)
        return false;
    events = WSANETWORKEVENTS{};
    WSAEnumNetworkEvents(s, event_.get(), &events); // also resets the event
    return true;
}

bool socket_events::wait(SOCKET s, const deadline& until) {
    WSANETWORKEVENTS events;
    return wait(s, until, events);
}

int socket_events::connect(SOCKET s, const sockaddr_in& to, const deadline& until) {
    if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR)
        return 0;
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK)
        return error;
    WSANETWORKEVENTS events;
    while (wait(s, until, events))
        if (events.lNetworkEvents & FD_CONNECT)
            return events.iErrorCode[FD_CONNECT_BIT];
    return WSAETIMEDOUT;
}

} // namespace auth
