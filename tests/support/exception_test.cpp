#include "support/exception.h"

#include <gtest/gtest.h>

#include <regex>

struct first_kind : ex::c_exception {};
struct second_kind : ex::c_exception {};

static void raise_first() {
    EX_RAISE(first_kind, "Нет ответа");
}

namespace {

TEST(Exception, RaiseFillsTextLocationAndTime) {
    try {
        raise_first();
        FAIL() << "nothing was thrown";
    } catch (const ex::c_exception& e) {
        EXPECT_EQ(e.text(), "Нет ответа");
        EXPECT_TRUE(std::regex_match(
            e.location, std::regex("file: exception_test, line: [0-9]+, function: void "
                                   "raise_first\\(\\)")))
            << e.location;
        EXPECT_TRUE(std::regex_match(e.time, std::regex("[0-3][0-9]\\.[01][0-9]\\.20[0-9][0-9] "
                                                        "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
            << e.time;
        EXPECT_EQ(e.report(), "Exception occured:\n> Time: " + e.time +
                                  "\n> Location: " + e.location + "\n> Text: Нет ответа\n");
    }
}

TEST(Exception, WhatIsNotTheMessage) {
    try {
        raise_first();
        FAIL() << "nothing was thrown";
    } catch (const std::exception& e) {
        EXPECT_STRNE(e.what(), "Нет ответа");
    }
}

TEST(Exception, OneHandlerCatchesEveryKind) {
    int caught = 0;
    for (int i = 0; i < 2; ++i) {
        try {
            if (i == 0)
                EX_RAISE(first_kind, "a");
            EX_RAISE(second_kind, "b");
        } catch (const ex::c_exception& e) {
            EXPECT_EQ(e.text(), i == 0 ? "a" : "b");
            ++caught;
        }
    }
    EXPECT_EQ(caught, 2);
}

} // namespace
