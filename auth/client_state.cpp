#include "auth/client_state.h"

#include "env/env.h"

namespace auth {

void c_client_state::set(int state) {
    std::lock_guard<std::mutex> report(report_);
    if (state_.exchange(state) != state)
        send(WM_CLIENT_STATE, state);
}

void c_client_state::set_error(const std::string& text) {
    std::lock_guard<std::mutex> report(report_);
    bool new_text;
    {
        std::lock_guard<std::mutex> guard(text_guard_);
        new_text = failure_text_ != text;
        failure_text_ = text;
    }
    if (state_.exchange(error) != error || new_text)
        send(WM_CLIENT_STATE, error);
}

std::string c_client_state::failure_text() const {
    std::lock_guard<std::mutex> guard(text_guard_);
    return failure_text_;
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

bool c_client_state::detached() const {
    std::lock_guard<std::mutex> lock(env_guard_);
    return env_ == nullptr;
}

bool c_client_state::claim_worker() {
    std::lock_guard<std::mutex> claim(claim_guard_);
    if (state_.load() != idle || worker_claimed_)
        return false;
    worker_claimed_ = true;
    return true;
}

void c_client_state::cancel_claim() {
    std::lock_guard<std::mutex> claim(claim_guard_);
    worker_claimed_ = false;
}

bool c_client_state::worker_claimed() const {
    std::lock_guard<std::mutex> claim(claim_guard_);
    return worker_claimed_;
}

void c_client_state::end_worker() {
    std::lock_guard<std::mutex> report(report_);
    int previous;
    {
        std::lock_guard<std::mutex> claim(claim_guard_);
        worker_claimed_ = false;
        previous = state_.exchange(idle);
    }
    // Reported after the claim is given back: a connect made in answer finds the way free.
    if (previous != idle)
        send(WM_CLIENT_STATE, idle);
}

void c_client_state::send(UINT message, LPARAM lparam) const {
    if (const HWND window = main_window())
        SendMessageA(window, message, 0, lparam);
}

} // namespace auth
