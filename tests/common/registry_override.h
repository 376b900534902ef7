// HKEY_CURRENT_USER of this process mapped onto a scratch key of its own, so that what a test
// or a benchmark writes there neither sees nor disturbs a real profile or another run. The
// scratch key lies under HKCU\Software\AuthClientTests and is removed again, with everything
// written into it.
#pragma once

#include <windows.h>

#include <string>

namespace test {

class registry_override {
public:
    registry_override(); // creates the scratch key and maps HKCU onto it; throws if it cannot
    ~registry_override() { restore(); }
    registry_override(const registry_override&) = delete;
    registry_override& operator=(const registry_override&) = delete;

    // Maps HKCU back and deletes the scratch key; ERROR_SUCCESS, or why the key stays. Once
    // done, it does nothing.
    LONG restore();

    // The scratch key's path under the real HKCU, e.g. "Software\AuthClientTests\1234-1".
    const std::string& path() const { return path_; }

    // A name no other process uses at the same time, for keys and folders of a test's own.
    static std::string unique_name();

private:
    std::string path_;
    HKEY scratch_ = nullptr;
};

} // namespace test
