#include "support/system_error.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(SystemErrorText, ZeroIsEmpty) { EXPECT_EQ(system_error_text(0), ""); }

TEST(SystemErrorText, UnknownCodeIsEmpty) { EXPECT_EQ(system_error_text(0x2BADF00D), ""); }

TEST(SystemErrorText, KnownCodeGivesTheSystemTextWithItsLineBreak) {
    const std::string text = system_error_text(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // The same text that the system gives any other caller in this code page.
    char expected[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, expected, sizeof expected, nullptr);
    EXPECT_EQ(text, expected);
}

} // namespace
