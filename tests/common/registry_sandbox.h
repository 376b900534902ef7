// HKEY_CURRENT_USER of the test process mapped onto a scratch key of its own, so that registry
// tests neither see nor disturb a real profile or each other. The scratch key lies under
// HKCU\Software\AuthClientTests and is removed again, with everything written into it.
#pragma once

#include <windows.h>

#include <string>

class c_registry_sandbox {
public:
    c_registry_sandbox();  // creates the scratch key and maps HKCU onto it
    ~c_registry_sandbox(); // restores HKCU and deletes the scratch key
    c_registry_sandbox(const c_registry_sandbox&) = delete;
    c_registry_sandbox& operator=(const c_registry_sandbox&) = delete;

    // The scratch key's path under the real HKCU, e.g. "Software\AuthClientTests\1234-1".
    const std::string& path() const { return path_; }

    // A name no other test process uses at the same time, for keys made outside the sandbox.
    static std::string unique_name();

private:
    std::string path_;
    HKEY scratch_ = nullptr;
};
