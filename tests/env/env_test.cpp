#include "authclient_version.h"
#include "env/env.h"
#include "env/protector.h"
#include "support/logger.h"
#include "tests/common/case_name.h"
#include "tests/common/registry_sandbox.h"
#include "tests/env/raw_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace env;

const char* const settings_path = "Software\\Auth Client";
const char* const run_path = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class Env : public ::testing::Test {
protected:
    void SetUp() override {
        // Russian texts of the string table reach the program in the ANSI code page.
        ASSERT_EQ(GetACP(), 1251u) << "run under a Russian locale (LANG=ru_RU.UTF-8)";
    }
    c_registry_sandbox sandbox_;
};

struct default_case {
    const char* name;
    int key;
    const char* text;
};

void PrintTo(const default_case& c, std::ostream* out) {
    *out << c.name;
}

class EnvDefault : public Env, public ::testing::WithParamInterface<default_case> {};

TEST_P(EnvDefault, EmptyRegistryGivesTheDefault) {
    const c_env e(nullptr);
    EXPECT_EQ(e.value(GetParam().key).get_str(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EnvDefault,
    ::testing::Values(
        default_case{"AUTH_SERVER", AUTH_SERVER, "auth.example.net"},
        default_case{"AUTH_PORT", AUTH_PORT, "777"},
        default_case{"AUTH_PROTOCOL", AUTH_PROTOCOL, "6"},
        default_case{"AUTH_TYPE", AUTH_TYPE, "2"}, default_case{"AUTH_PASSWD", AUTH_PASSWD, ""},
        default_case{"AUTH_LOGIN", AUTH_LOGIN, ""}, default_case{"AUTH_SAVE", AUTH_SAVE, "0"},
        default_case{"RECONNECT_PERIOD", RECONNECT_PERIOD, "20"},
        default_case{"APP_CAPTION", APP_CAPTION, "Клиент авторизации " AUTHCLIENT_VERSION},
        default_case{"AuthClient", AuthClient, ""},
        default_case{"LINK_PERSONAL", LINK_PERSONAL, "https://my.example.net/"},
        default_case{"PROTECT_SETTINGS", PROTECT_SETTINGS, "0"},
        default_case{"LOG_LEVEL", LOG_LEVEL, "0"}),
    test::case_name());

TEST_F(Env, ReadingCreatesTheSettingsKeyEmpty) {
    ASSERT_FALSE(raw::key_exists(settings_path));
    const c_env e(nullptr);
    EXPECT_FALSE(raw::key_exists(settings_path)) << "the constructor reads no registry";
    EXPECT_EQ(e.value(AUTH_PORT).get_int(), 777);
    EXPECT_EQ(e.value(AUTH_PROTOCOL).get_int(), 6);
    EXPECT_EQ(e.value(AUTH_TYPE).get_int(), 2);
    EXPECT_EQ(e.value(RECONNECT_PERIOD).get_int(), 20);
    EXPECT_EQ(e.value(AUTH_SAVE).get_int(), 0);
    EXPECT_EQ(e.value(PROTECT_SETTINGS).get_int(), 0);
    EXPECT_EQ(e.value(LOG_LEVEL).get_int(), 0);
    ASSERT_TRUE(raw::key_exists(settings_path));
    EXPECT_EQ(raw::counts(settings_path), std::make_pair(DWORD{0}, DWORD{0}));
}

struct binding_case {
    int key;
    const char* path;
    const char* name;
};

void PrintTo(const binding_case& c, std::ostream* out) {
    *out << c.name;
}

class EnvBinding : public Env, public ::testing::WithParamInterface<binding_case> {};

// Each setting reads and writes its own registry value, and no other.
TEST_P(EnvBinding, SettingIsBoundToItsRegistryValue) {
    const c_env e(nullptr);
    ASSERT_TRUE(raw::write(GetParam().path, GetParam().name, REG_SZ, std::string("written\0", 8)));
    EXPECT_EQ(e.value(GetParam().key).get_str(), "written");
    for (int other = 0; other <= 12; ++other) {
        if (other != GetParam().key) {
            EXPECT_NE(e.value(other).get_str(), "written") << "key " << other;
        }
    }

    e.value(GetParam().key).set(-42);
    const raw::value v = raw::read(GetParam().path, GetParam().name);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, std::string("-42\0", 4));
    e.value(GetParam().key).remove();
    EXPECT_FALSE(raw::read(GetParam().path, GetParam().name).exists);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EnvBinding,
    ::testing::Values(binding_case{AUTH_SERVER, settings_path, "AUTH_SERVER"},
                      binding_case{AUTH_PORT, settings_path, "AUTH_PORT"},
                      binding_case{AUTH_PROTOCOL, settings_path, "AUTH_PROTOCOL"},
                      binding_case{AUTH_TYPE, settings_path, "AUTH_TYPE"},
                      binding_case{AUTH_PASSWD, settings_path, "AUTH_PASSWD"},
                      binding_case{AUTH_LOGIN, settings_path, "AUTH_LOGIN"},
                      binding_case{AUTH_SAVE, settings_path, "AUTH_SAVE"},
                      binding_case{RECONNECT_PERIOD, settings_path, "RECONNECT_PERIOD"},
                      binding_case{APP_CAPTION, settings_path, "APP_CAPTION"},
                      binding_case{AuthClient, run_path, "AuthClient"},
                      binding_case{LINK_PERSONAL, settings_path, "LINK_PERSONAL"},
                      binding_case{PROTECT_SETTINGS, settings_path, "PROTECT_SETTINGS"},
                      binding_case{LOG_LEVEL, settings_path, "LOG_LEVEL"}),
    test::case_name());

TEST_F(Env, AutostartCommandIsStoredAsGivenWithoutQuotes) {
    const c_env e(nullptr);
    const std::string command = "C:\\Program Files\\Клиент\\AuthClient.exe --tray --connect";
    e.value(AuthClient).set(command);
    EXPECT_EQ(raw::read(run_path, "AuthClient").data, command + '\0');
    EXPECT_EQ(e.value(AuthClient).get_str(), command);
    e.value(AuthClient).remove();
    EXPECT_EQ(e.value(AuthClient).get_str(), "");
    e.value(AuthClient).remove(); // deleting an absent value is harmless
    EXPECT_FALSE(raw::read(run_path, "AuthClient").exists);
}

// --- saved credentials ---------------------------------------------------------------------

// The volume key as the system reports it, read apart from c_protector.
c_protector machine_protector() {
    c_protector p;
    DWORD serial = 0;
    if (GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        p.key = serial;
    return p;
}

TEST_F(Env, SavingOffWritesEmptyValues) {
    c_env e(nullptr);
    e.login = "user";
    e.password = "secret";
    e.save_credentials(true);
    ASSERT_NE(raw::read(settings_path, "AUTH_PASSWD").data.size(), 1u);

    e.save_credentials(false);
    for (const char* name : {"AUTH_LOGIN", "AUTH_PASSWD"}) {
        const raw::value v = raw::read(settings_path, name);
        EXPECT_TRUE(v.exists) << name << " is written empty, not deleted";
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(v.data, std::string(1, '\0')) << name;
    }
    EXPECT_EQ(raw::read(settings_path, "AUTH_SAVE").data, std::string("0\0", 2));
}

TEST_F(Env, SavingOnStoresTheProtectedForms) {
    c_env e(nullptr);
    e.login = "абонент_01";
    e.password = "Пароль 123";
    e.save_credentials(true);
    const c_protector p = machine_protector();
    EXPECT_EQ(raw::read(settings_path, "AUTH_SAVE").data, std::string("1\0", 2));
    EXPECT_EQ(e.value(AUTH_LOGIN).get_str(), p.protect("абонент_01"));
    EXPECT_EQ(e.value(AUTH_PASSWD).get_str(), p.protect("Пароль 123"));
    // What the main window does at start-up brings the texts back.
    c_protector reader;
    reader.read_volume_key();
    EXPECT_EQ(reader.unprotect(e.value(AUTH_LOGIN).get_str().c_str()), "абонент_01");
    EXPECT_EQ(reader.unprotect(e.value(AUTH_PASSWD).get_str().c_str()), "Пароль 123");
}

TEST_F(Env, NoPlainCredentialIsEverWritten) {
    c_env e(nullptr);
    e.login = "plainlogin";
    e.password = "plainsecret";
    e.save_credentials(true);
    e.password = "second-secret";
    e.save_credentials(true);
    e.save_credentials(false);
    e.save_credentials(true);
    const std::vector<std::string> data = raw::all_data();
    ASSERT_GE(data.size(), 3u);
    for (const std::string& d : data)
        for (const char* secret : {"plainlogin", "plainsecret", "second-secret", "secret"})
            EXPECT_EQ(d.find(secret), std::string::npos) << d;
}

TEST_F(Env, EmptyCurrentPasswordKeepsTheStoredOne) {
    c_env e(nullptr);
    e.login = "user";
    e.password = "secret";
    e.save_credentials(true);
    const std::string stored = e.value(AUTH_PASSWD).get_str();
    e.value(AUTH_SAVE).set(0);

    e.password.clear();
    e.save_credentials(true);
    EXPECT_EQ(e.value(AUTH_SAVE).get_str(), "1");
    EXPECT_EQ(e.value(AUTH_PASSWD).get_str(), stored);
}

// Under AUTH_TYPE 1 the main window leaves the current login empty, so a save keeps the login
// stored earlier under AUTH_TYPE 2.
TEST_F(Env, LoginStoredUnderLoginTypeSurvivesASaveUnderIpType) {
    c_env earlier(nullptr);
    earlier.login = "user";
    earlier.password = "one";
    earlier.save_credentials(true);
    const std::string stored_login = earlier.value(AUTH_LOGIN).get_str();

    c_env e(nullptr);
    e.value(AUTH_TYPE).set(type_ip);
    e.password = "two";
    e.save_credentials(true);
    EXPECT_EQ(e.value(AUTH_LOGIN).get_str(), stored_login);
    EXPECT_EQ(machine_protector().unprotect(e.value(AUTH_PASSWD).get_str().c_str()), "two");
}

// LOG_LEVEL as the client hands it to its logger.
TEST_F(Env, LogLevelTextBecomesTheLoggerThreshold) {
    const c_env e(nullptr);
    const std::pair<const char*, int> cases[] = {{"verbose", 0}, {"", 0},  {" 5 lines", 5},
                                                 {"-3", -3},     {"6", 6}, {"99", 99}};
    for (const auto& c : cases) {
        e.value(LOG_LEVEL).set(c.first);
        const c_logger logger(e.value(LOG_LEVEL).get_int(), "zerva_client_%d.%m.%Y.log", "CLIENT");
        EXPECT_EQ(logger.level(), c.second) << c.first;
        for (int level = LOG_ERROR; level <= LOG_TRACE; ++level)
            EXPECT_EQ(logger.enabled(level), level <= c.second) << c.first << " at " << level;
    }
}

} // namespace
