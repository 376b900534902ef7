#include "auth/address_watch.h"

#include <iphlpapi.h>

namespace auth {

address_watch::address_watch() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!event_) {
        error_ = GetLastError();
        return;
    }
    rearm();
}

address_watch::~address_watch() {
    if (watching_)
        CancelIPChangeNotify(&overlapped_);
}

void address_watch::rearm() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    HANDLE ignored = nullptr;
    const DWORD result = NotifyAddrChange(&ignored, &overlapped_);
    watching_ = result == ERROR_IO_PENDING || result == NO_ERROR;
    error_ = watching_ ? 0 : result;
}

} // namespace auth
