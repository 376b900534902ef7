#include "auth/client_state.h"

#include "env/env.h"

namespace auth {

void c_client_state::set(int state) {
    if (state_.exchange(state) != state)
        send(WM_CLIENT_STATE, state);
}

void c_client_state::notify_state() const {
    send(WM_CLIENT_STATE, state_.load());
}

void c_client_state::send_info(const server_info* info) const {
    send(WM_SERVER_INFO, reinterpret_cast<LPARAM>(info));
}

HWND c_client_state::main_window() const {
    std::lock_guard<std::mutex> lock(env_guard_);
    return env_ ? env_->main_window.load() : nullptr;
}

void c_client_state::detach() {
    std::lock_guard<std::mutex> lock(env_guard_);
    env_ = nullptr;
}

void c_client_state::send(UINT message, LPARAM lparam) const {
    if (const HWND window = main_window())
        SendMessageA(window, message, 0, lparam);
}

} // namespace auth
