// The client measured where it runs: in this process with a window that takes its
// notifications (connect, stop, idle cost, endurance, faults), and the real program driven
// from outside (WM_CLOSE to exit). Every run has its own reference server; results are JSON
// lines on standard output (see bench_support.h), which scripts/bench.sh collects.
//
//   client_bench latency REPETITIONS BLOCKS    connect and stop, UDP and TCP, with the floor
//   client_bench close REPETITIONS             WM_CLOSE to exit of AuthClient.exe, with a peer,
//                                              and with the server unreachable
//   client_bench idle SECONDS                  CPU time and wake-ups while authorised
//   client_bench endurance udp|tcp PASSES      passes at period 0: verified, handles, memory
//   client_bench faults udp|tcp PASSES SEED    one answer in ten faulted (fault_bench.h)
//   client_bench stops REPETITIONS             stop(0) while a renewal is stuck (fault_bench.h)
//   client_bench parts REPETITIONS             what the platform calls of a pass cost
//   client_bench resume REPETITIONS            resume message to the renewal (recovery_bench.h)
//   client_bench logon ROUNDS                  connect at logon, the server answering at last
//                                              (recovery_bench.h)
#include "bench/client_run.h"
#include "bench/fault_bench.h"
#include "bench/recovery_bench.h"

#include "auth/client.h"
#include "env/env.h"
#include "res/resource.h"
#include "tests/common/auth_server.h"
#include "tests/common/process.h"
#include "tests/common/process_windows.h"
#include "tests/common/registry_override.h"
#include "tests/common/settings_registry.h"
#include "tests/common/window_recorder.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef AUTHCLIENT_EXE_PATH
#error "AUTHCLIENT_EXE_PATH must name AuthClient.exe"
#endif
#ifndef FLOOR_BENCH_PATH
#error "FLOOR_BENCH_PATH must name floor_bench.exe"
#endif

namespace {

using bench::client_run;
using bench::contains;
using bench::fail;
using bench::login;
using bench::now_us;
using bench::password;
using bench::protocol_name;
using bench::read_file;
using bench::records;
using bench::served;
using bench::winsock;

// Runs a program to its end and returns what it wrote on standard output.
std::string run_program(const std::string& command_line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        fail("CreatePipe failed");
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::vector<char> writable(command_line.begin(), command_line.end());
    writable.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        fail("cannot start " + command_line + ": error " + std::to_string(error));
    }
    std::string output = bench::read_all(read_end);
    CloseHandle(read_end);
    WaitForSingleObject(info.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (code != 0)
        fail(command_line + " failed with " + std::to_string(code));
    return output;
}

std::string quoted_path(const char* unix_path) {
    return "\"" + test::windows_path(unix_path) + "\"";
}

// ---- connect and stop ----

using cycle_checks = bench::anomaly_log;

struct cycle_times {
    std::vector<double> connect_us, to_busy_us, stop_us, stop_to_busy_us;
};

void connect_and_stop(client_run& run, test_auth_server& server, cycle_times* times,
                      cycle_checks& checks) {
    const std::size_t mark = run.recorder.events().size();
    const double t0 = now_us();
    run.client->start();
    const std::size_t authorised = run.wait(auth::authorised, mark);
    const double t1 = run.recorder.events()[authorised].t_us;
    if (authorised != mark + 1 || run.recorder.events()[mark].state != auth::busy)
        checks.note("connect did not report busy, authorised");
    const auto exchange = records(server, 2, 15000);
    if (exchange.size() != 2 || !contains(exchange[1], "\"verified\":true"))
        checks.note("the challenge was not answered and verified");

    const std::size_t stop_mark = run.recorder.events().size();
    const double t2 = now_us();
    run.client->stop(0);
    const std::size_t idle = run.wait(auth::idle, stop_mark);
    const double t3 = run.recorder.events()[idle].t_us;
    const auto disconnect = records(server, 1, 15000);
    if (disconnect.size() != 1 || !contains(disconnect[0], "\"disconnect\":true") ||
        !contains(disconnect[0], "\"verified\":true"))
        checks.note("the disconnect request was not sent and verified");
    if (times) {
        times->connect_us.push_back(t1 - t0);
        times->to_busy_us.push_back(run.recorder.events()[mark].t_us - t0);
        times->stop_us.push_back(t3 - t2);
        times->stop_to_busy_us.push_back(run.recorder.events()[stop_mark].t_us - t2);
    }
}

int run_latency(int repetitions, int blocks) {
    served site;
    test_auth_server& server = site.server;
    test::settings::set("RECONNECT_PERIOD", "20");
    client_run run;
    const std::string floor = quoted_path(FLOOR_BENCH_PATH);
    for (int protocol : {env::protocol_udp, env::protocol_tcp}) {
        test::settings::set("AUTH_PROTOCOL", std::to_string(protocol));
        const std::string name = protocol_name(protocol);
        cycle_times times;
        cycle_checks checks;
        connect_and_stop(run, server, nullptr, checks); // warm-up
        // Floor and client take turns, so that a burst of load elsewhere hits both.
        for (int block = 0; block < blocks; ++block) {
            const int count = repetitions / blocks + (block < repetitions % blocks ? 1 : 0);
            std::fputs(run_program(floor + " " + name + " " + std::to_string(server.port()) + " " +
                                   std::to_string(count))
                           .c_str(),
                       stdout);
            records(server, 0, 30000);
            for (int i = 0; i < count; ++i)
                connect_and_stop(run, server, &times, checks);
        }
        bench::result("connect_" + name)
            .numbers("samples_us", times.connect_us)
            .numbers("to_busy_us", times.to_busy_us)
            .number("anomalies", checks.anomalies)
            .text("first_anomaly", checks.first);
        bench::result("stop_" + name)
            .numbers("samples_us", times.stop_us)
            .numbers("to_busy_us", times.stop_to_busy_us);
    }
    return 0;
}

// ---- WM_CLOSE to exit of the real program ----

using test::process;

// The top-level window of class `class_name` that process `p` shows, or null within the time.
HWND wait_window(const process& p, const char* class_name, DWORD timeout_ms) {
    HWND found = nullptr;
    bench::pump_until(
        [&] {
            found = test::window_of(p.id(), class_name);
            return found != nullptr;
        },
        timeout_ms, 10);
    return found;
}

// From WM_CLOSE posted to `window` until the process handle signals.
double close_and_time(const process& p, HWND window) {
    WaitForInputIdle(p.handle(), 10000);
    const double t0 = now_us();
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(p.handle(), 30000) != WAIT_OBJECT_0)
        fail("the process did not exit within 30 s of WM_CLOSE");
    return now_us() - t0;
}

// The program's main window once the program has authorised and shows it.
HWND authorised_window(const process& p, test_auth_server& server) {
    const auto exchange = records(server, 2, 30000);
    if (exchange.size() != 2 || !contains(exchange[1], "\"verified\":true"))
        fail("the program did not authorise");
    const HWND main = wait_window(p, MAIN_WINDOW_CLASS, 30000);
    if (!main)
        fail("the program's main window did not appear");
    // The disconnect button is enabled once the window shows `authorised`.
    if (!bench::pump_until([&] { return IsWindowEnabled(GetDlgItem(main, IDC_DISCONNECT)); }, 30000,
                           5))
        fail("the program did not show authorised");
    return main;
}

// Looks, on a thread of its own, for an unanswered connect to the server's port other than
// those already known: nothing reaches a server that drops SYNs, so only this machine shows
// that a connect was tried.
class connect_watch {
public:
    connect_watch(unsigned short port, std::set<std::string> known)
        : thread_([this, port, known] {
              while (!over_ && !seen_) {
                  for (const auto& local : bench::unanswered_connects(port))
                      seen_ = seen_ || !known.count(local);
                  Sleep(20);
              }
          }) {}
    ~connect_watch() {
        over_ = true;
        thread_.join();
    }
    connect_watch(const connect_watch&) = delete;
    connect_watch& operator=(const connect_watch&) = delete;
    bool seen() const { return seen_; }

private:
    std::atomic<bool> over_{false}, seen_{false};
    std::thread thread_; // last, so that it starts once the flags are made
};

// Closes the program while its renewal hangs in a connect whose SYNs the server drops: the
// time to its exit, and whether its disconnect exchange tried a connect of its own.
double close_unreachable(const process& p, HWND main, test_auth_server& server, bool& attempted) {
    server.command("fault unreachable");
    std::set<std::string> renewal;
    if (!bench::pump_until(
            [&] {
                renewal = bench::unanswered_connects(server.port());
                return !renewal.empty();
            },
            15000, 5))
        fail("no connect of the program's renewal was seen");
    double us = 0;
    {
        connect_watch disconnect(server.port(), renewal);
        us = close_and_time(p, main);
        attempted = disconnect.seen();
    }
    server.command("fault none");
    return us;
}

int run_close(int repetitions) {
    winsock sockets;
    test_auth_server server({"--account", std::string(login) + ":" + password});
    // The program is another process: it reads the real HKEY_CURRENT_USER of this prefix.
    test::settings::clear();
    test::settings::point_at(server.port());
    test::settings::set("AUTH_PROTOCOL", std::to_string(env::protocol_udp));
    test::settings::save_credentials(login, password);

    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string program = test::windows_path(AUTHCLIENT_EXE_PATH);
    const std::string floor = test::windows_path(FLOOR_BENCH_PATH);
    std::vector<double> program_us, peer_us;
    int anomalies = 0;
    for (int i = -1; i < repetitions; ++i) { // the first round warms up
        {
            process p(program, "--tray --connect", temp);
            const double us = close_and_time(p, authorised_window(p, server));
            const auto disconnect = records(server, 1, 10000);
            if (disconnect.size() != 1 || !contains(disconnect[0], "\"disconnect\":true"))
                ++anomalies;
            if (i >= 0)
                program_us.push_back(us);
        }
        {
            process p(floor, "window");
            const HWND window = wait_window(p, "AuthClientBenchPeer", 30000);
            if (!window)
                fail("the peer window did not appear");
            const double us = close_and_time(p, window);
            if (i >= 0)
                peer_us.push_back(us);
        }
    }
    // The same program over TCP, renewing every second, closed while the server is
    // unreachable: the close's wait of 5000 ms bounds its exit.
    test::settings::set("AUTH_PROTOCOL", std::to_string(env::protocol_tcp));
    test::settings::set("RECONNECT_PERIOD", "1");
    std::vector<double> unreachable_us;
    int unattempted = 0;
    for (int i = 0; i < repetitions; ++i) {
        process p(program, "--tray --connect", temp);
        bool attempted = false;
        unreachable_us.push_back(
            close_unreachable(p, authorised_window(p, server), server, attempted));
        unattempted += !attempted;
    }
    test::settings::clear();
    bench::result("close_program").numbers("samples_us", program_us).number("anomalies", anomalies);
    bench::result("close_peer").numbers("samples_us", peer_us);
    bench::result("close_unreachable")
        .numbers("samples_us", unreachable_us)
        .number("unattempted", unattempted);
    return 0;
}

// ---- idle cost ----

// Wine runs each Windows thread as a Linux thread. Its files are opened by the wineserver, so
// "/proc/self" would be the wineserver's: this process is found by its command line.
std::vector<std::string> directory(const std::string& pattern) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (found.cFileName[0] != '.')
            out.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return out;
}

std::string unix_process(const char* mode) {
    std::vector<std::string> matches;
    for (const auto& pid : directory("Z:\\proc\\*")) {
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string line = read_file("Z:\\proc\\" + pid + "\\cmdline");
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (line.find("client_bench") != std::string::npos &&
            line.find(std::string(" ") + mode + " ") != std::string::npos)
            matches.push_back(pid);
    }
    return matches.size() == 1 ? matches[0] : std::string();
}

std::set<std::string> tasks(const std::string& pid) {
    const auto list = directory("Z:\\proc\\" + pid + "\\task\\*");
    return std::set<std::string>(list.begin(), list.end());
}

// schedstat: time on the CPU (ns), time waiting to run (ns), times scheduled in.
struct schedstat {
    double run_ns = 0;
    double timeslices = 0;
};

schedstat task_schedstat(const std::string& pid, const std::string& tid) {
    schedstat s;
    const std::string text = read_file("Z:\\proc\\" + pid + "\\task\\" + tid + "\\schedstat");
    double wait = 0;
    std::sscanf(text.c_str(), "%lf %lf %lf", &s.run_ns, &wait, &s.timeslices);
    return s;
}

schedstat sum_schedstat(const std::string& pid, const std::vector<std::string>& tids) {
    schedstat total;
    for (const auto& tid : tids) {
        const schedstat s = task_schedstat(pid, tid);
        total.run_ns += s.run_ns;
        total.timeslices += s.timeslices;
    }
    return total;
}

double process_cpu_ms() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

// The idle program is this process's main thread waiting for messages and the worker waiting
// out its period. A sampler thread of its own looks at the worker once a second and takes the
// CPU times of every other thread at both ends, so its own work stays out of the figures.
struct idle_sampler {
    std::string pid;
    std::string self; // the sampler's own Linux thread
    std::vector<std::string> worker;
    int seconds = 0;
    HANDLE begin = nullptr, done = nullptr;
    double t_start = 0, t_end = 0, cpu_start = 0, cpu_end = 0;
    schedstat worker_start, worker_end, others_start, others_end;
    std::vector<int> woke;

    std::vector<std::string> others() const {
        std::vector<std::string> out;
        for (const auto& tid : tasks(pid))
            if (tid != self)
                out.push_back(tid);
        return out;
    }

    void run() {
        WaitForSingleObject(begin, INFINITE);
        t_start = now_us();
        cpu_start = process_cpu_ms();
        others_start = sum_schedstat(pid, others());
        worker_start = sum_schedstat(pid, worker);
        double previous = worker_start.timeslices;
        for (int second = 1; second <= seconds; ++second) {
            const double wait_us = t_start + second * 1e6 - now_us();
            if (wait_us > 0)
                Sleep(static_cast<DWORD>(wait_us / 1000));
            const double now = sum_schedstat(pid, worker).timeslices;
            woke.push_back(now != previous);
            previous = now;
        }
        t_end = now_us();
        worker_end = sum_schedstat(pid, worker);
        others_end = sum_schedstat(pid, others());
        cpu_end = process_cpu_ms();
        SetEvent(done);
    }
};

int run_idle(int seconds) {
    served site;
    test_auth_server& server = site.server;
    // Protocol and period stay at their defaults.
    client_run run;
    const int period_s = run.environment.value(env::RECONNECT_PERIOD).get_int();
    const int protocol = run.environment.value(env::AUTH_PROTOCOL).get_int();

    idle_sampler sampler;
    sampler.pid = unix_process("idle");
    if (sampler.pid.empty())
        fail("cannot tell this process among the Linux processes");
    sampler.seconds = seconds;
    sampler.begin = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    sampler.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const std::set<std::string> before_sampler = tasks(sampler.pid);
    const HANDLE sampler_thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            static_cast<idle_sampler*>(p)->run();
            return 0;
        },
        &sampler, 0, nullptr);
    bench::pump_until([&] { return tasks(sampler.pid).size() > before_sampler.size(); }, 10000, 10);
    for (const auto& tid : tasks(sampler.pid))
        if (!before_sampler.count(tid))
            sampler.self = tid;

    const std::set<std::string> before_worker = tasks(sampler.pid);
    run.client->start();
    const std::size_t authorised = run.wait(auth::authorised, 0);
    const double t_authorised = run.recorder.events()[authorised].t_us;
    for (const auto& tid : tasks(sampler.pid))
        if (!before_worker.count(tid))
            sampler.worker.push_back(tid);
    const auto first = records(server, 2, 15000);
    if (first.size() != 2)
        fail("the client did not authorise");
    const long long server_authorised_ms = test_auth_server::int_field(first[1], "t_ms");

    // The window starts half a period after the authorization, so that every renewal in it
    // lies well inside.
    bench::pump_until([] { return false; }, static_cast<DWORD>(period_s * 500));
    SetEvent(sampler.begin);
    bench::pump_until([&] { return WaitForSingleObject(sampler.done, 0) == WAIT_OBJECT_0; },
                      (seconds + 60) * 1000, INFINITE, sampler.done);
    WaitForSingleObject(sampler_thread, 10000);
    CloseHandle(sampler_thread);
    CloseHandle(sampler.begin);
    CloseHandle(sampler.done);

    int episodes = 0;
    for (std::size_t i = 0; i < sampler.woke.size(); ++i)
        episodes += sampler.woke[i] && (i == 0 || !sampler.woke[i - 1]);
    run.client->stop(0);
    run.wait(auth::idle, run.recorder.events().size() - 1);
    int passes = 0, verified = 0;
    for (const auto& r : records(server, 0, 15000)) {
        const double at_us =
            t_authorised + (test_auth_server::int_field(r, "t_ms") - server_authorised_ms) * 1000.0;
        if (at_us >= sampler.t_start && at_us < sampler.t_end &&
            !contains(r, "\"disconnect\":true")) {
            ++passes;
            verified += contains(r, "\"verified\":true");
        }
    }
    bench::result("idle")
        .number("seconds", (sampler.t_end - sampler.t_start) / 1e6)
        .number("period_s", period_s)
        .text("protocol", protocol_name(protocol))
        .number("expected_passes", seconds / period_s)
        .number("passes", passes)
        .number("verified", verified)
        .number("wake_episodes", episodes)
        .number("worker_threads", static_cast<double>(sampler.worker.size()))
        .number("worker_timeslices",
                sampler.worker_end.timeslices - sampler.worker_start.timeslices)
        .number("worker_cpu_ms", (sampler.worker_end.run_ns - sampler.worker_start.run_ns) / 1e6)
        .number("program_cpu_ms", (sampler.others_end.run_ns - sampler.others_start.run_ns) / 1e6)
        .number("program_timeslices",
                sampler.others_end.timeslices - sampler.others_start.timeslices)
        .number("process_times_ms", sampler.cpu_end - sampler.cpu_start);
    return 0;
}

// ---- endurance ----

int run_endurance(int protocol, int passes) {
    served site;
    test_auth_server& server = site.server;
    test::settings::set("AUTH_PROTOCOL", std::to_string(protocol));
    test::settings::set("RECONNECT_PERIOD", "0");
    client_run run;
    const int warm_up = std::min(1000, std::max(1, passes / 10));
    const int step = std::max(1, (passes - warm_up) / 10);
    std::vector<double> trend_pass, trend_handles, trend_private, trend_committed;
    bench::resources start, end;
    double t_start = 0, t_end = 0;
    int seen = 0, verified = 0, unverified = 0, not_ok = 0;

    run.client->start();
    bench::pass_reader reader(server);
    while (seen < passes) {
        const std::string r = reader.next(seen);
        const double now = now_us();
        ++seen;
        if (contains(r, "\"verified\":true"))
            ++verified;
        else if (contains(r, "\"encrypted_random\":true"))
            ++unverified;
        if (!contains(r, "\"answer\":\"ok\""))
            ++not_ok;
        if (seen == warm_up || seen == passes || (seen > warm_up && (seen - warm_up) % step == 0)) {
            const bench::resources s = bench::sample_resources();
            trend_pass.push_back(seen);
            trend_handles.push_back(s.handles);
            trend_private.push_back(s.private_bytes);
            trend_committed.push_back(s.committed);
            if (seen == warm_up) {
                start = s;
                t_start = now;
            }
            if (seen == passes) {
                end = s;
                t_end = now;
            }
        }
    }
    run.client->stop(0);
    run.wait(auth::idle, run.recorder.events().size() - 1);
    int errors = 0;
    for (const auto& e : run.recorder.events())
        errors += e.state == auth::error;
    const std::string name = protocol_name(protocol);
    bench::result("endurance_" + name)
        .number("passes", seen)
        .number("verified", verified)
        .number("unverified", unverified)
        .number("not_ok", not_ok)
        .number("error_states", errors)
        .number("measured_passes", passes - warm_up)
        .number("seconds", (t_end - t_start) / 1e6)
        .number("longest_gap_ms", reader.longest_gap_us() / 1000)
        .number("handles_start", start.handles)
        .number("handles_end", end.handles)
        .number("private_start", start.private_bytes)
        .number("private_end", end.private_bytes)
        .number("working_set_start", start.working_set)
        .number("working_set_end", end.working_set)
        .number("committed_start", start.committed)
        .number("committed_end", end.committed)
        .number("fds_start", start.unix_fds)
        .number("fds_end", end.unix_fds)
        .numbers("trend_pass", trend_pass)
        .numbers("trend_handles", trend_handles)
        .numbers("trend_private", trend_private)
        .numbers("trend_committed", trend_committed);
    return 0;
}

// ---- what the steps of a pass cost here ----

// Median cost of the platform calls that a connect is made of, each timed on its own, to tell
// where the client's time goes beyond the floor's exchanges.
int run_parts(int repetitions) {
    winsock sockets;
    test::registry_override sandbox;
    test::settings::set("AUTH_PROTOCOL", "17");
    test::window_recorder recorder;
    env::c_env environment(recorder.window());
    auto timed = [&](const char* id, const std::function<void()>& step) {
        std::vector<double> us;
        for (int i = -1; i < repetitions; ++i) {
            const double t0 = now_us();
            step();
            if (i >= 0)
                us.push_back(now_us() - t0);
        }
        bench::result(std::string("part_") + id).numbers("samples_us", us);
    };
    // From CreateThread to the thread's first instruction, and from there to its end.
    std::vector<double> start_us, exit_us;
    for (int i = -1; i < repetitions; ++i) {
        static double started;
        const double t0 = now_us();
        const HANDLE t = CreateThread(
            nullptr, 0,
            [](LPVOID) -> DWORD {
                started = now_us();
                return 0;
            },
            nullptr, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        const double t1 = now_us();
        CloseHandle(t);
        if (i >= 0) {
            start_us.push_back(started - t0);
            exit_us.push_back(t1 - started);
        }
    }
    bench::result("part_thread_start").numbers("samples_us", start_us);
    bench::result("part_thread_exit").numbers("samples_us", exit_us);
    timed("resolve", [] { gethostbyname("127.0.0.1"); });
    timed("registry_read", [&] { environment.value(env::AUTH_PROTOCOL).get_int(); });
    // A worker's SendMessage to this thread's window, timed where the worker waits for it,
    // while this thread sleeps in its pump as the main window's thread does.
    struct send_context {
        HWND window;
        int count;
        std::vector<double> us;
        HANDLE done;
    } context{recorder.window(), repetitions, {}, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    const HANDLE sender = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<send_context*>(p);
            for (int i = -1; i < c->count; ++i) {
                Sleep(2); // the main thread is back asleep
                const double t0 = now_us();
                SendMessageA(c->window, auth::WM_CLIENT_STATE, 0, auth::busy);
                if (i >= 0)
                    c->us.push_back(now_us() - t0);
            }
            SetEvent(c->done);
            return 0;
        },
        &context, 0, nullptr);
    bench::pump_until([&] { return WaitForSingleObject(context.done, 0) == WAIT_OBJECT_0; }, 60000,
                      INFINITE, context.done);
    WaitForSingleObject(sender, INFINITE);
    CloseHandle(sender);
    CloseHandle(context.done);
    bench::result("part_send_message").numbers("samples_us", context.us);
    const HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    timed("wait_signalled", [&] { WaitForSingleObject(event, 20000); });
    CloseHandle(event);
    // Three plain requests to the wineserver, the unit most of the calls above are made of.
    timed("server_calls", [] {
        const HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        WaitForSingleObject(e, 0);
        CloseHandle(e);
    });
    timed("udp_socket", [] {
        const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any);
        closesocket(s);
    });
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: client_bench latency REPETITIONS BLOCKS | close REPETITIONS | "
                         "idle SECONDS | endurance udp|tcp PASSES | faults udp|tcp PASSES SEED | "
                         "stops REPETITIONS | parts REPETITIONS | resume REPETITIONS | "
                         "logon ROUNDS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> a(argv + 1, argv + argc);
        if (a.size() == 3 && a[0] == "latency")
            return run_latency(std::stoi(a[1]), std::max(1, std::stoi(a[2])));
        if (a.size() == 2 && a[0] == "close")
            return run_close(std::stoi(a[1]));
        if (a.size() == 2 && a[0] == "parts")
            return run_parts(std::stoi(a[1]));
        if (a.size() == 2 && a[0] == "stops")
            return bench::run_stops(std::stoi(a[1]));
        if (a.size() == 2 && a[0] == "resume")
            return bench::run_resume(std::stoi(a[1]));
        if (a.size() == 2 && a[0] == "logon")
            return bench::run_logon(std::stoi(a[1]));
        if (a.size() == 2 && a[0] == "idle")
            return run_idle(std::stoi(a[1]));
        if (a.size() == 3 && a[0] == "endurance")
            return run_endurance(bench::protocol_of(a[1]), std::stoi(a[2]));
        if (a.size() == 4 && a[0] == "faults")
            return bench::run_faults(bench::protocol_of(a[1]), std::stoi(a[2]),
                                     static_cast<unsigned>(std::stoul(a[3])));
        return usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "client_bench: %s\n", e.what());
        bench::result("failure").text("what", e.what());
        return 1;
    }
}
