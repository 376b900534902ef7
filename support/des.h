// Single DES (one 64-bit block, 56 effective key bits); no mode of operation.
#pragma once

#include <cstdint>

struct des_context {
    std::uint32_t encrypt_keys[32]; // two words per round, in round order
    std::uint32_t decrypt_keys[32]; // the same pairs in reverse round order
};

// Expands an 8-byte key; parity bits are ignored. Always returns 0.
int des_set_key(des_context& context, const unsigned char key[8]);

// Transforms one block: encrypts when `decrypt` is 0, decrypts otherwise. The whole input is
// read before any output byte is written, so input and output may share a buffer. Returns 0.
int des_crypt_block(const des_context& context, const unsigned char input[8],
                    unsigned char output[8], int decrypt);
