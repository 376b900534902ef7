// Changes of the computer's IPv4 addresses, signalled through an event the worker can wait on.
#pragma once

#include "support/win_handle.h"

#include <winsock2.h>

namespace auth {

class address_watch {
public:
    // Asks the system to tell of the next change; a system that cannot is not watched.
    address_watch();
    ~address_watch();
    address_watch(const address_watch&) = delete;
    address_watch& operator=(const address_watch&) = delete;

    bool watching() const { return watching_; }
    DWORD error() const { return error_; } // why not, when not watching
    HANDLE event() const { return event_.get(); }

    // After the event: ask for the next change.
    void rearm();

private:
    unique_handle event_;
    OVERLAPPED overlapped_{};
    bool watching_ = false;
    DWORD error_ = 0;
};

} // namespace auth
