// The authorization client: starts and stops the worker that keeps the subscriber authorised.
#pragma once

#include "auth/client_state.h"
#include "auth/exception.h"
#include "auth/messages.h"
#include "support/win_handle.h"

#include <windows.h>

#include <memory>

namespace env {
class c_env;
}

namespace auth {

struct worker_context;

class c_client {
public:
    explicit c_client(const env::c_env& environment);
    ~c_client();
    c_client(const c_client&) = delete;
    c_client& operator=(const c_client&) = delete;

    // Starts the worker when the client is idle and no earlier worker is still running. With
    // `wait_for_network` (a connect at logon) the first exchange waits for the network to come
    // up rather than failing at once.
    void start(bool wait_for_network = false);
    // Asks a running worker to stop; waits for it at most `milliseconds` (0: no wait). The waits
    // of one stop share that bound: a later stop with a wait (the destructor after the close)
    // waits only for what is left of the first.
    void stop(int milliseconds);

    int state() const;
    // What the user is told of the failure that set `error` last.
    std::string failure_text() const;

    // The computer woke from sleep, or its IPv4 addresses changed: a running worker renews now.
    void resumed();
    void network_changed();

    // The environment is about to be destroyed while a worker may still run: from now on the
    // worker sends nothing (it keeps its own copies of what it reads).
    void release_environment();

    // The worker's thread procedure; its argument is the context it shares with the client.
    static DWORD WINAPI auth_proc(LPVOID context);

private:
    void wait_for_worker(int milliseconds);

    // Held by the client and by each worker, so a worker that outlives the client (blocked in
    // its error box, say) never touches freed memory.
    std::shared_ptr<worker_context> shared_;
    unique_handle thread_;
    ULONGLONG stop_deadline_ = 0; // when the waits for the current worker run out; 0: none yet
    const env::c_env& env_;
};

} // namespace auth
