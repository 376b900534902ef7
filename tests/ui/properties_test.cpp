#include "ui/properties.h"

#include "authclient_version.h"
#include "res/resource.h"
#include "tests/common/window_recorder.h"
#include "tests/ui/ui_fixture.h"

#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// --- the real sheet ---------------------------------------------------------------------

// The sheet runs modally on the test's thread. A CBT hook on that thread reports it when it
// is activated, and a helper thread drives it: sent messages for reading and editing, posted
// PSM_PRESSBUTTON for OK and Cancel (the sheet's loop notices its end on a posted message).
class sheet_finder {
public:
    sheet_finder() {
        instance_ = this;
        hook_ = SetWindowsHookExA(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    }
    ~sheet_finder() {
        UnhookWindowsHookEx(hook_);
        CloseHandle(found_);
        instance_ = nullptr;
    }
    sheet_finder(const sheet_finder&) = delete;
    sheet_finder& operator=(const sheet_finder&) = delete;

    HWND wait(DWORD timeout_ms) const {
        return WaitForSingleObject(found_, timeout_ms) == WAIT_OBJECT_0 ? sheet_.load() : nullptr;
    }

private:
    static LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_ACTIVATE && instance_ && !instance_->sheet_) {
            const auto window = reinterpret_cast<HWND>(wparam);
            if (FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) {
                instance_->sheet_ = window;
                SetEvent(instance_->found_);
            }
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }

    static inline sheet_finder* instance_ = nullptr;
    HHOOK hook_ = nullptr;
    HANDLE found_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> sheet_{nullptr};
};

// What a page shows, read from the helper thread.
struct general_view {
    std::string server, port, link;
    int type = -2, protocol = -2;
    std::vector<std::string> types, protocols;
};

std::string text_of(HWND window, int id) {
    char text[1024] = {};
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

std::vector<std::string> items_of(HWND page, int list) {
    std::vector<std::string> items;
    const auto count = SendDlgItemMessageA(page, list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendDlgItemMessageA(page, list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

general_view read_general(HWND page) {
    general_view v;
    v.server = text_of(page, IDC_SERVER);
    v.port = text_of(page, IDC_PORT);
    v.link = text_of(page, IDC_LINK_PERSONAL);
    v.type = static_cast<int>(SendDlgItemMessageA(page, IDC_TYPE, CB_GETCURSEL, 0, 0));
    v.protocol = static_cast<int>(SendDlgItemMessageA(page, IDC_PROTOCOL, CB_GETCURSEL, 0, 0));
    v.types = items_of(page, IDC_TYPE);
    v.protocols = items_of(page, IDC_PROTOCOL);
    return v;
}

HWND page_of(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_INDEXTOHWND, index, 0));
}

HWND show_page(HWND sheet, int index) {
    SendMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    return page_of(sheet, index);
}

bool ok_enabled(HWND sheet) {
    return IsWindowEnabled(GetDlgItem(sheet, IDOK));
}

void press(HWND sheet, int button) {
    PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

class properties_test : public test::settings_test {
protected:
    // Shows the sheet owned by a window of this thread and runs `drive` on a helper thread with
    // the sheet's window; `drive` must press OK or Cancel. True if the sheet was found.
    bool run_sheet(const std::function<void(HWND sheet)>& drive) {
        test::window_recorder owner;
        sheet_finder finder;
        bool found = false;
        std::thread helper([&] {
            const HWND sheet = finder.wait(20000);
            if (!sheet)
                return;
            found = true;
            drive(sheet);
        });
        show_properties(owner.window());
        helper.join();
        return found;
    }
};

TEST_F(properties_test, shows_the_settings_and_ok_writes_what_the_user_chose) {
    store(env::APP_CAPTION, "Клиент (тест)");
    store(env::AUTH_SERVER, "auth.test.local");
    store(env::AUTH_PORT, "7777");
    store(env::AUTH_PROTOCOL, "6");
    store(env::AUTH_TYPE, "3");
    store(env::LINK_PERSONAL, "https://cabinet.test/");

    std::string caption;
    std::vector<std::string> tabs;
    general_view before;
    bool ok = false;
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        char text[256] = {};
        GetWindowTextA(sheet, text, sizeof text);
        caption = text;
        const auto tab = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
        for (LRESULT i = 0; i < SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0); ++i) {
            char title[64] = {};
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = title;
            item.cchTextMax = sizeof title;
            SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
            tabs.emplace_back(title);
        }
        const HWND page = page_of(sheet, 0);
        before = read_general(page);
        ok = ok_enabled(sheet);

        SetDlgItemTextA(page, IDC_SERVER, "10.1.1.1");
        SetDlgItemTextA(page, IDC_PORT, "abc");
        SetDlgItemTextA(page, IDC_LINK_PERSONAL, "");
        SendDlgItemMessageA(page, IDC_TYPE, CB_SETCURSEL, 1, 0);
        SendDlgItemMessageA(page, IDC_PROTOCOL, CB_SETCURSEL, 1, 0);
        press(sheet, PSBTN_OK);
    }));

    EXPECT_EQ(caption, "Клиент (тест) - Свойства");
    EXPECT_EQ(tabs, (std::vector<std::string>{"Общие", "О программе"}));
    EXPECT_EQ(before.server, "auth.test.local");
    EXPECT_EQ(before.port, "7777");
    EXPECT_EQ(before.link, "https://cabinet.test/");
    EXPECT_EQ(before.types, (std::vector<std::string>{"IP-адрес / Пароль", "Логин / Пароль",
                                                      "Локальный IP-адрес / Пароль"}));
    EXPECT_EQ(before.protocols, (std::vector<std::string>{"TCP", "UDP"}));
    EXPECT_EQ(before.type, 2);
    EXPECT_EQ(before.protocol, 0) << "the product line must not disturb the protocol list";
    EXPECT_TRUE(ok);

    EXPECT_EQ(stored("AUTH_SERVER"), "10.1.1.1");
    EXPECT_EQ(stored("AUTH_PORT"), "abc");
    EXPECT_EQ(stored("LINK_PERSONAL"), "");
    EXPECT_EQ(stored("AUTH_TYPE"), "2");
    EXPECT_EQ(stored("AUTH_PROTOCOL"), "17");
}

TEST_F(properties_test, ok_stores_the_defaults_the_user_left_alone) {
    ASSERT_FALSE(stored("AUTH_SERVER").has_value());
    general_view shown;
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        shown = read_general(page_of(sheet, 0));
        press(sheet, PSBTN_OK);
    }));

    EXPECT_EQ(shown.server, "auth.example.net");
    EXPECT_EQ(stored("AUTH_SERVER"), "auth.example.net");
    EXPECT_EQ(stored("AUTH_PORT"), "777");
    EXPECT_EQ(stored("LINK_PERSONAL"), "https://my.example.net/");
    EXPECT_EQ(stored("AUTH_TYPE"), "2");
    EXPECT_EQ(stored("AUTH_PROTOCOL"), "6");
    EXPECT_FALSE(stored("PROTECT_SETTINGS").has_value()) << "only the general page's values";
}

TEST_F(properties_test, the_about_page_shows_the_product_and_ok_there_writes_the_general_page) {
    std::string product, version;
    HWND about_protocol_list = nullptr;
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        SetDlgItemTextA(page_of(sheet, 0), IDC_SERVER, "from.the.general.page");
        const HWND about = show_page(sheet, 1);
        product = text_of(about, IDC_PRODUCT);
        version = text_of(about, IDC_VERSION);
        about_protocol_list = FindWindowExA(about, nullptr, WC_COMBOBOXA, nullptr);
        press(sheet, PSBTN_OK);
    }));

    EXPECT_EQ(product, "Клиент авторизации для АСР Zerva");
    EXPECT_EQ(version, AUTHCLIENT_VERSION);
    EXPECT_EQ(about_protocol_list, nullptr);
    EXPECT_EQ(stored("AUTH_SERVER"), "from.the.general.page");
}

TEST_F(properties_test, unknown_values_show_no_selection_and_are_kept) {
    store(env::AUTH_TYPE, "5");
    store(env::AUTH_PROTOCOL, "99");
    general_view shown;
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        shown = read_general(page_of(sheet, 0));
        press(sheet, PSBTN_OK);
    }));

    EXPECT_EQ(shown.type, -1);
    EXPECT_EQ(shown.protocol, -1);
    EXPECT_EQ(stored("AUTH_TYPE"), "5");
    EXPECT_EQ(stored("AUTH_PROTOCOL"), "99");
}

TEST_F(properties_test, cancel_writes_nothing) {
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        const HWND page = page_of(sheet, 0);
        SetDlgItemTextA(page, IDC_SERVER, "changed");
        SendDlgItemMessageA(page, IDC_TYPE, CB_SETCURSEL, 0, 0);
        press(sheet, PSBTN_CANCEL);
    }));

    EXPECT_FALSE(stored("AUTH_SERVER").has_value());
    EXPECT_FALSE(stored("AUTH_TYPE").has_value());
}

struct protection_case {
    const char* name;
    const char* value;
    bool editable;
};

class properties_protection_test : public properties_test,
                                   public ::testing::WithParamInterface<protection_case> {};

TEST_P(properties_protection_test, protect_settings_decides_the_ok_button_on_both_pages) {
    store(env::PROTECT_SETTINGS, GetParam().value);
    bool general_ok = false, about_ok = false;
    ASSERT_TRUE(run_sheet([&](HWND sheet) {
        SetDlgItemTextA(page_of(sheet, 0), IDC_SERVER, "changed");
        general_ok = ok_enabled(sheet);
        show_page(sheet, 1);
        about_ok = ok_enabled(sheet);
        // Told to press OK even so; when that does not end the sheet, Cancel does.
        press(sheet, PSBTN_OK);
        press(sheet, PSBTN_CANCEL);
    }));

    EXPECT_EQ(general_ok, GetParam().editable);
    EXPECT_EQ(about_ok, GetParam().editable);
    if (GetParam().editable)
        EXPECT_EQ(stored("AUTH_SERVER"), "changed");
    else
        EXPECT_FALSE(stored("AUTH_SERVER").has_value());
}

INSTANTIATE_TEST_SUITE_P(values, properties_protection_test,
                         ::testing::Values(protection_case{"one", "1", false},
                                           protection_case{"negative", "-3", false},
                                           protection_case{"zero", "0", true},
                                           protection_case{"not_a_number", "abc", true}),
                         [](const ::testing::TestParamInfo<protection_case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
