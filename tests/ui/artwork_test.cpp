// The pictures and icons as the built program carries them: every picture at 100, 125, 150 and
// 200 %, every icon with images made for the small-icon sizes up to 200 % and the large one.
#include "res/resource.h"
#include "tests/common/case_name.h"
#include "tests/common/process.h"
#include "tests/ui/icon_images.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

// AuthClient.exe, loaded for its resources only.
class program_resources {
public:
    program_resources() {
        module_ = LoadLibraryExA(test::windows_path(AUTHCLIENT_PROGRAM).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~program_resources() {
        if (module_)
            FreeLibrary(module_);
    }
    program_resources(const program_resources&) = delete;
    program_resources& operator=(const program_resources&) = delete;

    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

// --- icons ---------------------------------------------------------------------------------

struct icon_case {
    const char* name;
    int icon;
    std::vector<int> sizes; // each with a 32-bit image
};

std::ostream& operator<<(std::ostream& out, const icon_case& c) {
    return out << "icon " << c.name;
}

class program_icon_test : public ::testing::TestWithParam<icon_case> {};

TEST_P(program_icon_test, has_a_true_colour_image_made_for_each_size) {
    const program_resources program;
    ASSERT_NE(program.module(), nullptr) << AUTHCLIENT_PROGRAM;
    const std::vector<test::icon_image> images =
        test::icon_images(program.module(), GetParam().icon);
    ASSERT_FALSE(images.empty());

    std::set<int> true_colour;
    for (const test::icon_image& image : images) {
        const HICON made = test::icon_from_image(program.module(), image);
        EXPECT_EQ(test::icon_width(made), image.width) << "an image listed at " << image.width;
        DestroyIcon(made);
        if (image.bits == 32)
            true_colour.insert(image.width);
    }
    for (int size : GetParam().sizes)
        EXPECT_TRUE(true_colour.count(size)) << "no 32-bit image of " << size << " pixels";
}

const std::vector<int> small_and_large = {16, 20, 24, 32, 48};

INSTANTIATE_TEST_SUITE_P(icons, program_icon_test,
                         ::testing::Values(icon_case{"app", IDI_APP, {16, 20, 24, 32, 48, 256}},
                                           icon_case{"globe", IDI_GLOBE, small_and_large},
                                           icon_case{"globe_grey", IDI_GLOBE_GREY, small_and_large},
                                           icon_case{"globe_error", IDI_GLOBE_ERROR,
                                                     small_and_large}),
                         test::case_name());

// --- pictures ------------------------------------------------------------------------------

struct picture_case {
    const char* name;
    int picture;
    SIZE at_100; // the size that the templates were laid out for
};

std::ostream& operator<<(std::ostream& out, const picture_case& c) {
    return out << "bitmap " << c.name;
}

// The width and height of a bitmap resource; zero when it is missing.
SIZE bitmap_size(const program_resources& program, int id) {
    const std::vector<unsigned char> data = test::resource_bytes(program.module(), id, RT_BITMAP);
    BITMAPINFOHEADER header{};
    if (data.size() < sizeof header)
        return {0, 0};
    std::memcpy(&header, data.data(), sizeof header);
    return {header.biWidth, std::abs(header.biHeight)};
}

class program_picture_test : public ::testing::TestWithParam<picture_case> {};

// A variant can come out a little smaller than the exact scale: it is no larger than the
// control that shows it, and dialog units grow in whole pixels of the font.
TEST_P(program_picture_test, exists_at_each_scale_and_grows_with_it) {
    const program_resources program;
    ASSERT_NE(program.module(), nullptr) << AUTHCLIENT_PROGRAM;
    const picture_case& c = GetParam();
    const SIZE base = bitmap_size(program, c.picture);
    EXPECT_EQ(base.cx, c.at_100.cx);
    EXPECT_EQ(base.cy, c.at_100.cy);

    SIZE smaller = base;
    const int scales[] = {125, 150, 200};
    for (int step = 1; step <= 3; ++step) {
        const int scale = scales[step - 1];
        SCOPED_TRACE(std::to_string(scale) + " %");
        const SIZE size = bitmap_size(program, c.picture + step * IDB_SCALE_STEP);
        const double exact_cx = c.at_100.cx * scale / 100.0, exact_cy = c.at_100.cy * scale / 100.0;
        EXPECT_LE(size.cx, std::lround(exact_cx));
        EXPECT_LE(size.cy, std::lround(exact_cy));
        EXPECT_GE(size.cx, 0.9 * exact_cx);
        EXPECT_GE(size.cy, 0.9 * exact_cy);
        EXPECT_GT(size.cx, smaller.cx);
        EXPECT_GT(size.cy, smaller.cy);
        smaller = size;
    }
}

INSTANTIATE_TEST_SUITE_P(
    pictures, program_picture_test,
    ::testing::Values(picture_case{"connected", IDB_CONNECTED, {319, 139}},
                      picture_case{"disconnected", IDB_DISCONNECTED, {319, 139}},
                      picture_case{"warning_badge", IDB_WARNING, {32, 32}},
                      picture_case{"emblem", IDB_EMBLEM, {48, 48}},
                      picture_case{"road_works", IDB_ROADWORKS, {48, 48}},
                      picture_case{"message_warning", IDB_MESSAGE_WARNING, {48, 48}}),
    test::case_name());

} // namespace
