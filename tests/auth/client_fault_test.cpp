// The worker under a faulty or hostile network: a stop is answered inside an exchange, answers
// without a challenge are paced, only the server's datagrams count.
#include "tests/auth/client_fixture.h"
#include "tests/common/case_name.h"

#include "support/system_error.h"

#include <winsock2.h>

namespace test {
namespace {

struct stop_case {
    const char* name;
    int protocol;
    const char* fault;
    bool reaches_server; // the disconnect request gets through
};

void PrintTo(const stop_case& c, std::ostream* out) {
    *out << c.name;
}

// "Отключить" while a renewal is stuck in the network: the disconnect request goes out at once,
// not once the stuck step has run out.
class StopInsideAnExchange : public logged_client_fixture,
                             public ::testing::WithParamInterface<stop_case> {};

TEST_P(StopInsideAnExchange, SendsTheDisconnectRequestAtOnce) {
    const stop_case& c = GetParam();
    serve();
    configure(c.protocol, env::type_login, 1);
    set(env::LOG_LEVEL, "5"); // the log tells when a connect has begun
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();
    const int connects = log_count("Connecting to auth server");
    server->command(std::string("fault ") + c.fault);
    if (c.reaches_server)
        request(); // the renewal has reached the server, which keeps it waiting
    else
        ASSERT_TRUE(
            pump_until([&] { return log_count("Connecting to auth server") > connects; }, 10000));

    const auto stopped = clock_type::now();
    const std::size_t from = recorder.states().size();
    client->stop(0);
    if (c.reaches_server) {
        const std::string last = request();
        const long long to_request = ms_since(stopped);
        EXPECT_TRUE(json_bool(last, "disconnect")) << last;
        EXPECT_LT(to_request, 2500) << "the stuck step was waited out";
        ASSERT_TRUE(recorder.wait_state(idle, from));
        EXPECT_LT(ms_since(stopped), 4000);
        EXPECT_EQ(recorder.states(), (states{idle, busy, authorised, busy, authorised, idle}));
        std::printf("stop(0) to the disconnect request %lld ms, to idle %lld ms\n", to_request,
                    ms_since(stopped));
    } else {
        // The disconnect exchange's own connect runs to its deadline and fails, with its box.
        EXPECT_EQ(take_error_box(20000),
                  std::optional<std::string>("Сервер авторизации (TCP) недоступен.\n" +
                                             system_error_text(WSAETIMEDOUT)));
        const long long to_box = ms_since(stopped);
        EXPECT_GT(to_box, 4000) << "the disconnect's connect did not run to its deadline";
        EXPECT_LT(to_box, 8500) << "the stuck connect was waited out first";
        EXPECT_TRUE(recorder.wait_state(idle, from));
        EXPECT_GT(log_count("<- Request to disconnect"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StopInsideAnExchange,
    ::testing::Values(stop_case{"HeldAnswer", env::protocol_tcp, "hold 1", true},
                      stop_case{"DrippedAnswer", env::protocol_tcp, "drip 1 1000 1", true},
                      stop_case{"SilentUdp", env::protocol_udp, "drop 1", true},
                      stop_case{"DroppedSyn", env::protocol_tcp, "unreachable", false}),
    case_name());

class Faults : public logged_client_fixture {};

// The window closes while the server is unreachable: the close's wait of 5000 ms bounds the
// exit, the destructor adds no wait of its own, and the disconnect was attempted.
TEST_F(Faults, CloseWhileUnreachableEndsWithinTheWait) {
    serve();
    configure(env::protocol_tcp, env::type_login, 1);
    set(env::LOG_LEVEL, "5");
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    const int connects = log_count("Connecting to auth server");
    server->command("fault unreachable");
    ASSERT_TRUE(
        pump_until([&] { return log_count("Connecting to auth server") > connects; }, 10000));

    environment->main_window = nullptr;
    const auto closing = clock_type::now();
    client->stop(5000);
    client.reset();
    const long long took = ms_since(closing);
    EXPECT_GE(took, 4500) << "the disconnect's connect cannot have ended yet";
    EXPECT_LT(took, 6500);
    EXPECT_EQ(log_count("<- Request to disconnect"), 1);
    // The worker ends by itself once its disconnect exchange has run out. (Its box shows only
    // if that happened before the client was gone; the process would be ending by then.)
    EXPECT_TRUE(pump_until([&] { return log_count("Error ! ") == 1; }, 10000));
    take_error_box(500);
}

// "Отключить" while a renewal's answer is on its way: the server has given a challenge that the
// worker never reads (the answer comes after the exchange was given up) and refuses the
// disconnect request, which answers the one before. The refusal brings the newest challenge;
// the disconnect request goes out again with it, and the worker ends without "Неверный пароль".
TEST_F(Faults, StopBeforeALateAnswerStillDisconnects) {
    serve();
    configure(env::protocol_udp, env::type_login, 1);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    request();
    server->command("fault delay 300 1");
    request(); // the renewal, answered 300 ms after this record
    client->stop(0);
    // The worker gives the renewal up and waits for this thread to take its `busy` before it
    // sends the disconnect request; this thread takes it once the late answer has gone out.
    // The server's delay is a time, not an event: there is nothing else to wait for.
    Sleep(800);
    ASSERT_TRUE(pump_until(
        [&] { return recorder.last_state() == idle || find_error_box(0) != nullptr; }, 15000));
    EXPECT_EQ(take_error_box(0), std::nullopt);
    const std::string refused = request(), accepted = request();
    EXPECT_TRUE(json_bool(refused, "disconnect") && !json_bool(refused, "verified")) << refused;
    EXPECT_TRUE(json_bool(accepted, "disconnect") && json_bool(accepted, "verified")) << accepted;
    EXPECT_FALSE(server->next_request(300)) << "one disconnect request too many";
}

// A server whose answers carry no challenge: requests are paced like failures, and a stop ends
// the worker after one disconnect exchange.
TEST_F(Faults, AnswersWithoutAChallengeArePaced) {
    serve({"--account", "user:secret", "--fault", "norandom"});
    configure(env::protocol_udp, env::type_login, 1);
    connect();
    std::vector<long long> times;
    for (int i = 0; i < 6; ++i)
        times.push_back(json_int(request(), "t_ms"));
    for (int gap = 1; gap <= 3; ++gap) {
        EXPECT_GE(times[gap] - times[gap - 1], 400) << "quick retry " << gap;
        EXPECT_LT(times[gap] - times[gap - 1], 2500) << "quick retry " << gap;
    }
    for (int gap = 4; gap <= 5; ++gap)
        EXPECT_GE(times[gap] - times[gap - 1], 900) << "the period " << gap;

    client->stop(0);
    ASSERT_TRUE(recorder.wait_state(idle, 1, 10000));
    int disconnects = 0;
    while (const auto r = server->next_request(1000))
        disconnects += json_bool(*r, "disconnect") ? 1 : 0;
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(recorder.states(), (states{idle, busy, idle}));
    EXPECT_EQ(find_error_box(0), nullptr);
}

// A datagram from another port is not the server's answer, whatever it says: no message
// window, no false "Неверный пароль", no challenge of the stranger's choosing.
class Stranger : public client_fixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(Stranger, ChangesNothing) {
    serve({"--account", "user:secret", "--fault", std::string("stranger:") + GetParam() + ":2"});
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    ASSERT_TRUE(recorder.wait_state(authorised));
    request();
    EXPECT_TRUE(json_bool(request(), "verified"));
    pump_for(300);
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
    EXPECT_TRUE(recorder.infos().empty());
    EXPECT_EQ(find_error_box(0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Forgeries, Stranger, ::testing::Values("info", "error", "random"),
                         [](const auto& info) { return std::string(info.param); });

// Destroying the client a moment after start, whatever the worker has reached by then (still
// resolving, just busy, inside its first exchange): the worker is told, and ends.
TEST_F(Faults, DestroyRightAfterStartAlwaysEndsTheWorker) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    for (const DWORD delay : {0, 1, 2, 3, 5, 8, 13, 21, 34, 55}) {
        const int threads = thread_count();
        connect();
        Sleep(delay); // the sweep itself, not a wait for an event
        environment->main_window = nullptr;
        client.reset();
        EXPECT_TRUE(pump_until([&] { return thread_count() <= threads; }, 15000))
            << "the worker started " << delay << " ms before the destructor goes on";
        environment->main_window = recorder.window();
    }
    EXPECT_EQ(find_error_box(0), nullptr);
}

// A start made the moment the last worker gives way: its state is never overwritten by the
// ending worker.
TEST_F(Faults, StartAsTheLastWorkerEndsKeepsTheNewState) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    for (int spin : {0, 100, 10000}) {
        set(env::AUTH_SERVER, "nonexistent.invalid");
        connect();
        const HWND box = find_error_box();
        ASSERT_TRUE(box);
        set(env::AUTH_SERVER, "127.0.0.1");
        const std::size_t from = recorder.states().size();
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (volatile int i = 0; i < spin; ++i) {
        }
        ASSERT_TRUE(pump_until(
            [&] {
                client->start(); // refused until the failed worker has ended
                return client->state() != idle;
            },
            10000));
        ASSERT_TRUE(recorder.wait_state(authorised, from));
        EXPECT_EQ(recorder.states(from), (states{busy, authorised})) << "spin " << spin;
        EXPECT_EQ(client->state(), authorised);
        client->stop(0);
        ASSERT_TRUE(recorder.wait_state(idle, from));
        while (server->next_request(300))
            ;
    }
}

} // namespace
} // namespace test
