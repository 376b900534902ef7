// The widgets' decisions that need no window: the message's picture, place and texts, and
// the properties sheet's list mappings and OK rule.
#include "ui/message_window.h"
#include "ui/properties.h"

#include "res/resource.h"
#include "tests/common/case_name.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// --- the picture ------------------------------------------------------------------------

struct picture_case {
    const char* name;
    const char* params;
    int bitmap;
};

std::ostream& operator<<(std::ostream& out, const picture_case& c) {
    return out << '"' << c.params << "\" -> " << c.bitmap;
}

class message_picture_test : public ::testing::TestWithParam<picture_case> {};

TEST_P(message_picture_test, params_pick_the_picture) {
    EXPECT_EQ(message_picture(GetParam().params), GetParam().bitmap) << GetParam().params;
}

constexpr int emblem = IDB_EMBLEM, road_works = IDB_ROADWORKS, warning = IDB_MESSAGE_WARNING;

INSTANTIATE_TEST_SUITE_P(
    params, message_picture_test,
    ::testing::Values(
        picture_case{"none", "", emblem}, picture_case{"icon_1", "icon=1", road_works},
        picture_case{"icon_2", "icon=2", warning}, picture_case{"icon_3", "icon=3", emblem},
        picture_case{"icon_0", "icon=0", emblem},
        picture_case{"last_of_two_is_1", "icon=2;icon=1", road_works},
        picture_case{"last_of_two_is_2", "icon=1;icon=2", warning},
        picture_case{"among_others", "a=b;icon=2;c=d", warning},
        picture_case{"trailing_separator", "icon=1;", road_works},
        picture_case{"empty_pieces_around", ";;icon=1;;", road_works},
        picture_case{"letter_after_the_digit", "icon=2x", warning},
        picture_case{"blank_before_the_digit", "icon= 2", warning},
        picture_case{"plus_sign", "icon=+1", road_works},
        picture_case{"minus_sign", "icon=-1", emblem},
        picture_case{"letter_before_the_digit", "icon=x2", emblem},
        picture_case{"no_value", "icon", emblem}, picture_case{"empty_value", "icon=", emblem},
        picture_case{"value_holds_an_equals_sign", "icon=1=2", emblem},
        picture_case{"capital_name", "Icon=1", emblem},
        picture_case{"doubled_equals_sign", "icon==2", warning},
        picture_case{"beyond_64_bits", "icon=99999999999999999999", emblem},
        picture_case{"beyond_32_bits", "icon=4294967298", emblem}),
    test::case_name());

// --- the place --------------------------------------------------------------------------

TEST(message_position_test, the_window_goes_to_the_work_areas_bottom_right_corner) {
    const POINT at = message_position(RECT{0, 0, 1024, 738}, RECT{100, 50, 700, 170});
    EXPECT_EQ(at.x, 1024 - 600 - 5);
    EXPECT_EQ(at.y, 738 - 120 - 8);

    // A work area that does not start at the screen's origin (taskbar on the left or top).
    const POINT shifted = message_position(RECT{60, 30, 1280, 1024}, RECT{0, 0, 400, 200});
    EXPECT_EQ(shifted.x, 1280 - 400 - 5);
    EXPECT_EQ(shifted.y, 1024 - 200 - 8);
}

// --- the texts --------------------------------------------------------------------------

struct text_case {
    const char* name;
    std::string utf8;
    std::size_t buffer;
    std::wstring shown;
};

class utf8_to_utf16_test : public ::testing::TestWithParam<text_case> {};

TEST_P(utf8_to_utf16_test, converts_within_the_buffer_and_cuts_between_characters) {
    EXPECT_EQ(utf8_to_utf16(GetParam().utf8, GetParam().buffer), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    texts, utf8_to_utf16_test,
    ::testing::Values(text_case{"empty", "", 255, L""},
                      text_case{"cyrillic", std::string(u8"Плановые работы"), 255,
                                L"Плановые работы"},
                      text_case{"fits_exactly", "abcd", 5, L"abcd"},
                      text_case{"one_unit_too_many", "abcde", 5, L"abcd"},
                      text_case{"cut_between_cyrillic_letters", std::string(u8"Привет"), 4, L"При"},
                      // U+1D11E is a surrogate pair: it either fits whole or goes whole.
                      text_case{"pair_fits", std::string(u8"ab\U0001D11E"), 5, L"ab\U0001D11E"},
                      text_case{"pair_would_be_split", std::string(u8"abc\U0001D11E"), 5, L"abc"},
                      text_case{"stops_at_nul", std::string("ab\0cd", 5), 255, L"ab"},
                      text_case{"broken_bytes_are_shown_not_dropped",
                                "a\xff"
                                "b",
                                255,
                                L"a\xFFFD"
                                L"b"},
                      text_case{"no_room_at_all", "abc", 1, L""}),
    test::case_name());

// --- the mappings -----------------------------------------------------------------------

TEST(properties_mapping_test, identification_types_and_list_items) {
    const std::vector<std::pair<int, int>> pairs = {{1, 0}, {2, 1}, {3, 2}};
    for (const auto& [value, item] : pairs) {
        EXPECT_EQ(auth_type_item(value), item) << value;
        EXPECT_EQ(auth_type_value(item), value) << item;
    }
    for (int value : {0, 4, 5, -1, 6, 17})
        EXPECT_EQ(auth_type_item(value), -1) << value;
    for (int item : {-1, 3, 4})
        EXPECT_EQ(auth_type_value(item), -1) << item;
}

TEST(properties_mapping_test, protocols_and_list_items) {
    EXPECT_EQ(auth_protocol_item(6), 0);
    EXPECT_EQ(auth_protocol_item(17), 1);
    EXPECT_EQ(auth_protocol_value(0), 6);
    EXPECT_EQ(auth_protocol_value(1), 17);
    for (int value : {0, 1, 2, 7, 16, -6})
        EXPECT_EQ(auth_protocol_item(value), -1) << value;
    for (int item : {-1, 2})
        EXPECT_EQ(auth_protocol_value(item), -1) << item;
}

TEST(properties_mapping_test, only_protect_settings_zero_allows_changes) {
    EXPECT_TRUE(settings_editable(0));
    for (int value : {1, -1, 2, 100})
        EXPECT_FALSE(settings_editable(value)) << value;
}

} // namespace
