#include "support/text.h"

#include "tests/common/case_name.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

std::tm moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

struct pattern_case {
    const char* name;
    const char* pattern;
    const char* expected;
};

void PrintTo(const pattern_case& c, std::ostream* out) {
    *out << '"' << c.pattern << '"';
}

class TimePattern : public ::testing::TestWithParam<pattern_case> {};

TEST_P(TimePattern, ExpandsAgainstFifthOfJanuary) {
    std::string s = GetParam().pattern;
    s << moment(2026, 1, 5, 9, 7, 3);
    EXPECT_EQ(s, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, TimePattern,
    ::testing::Values(pattern_case{"EmptyGivesTheDefault", "", "2026-01-05 09:07:03"},
                      pattern_case{"ExceptionTime", "%d.%m.%Y %H:%i:%s", "05.01.2026 09:07:03"},
                      pattern_case{"LogStamp", "[%d.%m.%Y %H:%i:%s]", "[05.01.2026 09:07:03]"},
                      pattern_case{"LogFileName", "zerva_client_%d.%m.%Y.log",
                                   "zerva_client_05.01.2026.log"},
                      pattern_case{"YearsSince1900", "%y", "126"},
                      pattern_case{"UnknownPlaceholdersStay", "100%% %x %M", "100%% %x %M"},
                      pattern_case{"PercentAtTheEnd", "end%", "end%"}),
    test::case_name());

TEST(TimePattern, YearBelowOneThousandKeepsFourDigits) {
    std::string s = "%Y";
    s << moment(987, 1, 1, 0, 0, 0);
    EXPECT_EQ(s, "0987");
}

TEST(Append, ChainsIntoTheSameString) {
    std::string s;
    std::string& r = s << "port " << static_cast<unsigned short>(777) << ", count " << 12;
    EXPECT_EQ(&r, &s);
    EXPECT_EQ(s, "port 777, count 12");
}

TEST(Append, NumbersInTheirPrintfForms) {
    std::string s;
    s << true << "|" << static_cast<char>(-5) << "|" << static_cast<unsigned char>(200) << "|"
      << static_cast<short>(SHRT_MIN) << "|" << static_cast<unsigned short>(USHRT_MAX) << "|"
      << INT_MIN << "|" << UINT_MAX << "|" << LLONG_MIN << "|" << ULLONG_MAX << "|" << 1.5f << "|"
      << -0.25;
    EXPECT_EQ(s, "1|-5|200|-32768|65535|-2147483648|4294967295|-9223372036854775808|"
                 "18446744073709551615|1.500000|-0.250000");
}

TEST(Append, HugeFloatingPointNumberIsAppendedWhole) {
    std::string s;
    s << 1e300;
    EXPECT_EQ(s.size(), 301u + 7u); // 301 digits, the point and six decimals
    EXPECT_EQ(s.substr(0, 2), "10");
}

TEST(Append, NullTextAppendsNothing) {
    std::string s = "x";
    s << static_cast<const char*>(nullptr);
    EXPECT_EQ(s, "x");
}

TEST(IpToText, BytesInMemoryOrder) {
    const unsigned char loopback[4] = {127, 0, 0, 1};
    const unsigned char high[4] = {255, 254, 10, 0};
    std::uint32_t a = 0;
    std::memcpy(&a, loopback, 4);
    EXPECT_EQ(ip_to_text(a), "127.0.0.1");
    std::memcpy(&a, high, 4);
    EXPECT_EQ(ip_to_text(a), "255.254.10.0");
}

struct split_case {
    const char* name;
    std::string text;
    const char* delimiters;
    std::vector<std::string> pieces;
};

void PrintTo(const split_case& c, std::ostream* out) {
    *out << '"' << c.text << "\" at \"" << c.delimiters << '"';
}

class Split : public ::testing::TestWithParam<split_case> {};

TEST_P(Split, DropsEmptyPieces) {
    EXPECT_EQ(split(GetParam().text, GetParam().delimiters), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Split,
    ::testing::Values(split_case{"EmptyPiecesAround", ";a;;b;", ";", {"a", "b"}},
                      split_case{"EmptyText", "", ";", {}},
                      split_case{"OnlyDelimiters", ";;;", ";", {}},
                      split_case{"NoDelimiter", "abc", ";", {"abc"}},
                      split_case{"LineFeed", "TCP\nUDP", "\n", {"TCP", "UDP"}},
                      split_case{"EitherOfTwoDelimiters", "a=1;b=2", ";=", {"a", "1", "b", "2"}},
                      split_case{"NoDelimitersGiven", "abc", "", {"abc"}},
                      split_case{"EndsAtNul", std::string("a;b\0;c", 6), ";", {"a", "b"}}),
    test::case_name());

} // namespace
