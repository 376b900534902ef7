#include "env/protector.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(VolumeKey, IsTheSerialNumberOfDriveC) {
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    env::c_protector p;
    p.key = 0xDEADBEEF;
    p.read_volume_key();
    EXPECT_EQ(p.key, serial);
}

// The form saved on this machine comes back only with this machine's key.
TEST(VolumeKey, ProtectsForThisMachine) {
    env::c_protector here;
    here.read_volume_key();
    const std::string stored = here.protect("Пароль");
    env::c_protector again;
    again.read_volume_key();
    EXPECT_EQ(again.unprotect(stored.c_str()), "Пароль");
    env::c_protector elsewhere;
    elsewhere.key = here.key ^ 0x01010101;
    EXPECT_NE(elsewhere.unprotect(stored.c_str()), "Пароль");
}

} // namespace
