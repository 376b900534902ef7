#include "auth/pause.h"

#include "auth/socket.h"

namespace auth {

namespace {

constexpr DWORD settle_ms = 250;

} // namespace

void pause_waiter::watch_addresses(const c_logger& log) {
    watch_ = std::make_unique<address_watch>();
    if (!watch_->watching())
        LOG(log, LOG_WARNING,
            "Network address changes are not watched (error " << watch_->error() << ")");
}

void pause_waiter::exchange_begins() {
    ctx_.wake_reasons.store(0);
    covered_ = ctx_.wake_count.load();
}

pause_waiter::end pause_waiter::wait(DWORD milliseconds, const c_logger& log) {
    const deadline until = deadline::in(milliseconds);
    for (;;) {
        const HANDLE handles[3] = {ctx_.stop_event.get(), ctx_.wake_event.get(),
                                   watch_ ? watch_->event() : nullptr};
        const DWORD woken =
            WaitForMultipleObjects(watching() ? 3 : 2, handles, FALSE, until.left());
        if (woken == WAIT_OBJECT_0)
            return end::stop;
        if (woken == WAIT_OBJECT_0 + 2) {
            watch_->rearm();
            ctx_.wake(address_changed);
            continue;
        }
        if (woken != WAIT_OBJECT_0 + 1)
            return end::elapsed;
        if (ctx_.wake_count.load() == covered_)
            continue; // asked for before the last exchange began, which answered it
        if (!settle())
            return end::stop;
        const unsigned reasons = ctx_.wake_reasons.exchange(0);
        if (reasons & woke_from_sleep)
            LOG(log, LOG_INFO, "Resumed from sleep: renewing now");
        if (reasons & address_changed)
            LOG(log, LOG_INFO, "Network address changed: renewing now");
        return end::renew;
    }
}

bool pause_waiter::settle() {
    const deadline quiet = deadline::in(settle_ms);
    for (;;) {
        const HANDLE handles[2] = {ctx_.stop_event.get(), watch_ ? watch_->event() : nullptr};
        const DWORD woken =
            WaitForMultipleObjects(watching() ? 2 : 1, handles, FALSE, quiet.left());
        if (woken == WAIT_OBJECT_0)
            return false;
        if (woken != WAIT_OBJECT_0 + 1)
            return true;
        watch_->rearm();
        ctx_.wake(address_changed);
    }
}

} // namespace auth
