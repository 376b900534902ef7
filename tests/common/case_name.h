// Names the cases of a parameterised test after their `name` member, so that a test's full
// name says which case it runs (".../wrong_password"), not where the case stands in its table.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace test {

struct case_name {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

} // namespace test
