// One whole connection at LOG_LEVEL 6, compared line by line with the expected log.
#include "tests/auth/client_fixture.h"
#include "tests/common/log_lines.h"

#include "support/system_error.h"

#include <winsock2.h>

#include <fstream>

namespace test {
namespace {

class ClientLog : public logged_client_fixture {};

TEST_F(ClientLog, WholeConnectionAtTraceLevel) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    set(env::LOG_LEVEL, "6");
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    // Stop only once the worker waits in its pause, so the order of the lines is fixed.
    ASSERT_TRUE(pump_until([&] { return log_count("Pause: 20000 ms ...") >= 1; }, 10000));
    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(auth::idle, 1));
    client.reset();

    EXPECT_EQ(log_lines(), connection_log(server_text(server->port()), transport::udp, true));
}

TEST_F(ClientLog, LevelOneWritesOnlyErrors) {
    serve({"--account", "user:other"});
    configure(env::protocol_udp, env::type_login, 20);
    set(env::LOG_LEVEL, "1");
    connect();
    ASSERT_TRUE(take_error_box());
    ASSERT_TRUE(recorder.wait_state(auth::idle, 1));
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"[ERROR] CLIENT - -> Error: Server error code: 1001",
                                        "[ERROR] CLIENT - Error ! Неверный пароль"}));
}

TEST_F(ClientLog, LevelZeroWritesNoFile) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    EXPECT_EQ(GetFileAttributesA(log_file().c_str()), INVALID_FILE_ATTRIBUTES);
}

// The system text in a fatal box is that of the socket call that failed, whatever the logger's
// own file calls leave behind (the day's file is there already, so opening it reports that).
struct box_case {
    const char* name;
    std::vector<std::string> server_arguments; // empty: nobody listens
    int protocol;
    const char* message;
    int error;
};

void PrintTo(const box_case& c, std::ostream* out) {
    *out << c.name;
}

class BoxText : public logged_client_fixture,
                public ::testing::WithParamInterface<std::tuple<box_case, int>> {};

TEST_P(BoxText, IsTheFailingCallsAtEveryLogLevel) {
    const box_case& c = std::get<0>(GetParam());
    std::ofstream(log_file()) << "a line of an earlier start\r\n";
    serve(c.server_arguments.empty() ? std::vector<std::string>{} : c.server_arguments);
    if (c.server_arguments.empty())
        server.reset(); // nobody listens on its port any more
    configure(c.protocol, env::type_login, 20);
    set(env::LOG_LEVEL, std::to_string(std::get<1>(GetParam())));
    connect();
    EXPECT_EQ(take_error_box(30000),
              std::optional<std::string>(c.message + ("\n" + system_error_text(c.error))));
    EXPECT_TRUE(recorder.wait_state(auth::idle, 1));
}

INSTANTIATE_TEST_SUITE_P(
    FatalSocketFailures, BoxText,
    ::testing::Combine(
        ::testing::Values(
            box_case{"Refused",
                     {},
                     env::protocol_tcp,
                     "Сервер авторизации (TCP) недоступен.",
                     WSAECONNREFUSED},
            box_case{"DroppedSyn",
                     {"--account", "user:secret", "--fault", "unreachable"},
                     env::protocol_tcp,
                     "Сервер авторизации (TCP) недоступен.",
                     WSAETIMEDOUT},
            box_case{"SilentInsideTheAnswer",
                     {"--account", "user:secret", "--fault", "stall:1"},
                     env::protocol_tcp,
                     "Нет ответа от сервера авторизации.",
                     WSAETIMEDOUT},
            box_case{
                "UnknownProtocol", {"--account", "user:secret"}, 5, "Select failed.", WSAENOTSOCK}),
        ::testing::Values(0, 6)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "AtLevel" +
               std::to_string(std::get<1>(info.param));
    });

// What already waits in the socket before a request is dropped, empty or longer than the
// buffer, and logged with its real size.
class LateDatagram : public logged_client_fixture, public ::testing::WithParamInterface<int> {};

TEST_P(LateDatagram, IsDroppedWithItsSizeBeforeTheNextRequest) {
    serve();
    configure(env::protocol_udp, env::type_login, 1);
    set(env::LOG_LEVEL, "5");
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    request();
    request();
    server->command("fault late " + std::to_string(GetParam()) + " 1");
    request();
    EXPECT_TRUE(json_bool(request(), "verified")) << "the renewal after the late datagram";
    EXPECT_TRUE(pump_until(
        [&] {
            return log_count("Late answer dropped: " + std::to_string(GetParam()) + " bytes") == 1;
        },
        5000));
    EXPECT_EQ(recorder.states(), (std::vector<int>{auth::idle, auth::busy, auth::authorised}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, LateDatagram, ::testing::Values(0, 9000),
                         [](const auto& info) { return "Bytes" + std::to_string(info.param); });

// A server text with line breaks and a NUL stays on its own line, the characters escaped.
TEST_F(ClientLog, ControlCharactersOfServerTextsAreEscaped) {
    serve();
    server->command("info Hello\\r\\n[01.01.2026 00:00:00] [ERROR] forged\\x00end||");
    configure(env::protocol_udp, env::type_login, 20);
    set(env::LOG_LEVEL, "5");
    connect();
    ASSERT_TRUE(recorder.wait_state(auth::authorised));
    ASSERT_TRUE(pump_until([&] { return !recorder.infos().empty(); }, 5000));
    const std::string header =
        std::string("Hello\r\n[01.01.2026 00:00:00] [ERROR] forged") + '\0' + "end";
    EXPECT_EQ(recorder.infos()[0].header, header) << "the window gets the text unchanged";
    const std::vector<std::string> lines = log_lines(); // each must start with a stamp
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "[DEBUG] CLIENT - -> Server info message header: "
                        "Hello\\r\\n[01.01.2026 00:00:00] [ERROR] forged\\x00end"),
              lines.end());
    EXPECT_EQ(log_count("forged"), 1);
}

} // namespace
} // namespace test
