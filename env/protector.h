// Protection of the saved login and password: XOR with the C: volume serial number, then Base64.
// The stored form must not change: existing installations hold values in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace env {

class c_protector {
public:
    static constexpr std::uint32_t default_key = 0x004B19E6;

    std::uint32_t key = default_key; // byte 0 is the least significant

    // The serial number of "C:\", or the default when the system cannot tell (Windows only).
    void read_volume_key();

    std::string protect(const char* text) const;
    std::string unprotect(const char* stored) const;

    // RFC 4648 alphabet and padding; a "\n" after every `line_length` characters (0: none).
    static std::string base64_encode(const unsigned char* data, std::size_t length,
                                     unsigned line_length);
    // Skips foreign characters, completes a short last group with "A", maps "=" to 63.
    static std::string base64_decode(const char* text, std::size_t length);
};

} // namespace env
