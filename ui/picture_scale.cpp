#include "ui/picture_scale.h"

#include "res/resource.h"

#include <cstddef>
#include <iterator>

namespace {

// The drawn scales, each with the DPI at which it is exact; the variant's number is the
// picture's plus one step per place in this list.
struct drawn_scale {
    int percent;
    unsigned dpi;
};
constexpr drawn_scale drawn[] = {{100, 96}, {125, 120}, {150, 144}, {200, 192}};

int step_for(unsigned dpi) {
    int step = 0;
    for (std::size_t i = 1; i < std::size(drawn); ++i)
        if (drawn[i].dpi <= dpi)
            step = static_cast<int>(i);
    return step;
}

} // namespace

int picture_scale(unsigned dpi) {
    return drawn[step_for(dpi)].percent;
}

int picture_for_dpi(int picture, unsigned dpi) {
    return picture + step_for(dpi) * IDB_SCALE_STEP;
}
