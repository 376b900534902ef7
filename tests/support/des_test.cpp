#include "support/des.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using block = std::array<unsigned char, 8>;

block from_hex(const char* hex) {
    block b{};
    for (int i = 0; i < 8; ++i) {
        unsigned v = 0;
        std::sscanf(hex + 2 * i, "%2x", &v);
        b[i] = static_cast<unsigned char>(v);
    }
    return b;
}

block crypt(const block& key, const block& input, int decrypt) {
    des_context context;
    EXPECT_EQ(des_set_key(context, key.data()), 0);
    block output{};
    EXPECT_EQ(des_crypt_block(context, input.data(), output.data(), decrypt), 0);
    return output;
}

struct vector_case {
    const char* key;
    const char* plain;
    const char* cipher;
};

void PrintTo(const vector_case& v, std::ostream* out) {
    *out << "key " << v.key << ", plain " << v.plain;
}

class DesVector : public ::testing::TestWithParam<vector_case> {};

TEST_P(DesVector, EncryptsToTheKnownAnswer) {
    const auto& v = GetParam();
    EXPECT_EQ(crypt(from_hex(v.key), from_hex(v.plain), 0), from_hex(v.cipher));
}

TEST_P(DesVector, DecryptsBack) {
    const auto& v = GetParam();
    EXPECT_EQ(crypt(from_hex(v.key), from_hex(v.cipher), 1), from_hex(v.plain));
}

TEST_P(DesVector, WorksInPlace) {
    const auto& v = GetParam();
    const block key = from_hex(v.key);
    des_context context;
    des_set_key(context, key.data());
    block buffer = from_hex(v.plain);
    des_crypt_block(context, buffer.data(), buffer.data(), 0);
    EXPECT_EQ(buffer, from_hex(v.cipher));
    des_crypt_block(context, buffer.data(), buffer.data(), 1);
    EXPECT_EQ(buffer, from_hex(v.plain));
}

TEST_P(DesVector, IgnoresParityBits) {
    const auto& v = GetParam();
    block key = from_hex(v.key);
    for (auto& b : key)
        b ^= 1;
    EXPECT_EQ(crypt(key, from_hex(v.plain), 0), from_hex(v.cipher));
}

// FIPS 81 (ECB example), the textbook worked example, and the NIST known-answer tests
// (variable plaintext, variable key, permutation and substitution tables).
INSTANTIATE_TEST_SUITE_P(
    Published, DesVector,
    ::testing::Values(vector_case{"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
                      vector_case{"0123456789ABCDEF", "68652074696D6520", "6A271787AB8883F9"},
                      vector_case{"0123456789ABCDEF", "666F7220616C6C20", "893D51EC4B563B53"},
                      vector_case{"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
                      vector_case{"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
                      vector_case{"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
                      vector_case{"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
                      vector_case{"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
                      vector_case{"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
                      vector_case{"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
                      vector_case{"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
                      vector_case{"0101010101010180", "0000000000000000", "9CC62DF43B6EED74"},
                      vector_case{"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
                      vector_case{"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
                      vector_case{"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"}),
    [](const ::testing::TestParamInfo<vector_case>& info) {
        return std::string("Key") + info.param.key + "Plain" + info.param.plain;
    });

TEST(Des, KeysDifferingOnlyInParityGiveTheSameSchedule) {
    const block a = from_hex("0123456789ABCDEF");
    const block b = from_hex("0022446688AACCEE");
    des_context ca, cb;
    des_set_key(ca, a.data());
    des_set_key(cb, b.data());
    EXPECT_EQ(std::memcmp(&ca, &cb, sizeof ca), 0);
}

} // namespace
