// The client state, the route by which its changes reach the main window, and the rule that one
// worker runs at a time.
#pragma once

#include "auth/messages.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

namespace env {
class c_env;
}

namespace auth {

class c_client_state {
public:
    explicit c_client_state(const env::c_env* environment) : env_(environment) {}

    // Stores the state; tells the main window only when it changed.
    void set(int state);
    // Sets `error` for a failure whose text the user may be shown. The window hears of it when
    // the state changes, and again when the text does while the state stays `error`.
    void set_error(const std::string& text);
    std::string failure_text() const;
    bool is(int state) const { return state_.load() == state; }
    bool is_not(int state) const { return state_.load() != state; }
    int get() const { return state_.load(); }
    void notify_state() const;
    void send_info(const server_info* info) const;

    // The main window handle held by the environment, or 0 once detached.
    HWND main_window() const;

    // The environment is going away while a worker may still run: from now on nothing is sent.
    void detach();
    bool detached() const;

    // One worker at a time. The main thread claims the right to run one, only while the state
    // is idle and no worker holds it; the worker gives it back in its last step, which also
    // stores and reports idle, so no start can slip in between and no late idle can overwrite
    // a newer worker's state.
    bool claim_worker();
    void cancel_claim(); // the claimed worker could not be started
    bool worker_claimed() const;
    void end_worker();

private:
    void send(UINT message, LPARAM lparam) const;

    std::atomic<int> state_{-1};
    // Held by the worker that stores and reports a state, so reports reach the window in the
    // order the states were stored, also across an ending worker and the next one. The main
    // thread never takes it: a report it handles may start the next worker.
    std::mutex report_;
    mutable std::mutex claim_guard_;
    bool worker_claimed_ = false;
    mutable std::mutex text_guard_;
    std::string failure_text_;
    // Guards only the pointer, never a send: the worker copies the handle and lets go.
    mutable std::mutex env_guard_;
    const env::c_env* env_;
};

} // namespace auth
