// The windows on a display at 150 % (LogPixels 144): each shows the pictures and icons drawn
// for that scale, in their places. The program runs in a Wine prefix of its own whose display
// is at that scale (scripts/lib.sh, scaled_start); AUTHCLIENT_EXPECT_DPI names its DPI.
#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/main_window.h"
#include "ui/message_window.h"
#include "ui/properties.h"
#include "ui/tray_icon.h"

#include "app/application.h"
#include "auth/client.h"
#include "auth/messages.h"
#include "env/env.h"
#include "tests/common/window_recorder.h"
#include "tests/ui/icon_images.h"
#include "tests/ui/ui_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

UINT expected_dpi() {
    const char* dpi = std::getenv("AUTHCLIENT_EXPECT_DPI");
    return dpi ? static_cast<UINT>(std::atoi(dpi)) : 144;
}

// The variant of a picture for the expected display.
int scaled(int picture) {
    return picture + 2 * IDB_SCALE_STEP; // 150 %
}

// A bitmap's size and pixels (32 bits each, bottom row first).
struct image {
    SIZE size{0, 0};
    std::vector<unsigned char> bits;

    bool white(LONG x, LONG y) const {
        const std::size_t at = (static_cast<std::size_t>(size.cy - 1 - y) * size.cx + x) * 4;
        return bits[at] == 0xFF && bits[at + 1] == 0xFF && bits[at + 2] == 0xFF;
    }
};

image image_of(HBITMAP bitmap) {
    image result;
    BITMAP shape{};
    if (bitmap && GetObjectA(bitmap, sizeof shape, &shape))
        result.size = {shape.bmWidth, shape.bmHeight};
    result.bits = test::pixels(bitmap);
    return result;
}

image resource_image(int id) {
    const HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    image result = image_of(bitmap);
    DeleteObject(bitmap);
    return result;
}

image shown_image(HWND window, int control) {
    return image_of(reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(window, control, STM_GETIMAGE, IMAGE_BITMAP, 0)));
}

// Where a static that centres its picture draws it, in its window's client coordinates.
RECT drawn_rect(HWND window, int control, SIZE picture) {
    RECT area{};
    GetWindowRect(GetDlgItem(window, control), &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    const LONG x = area.left + (area.right - area.left) / 2 - picture.cx / 2;
    const LONG y = area.top + (area.bottom - area.top) / 2 - picture.cy / 2;
    return {x, y, x + picture.cx, y + picture.cy};
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::vector<unsigned char> icon_pixels(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return {};
    std::vector<unsigned char> bits = test::pixels(info.hbmColor);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bits;
}

// The icon made from the group's 32-bit image of exactly `size` pixels, or null.
HICON icon_image_of_size(int icon, int size) {
    const HMODULE module = GetModuleHandleA(nullptr);
    for (const test::icon_image& image : test::icon_images(module, icon))
        if (image.width == size && image.bits == 32)
            return test::icon_from_image(module, image);
    return nullptr;
}

// The main window from its template, as the start-up makes it; closed again without the
// close's waiting, since no worker runs.
class main_window {
public:
    main_window()
        : window_(CreateDialogParamA(app->instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                     DlgProcMain, 0)) {}
    ~main_window() {
        if (!window_)
            return;
        app->tray_icon->remove(0);
        test::destroy_main_window(window_);
    }
    main_window(const main_window&) = delete;
    main_window& operator=(const main_window&) = delete;

    HWND get() const { return window_; }

private:
    HWND window_;
};

class scaled_display_test : public test::settings_test {
protected:
    void SetUp() override {
        ASSERT_EQ(window_dpi(nullptr), expected_dpi())
            << "the display is not at the scale these tests are for: run them in the prefix "
               "that scripts/lib.sh's scaled_start prepares";
    }
};

TEST_F(scaled_display_test, the_state_picture_and_badge_are_drawn_for_the_scale_and_fit) {
    const main_window main;
    ASSERT_NE(main.get(), nullptr);
    EXPECT_EQ(window_dpi(main.get()), expected_dpi());
    SendMessageA(main.get(), auth::WM_CLIENT_STATE, 0, auth::error); // the badge shows

    const image picture = shown_image(main.get(), IDC_PICTURE);
    const image expected = resource_image(scaled(IDB_DISCONNECTED));
    ASSERT_FALSE(expected.bits.empty());
    EXPECT_EQ(picture.size.cx, expected.size.cx);
    EXPECT_EQ(picture.size.cy, expected.size.cy);
    EXPECT_GT(picture.size.cx, resource_image(IDB_DISCONNECTED).size.cx);
    EXPECT_EQ(picture.bits, expected.bits);
    const image badge = shown_image(main.get(), IDC_BADGE);
    EXPECT_EQ(badge.bits, resource_image(scaled(IDB_WARNING)).bits);

    // Nothing is cut: each picture fits its control.
    RECT area{};
    GetClientRect(GetDlgItem(main.get(), IDC_PICTURE), &area);
    EXPECT_LE(picture.size.cx, area.right);
    EXPECT_LE(picture.size.cy, area.bottom);
    GetClientRect(GetDlgItem(main.get(), IDC_BADGE), &area);
    EXPECT_LE(badge.size.cx, area.right);
    EXPECT_LE(badge.size.cy, area.bottom);

    const RECT on_picture = drawn_rect(main.get(), IDC_PICTURE, picture.size);
    const RECT on_badge = drawn_rect(main.get(), IDC_BADGE, badge.size);
    ASSERT_TRUE(inside(on_badge, on_picture)) << "the badge lies within the picture";

    // The badge sits in the gap of the link: it hides nothing of the picture, and the link
    // goes on close to it at both sides.
    const RECT under{on_badge.left - on_picture.left, on_badge.top - on_picture.top,
                     on_badge.right - on_picture.left, on_badge.bottom - on_picture.top};
    int hidden = 0;
    for (LONG y = under.top; y < under.bottom; ++y)
        for (LONG x = under.left; x < under.right; ++x)
            hidden += picture.white(x, y) ? 0 : 1;
    EXPECT_EQ(hidden, 0) << "pixels of the picture under the badge";
    const LONG row = (under.top + under.bottom) / 2, reach = badge.size.cx / 2;
    bool link_left = false, link_right = false;
    for (LONG d = 1; d <= reach; ++d) {
        link_left = link_left || !picture.white(under.left - d, row);
        link_right = link_right || !picture.white(under.right - 1 + d, row);
    }
    EXPECT_TRUE(link_left && link_right) << "no link beside the badge";
}

TEST_F(scaled_display_test, the_window_icons_have_the_sizes_of_the_scale) {
    const main_window main;
    ASSERT_NE(main.get(), nullptr);
    const auto icon = [&](WPARAM kind) {
        return reinterpret_cast<HICON>(SendMessageA(main.get(), WM_GETICON, kind, 0));
    };
    EXPECT_EQ(test::icon_width(icon(ICON_SMALL)), MulDiv(16, static_cast<int>(expected_dpi()), 96));
    EXPECT_EQ(test::icon_width(icon(ICON_BIG)), MulDiv(32, static_cast<int>(expected_dpi()), 96));
}

TEST_F(scaled_display_test, the_tray_icons_are_the_images_made_for_the_small_icon_size) {
    test::window_recorder owner;
    const auto shell = make_system_tray_shell(owner.window());
    const int size = MulDiv(16, static_cast<int>(expected_dpi()), 96);
    for (int icon : {IDI_GLOBE, IDI_GLOBE_GREY, IDI_GLOBE_ERROR}) {
        SCOPED_TRACE(icon);
        const HICON loaded = shell->load_icon(icon);
        const HICON made = icon_image_of_size(icon, size);
        ASSERT_NE(made, nullptr) << "no image of " << size << " pixels";
        EXPECT_EQ(test::icon_width(loaded), size);
        EXPECT_EQ(icon_pixels(loaded), icon_pixels(made)) << "not the image made for the size";
        shell->destroy_icon(loaded);
        DestroyIcon(made);
    }
}

TEST_F(scaled_display_test, a_message_window_shows_its_picture_drawn_for_the_scale) {
    const auth::server_info info{"Плановые работы", "Сегодня ночью.", "icon=1"};
    const HWND window =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MESSAGE), nullptr,
                           DlgProcMessage, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(window, nullptr);
    const image shown = shown_image(window, IDC_MESSAGE_PICTURE);
    EXPECT_EQ(shown.bits, resource_image(scaled(IDB_ROADWORKS)).bits);
    RECT area{};
    GetClientRect(GetDlgItem(window, IDC_MESSAGE_PICTURE), &area);
    EXPECT_EQ(area.right, shown.size.cx) << "the static takes the picture's size";
    EXPECT_EQ(area.bottom, shown.size.cy);
    LOGFONTA title{};
    GetObjectA(
        reinterpret_cast<HFONT>(SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_GETFONT, 0, 0)),
        sizeof title, &title);
    EXPECT_EQ(title.lfWeight, FW_BOLD) << "the title stays bold";
    DestroyWindow(window);
}

TEST_F(scaled_display_test, the_about_page_shows_the_emblem_drawn_for_the_scale) {
    test::window_recorder sheet;
    const HWND page =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROP_ABOUT),
                           sheet.window(), DlgProcPropAbout, 0);
    ASSERT_NE(page, nullptr);
    const image shown = shown_image(page, IDC_EMBLEM);
    EXPECT_EQ(shown.bits, resource_image(scaled(IDB_EMBLEM)).bits);
    RECT area{};
    GetClientRect(GetDlgItem(page, IDC_EMBLEM), &area);
    EXPECT_LE(shown.size.cx, area.right);
    EXPECT_LE(shown.size.cy, area.bottom);
    DestroyWindow(page);
}

} // namespace
