#include "tests/common/registry_override.h"

#include <atomic>
#include <stdexcept>

namespace test {

namespace {
const char* const tests_root = "Software\\AuthClientTests";
}

std::string registry_override::unique_name() {
    static std::atomic<unsigned> sequence{0};
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
           std::to_string(++sequence);
}

registry_override::registry_override() : path_(std::string(tests_root) + "\\" + unique_name()) {
    LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &scratch_, nullptr);
    if (status != ERROR_SUCCESS) {
        scratch_ = nullptr;
        throw std::runtime_error("cannot create the scratch key " + path_ + ": " +
                                 std::to_string(status));
    }
    status = RegOverridePredefKey(HKEY_CURRENT_USER, scratch_);
    if (status != ERROR_SUCCESS) {
        RegCloseKey(scratch_);
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        throw std::runtime_error("cannot map HKEY_CURRENT_USER onto " + path_ + ": " +
                                 std::to_string(status));
    }
}

LONG registry_override::restore() {
    if (!scratch_)
        return ERROR_SUCCESS;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch_);
    scratch_ = nullptr;
    const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, tests_root); // only succeeds once no other run holds a key
    return status;
}

} // namespace test
