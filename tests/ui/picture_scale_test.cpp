// The picture variant that a display's DPI gets: the largest drawn scale that is not larger
// than the display's, so that no picture outgrows its control.
#include "ui/picture_scale.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct scale_case {
    unsigned dpi;
    int percent;
    int picture; // a 100 % resource number
    int variant; // what the DPI gets instead
};

std::ostream& operator<<(std::ostream& out, const scale_case& c) {
    return out << c.dpi << " dpi -> " << c.percent << " %";
}

class picture_scale_test : public ::testing::TestWithParam<scale_case> {};

TEST_P(picture_scale_test, the_largest_variant_not_larger_than_the_display) {
    EXPECT_EQ(picture_scale(GetParam().dpi), GetParam().percent);
    EXPECT_EQ(picture_for_dpi(GetParam().picture, GetParam().dpi), GetParam().variant);
}

INSTANTIATE_TEST_SUITE_P(dpis, picture_scale_test,
                         ::testing::Values(
                             // The four drawn scales.
                             scale_case{96, 100, 118, 118}, scale_case{120, 125, 116, 1116},
                             scale_case{144, 150, 118, 2118}, scale_case{192, 200, 120, 3120},
                             // In between: never the larger picture.
                             scale_case{97, 100, 136, 136}, scale_case{119, 100, 138, 138},
                             scale_case{121, 125, 142, 1142}, scale_case{143, 125, 136, 1136},
                             scale_case{168, 150, 116, 2116}, scale_case{191, 150, 120, 2120},
                             // Beyond the drawn range, and no DPI at all.
                             scale_case{288, 200, 142, 3142}, scale_case{72, 100, 116, 116},
                             scale_case{0, 100, 118, 118}),
                         [](const ::testing::TestParamInfo<scale_case>& info) {
                             return "dpi_" + std::to_string(info.param.dpi);
                         });

} // namespace
