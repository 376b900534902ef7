// The worker's cycle against the reference server: exchanges, pauses, failures, fatal errors.
#include "tests/auth/client_fixture.h"
#include "tests/common/case_name.h"

#include "auth/packet.h"
#include "authclient_version.h"
#include "support/system_error.h"

#include <winsock2.h>

namespace test {
namespace {

struct transport {
    int protocol;
    const char* name;
};

void PrintTo(const transport& t, std::ostream* out) {
    *out << t.name;
}

class Exchange : public client_fixture, public ::testing::WithParamInterface<transport> {};

TEST_P(Exchange, FirstAuthorizationAnswersTheChallenge) {
    serve();
    configure(GetParam().protocol, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));

    const std::string first = request();
    EXPECT_EQ(json_ints(first, "chunks"), (std::vector<int>{7, 13, 1}));
    EXPECT_EQ(json_str(first, "login"), "user");
    // magic, login "user", the program's version, random request, end marker
    const std::string version = "WIN-" AUTHCLIENT_VERSION;
    test_bytes expected{0x44, 0x4C, 5, 0, 7, 'u', 's', 'e', 'r'};
    expected.insert(expected.end(), {static_cast<unsigned char>(version.size() + 1), 0, 13});
    expected.insert(expected.end(), version.begin(), version.end());
    expected.insert(expected.end(), {1, 0, 1, 0, 0});
    EXPECT_EQ(test_auth_server::hex_field(first, "hex"), expected);
    const std::string second = request();
    EXPECT_EQ(json_ints(second, "chunks"), (std::vector<int>{7, 13, 1, 2}));
    EXPECT_TRUE(json_bool(second, "verified"));
    EXPECT_FALSE(json_bool(second, "disconnect"));
}

TEST_P(Exchange, RenewsEveryPeriod) {
    serve();
    configure(GetParam().protocol, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    long long previous = json_int(request(), "t_ms");
    for (int renewal = 0; renewal < 2; ++renewal) {
        const std::string r = request();
        EXPECT_TRUE(json_bool(r, "verified"));
        EXPECT_GE(json_int(r, "t_ms") - previous, 900) << "renewed before the period was over";
        previous = json_int(r, "t_ms");
    }
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
}

TEST_P(Exchange, PeriodZeroRenewsWithoutPause) {
    serve();
    configure(GetParam().protocol, env::type_login, 0);
    connect();
    request();
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(json_bool(request(), "verified"));
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
}

TEST_P(Exchange, StopSendsTheDisconnectRequest) {
    serve();
    configure(GetParam().protocol, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();
    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(idle, 1));
    // busy for the disconnect exchange, authorised by its answer, idle at the end
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised, busy, authorised, idle}));
    const std::string last = request();
    EXPECT_TRUE(json_bool(last, "disconnect"));
    EXPECT_TRUE(json_bool(last, "verified"));
    EXPECT_FALSE(server->next_request(300).has_value()) << "a request after the disconnect";
}

TEST_P(Exchange, RecoversAfterFailuresWithQuickRetriesThenThePeriod) {
    serve();
    configure(GetParam().protocol, env::type_login, 3);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();
    server->command("fault error 1003 4");
    std::vector<long long> times;
    for (int i = 0; i < 5; ++i) // the four refused passes and the one that succeeds again
        times.push_back(json_int(request(20000), "t_ms"));
    ASSERT_TRUE(recorder.wait_state(authorised, 3));
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised, error, authorised}));
    for (int gap = 1; gap <= 3; ++gap) {
        EXPECT_GE(times[gap] - times[gap - 1], 450) << "quick retry " << gap;
        EXPECT_LT(times[gap] - times[gap - 1], 2500) << "quick retry " << gap;
    }
    EXPECT_GE(times[4] - times[3], 2900) << "the fourth pause is the full period";
}

TEST_P(Exchange, SilentServerAfterSuccessIsAnErrorNotAFatalOne) {
    serve();
    configure(GetParam().protocol, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    // Over TCP a server that closes without a word changes nothing; one that keeps the
    // connection open and says nothing has failed.
    server->command(GetParam().protocol == env::protocol_udp ? "fault drop 1" : "fault hold 1");
    ASSERT_TRUE(recorder.wait_state(error, 2, 30000));
    ASSERT_TRUE(recorder.wait_state(authorised, 3, 30000));
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised, error, authorised}));
    EXPECT_EQ(find_error_box(0), nullptr);
}

TEST_P(Exchange, WrongPasswordAtFirstIsFatal) {
    serve({"--account", "user:other"});
    configure(GetParam().protocol, env::type_login, 20);
    connect();
    EXPECT_EQ(take_error_box(), std::optional<std::string>("Неверный пароль"));
    ASSERT_TRUE(recorder.wait_state(idle, 1));
    EXPECT_EQ(recorder.states(), (states{idle, busy, idle}));
}

TEST_P(Exchange, ServerInfoReachesTheWindowOnce) {
    serve();
    // Not ASCII: through the control connection, not the command line.
    server->command(u8"info Внимание|Баланс: 10 руб.|icon=2;x=1");
    configure(GetParam().protocol, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    pump_until([&] { return !recorder.infos().empty(); }, 5000);
    ASSERT_EQ(recorder.infos().size(), 1u);
    EXPECT_EQ(recorder.infos()[0].header, u8"Внимание");
    EXPECT_EQ(recorder.infos()[0].data, u8"Баланс: 10 руб.");
    EXPECT_EQ(recorder.infos()[0].params, "icon=2;x=1");
}

INSTANTIATE_TEST_SUITE_P(Transports, Exchange,
                         ::testing::Values(transport{env::protocol_udp, "UDP"},
                                           transport{env::protocol_tcp, "TCP"}),
                         case_name());

// A broken answer ends a first authorization with a message box, and later only sets error.
struct fault_case {
    const char* name;
    const char* fault;
    const char* text;
};

void PrintTo(const fault_case& c, std::ostream* out) {
    *out << c.fault;
}

class BadAnswer : public client_fixture, public ::testing::WithParamInterface<fault_case> {};

TEST_P(BadAnswer, AtFirstIsFatal) {
    serve({"--account", "user:secret", "--fault", std::string(GetParam().fault) + ":1"});
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    EXPECT_EQ(take_error_box(), std::optional<std::string>(GetParam().text));
    ASSERT_TRUE(recorder.wait_state(idle, 1));
    EXPECT_EQ(recorder.states(), (states{idle, busy, idle}));
}

TEST_P(BadAnswer, AfterSuccessOnlySetsError) {
    serve();
    configure(env::protocol_tcp, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    server->command(std::string("fault ") + GetParam().fault + " 1");
    ASSERT_TRUE(recorder.wait_state(error, 2));
    ASSERT_TRUE(recorder.wait_state(authorised, 3));
    EXPECT_EQ(find_error_box(0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadAnswer,
    ::testing::Values(fault_case{"WrongMagic", "magic", "Ошибка протокола авторизации."},
                      fault_case{"BrokenChunks", "broken", "Ошибка протокола авторизации."},
                      fault_case{"SixtyFiveChunks", "chunks65", "Ошибка протокола авторизации."},
                      fault_case{"UnsupportedType", "type 7",
                                 "Сервер авторизации вернул неподдерживаемый тип данных: ID=7."},
                      fault_case{"UnknownErrorCode", "error 1009",
                                 "Сервер авторизации вернул код ошибки: 1009."},
                      fault_case{"KnownErrorCode", "error 1004", "IP-адрес занят"}),
    case_name());

class Client : public client_fixture {};

TEST_F(Client, ShortAnswersAreIgnored) {
    serve({"--account", "user:secret", "--fault", "short2:1"});
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
    EXPECT_EQ(find_error_box(0), nullptr);
}

// An answer that comes after its exchange was given up must not be taken for the next one, or
// every later exchange would read the answer before its own and answer a superseded challenge.
// (The late answer's challenge still supersedes at the server: one refused pass, then the
// client is back in step.)
TEST_F(Client, LateUdpAnswerIsNotTakenForTheNextOne) {
    serve();
    configure(env::protocol_udp, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    server->command("fault delay 6500 1");
    ASSERT_TRUE(recorder.wait_state(error, 2, 20000));
    while (server->next_request(0)) // the exchanges before the late answer
        ;
    int in_step = 0;
    for (int pass = 0; pass < 12 && in_step < 3; ++pass)
        in_step = json_bool(request(), "verified") ? in_step + 1 : 0;
    EXPECT_EQ(in_step, 3) << "never three verified exchanges in a row after the late answer";
    EXPECT_EQ(recorder.last_state(), authorised);
}

TEST_F(Client, LocalAddressGoesOnlyOverTcp) {
    serve({"--account", ":secret"});
    configure(env::protocol_tcp, env::type_local_ip, 20);
    connect("", "secret");
    ASSERT_TRUE(recorder.wait_state(authorised));
    const std::string tcp = request();
    EXPECT_EQ(json_ints(tcp, "chunks"), (std::vector<int>{13, 1, 10}));
    EXPECT_EQ(json_str(tcp, "local_ip"), json_str(tcp, "peer"));
    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(idle, 1));
    while (server->next_request(500))
        ;

    set(env::AUTH_PROTOCOL, "17");
    client->start();
    ASSERT_TRUE(recorder.wait_state(authorised, 6));
    const std::string udp = request();
    EXPECT_EQ(json_ints(udp, "chunks"), (std::vector<int>{13, 1}));
    EXPECT_TRUE(test_auth_server::is_null(udp, "local_ip"));
}

TEST_F(Client, PortAbove65535UsesItsLow16Bits) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    set(env::AUTH_PORT, std::to_string(server->port() + 65536));
    connect();
    EXPECT_TRUE(recorder.wait_state(authorised));
}

struct silence_case {
    const char* name;
    const char* fault;
    bool in_receive; // silent inside the answer: the receive fails, with the system's text
};

void PrintTo(const silence_case& c, std::ostream* out) {
    *out << c.fault;
}

class SilentTcpServer : public client_fixture,
                        public ::testing::WithParamInterface<silence_case> {};

// Five seconds of silence end the wait, before the answer or inside it: the worker never hangs.
TEST_P(SilentTcpServer, AtFirstIsFatal) {
    serve({"--account", "user:secret", "--fault", GetParam().fault});
    configure(env::protocol_tcp, env::type_login, 20);
    connect();
    std::string expected = "Нет ответа от сервера авторизации.";
    if (GetParam().in_receive)
        expected += "\n" + system_error_text(WSAETIMEDOUT);
    EXPECT_EQ(take_error_box(30000), std::optional<std::string>(expected));
    EXPECT_TRUE(recorder.wait_state(idle, 1));
}

INSTANTIATE_TEST_SUITE_P(Silences, SilentTcpServer,
                         ::testing::Values(silence_case{"BeforeTheAnswer", "hold:1", false},
                                           silence_case{"InsideTheAnswer", "stall:1", true}),
                         case_name());

struct name_case {
    const char* name;
    const char* server;
};

void PrintTo(const name_case& c, std::ostream* out) {
    *out << c.server;
}

class Unresolvable : public client_fixture, public ::testing::WithParamInterface<name_case> {};

TEST_P(Unresolvable, NameIsFatalWhileStillIdle) {
    configure(env::protocol_udp, env::type_login, 20);
    set(env::AUTH_SERVER, GetParam().server);
    connect();
    EXPECT_EQ(take_error_box(),
              std::optional<std::string>(std::string("Can't resolve server name '") +
                                         GetParam().server + "' into IP address."));
    pump_until([&] { return client->state() == idle; }, 5000);
    EXPECT_EQ(recorder.states(), (states{idle})) << "no state message at all";
}

INSTANTIATE_TEST_SUITE_P(Names, Unresolvable,
                         ::testing::Values(name_case{"UnknownName", "nonexistent.invalid"},
                                           name_case{"NoAddress", "0.0.0.0"}),
                         case_name());

} // namespace
} // namespace test
