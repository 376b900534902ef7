#include "env/protector.h"

#include <cstring>

namespace env {

namespace {

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool in_alphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

// "=" counts as 63 like "/": the stored forms were always decoded that way.
unsigned value_of(char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned>(c - 'a') + 26;
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0') + 52;
    if (c == '+')
        return 62;
    return 63;
}

void apply_key(std::string& data, std::uint32_t key) {
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^
                                    ((key >> (8 * (i % 4))) & 0xFF));
}

} // namespace

std::string c_protector::protect(const char* text) const {
    std::string data = text ? text : "";
    data.push_back('\0'); // the terminator is part of the protected data
    apply_key(data, key);
    return base64_encode(reinterpret_cast<const unsigned char*>(data.data()), data.size(), 0);
}

std::string c_protector::unprotect(const char* stored) const {
    if (!stored)
        return std::string();
    std::string data = base64_decode(stored, std::strlen(stored));
    apply_key(data, key);
    const std::size_t end = data.find('\0');
    if (end != std::string::npos)
        data.resize(end);
    return data;
}

std::string c_protector::base64_encode(const unsigned char* data, std::size_t length,
                                       unsigned line_length) {
    std::string out;
    out.reserve((length + 2) / 3 * 4 + (line_length ? (length + 2) / 3 * 4 / line_length : 0));
    std::size_t emitted = 0;
    auto emit = [&](char c) {
        out += c;
        ++emitted;
        if (line_length != 0 && emitted % line_length == 0)
            out += '\n';
    };
    for (std::size_t i = 0; i < length; i += 3) {
        const std::size_t count = length - i < 3 ? length - i : 3;
        const unsigned b0 = data[i];
        const unsigned b1 = count > 1 ? data[i + 1] : 0;
        const unsigned b2 = count > 2 ? data[i + 2] : 0;
        emit(alphabet[b0 >> 2]);
        emit(alphabet[((b0 & 0x03) << 4) | (b1 >> 4)]);
        emit(count > 1 ? alphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=');
        emit(count > 2 ? alphabet[b2 & 0x3F] : '=');
    }
    return out;
}

std::string c_protector::base64_decode(const char* text, std::size_t length) {
    std::string out;
    if (!text)
        return out;
    std::size_t pos = 0;
    while (pos < length) {
        char group[4];
        for (char& c : group) {
            c = 'A'; // a group cut short by the end of the input is completed with "A"
            while (pos < length && !in_alphabet(text[pos]))
                ++pos;
            if (pos < length)
                c = text[pos++];
        }
        const unsigned v0 = value_of(group[0]), v1 = value_of(group[1]);
        const unsigned v2 = value_of(group[2]), v3 = value_of(group[3]);
        out += static_cast<char>(((v0 << 2) | (v1 >> 4)) & 0xFF);
        if (group[2] != '=')
            out += static_cast<char>(((v1 << 4) | (v2 >> 2)) & 0xFF);
        if (group[3] != '=')
            out += static_cast<char>(((v2 << 6) | v3) & 0xFF);
    }
    return out;
}

} // namespace env
