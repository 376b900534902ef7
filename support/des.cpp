// Table-driven DES. The tables are derived at compile time from the standard's permutations and
// S-boxes, so only the standard's own numbers are written down here.
#include "support/des.h"

#include <array>

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

constexpr unsigned char pc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char pc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                   23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                   41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                   44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char p_box[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                     2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr unsigned char s_box[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2, 11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4, 13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7,  2,  12, 1,  10, 14, 9,  10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4,  3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5,  0,  15, 10, 3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12,
     9,  5,  6,  1,  13, 14, 0, 11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10,
     1,  13, 11, 6,  4,  3,  2, 12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

constexpr unsigned char rotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-box output moved through P, indexed by the six input bits as they come from E.
constexpr std::array<std::array<u32, 64>, 8> make_sp() {
    std::array<std::array<u32, 64>, 8> sp{};
    for (int box = 0; box < 8; ++box)
        for (int v = 0; v < 64; ++v) {
            const int row = ((v >> 4) & 2) | (v & 1);
            const int column = (v >> 1) & 15;
            const u32 raw = u32(s_box[box][row * 16 + column]) << (28 - 4 * box);
            u32 permuted = 0;
            for (int bit = 0; bit < 32; ++bit)
                if (raw & (u32(1) << (32 - p_box[bit])))
                    permuted |= u32(1) << (31 - bit);
            sp[box][v] = permuted;
        }
    return sp;
}
constexpr auto sp = make_sp();

// Permuted choice 1 by key nibble: nibble n (0 = high nibble of key byte 0) -> bits of C||D.
constexpr std::array<std::array<u64, 16>, 16> make_pc1() {
    std::array<std::array<u64, 16>, 16> table{};
    for (int nibble = 0; nibble < 16; ++nibble)
        for (int v = 0; v < 16; ++v)
            for (int out = 0; out < 56; ++out) {
                const int in = pc1[out] - 1; // 0 = most significant bit of key byte 0
                if (in / 4 == nibble && (v & (8 >> (in % 4))))
                    table[nibble][v] |= u64(1) << (55 - out);
            }
    return table;
}
constexpr auto pc1_table = make_pc1();

// Where bit b (0 = most significant) of a 48-bit round key lands in the packed pair of words:
// even six-bit groups in the high word, odd ones in the low word, each aligned with the E groups.
constexpr int packed_position(int b) {
    const int group = b / 6;
    const int bit = 5 - b % 6;
    return group % 2 == 0 ? 32 + 26 - 8 * (group / 2) + bit : 26 - 8 * (group / 2) + bit;
}

// Permuted choice 2 by seven-bit chunk of C||D (chunk 0 = the top seven bits), already packed.
constexpr std::array<std::array<u64, 128>, 8> make_pc2() {
    std::array<std::array<u64, 128>, 8> table{};
    for (int chunk = 0; chunk < 8; ++chunk)
        for (int v = 0; v < 128; ++v)
            for (int out = 0; out < 48; ++out) {
                const int in = pc2[out] - 1; // 0 = most significant bit of C||D
                if (in / 7 == chunk && (v & (64 >> (in % 7))))
                    table[chunk][v] |= u64(1) << packed_position(out);
            }
    return table;
}
constexpr auto pc2_table = make_pc2();

constexpr u32 rotl(u32 x, int n) { return (x << n) | (x >> (32 - n)); }
constexpr u32 rotl28(u32 x, int n) { return ((x << n) | (x >> (28 - n))) & 0x0FFFFFFF; }

inline void swap_bits(u32& a, u32& b, int shift, u32 mask) {
    const u32 t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// Initial permutation as five exchanges of bit groups between the halves; the final
// permutation undoes them in reverse order.
inline void initial_permutation(u32& left, u32& right) {
    swap_bits(left, right, 4, 0x0F0F0F0F);
    swap_bits(left, right, 16, 0x0000FFFF);
    swap_bits(right, left, 2, 0x33333333);
    swap_bits(right, left, 8, 0x00FF00FF);
    swap_bits(left, right, 1, 0x55555555);
}

inline void final_permutation(u32& left, u32& right) {
    swap_bits(left, right, 1, 0x55555555);
    swap_bits(right, left, 8, 0x00FF00FF);
    swap_bits(right, left, 2, 0x33333333);
    swap_bits(left, right, 16, 0x0000FFFF);
    swap_bits(left, right, 4, 0x0F0F0F0F);
}

inline u32 feistel(u32 r, u32 key_even, u32 key_odd) {
    const u32 even = rotl(r, 31) ^ key_even; // E groups 0, 2, 4, 6 at shifts 26, 18, 10, 2
    const u32 odd = rotl(r, 3) ^ key_odd;    // E groups 1, 3, 5, 7
    return sp[0][(even >> 26) & 63] ^ sp[2][(even >> 18) & 63] ^ sp[4][(even >> 10) & 63] ^
           sp[6][(even >> 2) & 63] ^ sp[1][(odd >> 26) & 63] ^ sp[3][(odd >> 18) & 63] ^
           sp[5][(odd >> 10) & 63] ^ sp[7][(odd >> 2) & 63];
}

u32 load_be(const unsigned char* p) {
    return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | u32(p[3]);
}

void store_be(u32 v, unsigned char* p) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

} // namespace

int des_set_key(des_context& context, const unsigned char key[8]) {
    u64 cd = 0;
    for (int i = 0; i < 8; ++i)
        cd |= pc1_table[2 * i][key[i] >> 4] | pc1_table[2 * i + 1][key[i] & 15];
    u32 c = static_cast<u32>(cd >> 28) & 0x0FFFFFFF;
    u32 d = static_cast<u32>(cd) & 0x0FFFFFFF;
    for (int round = 0; round < 16; ++round) {
        c = rotl28(c, rotations[round]);
        d = rotl28(d, rotations[round]);
        const u64 both = u64(c) << 28 | d;
        u64 packed = 0;
        for (int chunk = 0; chunk < 8; ++chunk)
            packed |= pc2_table[chunk][(both >> (49 - 7 * chunk)) & 127];
        context.encrypt_keys[2 * round] = static_cast<u32>(packed >> 32);
        context.encrypt_keys[2 * round + 1] = static_cast<u32>(packed);
    }
    for (int round = 0; round < 16; ++round) {
        context.decrypt_keys[2 * round] = context.encrypt_keys[2 * (15 - round)];
        context.decrypt_keys[2 * round + 1] = context.encrypt_keys[2 * (15 - round) + 1];
    }
    return 0;
}

int des_crypt_block(const des_context& context, const unsigned char input[8],
                    unsigned char output[8], int decrypt) {
    const u32* keys = decrypt ? context.decrypt_keys : context.encrypt_keys;
    u32 left = load_be(input);
    u32 right = load_be(input + 4);
    initial_permutation(left, right);
    for (int round = 0; round < 16; ++round) {
        const u32 next = left ^ feistel(right, keys[2 * round], keys[2 * round + 1]);
        left = right;
        right = next;
    }
    // The halves are exchanged after the last round.
    final_permutation(right, left);
    store_be(right, output);
    store_be(left, output + 4);
    return 0;
}
