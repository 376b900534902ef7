// The application object that the widgets reach their settings through, built once for the
// test program, and a fixture that gives each test a fresh registry and environment.
#pragma once

#include "app/application.h"
#include "env/env.h"
#include "tests/common/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

// The pixels of a bitmap (32 bits each), to compare what a static shows with a resource; empty
// for no bitmap.
std::vector<unsigned char> pixels(HBITMAP bitmap);

// Destroys a main window that a test made, with what it built (no worker may run any more).
void destroy_main_window(HWND window);

class settings_test : public ::testing::Test {
protected:
    settings_test();
    ~settings_test() override;

    const env::c_env& settings() const { return *app->environment; }
    void store(int key, const char* text) const;

    // A settings value exactly as stored under "Software\Auth Client", or nothing.
    static std::optional<std::string> stored(const char* name);

private:
    c_registry_sandbox sandbox_; // before the environment, which must only see the scratch key
};

} // namespace test
