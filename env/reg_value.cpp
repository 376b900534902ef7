#include "env/reg_value.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace env {

namespace {

// A key handle opened (or created) for one operation and closed with it.
class c_reg_key {
public:
    c_reg_key(HKEY root, const std::string& path) {
        if (RegCreateKeyA(root, path.c_str(), &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~c_reg_key() {
        if (key_)
            RegCloseKey(key_);
    }
    c_reg_key(const c_reg_key&) = delete;
    c_reg_key& operator=(const c_reg_key&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

constexpr DWORD query_buffer_size = 4096;

// A text value up to its first zero byte, never beyond the bytes the query returned.
std::string text_up_to_zero(const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    return std::string(data, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data)
                                  : size);
}

// A number as administrators' tools write it (REG_DWORD): its decimal text, as if typed.
std::string dword_text(const char* data) {
    DWORD number = 0;
    std::memcpy(&number, data, sizeof number);
    return std::to_string(number);
}

} // namespace

c_reg_value::c_reg_value(HKEY root, const std::string& path, const std::string& name,
                         const std::string& default_text)
    : root_(root), path_(path), name_(name), default_(default_text) {}

std::string c_reg_value::get_str() const {
    try {
        c_reg_key key(root_, path_);
        if (!key)
            return default_;
        char buffer[query_buffer_size];
        DWORD size = sizeof buffer;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key.get(), name_.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
            return default_;
        if (type == REG_SZ)
            return text_up_to_zero(buffer, size < sizeof buffer ? size : sizeof buffer);
        if (type == REG_DWORD && size == sizeof(DWORD))
            return dword_text(buffer);
        // Any other kind of data is no setting the program could have written or read.
        return default_;
    } catch (...) {
        return default_;
    }
}

int c_reg_value::get_int() const {
    const std::string text = get_str();
    // long long holds every value that matters here on every target; the result is then
    // clamped to 32 bits as a 32-bit strtol would.
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void c_reg_value::set(const char* text) const {
    if (!text)
        text = "";
    const std::size_t length = std::strlen(text);
    if (length >= MAXDWORD)
        return;
    c_reg_key key(root_, path_);
    if (!key)
        return;
    RegSetValueExA(key.get(), name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(length + 1));
}

void c_reg_value::set(const std::string& text) const {
    set(text.c_str());
}

void c_reg_value::set(int value) const {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    set(text);
}

void c_reg_value::remove() const {
    c_reg_key key(root_, path_);
    if (key)
        RegDeleteValueA(key.get(), name_.c_str());
}

} // namespace env
