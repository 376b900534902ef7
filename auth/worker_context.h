// What the client and its worker share, and what the worker takes along when it starts.
#pragma once

#include "auth/client_state.h"
#include "auth/packet.h"
#include "env/reg_value.h"
#include "support/logger.h"
#include "support/win_handle.h"

#include <atomic>
#include <memory>
#include <string>

namespace auth {

struct worker_context {
    worker_context(const env::c_env* environment, int log_level)
        : state(environment), logger(log_level, "zerva_client_%d.%m.%Y.log", "CLIENT") {}

    c_client_state state;
    unique_handle stop_event; // manual reset; set by stop, reset by start
    c_logger logger;
    server_random random{}; // the challenge last received; the worker's alone

    // Asks a running worker to renew at once rather than at the end of its pause.
    void wake(unsigned reason) {
        wake_reasons.fetch_or(reason);
        ++wake_count;
        SetEvent(wake_event.get());
    }
    unique_handle wake_event;              // auto reset
    std::atomic<unsigned> wake_reasons{0}; // since the worker last looked
    std::atomic<unsigned> wake_count{0};   // every request ever made
};

enum wake_reason : unsigned {
    woke_from_sleep = 1,
    address_changed = 2,
};

// The worker's own copies, taken at start: settings are still read from the registry at every
// use, but through these copies, which stay valid whatever happens to the environment.
struct worker_input {
    std::shared_ptr<worker_context> context;
    env::c_reg_value server;
    env::c_reg_value port;
    env::c_reg_value protocol;
    env::c_reg_value type;
    env::c_reg_value period;
    std::string login;
    std::string password;
    std::string version; // "WIN-" and the program's version
    // Started with the system: the network may not be up yet, so a first exchange that fails
    // for a network reason is tried again for a while instead of ending the worker.
    bool wait_for_network = false;
};

// The worker's cycle: runs until it is stopped or a fatal error has been shown.
void run_worker(worker_input& input);

} // namespace auth
