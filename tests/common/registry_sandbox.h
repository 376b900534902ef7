// The registry override of a test, which fails the test when the scratch key cannot be
// removed again.
#pragma once

#include "tests/common/registry_override.h"

#include <gtest/gtest.h>

class c_registry_sandbox : public test::registry_override {
public:
    c_registry_sandbox() = default;
    ~c_registry_sandbox() {
        const LONG status = restore();
        if (status != ERROR_SUCCESS)
            ADD_FAILURE() << "cannot remove the scratch key " << path() << ": " << status;
    }
    c_registry_sandbox(const c_registry_sandbox&) = delete;
    c_registry_sandbox& operator=(const c_registry_sandbox&) = delete;
};
