// The client state and the route by which its changes reach the main window.
#pragma once

#include "auth/messages.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace env {
class c_env;
}

namespace auth {

class c_client_state {
public:
    explicit c_client_state(const env::c_env* environment) : env_(environment) {}

    // Stores the state; tells the main window only when it changed.
    void set(int state);
    bool is(int state) const { return state_.load() == state; }
    bool is_not(int state) const { return state_.load() != state; }
    int get() const { return state_.load(); }
    void notify_state() const;
    void send_info(const server_info* info) const;

    // The main window handle held by the environment, or 0 once detached.
    HWND main_window() const;

    // The environment is going away while a worker may still run: from now on nothing is sent.
    void detach();

private:
    void send(UINT message, LPARAM lparam) const;

    std::atomic<int> state_{-1};
    // Guards only the pointer, never a send: the worker copies the handle and lets go.
    mutable std::mutex env_guard_;
    const env::c_env* env_;
};

} // namespace auth
