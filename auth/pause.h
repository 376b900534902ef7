// The pause between two exchanges: it ends early for a stop, and for a renewal asked for since
// the last exchange began (the computer woke from sleep, or its addresses changed).
#pragma once

#include "auth/address_watch.h"
#include "auth/worker_context.h"

#include <memory>

namespace auth {

class pause_waiter {
public:
    enum class end { elapsed, stop, renew };

    explicit pause_waiter(worker_context& context) : ctx_(context) {}

    // Starts watching the computer's addresses; logs a warning on a system that cannot.
    void watch_addresses(const c_logger& log);

    // A renewal asked for before now is covered by the exchange that begins.
    void exchange_begins();

    // Waits `milliseconds` at most; a renewal is logged with its reasons.
    end wait(DWORD milliseconds, const c_logger& log);

private:
    bool watching() const { return watch_ && watch_->watching(); }
    // A burst of changes (an interface that comes up changes several addresses) makes one
    // renewal: the changes that follow within a moment are taken along.
    bool settle(); // false on a stop

    worker_context& ctx_;
    std::unique_ptr<address_watch> watch_;
    unsigned covered_ = 0; // renewal requests that an exchange has answered
};

} // namespace auth
