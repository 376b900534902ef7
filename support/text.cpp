#include "support/text.h"

#include <cstdio>
#include <cstring>

namespace {

template <class T> std::string& append_formatted(std::string& s, const char* format, T value) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n < 0)
        return s;
    if (static_cast<std::size_t>(n) < sizeof buffer)
        return s.append(buffer, static_cast<std::size_t>(n));
    // Floating-point numbers can be longer than the buffer; the whole text is appended.
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), format, value);
    big.resize(static_cast<std::size_t>(n));
    return s.append(big);
}

void append_field(std::string& s, const char* format, int value) { append_formatted(s, format, value); }

} // namespace

std::string& operator<<(std::string& s, const char* text) { return s.append(text ? text : ""); }
std::string& operator<<(std::string& s, const std::string& text) { return s.append(text); }
std::string& operator<<(std::string& s, bool value) {
    return append_formatted(s, "%hhd", static_cast<unsigned char>(value));
}
std::string& operator<<(std::string& s, char value) {
    return append_formatted(s, "%hhd", static_cast<signed char>(value));
}
std::string& operator<<(std::string& s, signed char value) { return append_formatted(s, "%hhd", value); }
std::string& operator<<(std::string& s, unsigned char value) { return append_formatted(s, "%hhu", value); }
std::string& operator<<(std::string& s, short value) { return append_formatted(s, "%hd", value); }
std::string& operator<<(std::string& s, unsigned short value) { return append_formatted(s, "%hu", value); }
std::string& operator<<(std::string& s, int value) { return append_formatted(s, "%d", value); }
std::string& operator<<(std::string& s, unsigned int value) { return append_formatted(s, "%u", value); }
std::string& operator<<(std::string& s, long value) { return append_formatted(s, "%ld", value); }
std::string& operator<<(std::string& s, unsigned long value) { return append_formatted(s, "%lu", value); }
std::string& operator<<(std::string& s, long long value) { return append_formatted(s, "%lld", value); }
std::string& operator<<(std::string& s, unsigned long long value) {
    return append_formatted(s, "%llu", value);
}
std::string& operator<<(std::string& s, float value) {
    return append_formatted(s, "%f", static_cast<double>(value));
}
std::string& operator<<(std::string& s, double value) { return append_formatted(s, "%lf", value); }

std::string& operator<<(std::string& s, const std::tm& time) {
    const std::string pattern = s.empty() ? std::string("%Y-%m-%d %H:%i:%s") : s;
    s.clear();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            s += pattern[i]; // a lone "%" at the end is kept as it is
            continue;
        }
        const char directive = pattern[++i];
        switch (directive) {
        case 'Y': append_field(s, "%4.4d", time.tm_year + 1900); break;
        case 'y': append_field(s, "%2.2d", time.tm_year); break;
        case 'm': append_field(s, "%2.2d", time.tm_mon + 1); break;
        case 'd': append_field(s, "%2.2d", time.tm_mday); break;
        case 'H': append_field(s, "%2.2d", time.tm_hour); break;
        case 'i': append_field(s, "%2.2d", time.tm_min); break;
        case 's': append_field(s, "%2.2d", time.tm_sec); break;
        default:
            s += '%';
            s += directive;
        }
    }
    return s;
}

std::tm local_time(std::time_t moment) {
    std::tm result{};
#ifdef _WIN32
    localtime_s(&result, &moment);
#else
    localtime_r(&moment, &result);
#endif
    return result;
}

std::string local_time_text(const std::string& pattern) {
    std::string s = pattern;
    return s << local_time(std::time(nullptr));
}

std::string ip_to_text(std::uint32_t address) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    std::string s;
    for (int i = 0; i < 4; ++i) {
        if (i)
            s << ".";
        s << static_cast<int>(bytes[i]);
    }
    return s;
}

std::vector<std::string> split(const std::string& text, const char* delimiters) {
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == '\0')
            break;
        if (std::strchr(delimiters, c) == nullptr) {
            piece += c;
            continue;
        }
        if (!piece.empty())
            pieces.push_back(piece);
        piece.clear();
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}
