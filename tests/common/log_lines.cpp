#include "tests/common/log_lines.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace test {

std::string daily_log_file(const std::string& folder) {
    return folder + "\\" + local_time_text("zerva_client_%d.%m.%Y.log");
}

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

int log_count(const std::string& file, const std::string& text) {
    int seen = 0;
    for (const std::string& line : masked_log_lines(file))
        seen += line.find(text) != std::string::npos;
    return seen;
}

namespace {

const std::string debug = "[DEBUG] CLIENT - ";
const std::string trace_line = "[TRACE] CLIENT - ";

// One exchange, from building the request (its standard chunks, then `chunks`) to an answer
// with a random number that authorised.
std::vector<std::string> exchange(const std::string& server, transport via,
                                  const std::vector<std::string>& chunks) {
    std::vector<std::string> lines = {debug + "Building auth packet:", debug + "<- Magic word",
                                      debug + "<- Login", debug + "<- Client version",
                                      debug + "<- Request for server random message"};
    for (const std::string& chunk : chunks)
        lines.push_back(debug + chunk);
    lines.push_back(debug + "<- End of chunks");
    if (via == transport::tcp)
        lines.push_back(debug + "Connecting to auth server: " + server);
    lines.insert(lines.end(),
                 {debug + "Sending auth packet to server: " + server,
                  debug + "Receive server answer",
                  debug + "OK, got data from auth server: 20 bytes",
                  debug + "Parsing server answer packet:", debug + "-> Server random message: N",
                  "[INFO] CLIENT - -> Auth OK"});
    return lines;
}

} // namespace

std::vector<std::string> connection_log(const std::string& server, transport via, bool trace) {
    std::vector<std::string> lines;
    auto add = [&](const std::vector<std::string>& part) {
        lines.insert(lines.end(), part.begin(), part.end());
    };
    if (trace)
        add({trace_line + "auth::c_client::c_client(const env::c_env&)",
             trace_line + "void auth::c_client::start()",
             trace_line + "static DWORD auth::c_client::auth_proc(LPVOID)"});
    lines.push_back(debug + "Resolving server name into IP address");
    if (via == transport::udp)
        add({debug + "Creating UDP socket", debug + "Binding UDP socket"});
    // the challenge, then its answer, without a pause
    lines.push_back(debug + "Auth cycle BEGIN");
    add(exchange(server, via, {}));
    lines.push_back(debug + "Auth cycle BEGIN");
    add(exchange(server, via, {"<- Encrypted server random message"}));
    // the stop ends the pause; the disconnect exchange
    add({debug + "Auth cycle BEGIN", debug + "Pause: 20000 ms ..."});
    if (trace)
        lines.push_back(trace_line + "void auth::c_client::stop(int)");
    lines.push_back(debug + "Force disconnect!");
    add(exchange(server, via, {"<- Encrypted server random message", "<- Request to disconnect"}));
    // the next pause ends the worker
    add({debug + "Auth cycle BEGIN", debug + "Pause: 20000 ms ...", debug + "Force disconnect!"});
    if (trace)
        add({trace_line + "auth::c_client::~c_client()",
             trace_line + "void auth::c_client::stop(int)"});
    return lines;
}

} // namespace test
