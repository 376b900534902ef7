// The client under a faulty network, in this process with a recorder window: the fault soak
// over UDP and TCP, and the stop while a renewal is stuck in the network.
#include "bench/fault_bench.h"

#include "bench/client_run.h"
#include "support/win_handle.h"
#include "tests/common/process_windows.h"
#include "tests/common/registry_override.h"
#include "tests/common/settings_registry.h"

#include <winsock2.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace bench {

namespace {

// ---- fault soak ----

// The faults of the soak, by protocol. Over TCP an answer can also be held open or dripped;
// over UDP it can come late, after the client has given up on it.
const std::vector<std::string>& fault_kinds(int protocol) {
    static const std::vector<std::string> udp{"drop", "delay", "broken"},
        tcp{"drop", "hold", "drip", "broken"};
    return protocol == env::protocol_udp ? udp : tcp;
}

// A delay beyond the 5 s answer time; a byte every 0.1 to 0.45 s brings an answer of about
// 20 bytes within that time or after it.
constexpr int longest_delay_ms = 7000;
constexpr int longest_drip_ms = 450;
constexpr int longest_fault_ms = longest_delay_ms; // until the last answer of a fault is over

// The server command of one faulted exchange.
std::string draw_fault(int protocol, std::mt19937& random) {
    const auto& kinds = fault_kinds(protocol);
    const std::string kind =
        kinds[std::uniform_int_distribution<std::size_t>(0, kinds.size() - 1)(random)];
    auto between = [&](int low, int high) {
        return std::to_string(std::uniform_int_distribution<int>(low, high)(random));
    };
    if (kind == "delay")
        return "fault delay " + between(100, longest_delay_ms) + " 1";
    if (kind == "drip")
        return "fault drip 1 " + between(100, longest_drip_ms) + " 1";
    return "fault " + kind + " 1";
}

} // namespace

int run_faults(int protocol, int passes, unsigned seed) {
    served site;
    test_auth_server& server = site.server;
    test::settings::set("AUTH_PROTOCOL", std::to_string(protocol));
    test::settings::set("RECONNECT_PERIOD", "0");
    client_run run;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> one_in_ten(0, 9);
    double last_fault_us = 0;

    // Every exchange as the server saw it. One that was not faulted but refused (code 1001)
    // answered a challenge that a late answer had moved on; more than the three quick retries
    // of those in a row would mean the client is stuck behind.
    int seen = 0, good = 0, refused = 0, refused_run = 0, longest_refused_run = 0;
    std::map<std::string, int> injected, applied;
    bool pending = false;
    auto take = [&](const std::string& record) {
        ++seen;
        const std::string answer = test_auth_server::field(record, "answer");
        const bool faulted = answer.rfind("fault ", 0) == 0;
        if (faulted) {
            ++applied[answer.substr(6, answer.find(' ', 6) - 6)];
            pending = false;
        }
        good += answer == "ok" && !contains(record, "\"verified\":false");
        if (!faulted && answer != "ok") {
            ++refused;
            longest_refused_run = std::max(longest_refused_run, ++refused_run);
        } else if (answer == "ok") {
            refused_run = 0;
        }
    };

    run.client->start();
    run.wait(auth::authorised, 0); // a failure before the first success is fatal by design
    pass_reader reader(server);
    while (seen < passes) {
        take(reader.next(seen));
        if (seen <= 2 || pending || one_in_ten(random) != 0)
            continue; // the first two passes are the authorization itself
        const std::string command = draw_fault(protocol, random);
        ++injected[command.substr(6, command.find(' ', 6) - 6)];
        server.command(command);
        pending = true;
        last_fault_us = now_us();
    }
    const int soak_passes = seen, soak_good = good;

    // No more faults; the last one may still be in recovery, and a delayed or dripped answer
    // still on its way. Both must be over before the stop: a failure of the disconnect exchange is
    // fatal and would wait in an error box.
    server.command("fault none");
    const auto& events = run.recorder.events();
    pump_until(
        [&] {
            while (auto r = server.next_request(0))
                take(*r);
            return events.back().state == auth::authorised &&
                   now_us() - last_fault_us > (longest_fault_ms + 1000) * 1000.0;
        },
        30000, 50);

    // Each `error` must end in `authorised`.
    std::vector<double> recovery_ms;
    int episodes = 0, unrecovered = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].state != auth::error || (i && events[i - 1].state == auth::error))
            continue;
        ++episodes;
        std::size_t j = i + 1;
        while (j < events.size() && events[j].state != auth::authorised)
            ++j;
        if (j == events.size())
            ++unrecovered;
        else
            recovery_ms.push_back((events[j].t_us - events[i].t_us) / 1000);
    }
    run.client->stop(0);
    run.wait(auth::idle, events.size() - 1);
    auto count = [](const std::map<std::string, int>& m, const std::string& k) {
        const auto it = m.find(k);
        return it == m.end() ? 0 : it->second;
    };
    result line("faults_" + protocol_name(protocol));
    line.number("passes", soak_passes).number("good_passes", soak_good);
    for (const std::string& kind : fault_kinds(protocol))
        line.number(("injected_" + kind).c_str(), count(injected, kind))
            .number(("applied_" + kind).c_str(), count(applied, kind));
    line.number("error_episodes", episodes)
        .number("unrecovered", unrecovered)
        .number("refused", refused)
        .number("longest_refused_run", longest_refused_run)
        .number("longest_gap_ms", reader.longest_gap_us() / 1000)
        .numbers("recovery_ms", recovery_ms);
    return 0;
}

// ---- stop while a renewal is stuck ----

namespace {

// Where the renewal is when the stop comes.
enum class stuck {
    nowhere, // a healthy server: the worker waits out its period
    answer,  // the request reached the server; its answer does not come
    connect, // the connect's SYNs are dropped: nothing reaches the server
};

struct stop_case {
    const char* id;
    int protocol;
    const char* fault; // the server command that makes the renewal stick
    stuck where;
};

const stop_case stop_cases[] = {
    {"healthy_udp", env::protocol_udp, "fault none", stuck::nowhere},
    {"healthy_tcp", env::protocol_tcp, "fault none", stuck::nowhere},
    {"held_tcp", env::protocol_tcp, "fault hold 1", stuck::answer},
    {"dripped_tcp", env::protocol_tcp, "fault drip 1 1000 1", stuck::answer},
    {"silent_udp", env::protocol_udp, "fault drop 1", stuck::answer},
    {"dropped_syn_tcp", env::protocol_tcp, "fault unreachable", stuck::connect},
};

// The server's next disconnect request, waited for on a thread of its own: this thread sleeps
// in its message pump (the worker's notifications wait for it) and still learns of the
// request the moment its record arrives. Made before the stop and running when made, so that
// neither its start nor its competition with the worker for the cores is timed.
class disconnect_watch {
public:
    disconnect_watch(test_auth_server& server, int timeout_ms)
        : running_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (!running_ || !done_)
            fail("cannot create an event");
        thread_ = std::thread([this, &server, timeout_ms] {
            SetEvent(running_.get());
            const double deadline = now_us() + timeout_ms * 1000.0;
            for (double left; (left = deadline - now_us()) > 0;) {
                auto r = server.next_request(static_cast<int>(left / 1000) + 1);
                if (r && contains(*r, "\"disconnect\":true")) {
                    at_us_ = now_us();
                    record_ = std::move(*r);
                    break;
                }
            }
            SetEvent(done_.get());
        });
        WaitForSingleObject(running_.get(), INFINITE);
    }
    ~disconnect_watch() {
        if (thread_.joinable())
            thread_.join();
    }
    disconnect_watch(const disconnect_watch&) = delete;
    disconnect_watch& operator=(const disconnect_watch&) = delete;

    // Handles this thread's messages until the watch is over; the record, if one came.
    const std::optional<std::string>& wait() {
        pump_until([&] { return WaitForSingleObject(done_.get(), 0) == WAIT_OBJECT_0; }, INFINITE,
                   INFINITE, done_.get());
        thread_.join();
        return record_;
    }
    double at_us() const { return at_us_; }

private:
    unique_handle running_, done_;
    std::thread thread_;
    std::optional<std::string> record_;
    double at_us_ = 0;
};

struct stop_figures : anomaly_log {
    std::vector<double> to_request_us, to_box_us, to_idle_us;
};

// One connect, the renewal stuck as the case says, then stop(0).
void stop_stuck(client_run& run, test_auth_server& server, const stop_case& c,
                stop_figures& figures) {
    const std::size_t mark = run.recorder.events().size();
    run.client->start();
    run.wait(auth::authorised, mark);
    if (records(server, 2, 15000).size() != 2)
        fail(std::string(c.id) + ": the client did not authorise");
    server.command(c.fault);
    if (c.where == stuck::answer && records(server, 1, 15000).size() != 1)
        fail(std::string(c.id) + ": the renewal did not reach the server");
    if (c.where == stuck::connect &&
        !pump_until([&] { return !unanswered_connects(server.port()).empty(); }, 15000, 5))
        fail(std::string(c.id) + ": no connect of the renewal was seen");

    std::optional<disconnect_watch> watch;
    if (c.where != stuck::connect)
        watch.emplace(server, 15000);
    const std::size_t stop_mark = run.recorder.events().size();
    const double t0 = now_us();
    run.client->stop(0);
    if (watch) {
        const auto& record = watch->wait();
        if (!record)
            fail(std::string(c.id) + ": no disconnect request reached the server" +
                 open_error_box_note());
        figures.to_request_us.push_back(watch->at_us() - t0);
        if (!contains(*record, "\"verified\":true"))
            figures.note("a disconnect request was not verified");
    } else {
        // The disconnect exchange's own connect runs to its deadline; its failure is fatal.
        const HWND box = test::find_error_box(15000);
        if (!box)
            fail(std::string(c.id) + ": the disconnect exchange did not end");
        figures.to_box_us.push_back(now_us() - t0);
        const std::string text = test::error_box_text(box); // the ANSI code page, as literals
        if (text.rfind("Сервер авторизации (TCP) недоступен.", 0) != 0)
            figures.note("error box: " + utf8_of_ansi(text));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    const std::size_t idle = run.wait(auth::idle, stop_mark);
    figures.to_idle_us.push_back(run.recorder.events()[idle].t_us - t0);
    server.command("fault none");
}

} // namespace

int run_stops(int repetitions) {
    served site;
    test_auth_server& server = site.server;
    client_run run;
    for (const stop_case& c : stop_cases) {
        test::settings::set("AUTH_PROTOCOL", std::to_string(c.protocol));
        // A healthy renewal must not come before the stop; a stuck one is wanted soon.
        test::settings::set("RECONNECT_PERIOD", c.where == stuck::nowhere ? "20" : "1");
        stop_figures figures;
        for (int i = 0; i < repetitions; ++i)
            stop_stuck(run, server, c, figures);
        result("fault_stop_" + std::string(c.id))
            .text("protocol", protocol_name(c.protocol))
            .flag("reaches_server", c.where != stuck::connect)
            .numbers("to_request_us", figures.to_request_us)
            .numbers("to_box_us", figures.to_box_us)
            .numbers("to_idle_us", figures.to_idle_us)
            .number("anomalies", figures.anomalies)
            .text("first_anomaly", figures.first);
    }
    return 0;
}

} // namespace bench
