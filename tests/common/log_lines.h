// The lines of a daily log file as tests compare them: each must end in CR LF and start with a
// time stamp; the stamp is taken off and the server's random numbers are masked as N.
#pragma once

#include <string>
#include <vector>

namespace test {

std::vector<std::string> masked_log_lines(const std::string& file);

} // namespace test
