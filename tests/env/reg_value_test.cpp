#include "env/reg_value.h"
#include "tests/common/case_name.h"
#include "tests/common/registry_sandbox.h"
#include "tests/env/raw_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

namespace {

using env::c_reg_value;

const char* const path = "Software\\Auth Client Test";

class RegValue : public ::testing::Test {
protected:
    c_registry_sandbox sandbox_;
    const c_reg_value value_{HKEY_CURRENT_USER, path, "VALUE", "fallback 12"};
};

TEST_F(RegValue, MissingValueGivesTheDefault) {
    EXPECT_EQ(value_.get_str(), "fallback 12");
    EXPECT_EQ(value_.get_int(), 0);
    const c_reg_value number(HKEY_CURRENT_USER, path, "NUMBER", " 12");
    EXPECT_EQ(number.get_int(), 12);
}

TEST_F(RegValue, TextIsStoredAsStringWithOneTerminatingZero) {
    value_.set("Клиент 1");
    raw::value v = raw::read(path, "VALUE");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, std::string("Клиент 1") + '\0');
    EXPECT_EQ(value_.get_str(), "Клиент 1");

    value_.set(std::string("text"));
    EXPECT_EQ(raw::read(path, "VALUE").data, std::string("text\0", 5));
    value_.set("");
    EXPECT_EQ(raw::read(path, "VALUE").data, std::string(1, '\0'));
    EXPECT_EQ(value_.get_str(), "") << "an empty value is a value, not the default";
}

TEST_F(RegValue, IntegersAreWrittenInDecimal) {
    const std::pair<int, const char*> cases[] = {
        {0, "0"}, {777, "777"}, {-5, "-5"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const auto& c : cases) {
        value_.set(c.first);
        EXPECT_EQ(raw::read(path, "VALUE").data, std::string(c.second) + '\0');
        EXPECT_EQ(value_.get_int(), c.first);
    }
}

TEST_F(RegValue, RemoveDeletesOnlyItsValueAndMayRepeat) {
    const c_reg_value other(HKEY_CURRENT_USER, path, "OTHER", "");
    value_.set("x");
    other.set("y");
    value_.remove();
    EXPECT_FALSE(raw::read(path, "VALUE").exists);
    EXPECT_EQ(value_.get_str(), "fallback 12");
    value_.remove();
    EXPECT_EQ(other.get_str(), "y");
}

struct int_case {
    const char* name;
    const char* text;
    int expected;
};

void PrintTo(const int_case& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class RegValueInt : public RegValue, public ::testing::WithParamInterface<int_case> {};

TEST_P(RegValueInt, ConvertsLikeStrtolClampedTo32Bits) {
    value_.set(GetParam().text);
    EXPECT_EQ(value_.get_int(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegValueInt,
    ::testing::Values(int_case{"empty", "", 0}, int_case{"letters", "abc", 0},
                      int_case{"blanks", "   ", 0}, int_case{"letters_after", "  42abc", 42},
                      int_case{"second_number_after_a_blank", "\t\n 7 8", 7},
                      int_case{"plus_sign", "+15", 15}, int_case{"minus_sign", "-15", -15},
                      int_case{"blank_after_the_sign", "- 5", 0}, int_case{"two_signs", "+-5", 0},
                      int_case{"leading_zeros", "007", 7}, int_case{"hexadecimal", "0x1F", 0},
                      int_case{"fraction", "12.9", 12}, int_case{"largest", "2147483647", INT_MAX},
                      int_case{"one_above_the_largest", "2147483648", INT_MAX},
                      int_case{"far_above", "99999999999999999999999", INT_MAX},
                      int_case{"smallest", "-2147483648", INT_MIN},
                      int_case{"one_below_the_smallest", "-2147483649", INT_MIN},
                      int_case{"far_below", "-99999999999999999999999", INT_MIN}),
    test::case_name());

struct length_case {
    std::size_t length;
    const char* fill; // one character of the ANSI code page
    bool whole;
};

void PrintTo(const length_case& c, std::ostream* out) {
    *out << c.length << " x " << c.fill;
}

class RegValueLength : public RegValue, public ::testing::WithParamInterface<length_case> {};

// The query buffer holds 4096 bytes: a text of 4095 characters and its zero fit, a longer one
// gives the default.
TEST_P(RegValueLength, TextUpTo4095CharactersIsReadWhole) {
    std::string text;
    for (std::size_t i = 0; i < GetParam().length; ++i)
        text += GetParam().fill;
    value_.set(text);
    ASSERT_EQ(raw::read(path, "VALUE").data.size(), text.size() + 1);
    if (GetParam().whole) {
        EXPECT_EQ(value_.get_str(), text);
    } else {
        EXPECT_EQ(value_.get_str(), "fallback 12");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, RegValueLength,
    ::testing::Values(length_case{4094, "x", true}, length_case{4095, "x", true},
                      length_case{4096, "x", false}, length_case{5000, "x", false},
                      length_case{4095, "я", true}, length_case{4096, "я", false}),
    [](const ::testing::TestParamInfo<length_case>& info) {
        return "chars_" + std::to_string(info.param.length) +
               (std::string(info.param.fill) == "x" ? "_latin" : "_cyrillic");
    });

std::string dword(DWORD number) {
    return std::string(reinterpret_cast<const char*>(&number), sizeof number);
}

struct type_case {
    const char* name;
    DWORD type; // REG_NONE: no value at all
    std::string data;
    std::string text;
    int number;
};

void PrintTo(const type_case& c, std::ostream* out) {
    *out << c.name;
}

class RegValueType : public RegValue, public ::testing::WithParamInterface<type_case> {};

// Text is read as text and a number written by an administrator's tool as its digits; any
// other kind of data gives the default ("21").
TEST_P(RegValueType, TextAndNumbersAreReadOtherDataGivesTheDefault) {
    const type_case& c = GetParam();
    if (c.type != REG_NONE) {
        ASSERT_TRUE(raw::write(path, "TYPED", c.type, c.data));
    }
    const c_reg_value typed(HKEY_CURRENT_USER, path, "TYPED", "21");
    EXPECT_EQ(typed.get_str(), c.text);
    EXPECT_EQ(typed.get_int(), c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RegValueType,
    ::testing::Values(
        type_case{"missing", REG_NONE, "", "21", 21},
        type_case{"string", REG_SZ, std::string("777\0", 4), "777", 777},
        type_case{"string_without_zero", REG_SZ, "17", "17", 17},
        type_case{"string_zero_inside", REG_SZ, std::string("6\0 9", 4), "6", 6},
        type_case{"dword", REG_DWORD, dword(777), "777", 777},
        type_case{"dword_zero", REG_DWORD, dword(0), "0", 0},
        type_case{"dword_above_int", REG_DWORD, dword(0xFFFFFFFF), "4294967295", INT_MAX},
        type_case{"dword_short", REG_DWORD, std::string("\x09\x03", 2), "21", 21},
        type_case{"expand_string", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), "21", 21},
        type_case{"binary", REG_BINARY, "777", "21", 21},
        type_case{"multi_string", REG_MULTI_SZ, std::string("6\0\0", 3), "21", 21},
        type_case{"qword", REG_QWORD, std::string("\x09\x03\0\0\0\0\0\0", 8), "21", 21}),
    test::case_name());

TEST_F(RegValue, KeyThatCannotBeOpenedGivesTheDefaultAndSkipsWrites) {
    const std::string bad_path = std::string(path) + "\\" + std::string(300, 'k');
    const c_reg_value unreachable(HKEY_CURRENT_USER, bad_path, "VALUE", "default");
    EXPECT_EQ(unreachable.get_str(), "default");
    unreachable.set("x");
    unreachable.set(5);
    unreachable.remove();
    EXPECT_EQ(unreachable.get_str(), "default");

    const c_reg_value no_root(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234)), path, "VALUE",
                              "default");
    EXPECT_EQ(no_root.get_str(), "default");
    EXPECT_EQ(no_root.get_int(), 0);
    no_root.set("x");
    no_root.remove();
}

// A reader on another thread sees either the old or the new text, never a missing value.
TEST_F(RegValue, ConcurrentReaderSeesOldOrNewText) {
    const std::string first = "first", second(3000, 's');
    value_.set(first);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 300; ++i)
            value_.set(i % 2 ? first : second);
        done = true;
    });
    int reads = 0;
    while (!done || reads < 300) {
        const std::string seen = value_.get_str();
        ++reads;
        if (seen != first && seen != second) {
            ADD_FAILURE() << "read " << seen.substr(0, 40);
            break;
        }
    }
    writer.join();
}

} // namespace
