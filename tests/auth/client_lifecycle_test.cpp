// Starting, stopping and destroying the client, also while its worker is blocked.
#include "tests/auth/client_fixture.h"
#include "tests/common/case_name.h"

#include <windows.h>

namespace test {
namespace {

class Lifecycle : public client_fixture {};

TEST_F(Lifecycle, ConstructionReportsIdleOnce) {
    client = std::make_unique<auth::c_client>(*environment);
    EXPECT_EQ(recorder.states(), (states{idle}));
    EXPECT_EQ(client->state(), idle);
}

TEST_F(Lifecycle, NothingIsSentWithoutAMainWindow) {
    environment->main_window = nullptr;
    client = std::make_unique<auth::c_client>(*environment);
    EXPECT_TRUE(recorder.states().empty());
    EXPECT_EQ(client->state(), idle);
}

TEST_F(Lifecycle, StopInIdleDoesNothing) {
    client = std::make_unique<auth::c_client>(*environment);
    client->stop(5000);
    client->stop(0);
    EXPECT_EQ(recorder.states(), (states{idle}));
}

TEST_F(Lifecycle, SecondStartWhileRunningDoesNothing) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    client->start(); // still idle: the worker has not resolved the name yet
    ASSERT_TRUE(recorder.wait_state(authorised));
    client->start();
    pump_for(300);
    EXPECT_EQ(recorder.states(), (states{idle, busy, authorised}));
    std::vector<std::string> requests;
    while (auto r = server->next_request(300))
        requests.push_back(*r);
    EXPECT_EQ(requests.size(), 2u) << "one worker, two exchanges";
}

TEST_F(Lifecycle, RestartsAfterAFatalError) {
    serve({"--account", "user:other"});
    configure(env::protocol_udp, env::type_login, 20);
    connect();
    ASSERT_TRUE(take_error_box());
    ASSERT_TRUE(recorder.wait_state(idle, 1));
    server->command("account user:secret");
    client->start();
    EXPECT_TRUE(recorder.wait_state(authorised, 3));
}

TEST_F(Lifecycle, ManyConnectsLeakNoHandle) {
    serve();
    configure(env::protocol_udp, env::type_login, 20);
    DWORD before = 0, after = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
        if (cycle == 1)
            GetProcessHandleCount(GetCurrentProcess(), &before);
        const std::size_t from = recorder.states().size();
        connect();
        ASSERT_TRUE(recorder.wait_state(authorised, from)) << "cycle " << cycle;
        client->stop(0);
        ASSERT_TRUE(recorder.wait_state(idle, from)) << "cycle " << cycle;
    }
    pump_until([] { return thread_count() <= 2; }, 5000);
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, before + 3) << "handles before " << before << ", after " << after;
}

// Destroying the client must neither crash nor hang for longer than its bounded wait, whatever
// the worker is blocked in; a worker that outlives the client ends later on its own, silently.
struct blocking_case {
    const char* name;
    std::vector<std::string> server_arguments;
    int protocol;
    bool authorise_first;
    bool error_box; // the worker waits for the user to close its message box
};

void PrintTo(const blocking_case& c, std::ostream* out) {
    *out << c.name;
}

class DestroyWhileBlocked : public client_fixture,
                            public ::testing::WithParamInterface<blocking_case> {};

TEST_P(DestroyWhileBlocked, ReturnsWithinTheWaitAndTheWorkerEndsLater) {
    const int threads_before = thread_count();
    serve(GetParam().server_arguments);
    configure(GetParam().protocol, env::type_login, 20);
    connect();
    if (GetParam().authorise_first)
        ASSERT_TRUE(recorder.wait_state(authorised));
    else
        ASSERT_TRUE(recorder.wait_state(busy));
    request(); // the worker is now in or past its first exchange
    const HWND box = GetParam().error_box ? find_error_box() : nullptr;

    // The main window's order: no more reports, then destroy.
    environment->main_window = nullptr;
    const ULONGLONG start = GetTickCount64();
    client.reset();
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LT(took, 5000u + 3000u) << "the destructor waited too long";

    const std::size_t recorded = recorder.states().size();
    if (box)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(pump_until([&] { return thread_count() <= threads_before + 1; }, 20000))
        << "the worker did not end";
    // A worker whose exchange failed after the client was gone has nobody to tell.
    EXPECT_EQ(find_error_box(0), nullptr);
    EXPECT_EQ(recorder.states().size(), recorded) << "a report after the client was gone";
}

INSTANTIATE_TEST_SUITE_P(
    Blocking, DestroyWhileBlocked,
    ::testing::Values(
        blocking_case{"InThePause", {"--account", "user:secret"}, env::protocol_udp, true, false},
        blocking_case{"WaitingForADatagram",
                      {"--account", "user:secret", "--fault", "drop"},
                      env::protocol_udp,
                      false,
                      false},
        blocking_case{"ReceivingOverTcp",
                      {"--account", "user:secret", "--fault", "hold"},
                      env::protocol_tcp,
                      false,
                      false},
        blocking_case{
            "ShowingAnErrorBox", {"--account", "user:other"}, env::protocol_udp, false, true}),
    case_name());

} // namespace
} // namespace test
