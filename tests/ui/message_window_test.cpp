#include "ui/message_window.h"

#include "auth/messages.h"
#include "res/resource.h"
#include "tests/common/case_name.h"
#include "tests/common/process_windows.h"
#include "tests/common/window_recorder.h"
#include "tests/ui/ui_fixture.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

struct picture_case {
    const char* name;
    const char* params;
    int bitmap;
};

class message_window_test : public test::settings_test {
protected:
    HWND open(const auth::server_info& info) {
        window_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MESSAGE),
                                     nullptr, DlgProcMessage, reinterpret_cast<LPARAM>(&info));
        test::pump_for(0);
        return window_;
    }
    ~message_window_test() override {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
    }

    static std::wstring text_of(HWND window, int id) {
        std::vector<wchar_t> text(20000);
        GetDlgItemTextW(window, id, text.data(), static_cast<int>(text.size()));
        return text.data();
    }

    HWND window_ = nullptr;
};

TEST_F(message_window_test, shows_the_texts_in_utf16_and_the_caption) {
    store(env::APP_CAPTION, "Клиент авторизации (тест)");
    const auth::server_info info{std::string(u8"Плановые работы ★"),
                                 std::string(u8"Сегодня с 2:00 до 4:00 сеть недоступна.\r\n"
                                             u8"Приносим извинения. \U0001D11E"),
                                 ""};
    const HWND window = open(info);
    ASSERT_NE(window, nullptr);

    // Not spelt inside the assertions: their texts are narrow, and ★ has no place in 1251.
    const std::wstring title = L"Плановые работы ★";
    const std::wstring text =
        L"Сегодня с 2:00 до 4:00 сеть недоступна.\r\nПриносим извинения. \U0001D11E";
    EXPECT_EQ(text_of(window, IDC_MESSAGE_TITLE), title);
    EXPECT_EQ(text_of(window, IDC_MESSAGE_TEXT), text);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Клиент авторизации (тест)");
}

TEST_F(message_window_test, a_text_longer_than_its_buffer_is_cut_not_dropped) {
    std::string header, data = "a";
    std::wstring header_shown, data_shown = L"a";
    for (int i = 0; i < 300; ++i)
        header += u8"Ж";
    header_shown.assign(254, L'Ж');
    // "щ" and a character outside the basic plane: three UTF-16 units a group.
    for (int i = 0; i < 6000; ++i)
        data += u8"щ\U0001D11E";
    for (int i = 0; i < 5460; ++i)
        data_shown += L"щ\U0001D11E";
    data_shown += L"щ"; // the next pair would end past the 16383 units: it goes whole

    const auth::server_info info{header, data, ""};
    const HWND window = open(info);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(text_of(window, IDC_MESSAGE_TITLE), header_shown);
    EXPECT_EQ(text_of(window, IDC_MESSAGE_TEXT), data_shown);
}

TEST_F(message_window_test, sits_on_top_in_the_work_areas_bottom_right_corner) {
    const HWND window = open(auth::server_info{"a", "b", ""});
    ASSERT_NE(window, nullptr);

    RECT work{}, own{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_TRUE(GetWindowRect(window, &own));
    EXPECT_EQ(own.right, work.right - 5);
    EXPECT_EQ(own.bottom, work.bottom - 8);
    EXPECT_GT(own.right - own.left, 300) << "the template's size is kept";
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(message_window_test, the_title_is_bold_and_the_background_white) {
    const HWND window = open(auth::server_info{"title", "text", ""});
    ASSERT_NE(window, nullptr);

    const auto font =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTA title{};
    ASSERT_TRUE(GetObjectA(font, sizeof title, &title));
    EXPECT_EQ(title.lfWeight, 700);

    const auto text_font =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(window, IDC_MESSAGE_TEXT, WM_GETFONT, 0, 0));
    LOGFONTA text{};
    ASSERT_TRUE(GetObjectA(text_font, sizeof text, &text));
    EXPECT_NE(text.lfWeight, 700) << "only the title is bold";
    EXPECT_STREQ(title.lfFaceName, text.lfFaceName);

    const HDC dc = GetDC(window);
    const auto white = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SendMessageA(window, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(window)),
              white);
    EXPECT_EQ(SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_MESSAGE_TEXT))),
              white);
    ReleaseDC(window, dc);
}

TEST_F(message_window_test, closing_destroys_the_window_and_releases_its_font_and_picture) {
    const HWND window = open(auth::server_info{"a", "b", "icon=2"});
    ASSERT_NE(window, nullptr);
    const auto font =
        reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_GETFONT, 0, 0));
    const auto picture = reinterpret_cast<HGDIOBJ>(
        SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    ASSERT_EQ(GetObjectType(picture), static_cast<DWORD>(OBJ_BITMAP));

    SendMessageA(window, WM_CLOSE, 0, 0);

    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetObjectType(font), 0u) << "the bold font is released";
    EXPECT_EQ(GetObjectType(picture), 0u) << "the picture is released";
}

class message_window_picture_test : public message_window_test,
                                    public ::testing::WithParamInterface<picture_case> {};

TEST_P(message_window_picture_test, shows_the_picture_that_the_params_choose) {
    const HWND window = open(auth::server_info{"a", "b", GetParam().params});
    ASSERT_NE(window, nullptr);

    const auto shown = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr);
    BITMAP shape{};
    ASSERT_TRUE(GetObjectA(shown, sizeof shape, &shape));
    EXPECT_EQ(shape.bmWidth, 48);
    EXPECT_EQ(shape.bmHeight, 48);

    const HBITMAP expected =
        LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(GetParam().bitmap));
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(test::pixels(shown), test::pixels(expected));
    for (int other : {IDB_EMBLEM, IDB_ROADWORKS, IDB_MESSAGE_WARNING}) {
        if (other == GetParam().bitmap)
            continue;
        const HBITMAP wrong = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(other));
        EXPECT_NE(test::pixels(shown), test::pixels(wrong)) << "looks like bitmap " << other;
        DeleteObject(wrong);
    }
    DeleteObject(expected);
}

INSTANTIATE_TEST_SUITE_P(params, message_window_picture_test,
                         ::testing::Values(picture_case{"none_gives_the_emblem", "", IDB_EMBLEM},
                                           picture_case{"icon_1_gives_the_road_works", "icon=1",
                                                        IDB_ROADWORKS},
                                           picture_case{"icon_2_among_others_gives_the_warning",
                                                        "x=y;icon=2;", IDB_MESSAGE_WARNING}),
                         test::case_name());

TEST_F(message_window_test, on_a_monitor_of_another_scale_it_is_drawn_anew_for_that_scale) {
    const HWND window = open(auth::server_info{"title", "text", "icon=2"});
    ASSERT_NE(window, nullptr);
    const auto earlier = reinterpret_cast<HGDIOBJ>(
        SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    RECT suggested{100, 100, 1000, 300};

    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&after, &suggested)) << "the suggested rectangle is taken";
    const auto shown = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(window, IDC_MESSAGE_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
    const HBITMAP expected = LoadBitmapA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_MESSAGE_WARNING + 2 * IDB_SCALE_STEP));
    EXPECT_EQ(test::pixels(shown), test::pixels(expected)) << "the warning drawn for 150 %";
    DeleteObject(expected);
    EXPECT_EQ(GetObjectType(earlier), 0u) << "the earlier picture is released";

    // The system gives the controls the dialog font of the new DPI; the title is bold again in
    // that font.
    const auto font_of = [&](int id) {
        LOGFONTA description{};
        GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(window, id, WM_GETFONT, 0, 0)),
                   sizeof description, &description);
        return description;
    };
    LOGFONTA plain = font_of(IDC_MESSAGE_TEXT);
    plain.lfHeight = plain.lfHeight * 3 / 2;
    const HFONT larger = CreateFontIndirectA(&plain);
    SendDlgItemMessageA(window, IDC_MESSAGE_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(larger),
                        FALSE);
    EXPECT_TRUE(
        test::pump_until([&] { return font_of(IDC_MESSAGE_TITLE).lfWeight == FW_BOLD; }, 5000));
    EXPECT_EQ(font_of(IDC_MESSAGE_TITLE).lfHeight, plain.lfHeight);
    DestroyWindow(window);
    DeleteObject(larger);
}

TEST_F(message_window_test, an_error_inside_the_window_is_shown_and_stops_there) {
    app->environment.reset(); // the caption has nowhere to come from
    auto box = std::async(std::launch::async, [] { return test::take_error_box(15000); });
    const HWND window = open(auth::server_info{"title", "text", ""});
    const auto text = box.get();
    ASSERT_TRUE(text.has_value()) << "no error box";
    EXPECT_EQ(*text, "The settings are not available.");
    EXPECT_NE(window, nullptr) << "the window itself is still made";
}

} // namespace
