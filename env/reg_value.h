// One registry-backed setting: read at every use with a fresh key handle, written at once.
// Nothing here reports an error or throws.
#pragma once

#include <windows.h>

#include <string>

namespace env {

class c_reg_value {
public:
    c_reg_value(HKEY root, const std::string& path, const std::string& name,
                const std::string& default_text);

    // A REG_SZ value's text up to its first zero byte, a REG_DWORD value's decimal digits; the
    // default when the key or value cannot be read or holds any other kind of data.
    std::string get_str() const;
    int get_int() const; // get_str as strtol base 10, clamped to 32 bits; no digits gives 0
    void set(const char* text) const;
    void set(const std::string& text) const;
    void set(int value) const; // "%d"
    void remove() const;

private:
    HKEY root_;
    std::string path_;
    std::string name_;
    std::string default_;
};

} // namespace env
