#include "env/protector.h"

#include "tests/common/case_name.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using env::c_protector;

c_protector with_key(std::uint32_t key) {
    c_protector p;
    p.key = key;
    return p;
}

std::string encode(const std::string& bytes, unsigned line_length = 0) {
    return c_protector::base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                      bytes.size(), line_length);
}

std::string decode(const std::string& text) {
    return c_protector::base64_decode(text.data(), text.size());
}

// Every byte value from 0 to 255 in order, and its encoding by an independent encoder.
std::string all_bytes() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += static_cast<char>(i);
    return s;
}
const char* const all_bytes_base64 =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERU"
    "ZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouM"
    "jY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0t"
    "PU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";

TEST(Base64, EncodesEveryByteValueAsTheStandardAlphabetDoes) {
    EXPECT_EQ(encode(all_bytes()), all_bytes_base64);
    EXPECT_EQ(decode(all_bytes_base64), all_bytes());
}

struct encode_case {
    const char* bytes;
    unsigned line_length;
    const char* expected;
};

void PrintTo(const encode_case& c, std::ostream* out) {
    *out << '"' << c.bytes << "\" line " << c.line_length;
}

class Base64Encode : public ::testing::TestWithParam<encode_case> {};

TEST_P(Base64Encode, MatchesTheExpectedText) {
    EXPECT_EQ(encode(GetParam().bytes, GetParam().line_length), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64Encode,
    ::testing::Values(encode_case{"", 0, ""}, encode_case{"f", 0, "Zg=="},
                      encode_case{"fo", 0, "Zm8="}, encode_case{"foo", 0, "Zm9v"},
                      encode_case{"foob", 0, "Zm9vYg=="}, encode_case{"foobar", 0, "Zm9vYmFy"},
                      // A break after every L characters, padding counted, also at the very end.
                      encode_case{"foobar", 4, "Zm9v\nYmFy\n"},
                      encode_case{"fooba", 4, "Zm9v\nYmE=\n"},
                      encode_case{"foobar", 3, "Zm9\nvYm\nFy"},
                      encode_case{"foob", 5, "Zm9vY\ng=="}, encode_case{"f", 1, "Z\ng\n=\n=\n"}),
    [](const ::testing::TestParamInfo<encode_case>& info) {
        const std::string bytes = "Bytes" + std::to_string(std::strlen(info.param.bytes));
        return info.param.line_length ? bytes + "Lines" + std::to_string(info.param.line_length)
                                      : bytes;
    });

struct decode_case {
    const char* name;
    std::string text;
    std::string expected;
};

void PrintTo(const decode_case& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.text);
}

class Base64Decode : public ::testing::TestWithParam<decode_case> {};

TEST_P(Base64Decode, MatchesTheExpectedBytes) {
    EXPECT_EQ(decode(GetParam().text), GetParam().expected);
}

std::string zeros(std::size_t n) {
    return std::string(n, '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64Decode,
    ::testing::Values(
        decode_case{"Empty", "", ""}, decode_case{"SixBytes", "Zm9vYmFy", "foobar"},
        decode_case{"TwoPaddingSigns", "Zm9vYg==", "foob"},
        decode_case{"OnePaddingSign", "Zm8=", "fo"},
        // Foreign characters are skipped wherever they stand.
        decode_case{"ForeignCharactersInside", "Z m9\tv\r\nY!m*F-y", "foobar"},
        // A group cut short is completed with "A": stripped padding gives zero bytes.
        decode_case{"TwoPaddingSignsStripped", "Zm9vYg", "foob" + zeros(2)},
        decode_case{"OnePaddingSignStripped", "Zm8", "fo" + zeros(1)},
        // Foreign characters after a complete last group start one more, all-"A" group.
        decode_case{"LineBreakAtTheEnd", "Zm9vYmFy\n", "foobar" + zeros(3)},
        decode_case{"OnlyForeignCharacters", " \n ", zeros(3)},
        // "=" has the value 63 wherever it stands; it only suppresses its own byte.
        decode_case{"PaddingSignInside", "QQ=A", "A\xC0"},
        decode_case{"PaddingSignFirst", "=AAA", "\xFC" + zeros(2)},
        decode_case{"PaddingSignLast", "QUI=", "AB"}),
    test::case_name());

struct protect_case {
    const char* name;
    std::uint32_t key;
    const char* text;
    const char* stored;
};

void PrintTo(const protect_case& c, std::ostream* out) {
    *out << std::hex << c.key << " " << ::testing::PrintToString(std::string(c.text));
}

class ProtectedForm : public ::testing::TestWithParam<protect_case> {};

// The stored forms, computed apart from this code (XOR with the key's bytes, least significant
// first, over the text and its terminating zero; then standard Base64).
TEST_P(ProtectedForm, IsTheStoredFormOfExistingInstallations) {
    const c_protector p = with_key(GetParam().key);
    EXPECT_EQ(p.protect(GetParam().text), GetParam().stored);
    EXPECT_EQ(p.unprotect(GetParam().stored), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtectedForm,
    ::testing::Values(
        protect_case{"DefaultKeyEmpty", 0x004B19E6, "", "5g=="},
        protect_case{"DefaultKeyOneByte", 0x004B19E6, "a", "hxk="},
        protect_case{"DefaultKeyTwoBytes", 0x004B19E6, "ab", "h3tL"},
        protect_case{"DefaultKeyThreeBytes", 0x004B19E6, "abc", "h3soAA=="},
        protect_case{"DefaultKeyPassword", 0x004B19E6, "password", "lng4c5F2OWTm"},
        protect_case{"DefaultKeyCyrillic", 0x004B19E6, "\xCF\xE0\xF0\xEE\xEB\xFC", "Kfm77g3lSw=="},
        protect_case{"OtherKeyLogin", 0x12345678, "user42", "DSVRYExkNA=="},
        protect_case{"OtherKeyPassword", 0x12345678, "password", "CDdHYQ85RnZ4"},
        protect_case{"OtherKeyCyrillic", 0x12345678, "\xCF\xE0\xF0\xEE\xEB\xFC", "t7bE/JOqNA=="},
        protect_case{"ZeroKeyLogin", 0, "user42", "dXNlcjQyAA=="}),
    test::case_name());

TEST(ProtectedForm, DefaultKeyIsTheFallbackOfEveryInstallation) {
    EXPECT_EQ(c_protector().protect("password"), "lng4c5F2OWTm");
}

class ProtectRoundTrip : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ProtectRoundTrip, EveryByteValueComesBack) {
    const c_protector p = with_key(GetParam());
    const std::string text = all_bytes().substr(1); // 1 to 255: a zero would end the text
    EXPECT_EQ(p.unprotect(p.protect(text.c_str()).c_str()), text);
}

TEST_P(ProtectRoundTrip, EveryLengthAndPhaseOfTheKeyComesBack) {
    const c_protector p = with_key(GetParam());
    std::string text;
    for (int n = 0; n <= 13; ++n) {
        const std::string stored = p.protect(text.c_str());
        EXPECT_EQ(stored.size(), 4 * ((text.size() + 1 + 2) / 3)) << "length " << n;
        EXPECT_EQ(p.unprotect(stored.c_str()), text) << "length " << n;
        text += static_cast<char>(0xA0 + n);
    }
}

TEST_P(ProtectRoundTrip, SeparatorsAndStrippedPaddingDoNotMatter) {
    const c_protector p = with_key(GetParam());
    for (const char* text : {"ab", "abc", "login", "\xC8\xE2\xE0\xED\xEE\xE2"}) {
        const std::string stored = p.protect(text);
        std::string stripped = stored;
        while (!stripped.empty() && stripped.back() == '=')
            stripped.pop_back();
        std::string separated;
        for (std::size_t i = 0; i < stored.size(); ++i)
            separated += (i % 3 == 1 ? "\r\n " : "") + std::string(1, stored[i]);
        EXPECT_EQ(p.unprotect(stripped.c_str()), text) << stored;
        EXPECT_EQ(p.unprotect(separated.c_str()), text) << stored;
        EXPECT_EQ(p.unprotect((separated + "\n").c_str()), text) << stored;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ProtectRoundTrip,
                         ::testing::Values(0x004B19E6u, 0u, 0xFFFFFFFFu, 0x12345678u, 0x80FF0001u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Key%08X", info.param);
                             return std::string(name);
                         });

TEST(ProtectedForm, LengthDecidesThePadding) {
    const c_protector p;
    const std::string two = p.protect("ab"), three = p.protect("abc");
    EXPECT_EQ(two.size(), 4u);
    EXPECT_EQ(two.find('='), std::string::npos);
    EXPECT_EQ(three.size(), 8u);
    EXPECT_EQ(three.substr(6), "==");
}

TEST(ProtectedForm, EmptyStoredValueIsAnEmptyText) {
    EXPECT_EQ(c_protector().unprotect(""), "");
    EXPECT_EQ(with_key(0x12345678).unprotect(""), "");
}

TEST(ProtectedForm, AnotherKeyGivesGarbledTextWithoutAnError) {
    const std::string stored = with_key(0x12345678).protect("password");
    EXPECT_NE(with_key(0x12345679).unprotect(stored.c_str()), "password");
    EXPECT_NE(c_protector().unprotect("not a protected form"), "not a protected form");
}

TEST(ProtectedForm, WithLineBreaksEveryFourCharactersStillUnprotects) {
    const c_protector p = with_key(0x80FF0001);
    const std::string text = "\xCF\xE0\xF0\xEE\xEB\xFC 123";
    const std::string plain = p.protect(text.c_str());
    const std::string decoded = decode(plain);
    const std::string lines = encode(decoded, 4);
    EXPECT_EQ(lines.size(), plain.size() + plain.size() / 4);
    EXPECT_EQ(p.unprotect(lines.c_str()), text);
}

} // namespace
