#include "auth/client.h"

#include "auth/stop_event.h"
#include "auth/worker_context.h"
#include "env/env.h"
#include "res/resource.h"
#include "support/string_table.h"
#include "support/system_error.h"

#include <algorithm>

namespace auth {

namespace {

std::string version_text(HINSTANCE instance) {
    return "WIN-" + load_text(instance, IDS_VERSION);
}

} // namespace

c_client::c_client(const env::c_env& environment)
    : shared_(std::make_shared<worker_context>(&environment,
                                               environment.value(env::LOG_LEVEL).get_int())),
      env_(environment) {
    LOG(shared_->logger, LOG_TRACE, "auth::c_client::c_client(const env::c_env&)");
    shared_->stop_event.reset(create_stop_event());
    if (shared_->stop_event)
        shared_->wake_event.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!shared_->stop_event || !shared_->wake_event)
        EX_RAISE(c_exception, "Can't create event.\n" + system_error_text(GetLastError()));
    shared_->state.set(idle);
}

c_client::~c_client() {
    LOG(shared_->logger, LOG_TRACE, "auth::c_client::~c_client()");
    // Whatever the worker does from now on, it reports nothing: no state, no box. It keeps
    // the shared context alive, but must no longer reach the environment, which its owner
    // may destroy next.
    shared_->state.detach();
    stop(5000);
    // A worker started a moment ago is still idle until it has resolved the server name, so
    // stop() leaves it alone; it must not go on authorizing for a client that is gone. One read
    // of the claim: a worker that has gone busy since is covered as well.
    if (shared_->state.worker_claimed()) {
        SetEvent(shared_->stop_event.get());
        wait_for_worker(5000);
    }
}

int c_client::state() const {
    return shared_->state.get();
}

std::string c_client::failure_text() const {
    return shared_->state.failure_text();
}

void c_client::resumed() {
    shared_->wake(woke_from_sleep);
}

void c_client::network_changed() {
    shared_->wake(address_changed);
}

void c_client::release_environment() {
    shared_->state.detach();
}

void c_client::start(bool wait_for_network) {
    LOG(shared_->logger, LOG_TRACE, "void auth::c_client::start()");
    if (!shared_->state.claim_worker())
        return; // not idle, or a worker is still running (also before it has left idle)
    ResetEvent(shared_->stop_event.get());
    stop_deadline_ = 0;

    std::unique_ptr<worker_input> input(
        new worker_input{shared_, env_.value(env::AUTH_SERVER), env_.value(env::AUTH_PORT),
                         env_.value(env::AUTH_PROTOCOL), env_.value(env::AUTH_TYPE),
                         env_.value(env::RECONNECT_PERIOD), env_.login, env_.password,
                         version_text(env_.instance), wait_for_network});
    const HANDLE thread = CreateThread(nullptr, 0, auth_proc, input.get(), 0, nullptr);
    if (thread == nullptr) {
        const DWORD error = GetLastError();
        shared_->state.cancel_claim();
        EX_RAISE(c_exception, "Can't create thread.\n" + system_error_text(error));
    }
    input.release();       // the worker owns it now
    thread_.reset(thread); // an earlier worker's handle, if any, is closed here
}

void c_client::stop(int milliseconds) {
    LOG(shared_->logger, LOG_TRACE, "void auth::c_client::stop(int)");
    if (shared_->state.is(idle))
        return;
    SetEvent(shared_->stop_event.get());
    if (milliseconds != 0)
        wait_for_worker(milliseconds);
}

void c_client::wait_for_worker(int milliseconds) {
    const ULONGLONG now = GetTickCount64();
    if (stop_deadline_ == 0)
        stop_deadline_ = now + static_cast<ULONGLONG>(milliseconds);
    const ULONGLONG until = std::min(stop_deadline_, now + static_cast<ULONGLONG>(milliseconds));
    const DWORD left = until > now ? static_cast<DWORD>(until - now) : 0;
    // The handle stays open until the worker has ended, so that a later stop with a wait
    // (the close after a disconnect click) can still wait for it.
    if (thread_ && WaitForSingleObject(thread_.get(), left) == WAIT_OBJECT_0)
        thread_.reset();
}

DWORD WINAPI c_client::auth_proc(LPVOID argument) {
    std::unique_ptr<worker_input> input(static_cast<worker_input*>(argument));
    run_worker(*input);
    return 0;
}

} // namespace auth
