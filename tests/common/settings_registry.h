// The program's settings and its autostart value as they stand in HKEY_CURRENT_USER (the
// scratch key's, while a registry override is active), read and written as an installer, an
// administrator or an earlier run would have left them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace test {

namespace settings {
void set(const char* name, const std::string& value);
// As `reg add /t REG_DWORD` writes a number.
void set_number(const char* name, DWORD value);
// A text value; nothing when it, or the key, is missing or of another type.
std::optional<std::string> get(const char* name);
void remove(const char* name);
// The server at 127.0.0.1:port, with login and password (AUTH_TYPE 2).
void point_at(unsigned short port);
// The login and password in this prefix's protected form, and AUTH_SAVE 1.
void save_credentials(const std::string& login, const std::string& password);
// Removes "Software\Auth Client" and the autostart value.
void clear();
} // namespace settings

std::optional<std::string> autostart();
void set_autostart(const std::string& command);

std::string protect(const std::string& text);
std::string unprotect(const std::string& stored);

} // namespace test
