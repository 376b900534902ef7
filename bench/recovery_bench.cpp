// The client back online by itself, in this process with a recorder window: the renewal that a
// resume message brings, and the connect at logon that waits for a server that does not answer
// yet.
#include "bench/recovery_bench.h"

#include "bench/client_run.h"
#include "tests/common/registry_override.h"
#include "tests/common/settings_registry.h"

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace bench {

namespace {

// ---- resume ----

// Long, so that a renewal can only come from the resume.
constexpr int resume_period_s = 30;

void stop_and_disconnect(client_run& run, test_auth_server& server, anomaly_log& checks) {
    const std::size_t mark = run.recorder.events().size();
    run.client->stop(0);
    run.wait(auth::idle, mark);
    const auto disconnect = records(server, 1, 15000);
    if (disconnect.size() != 1 || !contains(disconnect[0], "\"disconnect\":true"))
        checks.note("the disconnect request did not come");
}

// A connect, then COUNT resume messages in its pause, each a moment after the last renewal. The
// renewal's answer carries a server message, so that the window hears of it although the state
// stays `authorised`: the worker reports the message right after it has taken the answer.
std::vector<double> resume_renewals(client_run& run, test_auth_server& server, int count,
                                    std::mt19937& random, anomaly_log& checks) {
    const std::size_t mark = run.recorder.events().size();
    run.client->start();
    run.wait(auth::authorised, mark);
    if (records(server, 2, 15000).size() != 2)
        fail("the client did not authorise");
    std::uniform_int_distribution<int> asleep_ms(300, 700);
    std::vector<double> us;
    for (int i = -1; i < count; ++i) { // the first warms up
        pump_until([] { return false; }, static_cast<DWORD>(asleep_ms(random)));
        server.command("info bench|resume|");
        const std::size_t states = run.recorder.events().size();
        const std::size_t infos = run.recorder.info_times().size();
        // Sent from another thread, as the system's message comes from outside the window's.
        double t0 = 0;
        std::thread system([&] {
            t0 = now_us();
            SendMessageA(run.recorder.window(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        });
        const bool renewed =
            pump_until([&] { return run.recorder.info_times().size() > infos; }, 10000);
        system.join();
        if (!renewed)
            fail("no renewal answered within 10 s of the resume" + open_error_box_note());
        const double t1 = run.recorder.info_times()[infos];
        const auto renewal = records(server, 1, 5000);
        if (renewal.size() != 1 || !contains(renewal[0], "\"verified\":true") ||
            !contains(renewal[0], "\"info\":true"))
            checks.note("a renewal was not verified");
        if (run.recorder.events().size() != states)
            checks.note("the state changed during a renewal");
        if (i >= 0)
            us.push_back(t1 - t0);
    }
    if (!records(server, 0, 5000).empty())
        checks.note("a renewal came without a resume");
    stop_and_disconnect(run, server, checks);
    return us;
}

// ---- at logon ----

// The pauses between the tries of a connect at logon, in seconds; the last one repeats. The
// figures are checked against this schedule, not taken from the program.
constexpr double retry_steps_s[] = {2, 4, 8, 16, 30};
// Where in the pending step the server starts answering, taking turns.
constexpr double step_points[] = {0.2, 0.5, 0.8};

struct logon_figures : anomaly_log {
    std::vector<double> step_s, point, left_us, to_authorised_us, next_try_ms;
    std::vector<double> gap_step_s, gap_ms; // every pause between two tries seen
};

// One connect at logon against a server that closes every connection without a byte; it starts
// answering at `point` of the retry step `step`, which is pending after try number `step` + 1.
void logon_once(client_run& run, test_auth_server& server, std::size_t step, double point,
                logon_figures& f) {
    server.command("fault drop");
    const std::size_t mark = run.recorder.events().size();
    run.client->start(true);
    std::vector<long long> tries_ms; // on the server's clock
    double failed_us = 0;            // the last try, on ours: its pause begins
    for (std::size_t i = 0; i <= step; ++i) {
        const int due_ms = i ? static_cast<int>(retry_steps_s[i - 1] * 1000) : 0;
        const auto tried = records(server, 1, due_ms + 15000);
        if (tried.size() != 1)
            fail("try " + std::to_string(i + 1) + " did not come" + open_error_box_note());
        failed_us = now_us();
        if (test_auth_server::field(tried[0], "answer") != "fault drop")
            f.note("a try while the server was silent was answered");
        tries_ms.push_back(test_auth_server::int_field(tried[0], "t_ms"));
        if (i) {
            f.gap_step_s.push_back(retry_steps_s[i - 1]);
            f.gap_ms.push_back(static_cast<double>(tries_ms[i] - tries_ms[i - 1]));
        }
    }
    const double step_us = retry_steps_s[step] * 1e6;
    pump_until([] { return false; },
               static_cast<DWORD>(std::max(0.0, failed_us + point * step_us - now_us()) / 1000));

    const double t0 = now_us();
    server.command("fault none");
    const std::size_t authorised =
        run.wait(auth::authorised, mark, static_cast<DWORD>(step_us / 1000) + 30000);
    const double t1 = run.recorder.events()[authorised].t_us;
    const auto answered = records(server, 2, 15000);
    if (answered.size() != 2 || test_auth_server::field(answered[0], "answer") != "ok" ||
        !contains(answered[1], "\"verified\":true"))
        f.note("not the challenge and its verified answer at the next try");
    std::vector<int> states;
    for (std::size_t i = mark; i <= authorised; ++i)
        states.push_back(run.recorder.events()[i].state);
    if (states != std::vector<int>{auth::busy, auth::error, auth::authorised})
        f.note("states other than busy, error, authorised");
    if (const std::string box = open_error_box_note(); !box.empty())
        f.note("a box while waiting for the network" + box);

    f.step_s.push_back(retry_steps_s[step]);
    f.point.push_back(point);
    f.left_us.push_back(failed_us + step_us - t0);
    f.to_authorised_us.push_back(t1 - t0);
    if (!answered.empty())
        f.next_try_ms.push_back(static_cast<double>(
            test_auth_server::int_field(answered[0], "t_ms") - tries_ms.back()));
    stop_and_disconnect(run, server, f);
}

} // namespace

int run_resume(int repetitions) {
    served site;
    test_auth_server& server = site.server;
    test::settings::set("RECONNECT_PERIOD", std::to_string(resume_period_s));
    client_run run;
    run.recorder.on_resume = [&run] { run.client->resumed(); };
    std::mt19937 random(15);
    for (int protocol : {env::protocol_udp, env::protocol_tcp}) {
        test::settings::set("AUTH_PROTOCOL", std::to_string(protocol));
        anomaly_log checks;
        const std::vector<double> us = resume_renewals(run, server, repetitions, random, checks);
        result("resume_" + protocol_name(protocol))
            .numbers("samples_us", us)
            .number("period_s", resume_period_s)
            .number("anomalies", checks.anomalies)
            .text("first_anomaly", checks.first);
    }
    return 0;
}

int run_logon(int rounds) {
    served site;
    test_auth_server& server = site.server;
    test::settings::set("AUTH_PROTOCOL", std::to_string(env::protocol_tcp));
    client_run run;
    logon_figures f;
    const std::size_t steps = std::size(retry_steps_s);
    for (int round = 0; round < rounds; ++round)
        for (std::size_t step = 0; step < steps; ++step)
            logon_once(run, server, step,
                       step_points[(round * steps + step) % std::size(step_points)], f);
    result("logon_tcp")
        .numbers("step_s", f.step_s)
        .numbers("point", f.point)
        .numbers("left_us", f.left_us)
        .numbers("to_authorised_us", f.to_authorised_us)
        .numbers("next_try_ms", f.next_try_ms)
        .numbers("gap_step_s", f.gap_step_s)
        .numbers("gap_ms", f.gap_ms)
        .number("anomalies", f.anomalies)
        .text("first_anomaly", f.first);
    return 0;
}

} // namespace bench
