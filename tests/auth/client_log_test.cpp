// One whole connection at LOG_LEVEL 6, compared line by line with the expected log.
#include "tests/auth/client_fixture.h"

#include "support/text.h"
#include "tests/common/log_lines.h"

#include <windows.h>

#include <fstream>
#include <regex>

namespace test {
namespace {

class ClientLog : public client_fixture {
protected:
    ClientLog() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder_ = std::string(temp) + "authclient-log-" + c_registry_sandbox::unique_name();
        CreateDirectoryA(folder_.c_str(), nullptr);
        GetCurrentDirectoryA(sizeof previous_, previous_);
        SetCurrentDirectoryA(folder_.c_str());
    }
    ~ClientLog() override {
        SetCurrentDirectoryA(previous_);
        DeleteFileA(file().c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string file() const {
        return folder_ + "\\" + local_time_text("zerva_client_%d.%m.%Y.log");
    }

    // The lines with their stamps and the server's random numbers masked.
    std::vector<std::string> lines() const { return masked_log_lines(file()); }

    bool log_holds(const std::string& text, int times) const {
        int seen = 0;
        for (const std::string& line : lines())
            seen += line.find(text) != std::string::npos;
        return seen >= times;
    }

private:
    std::string folder_;
    char previous_[MAX_PATH] = {};
};

TEST_F(ClientLog, WholeConnectionAtTraceLevel) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    set(env::LOG_LEVEL, "6");
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    // Stop only once the worker waits in its pause, so the order of the lines is fixed.
    ASSERT_TRUE(pump_until([&] { return log_holds("Pause: 20000 ms ...", 1); }, 10000));
    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(auth::idle, 1));
    client.reset();

    const std::string to = "Sending auth packet to server: " + server_text(server->port());
    const std::vector<std::string> request_head = {
        "[DEBUG] CLIENT - Auth cycle BEGIN",
        "[DEBUG] CLIENT - Building auth packet:",
        "[DEBUG] CLIENT - <- Magic word",
        "[DEBUG] CLIENT - <- Login",
        "[DEBUG] CLIENT - <- Client version",
        "[DEBUG] CLIENT - <- Request for server random message"};
    const std::vector<std::string> answer = {
        "[DEBUG] CLIENT - <- End of chunks",
        "[DEBUG] CLIENT - " + to,
        "[DEBUG] CLIENT - Receive server answer",
        "[DEBUG] CLIENT - OK, got data from auth server: 20 bytes",
        "[DEBUG] CLIENT - Parsing server answer packet:",
        "[DEBUG] CLIENT - -> Server random message: N",
        "[INFO] CLIENT - -> Auth OK"};

    std::vector<std::string> expected = {
        "[TRACE] CLIENT - auth::c_client::c_client(const env::c_env&)",
        "[TRACE] CLIENT - void auth::c_client::start()",
        "[TRACE] CLIENT - static DWORD auth::c_client::auth_proc(LPVOID)",
        "[DEBUG] CLIENT - Resolving server name into IP address",
        "[DEBUG] CLIENT - Creating UDP socket",
        "[DEBUG] CLIENT - Binding UDP socket"};
    auto add = [&](const std::vector<std::string>& part) {
        expected.insert(expected.end(), part.begin(), part.end());
    };
    // the challenge
    add(request_head);
    add(answer);
    // its answer
    add(request_head);
    expected.push_back("[DEBUG] CLIENT - <- Encrypted server random message");
    add(answer);
    // the pause, the stop, the disconnect exchange
    add({"[DEBUG] CLIENT - Auth cycle BEGIN", "[DEBUG] CLIENT - Pause: 20000 ms ...",
         "[TRACE] CLIENT - void auth::c_client::stop(int)", "[DEBUG] CLIENT - Force disconnect!"});
    add(std::vector<std::string>(request_head.begin() + 1, request_head.end()));
    add({"[DEBUG] CLIENT - <- Encrypted server random message",
         "[DEBUG] CLIENT - <- Request to disconnect"});
    add(answer);
    // the next pause ends the worker
    add({"[DEBUG] CLIENT - Auth cycle BEGIN", "[DEBUG] CLIENT - Pause: 20000 ms ...",
         "[DEBUG] CLIENT - Force disconnect!", "[TRACE] CLIENT - auth::c_client::~c_client()",
         "[TRACE] CLIENT - void auth::c_client::stop(int)"});

    EXPECT_EQ(lines(), expected);
}

TEST_F(ClientLog, LevelOneWritesOnlyErrors) {
    serve({"--account", "user:other"});
    configure(env::protocol_udp, env::type_login, 20);
    set(env::LOG_LEVEL, "1");
    connect();
    ASSERT_TRUE(take_error_box());
    ASSERT_TRUE(recorder.wait_state(auth::idle, 1));
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"[ERROR] CLIENT - -> Error: Server error code: 1001",
                                        "[ERROR] CLIENT - Error ! Неверный пароль"}));
}

TEST_F(ClientLog, LevelZeroWritesNoFile) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    EXPECT_EQ(GetFileAttributesA(file().c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace test
