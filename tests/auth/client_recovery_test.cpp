// Back online by itself: a connect at logon waits for the network, a resume or an address
// change renews at once, a moved server is found again.
#include "tests/auth/client_fixture.h"

#include "support/system_error.h"

#include <winsock2.h>

namespace test {
namespace {

const char* const refused_text = "Сервер авторизации (TCP) недоступен.";

class AtLogon : public logged_client_fixture {};

// The server does not answer yet (its SYNs are dropped): the window shows the error with no
// box, the worker tries again after 2 s, 4 s, ..., and is authorised once the server answers.
TEST_F(AtLogon, WaitsForTheServer) {
    serve({"--account", "user:secret", "--fault", "unreachable"});
    configure(env::protocol_tcp, env::type_login, 20);
    set(env::LOG_LEVEL, "3");
    connect_at_logon();
    ASSERT_TRUE(recorder.wait_state(error));
    EXPECT_EQ(client->failure_text(), refused_text + ("\n" + system_error_text(WSAETIMEDOUT)));
    ASSERT_TRUE(
        pump_until([&] { return log_count("Waiting for the network: retry in 2 s") == 1; }, 5000));
    EXPECT_EQ(find_error_box(0), nullptr);

    server->command("fault none");
    ASSERT_TRUE(recorder.wait_state(authorised, 0, 30000));
    EXPECT_EQ(recorder.states(), (states{idle, busy, error, authorised}));
    EXPECT_EQ(find_error_box(0), nullptr);
}

// A name that does not resolve yet (the network's name service not up) is waited for too.
TEST_F(AtLogon, WaitsForTheName) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    set(env::AUTH_SERVER, "nonexistent.invalid");
    set(env::LOG_LEVEL, "3");
    connect_at_logon();
    ASSERT_TRUE(recorder.wait_state(error));
    EXPECT_EQ(client->failure_text(),
              "Can't resolve server name 'nonexistent.invalid' into IP address.");
    ASSERT_TRUE(
        pump_until([&] { return log_count("Waiting for the network: retry in 4 s") == 1; }, 15000));
    set(env::AUTH_SERVER, "127.0.0.1");
    ASSERT_TRUE(recorder.wait_state(authorised, 0, 20000));
    EXPECT_EQ(recorder.states(), (states{idle, error, authorised}));
}

// What the server says is no network trouble: a refusal ends the worker at once, also when it
// comes during the retries.
TEST_F(AtLogon, ServerRefusalIsFatalAtOnceEvenWhileRetrying) {
    serve({"--account", "user:other", "--fault", "unreachable"});
    configure(env::protocol_tcp, env::type_login, 20);
    connect_at_logon();
    ASSERT_TRUE(recorder.wait_state(error));
    server->command("fault none");
    EXPECT_EQ(take_error_box(20000), std::optional<std::string>("Неверный пароль"));
    EXPECT_TRUE(recorder.wait_state(idle, 1));
}

// "Отключить" while it waits for the network: nothing to disconnect, no box.
TEST_F(AtLogon, StopWhileRetryingEndsWithoutABox) {
    serve({"--account", "user:secret", "--fault", "drop"}); // hears every request, answers none
    configure(env::protocol_udp, env::type_login, 20);
    connect_at_logon();
    ASSERT_TRUE(recorder.wait_state(error, 0, 20000));
    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(idle, 1, 5000));
    while (const auto r = server->next_request(500))
        EXPECT_FALSE(json_bool(*r, "disconnect")) << *r;
    EXPECT_EQ(find_error_box(0), nullptr);
}

class Renewal : public logged_client_fixture {};

// The computer woke from sleep, or its addresses changed: the renewal comes at once, not at
// the end of a 30 s pause; a burst of changes makes one renewal.
TEST_F(Renewal, ResumeAndAddressChangesRenewAtOnce) {
    serve();
    configure(env::protocol_udp, env::type_login, 30);
    set(env::LOG_LEVEL, "3");
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();

    auto woken = clock_type::now();
    client->resumed();
    EXPECT_TRUE(json_bool(request(5000), "verified"));
    std::printf("resume to the renewal request %lld ms\n", ms_since(woken));
    EXPECT_EQ(log_count("Resumed from sleep: renewing now"), 1);

    woken = clock_type::now();
    for (int i = 0; i < 5; ++i)
        client->network_changed();
    EXPECT_TRUE(json_bool(request(5000), "verified"));
    std::printf("address change to the renewal request %lld ms\n", ms_since(woken));
    EXPECT_FALSE(server->next_request(1500)) << "more than one renewal for one burst";
    EXPECT_EQ(log_count("Network address changed: renewing now"), 1);
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
}

// A renewal that fails after a resume is retried like any failed pass: 500 ms later.
TEST_F(Renewal, FailedRenewalAfterResumeRetriesQuickly) {
    serve();
    configure(env::protocol_tcp, env::type_login, 30);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();
    server->command("fault error 1005 1");
    client->resumed();
    request();
    ASSERT_TRUE(recorder.wait_state(error));
    EXPECT_EQ(client->failure_text(), "Нет действующего платежа");
    EXPECT_TRUE(json_bool(request(5000), "verified")) << "the quick retry";
    EXPECT_TRUE(recorder.wait_state(authorised, 3));
}

// The provider moved the server: after a failed exchange the name is resolved again and the
// new address used from then on.
TEST_F(Renewal, MovedServerIsFoundAgain) {
    serve();
    configure(env::protocol_tcp, env::type_login, 1);
    set(env::LOG_LEVEL, "3");
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    auto moved = std::make_unique<test_auth_server>(std::vector<std::string>{
        "--account", "user:secret", "--listen", "127.0.0.2:" + std::to_string(server->port())});
    set(env::AUTH_SERVER, "127.0.0.2");
    server.reset();
    ASSERT_TRUE(recorder.wait_state(error));
    // The new server has given no challenge yet: one refusal, then the session goes on there.
    ASSERT_TRUE(recorder.wait_state(authorised, 3, 20000));
    bool verified_there = false;
    while (const auto r = moved->next_request(500))
        verified_there |= json_bool(*r, "verified");
    EXPECT_TRUE(verified_there);
    EXPECT_EQ(log_count("Server address changed: 127.0.0.1 -> 127.0.0.2"), 1);
    server = std::move(moved);
}

// A name that does not resolve at the moment keeps the last good address.
TEST_F(Renewal, UnresolvableNameKeepsTheLastAddress) {
    serve();
    configure(env::protocol_tcp, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    set(env::AUTH_SERVER, "nonexistent.invalid");
    server->command("fault error 1003 1");
    ASSERT_TRUE(recorder.wait_state(error));
    ASSERT_TRUE(recorder.wait_state(authorised, 3, 10000));
    EXPECT_EQ(find_error_box(0), nullptr);
}

} // namespace
} // namespace test
