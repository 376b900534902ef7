// The daily log as tests read it, and the log that one whole connection writes.
#pragma once

#include <string>
#include <vector>

namespace test {

// The day's log file in `folder`.
std::string daily_log_file(const std::string& folder);

// The lines of a log file as tests compare them: each must end in CR LF and start with a time
// stamp; the stamp is taken off and the server's random numbers are masked as N.
std::vector<std::string> masked_log_lines(const std::string& file);

// How many lines of the file hold `text`.
int log_count(const std::string& file, const std::string& text);

enum class transport { udp, tcp };

// What the client logs at LOG_LEVEL 5 for one connection to `server` ("127.0.0.1:port"), as
// masked_log_lines gives it: the challenge and its answer, a stop while it waits in its pause
// and the disconnect exchange, and the worker's end at the next pause. With `trace`, the
// client object's TRACE lines of level 6 stand among them.
std::vector<std::string> connection_log(const std::string& server, transport via, bool trace);

} // namespace test
