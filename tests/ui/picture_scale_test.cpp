// The picture variant that a display's DPI gets: the largest drawn scale that is not larger
// than the display's, so that no picture outgrows its control.
#include "ui/picture_scale.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct scale_case {
    unsigned dpi;
    int percent;
    int picture; // at 100 %
    int step;    // the variant that the DPI gets: 0 for 100 %, 1, 2, 3 for 125, 150, 200 %
};

std::ostream& operator<<(std::ostream& out, const scale_case& c) {
    return out << c.dpi << " dpi -> " << c.percent << " %";
}

class picture_scale_test : public ::testing::TestWithParam<scale_case> {};

TEST_P(picture_scale_test, the_largest_variant_not_larger_than_the_display) {
    EXPECT_EQ(picture_scale(GetParam().dpi), GetParam().percent);
    EXPECT_EQ(picture_for_dpi(GetParam().picture, GetParam().dpi),
              GetParam().picture + GetParam().step * IDB_SCALE_STEP);
}

INSTANTIATE_TEST_SUITE_P(
    dpis, picture_scale_test,
    ::testing::Values(
        // The four drawn scales.
        scale_case{96, 100, IDB_DISCONNECTED, 0}, scale_case{120, 125, IDB_CONNECTED, 1},
        scale_case{144, 150, IDB_DISCONNECTED, 2}, scale_case{192, 200, IDB_WARNING, 3},
        // In between: never the larger picture.
        scale_case{97, 100, IDB_EMBLEM, 0}, scale_case{119, 100, IDB_ROADWORKS, 0},
        scale_case{121, 125, IDB_MESSAGE_WARNING, 1}, scale_case{143, 125, IDB_EMBLEM, 1},
        scale_case{168, 150, IDB_CONNECTED, 2}, scale_case{191, 150, IDB_WARNING, 2},
        // Beyond the drawn range, and no DPI at all.
        scale_case{288, 200, IDB_MESSAGE_WARNING, 3}, scale_case{72, 100, IDB_CONNECTED, 0},
        scale_case{0, 100, IDB_DISCONNECTED, 0}),
    [](const ::testing::TestParamInfo<scale_case>& info) {
        return "dpi_" + std::to_string(info.param.dpi);
    });

} // namespace
