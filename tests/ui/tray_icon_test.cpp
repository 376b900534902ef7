#include "ui/tray_icon.h"

#include "authclient_version.h"
#include "res/resource.h"
#include "tests/common/window_recorder.h"
#include "tests/ui/recording_shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using test::recording_shell;
using test::shell_call;
using test::shell_log;

const HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4242));
// The tip the main window gives by default: Russian text.
const char* const default_caption = "Клиент авторизации " AUTHCLIENT_VERSION;

bool all_zero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

// The record as the shell must see it: the named fields, and zero everywhere else.
void expect_record(const NOTIFYICONDATAA& r, UINT id, HICON icon, const std::string& tip) {
    EXPECT_EQ(r.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
#ifndef _WIN64
    EXPECT_EQ(r.cbSize, 488u);
#endif
    EXPECT_EQ(r.hWnd, owner);
    EXPECT_EQ(r.uID, id);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, c_tray_icon::callback_message);
    EXPECT_EQ(r.hIcon, icon);
    EXPECT_EQ(r.uVersion, 3u);
    EXPECT_EQ(std::string(r.szTip), tip);
    EXPECT_TRUE(all_zero(r.szTip + tip.size(), sizeof r.szTip - tip.size()));
    EXPECT_EQ(r.dwState, 0u);
    EXPECT_EQ(r.dwStateMask, 0u);
    EXPECT_TRUE(all_zero(r.szInfo, sizeof r.szInfo));
    EXPECT_TRUE(all_zero(r.szInfoTitle, sizeof r.szInfoTitle));
    EXPECT_EQ(r.dwInfoFlags, 0u);
    EXPECT_TRUE(all_zero(&r.guidItem, sizeof r.guidItem));
}

class tray_icon_test : public ::testing::Test {
protected:
    std::shared_ptr<shell_log> log = std::make_shared<shell_log>();
    std::unique_ptr<c_tray_icon> tray =
        std::make_unique<c_tray_icon>(owner, std::make_unique<recording_shell>(log));

    void TearDown() override {
        tray.reset();
        EXPECT_TRUE(log->live.empty()) << "icons left unreleased";
        EXPECT_TRUE(log->released_twice_or_unknown.empty());
    }
};

TEST_F(tray_icon_test, add_loads_the_icon_and_gives_the_shell_the_whole_record) {
    EXPECT_EQ(tray->add(IDI_GLOBE_GREY, default_caption, 0), 0);

    ASSERT_EQ(log->calls.size(), 2u);
    EXPECT_EQ(log->calls[0].what, shell_call::load);
    EXPECT_EQ(log->calls[0].resource, IDI_GLOBE_GREY);
    ASSERT_EQ(log->calls[1].what, shell_call::notify);
    EXPECT_EQ(log->calls[1].command, static_cast<DWORD>(NIM_ADD));
    expect_record(log->calls[1].record, 0, log->calls[0].icon, default_caption);
}

TEST_F(tray_icon_test, modify_releases_the_old_icon_before_loading_the_new_one) {
    tray->add(IDI_GLOBE_GREY, "tip", 0);
    const HICON grey = log->calls[0].icon;
    log->calls.clear();

    EXPECT_EQ(tray->modify(IDI_GLOBE_ERROR, "tip", 0), 0);

    ASSERT_EQ(log->calls.size(), 3u);
    EXPECT_EQ(log->calls[0].what, shell_call::destroy);
    EXPECT_EQ(log->calls[0].icon, grey);
    EXPECT_EQ(log->calls[1].what, shell_call::load);
    EXPECT_EQ(log->calls[1].resource, IDI_GLOBE_ERROR);
    ASSERT_EQ(log->calls[2].what, shell_call::notify);
    EXPECT_EQ(log->calls[2].command, static_cast<DWORD>(NIM_MODIFY));
    expect_record(log->calls[2].record, 0, log->calls[1].icon, "tip");
}

TEST_F(tray_icon_test, an_icon_that_cannot_be_loaded_gives_minus_one_and_the_shell_is_not_called) {
    log->unloadable.insert(999);
    tray->add(IDI_GLOBE_GREY, "tip", 0);
    log->calls.clear();

    EXPECT_EQ(tray->modify(999, "tip", 0), -1);
    EXPECT_EQ(tray->add(999, "tip", 7), -1);

    EXPECT_TRUE(log->notifications().empty());
    EXPECT_TRUE(log->live.empty()) << "the earlier icon of the identifier is released";

    // Nothing is kept for the identifier: removing it releases nothing more.
    log->calls.clear();
    EXPECT_EQ(tray->remove(0), 0);
    ASSERT_EQ(log->calls.size(), 1u);
    EXPECT_EQ(log->calls[0].what, shell_call::notify);
}

TEST_F(tray_icon_test, remove_releases_the_icon_and_sends_delete_without_icon_or_tip) {
    tray->add(IDI_GLOBE_GREY, "tip", 5);
    const HICON icon = log->calls[0].icon;
    log->calls.clear();

    EXPECT_EQ(tray->remove(5), 0);

    ASSERT_EQ(log->calls.size(), 2u);
    EXPECT_EQ(log->calls[0].what, shell_call::destroy);
    EXPECT_EQ(log->calls[0].icon, icon);
    ASSERT_EQ(log->calls[1].what, shell_call::notify);
    EXPECT_EQ(log->calls[1].command, static_cast<DWORD>(NIM_DELETE));
    expect_record(log->calls[1].record, 5, nullptr, "");
}

TEST_F(tray_icon_test, icon_number_zero_loads_nothing_and_shows_no_icon) {
    EXPECT_EQ(tray->add(0, "tip", 0), 0);

    ASSERT_EQ(log->calls.size(), 1u);
    ASSERT_EQ(log->calls[0].what, shell_call::notify);
    expect_record(log->calls[0].record, 0, nullptr, "tip");
}

TEST_F(tray_icon_test, modify_before_add_still_loads_and_calls_the_shell_and_add_replaces_it) {
    EXPECT_EQ(tray->modify(IDI_GLOBE_GREY, "tip", 3), 0);
    ASSERT_EQ(log->calls.size(), 2u);
    const HICON first = log->calls[0].icon;
    EXPECT_EQ(log->calls[1].command, static_cast<DWORD>(NIM_MODIFY));

    log->calls.clear();
    EXPECT_EQ(tray->add(IDI_GLOBE, "tip", 3), 0);
    ASSERT_EQ(log->calls.size(), 3u);
    EXPECT_EQ(log->calls[0].what, shell_call::destroy);
    EXPECT_EQ(log->calls[0].icon, first);
    EXPECT_EQ(log->calls[1].resource, IDI_GLOBE);
    EXPECT_EQ(log->calls[2].command, static_cast<DWORD>(NIM_ADD));
    expect_record(log->calls[2].record, 3, log->calls[1].icon, "tip");
}

TEST_F(tray_icon_test, identifiers_keep_their_own_icons_and_deletion_releases_all_silently) {
    tray->add(IDI_GLOBE_GREY, "a", 0);
    tray->add(IDI_GLOBE_ERROR, "b", 1);
    tray->add(IDI_GLOBE, "c", 2);
    const HICON second = log->calls[2].icon;
    tray->remove(0);
    EXPECT_EQ(log->live.size(), 2u);
    EXPECT_TRUE(log->live.count(second));

    log->calls.clear();
    tray.reset();
    EXPECT_TRUE(log->live.empty());
    EXPECT_TRUE(log->notifications().empty()) << "deletion removes nothing from the area";
}

struct tip_case {
    const char* name;
    std::string tip; // "\x01" stands for no tip at all
    std::string shown;
};

class tray_tip_test : public tray_icon_test, public ::testing::WithParamInterface<tip_case> {};

TEST_P(tray_tip_test, the_tip_is_cut_to_62_bytes) {
    const tip_case& c = GetParam();
    const char* tip = c.tip == "\x01" ? nullptr : c.tip.c_str();
    ASSERT_EQ(tray->add(IDI_GLOBE_GREY, tip, 0), 0);
    const auto sent = log->notifications();
    ASSERT_EQ(sent.size(), 1u);
    expect_record(sent[0].record, 0, log->calls[0].icon, c.shown);
}

// Russian text is one byte per letter in the program's code page.
const std::string russian = "Клиент авторизации для АСР Zerva - подключение установлено, всё в "
                            "порядке";

INSTANTIATE_TEST_SUITE_P(
    tips, tray_tip_test,
    ::testing::Values(tip_case{"null", "\x01", ""}, tip_case{"empty", "", ""},
                      tip_case{"short", "Клиент", "Клиент"},
                      tip_case{"exactly_62", std::string(62, 'x'), std::string(62, 'x')},
                      tip_case{"63", std::string(62, 'x') + "y", std::string(62, 'x')},
                      tip_case{"long_russian", russian, russian.substr(0, 62)},
                      tip_case{"200", std::string(200, 'z'), std::string(62, 'z')}),
    [](const ::testing::TestParamInfo<tip_case>& info) { return std::string(info.param.name); });

// A tip that explains a failure may use all the record holds.
TEST_F(tray_icon_test, a_long_tip_takes_127_bytes) {
    const std::string tip = russian + "\n" + russian;
    ASSERT_EQ(tray->modify(IDI_GLOBE_ERROR, tip.c_str(), 0, c_tray_icon::long_tip_limit), 0);
    const auto sent = log->notifications();
    ASSERT_EQ(sent.size(), 1u);
    expect_record(sent[0].record, 0, log->calls[0].icon, tip.substr(0, 127));
}

// The balloon: only its own fields, over the icon that is there.
TEST_F(tray_icon_test, a_warning_balloon_carries_its_title_and_text) {
    tray->warn(0, "Клиент авторизации", std::string(300, 'w').c_str());
    const auto sent = log->notifications();
    ASSERT_EQ(sent.size(), 1u);
    const NOTIFYICONDATAA& r = sent[0].record;
    EXPECT_EQ(sent[0].command, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(r.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
    EXPECT_EQ(r.hWnd, owner);
    EXPECT_EQ(r.uID, 0u);
    EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(r.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_STREQ(r.szInfoTitle, "Клиент авторизации");
    EXPECT_EQ(std::string(r.szInfo), std::string(255, 'w'));
    EXPECT_EQ(r.hIcon, nullptr);
    EXPECT_TRUE(all_zero(r.szTip, sizeof r.szTip));
    EXPECT_TRUE(log->live.empty()) << "a balloon loads no icon";
}

// The same operations with the real shell under Wine, through a seam that only watches.
class watching_shell : public c_tray_shell {
public:
    explicit watching_shell(std::vector<BOOL>& results) : results_(results) {}
    HICON load_icon(int resource) override { return real_->load_icon(resource); }
    void destroy_icon(HICON icon) override { real_->destroy_icon(icon); }
    BOOL notify(DWORD command, NOTIFYICONDATAA* record) override {
        results_.push_back(real_->notify(command, record));
        return results_.back();
    }

private:
    std::unique_ptr<c_tray_shell> real_ = make_system_tray_shell();
    std::vector<BOOL>& results_;
};

TEST(tray_icon_system_test, loads_the_program_icons_at_the_small_icon_size) {
    const auto shell = make_system_tray_shell();
    for (int resource : {IDI_GLOBE, IDI_GLOBE_GREY, IDI_GLOBE_ERROR}) {
        const HICON icon = shell->load_icon(resource);
        ASSERT_NE(icon, nullptr) << resource;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        ASSERT_TRUE(info.hbmColor != nullptr);
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXSMICON));
        EXPECT_EQ(colour.bmHeight, GetSystemMetrics(SM_CYSMICON));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        shell->destroy_icon(icon);
    }
    EXPECT_EQ(shell->load_icon(9999), nullptr);
}

TEST(tray_icon_system_test, adds_changes_and_removes_the_icon_in_the_notification_area) {
    test::window_recorder window;
    std::vector<BOOL> results;
    c_tray_icon tray(window.window(), std::make_unique<watching_shell>(results));

    EXPECT_EQ(tray.add(IDI_GLOBE_GREY, default_caption, 0), 0);
    EXPECT_EQ(tray.modify(IDI_GLOBE, default_caption, 0), 0);
    EXPECT_EQ(tray.modify(9999, default_caption, 0), -1);
    EXPECT_EQ(tray.remove(0), 0);

    ASSERT_EQ(results.size(), 3u) << "the unloadable icon never reaches the shell";
    EXPECT_TRUE(results[0]) << "add";
    EXPECT_TRUE(results[1]) << "modify";
    EXPECT_TRUE(results[2]) << "remove";
}

} // namespace
