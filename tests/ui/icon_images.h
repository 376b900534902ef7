// The images of an icon resource read back: what the group lists, and each image made from its
// own data, so a test sees which sizes really exist and which one the platform chose.
#pragma once

#include <windows.h>

#include <vector>

namespace test {

// A resource's bytes; empty when it is missing.
std::vector<unsigned char> resource_bytes(HMODULE module, int id, LPCSTR type);

// One image as the icon group lists it.
struct icon_image {
    int width; // 256 where the group says 0
    int bits;  // per pixel
    int id;    // of its RT_ICON resource
};

std::vector<icon_image> icon_images(HMODULE module, int icon);

// The icon made from one image's own data at its listed size; null when that fails.
HICON icon_from_image(HMODULE module, const icon_image& image);

// The width of an icon's image in pixels; 0 for none.
int icon_width(HICON icon);

} // namespace test
