#include "tests/common/log_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace test {

std::vector<std::string> masked_log_lines(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> result;
    const std::regex stamp(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\] )");
    const std::regex random(R"(Server random message: -?\d+$)");
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "no CR LF: " << line;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        line = std::regex_replace(line, stamp, "");
        result.push_back(std::regex_replace(line, random, "Server random message: N"));
    }
    return result;
}

} // namespace test
