#include "env/env.h"

#include "env/protector.h"
#include "res/resource.h"
#include "support/string_table.h"

namespace env {

namespace {

const char* const settings_path = "Software\\Auth Client";
const char* const run_path = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace

c_env::c_env(HWND main_window) : instance(GetModuleHandleA(nullptr)), main_window(main_window) {
    auto add = [this](int key, const char* path, const char* name,
                      const std::string& default_text) {
        settings_.emplace(key, c_reg_value(HKEY_CURRENT_USER, path, name, default_text));
    };
    add(AUTH_SERVER, settings_path, "AUTH_SERVER", load_text(instance, IDS_DEFAULT_SERVER));
    add(AUTH_PORT, settings_path, "AUTH_PORT", load_text(instance, IDS_DEFAULT_PORT));
    add(AUTH_PROTOCOL, settings_path, "AUTH_PROTOCOL", load_text(instance, IDS_DEFAULT_PROTOCOL));
    add(AUTH_TYPE, settings_path, "AUTH_TYPE", load_text(instance, IDS_DEFAULT_TYPE));
    add(AUTH_PASSWD, settings_path, "AUTH_PASSWD", "");
    add(AUTH_LOGIN, settings_path, "AUTH_LOGIN", "");
    add(AUTH_SAVE, settings_path, "AUTH_SAVE", "0");
    add(RECONNECT_PERIOD, settings_path, "RECONNECT_PERIOD",
        load_text(instance, IDS_DEFAULT_PERIOD));
    add(APP_CAPTION, settings_path, "APP_CAPTION",
        load_text(instance, IDS_APP_NAME) + " " + load_text(instance, IDS_VERSION));
    add(AuthClient, run_path, "AuthClient", "");
    add(LINK_PERSONAL, settings_path, "LINK_PERSONAL", load_text(instance, IDS_DEFAULT_LINK));
    add(PROTECT_SETTINGS, settings_path, "PROTECT_SETTINGS", "0");
    add(LOG_LEVEL, settings_path, "LOG_LEVEL", "0");
}

const c_reg_value& c_env::value(int key) const {
    return settings_.at(key);
}

void c_env::save_credentials(bool save) {
    value(AUTH_SAVE).set(save ? 1 : 0);
    if (!save) {
        // Written empty rather than deleted.
        value(AUTH_LOGIN).set("");
        value(AUTH_PASSWD).set("");
        return;
    }
    c_protector protector;
    protector.read_volume_key();
    // An empty current login or password keeps what was stored before.
    if (!login.empty())
        value(AUTH_LOGIN).set(protector.protect(login.c_str()));
    if (!password.empty())
        value(AUTH_PASSWD).set(protector.protect(password.c_str()));
}

} // namespace env
