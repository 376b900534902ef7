#include "tests/common/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {
const char* const tests_root = "Software\\AuthClientTests";
}

std::string c_registry_sandbox::unique_name() {
    static std::atomic<unsigned> sequence{0};
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
           std::to_string(++sequence);
}

c_registry_sandbox::c_registry_sandbox() : path_(std::string(tests_root) + "\\" + unique_name()) {
    LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &scratch_, nullptr);
    if (status != ERROR_SUCCESS) {
        scratch_ = nullptr;
        ADD_FAILURE() << "cannot create the scratch key " << path_ << ": " << status;
        throw std::runtime_error("registry sandbox");
    }
    status = RegOverridePredefKey(HKEY_CURRENT_USER, scratch_);
    if (status != ERROR_SUCCESS) {
        RegCloseKey(scratch_);
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        ADD_FAILURE() << "cannot map HKEY_CURRENT_USER onto " << path_ << ": " << status;
        throw std::runtime_error("registry sandbox");
    }
}

c_registry_sandbox::~c_registry_sandbox() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch_);
    const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    if (status != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot remove the scratch key " << path_ << ": " << status;
    RegDeleteKeyA(HKEY_CURRENT_USER, tests_root); // only succeeds once no other test holds a key
}
