#include "tests/common/settings_registry.h"

#include "env/protector.h"

#include <stdexcept>

namespace test {

namespace {

const char* const settings_path = "Software\\Auth Client";
const char* const run_path = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const run_value = "AuthClient";

// A key of the current user's registry, opened (and created) for writing.
class writable_key {
public:
    explicit writable_key(const char* path) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            throw std::runtime_error(std::string("cannot open HKCU\\") + path);
    }
    ~writable_key() { RegCloseKey(key_); }
    writable_key(const writable_key&) = delete;
    writable_key& operator=(const writable_key&) = delete;

    void set(const char* name, DWORD type, const void* data, DWORD size) const {
        if (RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size) !=
            ERROR_SUCCESS)
            throw std::runtime_error(std::string("cannot write ") + name);
    }
    void set(const char* name, const std::string& value) const {
        set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    void remove(const char* name) const { RegDeleteValueA(key_, name); }

private:
    HKEY key_ = nullptr;
};

std::optional<std::string> text_value(const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char data[4096] = {};
    DWORD size = sizeof data - 1;
    DWORD type = REG_NONE;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::string(data);
}

} // namespace

namespace settings {

void set(const char* name, const std::string& value) {
    writable_key(settings_path).set(name, value);
}

void set_number(const char* name, DWORD value) {
    writable_key(settings_path).set(name, REG_DWORD, &value, sizeof value);
}

std::optional<std::string> get(const char* name) {
    return text_value(settings_path, name);
}

void remove(const char* name) {
    writable_key(settings_path).remove(name);
}

void point_at(unsigned short port) {
    set("AUTH_SERVER", "127.0.0.1");
    set("AUTH_PORT", std::to_string(port));
    set("AUTH_TYPE", "2");
}

void save_credentials(const std::string& login, const std::string& password) {
    set("AUTH_LOGIN", protect(login));
    set("AUTH_PASSWD", protect(password));
    set("AUTH_SAVE", "1");
}

void clear() {
    RegDeleteTreeA(HKEY_CURRENT_USER, settings_path);
    RegDeleteKeyA(HKEY_CURRENT_USER, settings_path);
    writable_key(run_path).remove(run_value);
}

} // namespace settings

std::optional<std::string> autostart() {
    return text_value(run_path, run_value);
}

void set_autostart(const std::string& command) {
    writable_key(run_path).set(run_value, command);
}

std::string protect(const std::string& text) {
    env::c_protector protector;
    protector.read_volume_key();
    return protector.protect(text.c_str());
}

std::string unprotect(const std::string& stored) {
    env::c_protector protector;
    protector.read_volume_key();
    return protector.unprotect(stored.c_str());
}

} // namespace test
