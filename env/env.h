// The environment shared by the user interface and the client: handles, the current
// credentials and the registry-backed settings table.
#pragma once

#include "env/reg_value.h"
#include "env/settings.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

namespace env {

static_assert(std::atomic<HWND>::is_always_lock_free,
              "the worker reads the main window's handle without a lock");

class c_env {
public:
    explicit c_env(HWND main_window);
    c_env(const c_env&) = delete;
    c_env& operator=(const c_env&) = delete;

    HINSTANCE instance;
    std::atomic<HWND> main_window; // read by the worker; cleared by the main window at close
    HMENU tray_menu = nullptr;
    std::string login;    // as typed at the last connect (ANSI code page)
    std::string password; // plain, as typed at the last connect

    // The setting under `key` (0 to 12, see settings.h).
    const c_reg_value& value(int key) const;

    // AUTH_SAVE, and the protected login and password, or empty texts when `save` is false.
    void save_credentials(bool save);

private:
    std::map<int, c_reg_value> settings_;
};

} // namespace env
