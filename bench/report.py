#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md from one run of scripts/bench.sh: the result lines of the Windows
bench programs (JSON, one object a line) and Google Benchmark's JSON for DES."""

import argparse
import datetime
import json
import statistics
import sys


def load_results(path):
    results = {}
    failures = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if not line.startswith("{"):
                continue
            r = json.loads(line)
            if r["id"] == "failure":
                failures.append(r["what"])
                continue
            results.setdefault(r["id"], []).append(r)
    return results, failures


def samples(results, rid, key="samples_us"):
    out = []
    for r in results.get(rid, []):
        out.extend(r.get(key, []))
    return out


def one(results, rid):
    rs = results.get(rid)
    return rs[0] if rs else None


def med(xs):
    return statistics.median(xs) if xs else float("nan")


def us(x):
    if x != x:
        return "n/a"
    return f"{x / 1000:.2f} ms" if abs(x) >= 1000 else f"{x:.0f} µs"


def pair(xs):
    return f"{us(med(xs))} / {us(max(xs))}" if xs else "n/a"


def ratio(a, b):
    return f"{a / b:.2f}" if b and a == a and b == b else "n/a"


def kib(x):
    return f"{x / 1024:,.0f} KiB"


def des_figures(path):
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError):
        return {}
    out = {}
    for b in data.get("benchmarks", []):
        if b.get("run_type") != "iteration":
            continue
        scale = {"ns": 1, "us": 1e3, "ms": 1e6}[b.get("time_unit", "ns")]
        out.setdefault(b["run_name"], []).append(b["cpu_time"] * scale)
    return out


# How many times each platform call that the design asks for happens in an operation; counted
# from auth/worker.cpp and auth/client.cpp.
REQUIRED = {
    # thread start; registry reads: server, port, protocol at thread start, then per pass the
    # type, the protocol to send and the protocol to receive (TCP: the type again for local_ip);
    # state notifications busy and authorised.
    "connect_udp": {"thread": 1, "reads": 3 + 2 * 3, "sends": 2},
    "connect_tcp": {"thread": 1, "reads": 3 + 2 * 4, "sends": 2},
    # the disconnect pass's reads, the period of the pause that ends the cycle; busy,
    # authorised, idle.
    "stop_udp": {"thread": 0, "reads": 3 + 1, "sends": 3},
    "stop_tcp": {"thread": 0, "reads": 4 + 1, "sends": 3},
}


# Every section of a run and what it must yield; one that yields nothing fails the run.
FAULT_STOPS = {
    "healthy_udp": "healthy server, UDP: the stop in the pause",
    "healthy_tcp": "healthy server, TCP: the stop in the pause",
    "held_tcp": "TCP answer held open",
    "dripped_tcp": "TCP answer dripped, 1 byte a second",
    "silent_udp": "UDP answer never sent",
    "dropped_syn_tcp": "TCP connect whose SYNs are dropped",
}
SECTIONS = (
    [("part_" + k, "samples_us") for k in
     ("thread_start", "thread_exit", "registry_read", "send_message", "resolve",
      "wait_signalled", "server_calls", "udp_socket")] +
    [(f"{what}_{proto}", "samples_us") for what in ("floor_connect", "floor_rtt", "connect", "stop")
     for proto in ("udp", "tcp")] +
    [("close_program", "samples_us"), ("close_peer", "samples_us"),
     ("close_unreachable", "samples_us"), ("idle", "seconds"),
     ("endurance_udp", "passes"), ("endurance_tcp", "passes"),
     ("faults_udp", "passes"), ("faults_tcp", "passes"),
     ("resume_udp", "samples_us"), ("resume_tcp", "samples_us"),
     ("logon_tcp", "to_authorised_us")] +
    [("fault_stop_" + k, "to_idle_us") for k in FAULT_STOPS])


# A resume or an address change ends the worker's pause; it then gathers further events of the
# same burst for this long before it renews (auth/pause.cpp).
GATHER_US = 250e3


def secs(x):
    return f"{x / 1e6:.3f} s" if abs(x) >= 1e6 else us(x)


def secs_pair(xs):
    return f"{secs(med(xs))} / {secs(max(xs))}" if xs else "n/a"


def anomaly_note(r):
    return f"; {r['anomalies']:.0f} anomalies, first: {r['first_anomaly']}" \
        if r["anomalies"] else ""


def recovery_rows(results, w):
    """The rows of the results table for the renewal on resume and the connect at logon."""
    for proto in ("udp", "tcp"):
        r = one(results, "resume_" + proto)
        if not r:
            continue
        xs, fs = r["samples_us"], samples(results, "floor_rtt_" + proto)
        least = GATHER_US + med(fs)
        ok = xs and max(xs) < 1e6 and not r["anomalies"]
        w(f"| resume from sleep, {proto.upper()}, `RECONNECT_PERIOD` {r['period_s']:.0f} s: "
          f"WM_POWERBROADCAST (PBT_APMRESUMEAUTOMATIC) to the renewal's verified answer "
          f"handled ({len(xs)}×){anomaly_note(r)} | {pair(xs)} | one exchange: {pair(fs)}; "
          f"after the {GATHER_US / 1000:.0f} ms in which the worker gathers a burst of events: "
          f"{us(least)} | {ratio(med(xs), least)} | a renewal within a second at a 30 s "
          f"period | {'yes' if ok else 'no'} |")
    r = one(results, "logon_tcp")
    if r and r["to_authorised_us"]:
        d, left = r["to_authorised_us"], r["left_us"]
        beyond = [a - b for a, b in zip(d, left)]
        steps = ", ".join(f"{x:g}" for x in sorted(set(r["step_s"])))
        ok = not r["anomalies"] and max(abs(x) for x in beyond) < 1e6
        w(f"| connect at logon (`start(true)`, TCP): the server, which closed every connection "
          f"without a byte, starts answering (`fault none`) inside a pending retry step "
          f"({len(d)} runs, steps of {steps} s){anomaly_note(r)}: to `authorised` | "
          f"{secs_pair(d)} | what was left of the pending step: {secs_pair(left)}; beyond it: "
          f"{pair(beyond)}, "
          f"against a connect's floor (two connections with one round trip each): "
          f"{pair(samples(results, 'floor_connect_tcp'))} | {ratio(med(d), med(left))} | "
          f"`authorised` at the first try after the step, not later | "
          f"{'yes' if ok else 'no'} |")


def recovery_section(results, w):
    """What the renewal on resume and the connect at logon wait for, run by run."""
    resume = {p: one(results, "resume_" + p) for p in ("udp", "tcp")}
    logon = one(results, "logon_tcp")
    if not any(resume.values()) and not logon:
        return
    w("## Back online by itself")
    w("")
    if all(resume.values()):
        beyond = {p: [x - GATHER_US for x in r["samples_us"]] for p, r in resume.items()}
        w(f"**After sleep.** A resume message ends the worker's pause at once. The worker then "
          f"waits {GATHER_US / 1000:.0f} ms for more events of the same burst (a network "
          f"interface that comes up after sleep changes several addresses, and each change "
          f"would otherwise bring a renewal of its own) and makes one exchange. So the figure "
          f"is that window and one exchange: beyond the window the renewal took "
          f"{pair(beyond['udp'])} over UDP and {pair(beyond['tcp'])} over TCP (median / "
          f"worst), against a bare exchange's {us(med(samples(results, 'floor_rtt_udp')))} "
          f"and {us(med(samples(results, 'floor_rtt_tcp')))}, and against `stop(0)` to `idle`, "
          f"also one exchange and the client's notifications, "
          f"{us(med(samples(results, 'stop_udp')))} and "
          f"{us(med(samples(results, 'stop_tcp')))}. Without the resume the renewal would "
          f"have come at the end of the 30 s period.")
        w("")
    if logon:
        w("**At logon.** A connect from \"--tray --connect\" that fails for a network reason "
          "before its first success tries again after 2, 4, 8 and 16 s and then every 30 s. "
          "Each run below starts such a connect against a server that closes every connection "
          "without a byte, so that each try fails at once and the pauses alone make the "
          "schedule (a server whose SYNs are dropped adds each try's 5 s connect time-out to "
          "it). At a point of the pending step the server starts answering; the time to "
          "`authorised` is the rest of that step and then the try itself: the challenge and "
          "its answer. Times on the bench's clock, where the pause is taken to begin as the failed "
          "try's record reaches the bench, so \"beyond\" is good to a few milliseconds; the "
          "pause between the last failed try and the answered one on the server's clock (its "
          "records' `t_ms`).")
        w("")
        w("| run | pending step | the server answers from | left of the step | to `authorised` "
          "| beyond the step | last failed try to the answered one |")
        w("|---|---|---|---|---|---|---|")
        rows = zip(logon["step_s"], logon["point"], logon["left_us"],
                   logon["to_authorised_us"], logon["next_try_ms"])
        for i, (step, point, left, d, gap) in enumerate(rows, 1):
            w(f"| {i} | {step:g} s | {point:g} of it | {secs(left)} | {secs(d)} | {us(d - left)} "
              f"| {gap / 1000:.3f} s |")
        w("")
        w("Every pause between two tries that the runs saw (from one try's record to the "
          "next, so each includes the failed try's own exchange):")
        w("")
        w("| step | pauses | median | worst |")
        w("|---|---|---|---|")
        gaps = {}
        for step, ms in zip(logon["gap_step_s"] + logon["step_s"],
                            logon["gap_ms"] + logon["next_try_ms"]):
            gaps.setdefault(step, []).append(ms)
        for step in sorted(gaps):
            w(f"| {step:g} s | {len(gaps[step])} | {med(gaps[step]) / 1000:.3f} s | "
              f"{max(gaps[step]) / 1000:.3f} s |")
        w("")


def recovery_how(w):
    """How the renewal on resume and the connect at logon are measured."""
    w("- **Resume** (`client_bench resume`): the client in the bench process as for connect "
      "and stop, `RECONNECT_PERIOD` 30, so that a renewal can only come from the resume. "
      "WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC is sent, from another thread as the "
      "system's message comes from outside, to a window of the bench that handles it as the "
      "program's main window does (it calls `c_client::resumed()`), not to "
      "`AuthClient.exe`: in this process the renewal's answer can be timed where the client "
      "reports it. The state stays `authorised` through a successful renewal, so the window "
      "hears nothing of it; the server is therefore told (`info`) to put a server message in "
      "the renewal's answer, which the worker reports with `WM_SERVER_INFO` right after it "
      "has taken the verified answer and stored `authorised`. The figure runs to that "
      "message handled. Each resume comes 0.3 to 0.7 s after the last renewal, while the "
      "worker waits in its pause; each renewal must be verified by the server, the state "
      "must not change, and no renewal may come without a resume. The floor is one bare "
      "exchange of the connect and stop section.")
    w("- **Connect at logon** (`client_bench logon`): `c_client::start(true)`, as "
      "\"--tray --connect\" connects, over TCP (the default protocol), against a server told "
      "`fault drop`: each connection is closed without a byte, a network failure that such a "
      "connect survives. Each try shows as a record of the server; its pause begins as the "
      "record arrives. At 0.2, 0.5 or 0.8 of the pending step the bench tells the server "
      "`fault none` and times until the handled `authorised`. \"Left\" is the rest of the "
      "step from that moment as the schedule has it, \"beyond\" what the wait took more. The "
      "server's next two records must be the challenge and its verified answer (no failed "
      "try after `fault none`, none too early), the states busy, error, authorised, and no "
      "box may open. Each round places one run in each of the five steps; a run in the 30 s "
      "step takes a minute.")


def missing_sections(results, des):
    """The sections that yielded no samples."""
    missing = []
    for rid, key in SECTIONS:
        values = [r.get(key) for r in results.get(rid, [])]
        if not any(v for v in values if v not in (None, [], 0)):
            missing.append(rid)
    if not des.get("ours_key_and_block") or not des.get("libcrypto_key_and_block"):
        missing.append("des")
    return missing


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--results", required=True)
    p.add_argument("--des", required=True)
    p.add_argument("--machine", required=True)
    p.add_argument("--output", required=True)
    p.add_argument("--commit", default="unknown")
    p.add_argument("--counts", action="append", default=[])
    p.add_argument("--load", nargs=2, type=float, metavar=("BEFORE", "AFTER"),
                   help="the 1-minute load average before and after the run")
    p.add_argument("--cores", type=int, default=2)
    a = p.parse_args()

    results, failures = load_results(a.results)
    des = des_figures(a.des)
    for rid in missing_sections(results, des):
        failures.append(f"no samples: {rid}")
    for f in failures:
        print(f"bench: {f}", file=sys.stderr)
    today = datetime.date.today().isoformat()
    lines = []
    w = lines.append

    parts = {k: med(samples(results, "part_" + k)) for k in
             ("thread_start", "thread_exit", "registry_read", "send_message", "resolve",
              "wait_signalled", "server_calls", "udp_socket")}

    def required_cost(rid):
        r = REQUIRED[rid]
        return (r["thread"] * parts["thread_start"] + r["reads"] * parts["registry_read"] +
                r["sends"] * parts["send_message"])

    w("# Performance")
    w("")
    w(f"Measured by `scripts/bench.sh` on {today}, machine kind {a.machine}, commit "
      f"{a.commit}. The client runs as the 64-bit Windows build under Wine; the reference "
      "server (`tools/auth-server`, release build without sanitizers) runs natively on "
      "127.0.0.1. Counts of this run: " + "; ".join(a.counts) + ".")
    w("")
    load = ""
    if a.load:
        load = (f"The load average (1 min) was {a.load[0]:.2f} before the run and "
                f"{a.load[1]:.2f} after it, on {a.cores} cores. ")
    if a.load and max(a.load) < a.cores / 2:
        w(load + "The machine was otherwise idle; still, single samples scatter with the "
          "scheduling of Wine's server process. Medians are the figures to compare.")
    else:
        w(load + "The machine was shared: other work ran on its cores during the run, so "
          "single samples scatter and the worst figures show that load more than the program. "
          "The floor or peer of each line was measured in the same run, taking turns with the "
          "client, so both saw the same load. Medians are the figures to compare.")
    w("")
    if failures:
        w("**Runs that failed:** " + "; ".join(failures))
        w("")

    w("## Results")
    w("")
    w("| what was measured | figure (median / worst) | floor or peer (median / worst) | ratio of "
      "medians | goal | met |")
    w("|---|---|---|---|---|---|")

    def latency_row(title, rid, fid, floor_title):
        xs, fs = samples(results, rid), samples(results, fid)
        r = med(xs) / med(fs) if xs and fs else float("nan")
        met = "yes" if r == r and r <= 1.5 else "no, see below"
        w(f"| {title} ({len(xs)}×) | {pair(xs)} | {floor_title}: {pair(fs)} | {ratio(med(xs), med(fs))} "
          f"| ≤ 1.5 | {met} |")

    latency_row("connect to `authorised`, UDP: `start()` to the `WM_CLIENT_STATE` handled",
                "connect_udp", "floor_connect_udp", "socket, bind, two round trips")
    latency_row("connect to `authorised`, TCP", "connect_tcp", "floor_connect_tcp",
                "two connections with one round trip each")
    latency_row("`stop(0)` to `idle` while authorised, UDP", "stop_udp", "floor_rtt_udp",
                "one round trip")
    latency_row("`stop(0)` to `idle` while authorised, TCP", "stop_tcp", "floor_rtt_tcp",
                "one connection with one round trip")

    cp, cq = samples(results, "close_program"), samples(results, "close_peer")
    rtt = med(samples(results, "floor_rtt_udp"))
    peer = med(cq) + rtt if cq else float("nan")
    w(f"| WM_CLOSE to process exit of `AuthClient.exe --tray --connect`, authorised over UDP "
      f"({len(cp)}×) | {pair(cp)} | a minimal window program's WM_CLOSE to exit: {pair(cq)}; "
      f"plus one UDP round trip: {us(peer)} | {ratio(med(cp), peer)} | (none set) | — |")

    cu = samples(results, "close_unreachable")
    if cu:
        tried = len(cu) - sum(r["unattempted"] for r in results["close_unreachable"])
        w(f"| WM_CLOSE to process exit of `AuthClient.exe --tray --connect` over TCP while the "
          f"server is unreachable: the renewal's connect hangs, its SYNs dropped ({len(cu)}×); "
          f"the disconnect's own connect seen in {tried:.0f} of {len(cu)} | {pair(cu)} | the same "
          f"program closed with the server healthy (UDP, above): {pair(cp)} | "
          f"{ratio(med(cu), med(cp))} | within the close's 5000 ms wait (+ 500 ms for the "
          f"exit) | {'yes' if max(cu) <= 5500e3 and tried == len(cu) else 'no'} |")

    for case in ("held_tcp", "dripped_tcp", "silent_udp", "dropped_syn_tcp"):
        r = one(results, "fault_stop_" + case)
        healthy = one(results, "fault_stop_healthy_" + case.rsplit("_", 1)[1])
        if not r or not healthy:
            continue
        proto = r["protocol"].upper()
        peer = (f"healthy server, {proto}, the stop in the pause: to the request "
                f"{pair(healthy['to_request_us'])}; to `idle` {pair(healthy['to_idle_us'])}")
        n = len(r["to_idle_us"])
        note = f"; {r['anomalies']:.0f} anomalies, first: {r['first_anomaly']}" \
            if r["anomalies"] else ""
        if r["reaches_server"]:
            xs = r["to_request_us"]
            w(f"| `stop(0)` while a renewal is stuck: {FAULT_STOPS[case]} ({n}×){note} | "
              f"to the disconnect request at the server {pair(xs)}; to `idle` "
              f"{pair(r['to_idle_us'])} | {peer} | "
              f"{ratio(med(xs), med(healthy['to_request_us']))} | the disconnect request on "
              f"the wire within about 100 ms | "
              f"{'yes' if xs and med(xs) <= 100e3 and not r['anomalies'] else 'no'} |")
        else:
            xs = r["to_box_us"]
            w(f"| `stop(0)` while a renewal is stuck: {FAULT_STOPS[case]} ({n}×){note}. The "
              f"disconnect request cannot reach the server: its own connect runs to the 5 s "
              f"deadline and fails with its error box | to the box {pair(xs)}; to `idle` "
              f"(the box answered at once) {pair(r['to_idle_us'])} | {peer} | "
              f"{ratio(med(r['to_idle_us']), med(healthy['to_idle_us']))} | `idle` by the "
              f"disconnect's connect deadline (5 s + 500 ms) | "
              f"{'yes' if xs and max(xs) <= 5500e3 and not r['anomalies'] else 'no'} |")

    idle = one(results, "idle")
    if idle:
        wakes_ok = idle["wake_episodes"] <= idle["expected_passes"] and \
            idle["passes"] == idle["expected_passes"]
        w(f"| idle: wake-ups of the worker in {idle['seconds']:.0f} s while authorised "
          f"({idle['protocol'].upper()}, default period {idle['period_s']:.0f} s) | "
          f"{idle['wake_episodes']:.0f} | passes: {idle['expected_passes']:.0f} due, "
          f"{idle['passes']:.0f} seen by the server ({idle['verified']:.0f} verified) | "
          f"{ratio(idle['wake_episodes'], idle['expected_passes'])} | no wake-up beyond the "
          f"passes | {'yes' if wakes_ok else 'no'} |")
        w(f"| idle: CPU time of the program in the same {idle['seconds']:.0f} s | "
          f"{idle['program_cpu_ms']:.2f} ms (worker {idle['worker_cpu_ms']:.2f} ms) | "
          f"{idle['expected_passes']:.0f} passes: {idle['program_cpu_ms'] / max(1, idle['expected_passes']):.2f} ms "
          f"a pass | — | milliseconds | "
          f"{'yes' if idle['program_cpu_ms'] < 1000 else 'no'} |")

    for proto in ("udp", "tcp"):
        e = one(results, "endurance_" + proto)
        if not e:
            continue
        expected_verified = e["passes"] - 1
        handles_flat = abs(e["handles_end"] - e["handles_start"]) <= 2
        memory_flat = e["private_end"] - e["private_start"] <= 256 * 1024 and \
            e["committed_end"] - e["committed_start"] <= 64 * 1024
        ok = (e["verified"] == expected_verified and e["not_ok"] == 0 and handles_flat and
              memory_flat and e["error_states"] == 0)
        w(f"| endurance, {proto.upper()}, RECONNECT_PERIOD 0: {e['passes']:.0f} passes | "
          f"{e['verified']:.0f} of {expected_verified:.0f} answers verified, "
          f"{e['error_states']:.0f} errors; handles {e['handles_start']:.0f} → "
          f"{e['handles_end']:.0f}, private bytes {kib(e['private_start'])} → "
          f"{kib(e['private_end'])} | start sampled after {e['passes'] - e['measured_passes']:.0f} "
          f"passes; {e['measured_passes'] / e['seconds']:.0f} passes/s | handles "
          f"{e['handles_end'] - e['handles_start']:+.0f}, private "
          f"{(e['private_end'] - e['private_start']) / 1024:+.0f} KiB | all verified, flat | "
          f"{'yes' if ok else 'no'} |")

    soak_kinds = {
        "udp": [("drop", "dropped"), ("delay", "delayed 0.1–7 s"), ("broken", "broken")],
        "tcp": [("drop", "closed without a byte"), ("hold", "held open"),
                ("drip", "dripped a byte every 0.1–0.45 s"), ("broken", "broken")],
    }
    for proto, kinds in soak_kinds.items():
        soak = results.get("faults_" + proto, [])
        if not soak:
            continue
        total = lambda k: sum(r.get(k, 0) for r in soak)
        rec = [x for r in soak for x in r["recovery_ms"]]
        gap = max(r["longest_gap_ms"] for r in soak)
        ok = total("unrecovered") == 0 and \
            max(r["longest_refused_run"] for r in soak) <= 3 and \
            not any(f"fault soak {proto}" in f for f in failures)
        faults = ", ".join(f"{text} ({total('applied_' + k):.0f})" for k, text in kinds[:-1])
        faults += f" or {kinds[-1][1]} ({total('applied_' + kinds[-1][0]):.0f})"
        w(f"| fault soak, {proto.upper()}, RECONNECT_PERIOD 0: {total('passes'):.0f} passes over "
          f"{len(soak)} clients, one answer in ten {faults} | "
          f"{total('error_episodes'):.0f} `error` episodes, "
          f"{total('unrecovered'):.0f} without recovery; {total('refused'):.0f} exchanges "
          f"refused after a faulted answer had moved the challenge on, at most "
          f"{max(r['longest_refused_run'] for r in soak):.0f} in a row; recovery "
          f"{med(rec):.0f} ms / {max(rec) if rec else 0:.0f} ms; longest silence "
          f"{gap / 1000:.1f} s | quick retry: 500 ms pause, then one exchange | — | never "
          f"hangs, `authorised` again within the three quick retries, stops without a box | "
          f"{'yes' if ok else 'no'} |")

    recovery_rows(results, w)

    if des:
        ours, theirs = des.get("ours_key_and_block", []), des.get("libcrypto_key_and_block", [])
        if ours and theirs:
            r = med(ours) / med(theirs)
            w(f"| DES key schedule and one block (host build, {len(ours)} repetitions) | "
              f"{med(ours):.0f} ns / {max(ours):.0f} ns | libcrypto "
              f"`DES_set_key_unchecked` + `DES_ecb_encrypt`: {med(theirs):.0f} ns / "
              f"{max(theirs):.0f} ns | {r:.2f} | ≤ 1.0 | {'yes' if r <= 1.0 else 'no'} |")
    w("")

    w("## Where a goal is missed")
    w("")
    w("The floors of connect and stop are bare exchanges made by one thread with blocking calls. "
      "The client does the same exchanges, but the design also makes it do things the floor "
      "does not, each of which costs more under Wine than a loopback round trip:")
    w("")
    w("- a new worker thread for every connect;")
    w("- a registry read (open, query, close) at every use of a setting, several per pass;")
    w("- a `SendMessage` to the main window for each state change (busy, authorised; idle), "
      "which waits until the main thread has handled it.")
    w("")
    w("Their cost on this machine, measured in the same run (`client_bench parts`, median of 50):")
    w("")
    w("| call | median |")
    w("|---|---|")
    names = {"thread_start": "`CreateThread` to the thread's first instruction",
             "thread_exit": "a thread's return to its handle signalling",
             "registry_read": "one setting read (`RegCreateKeyA`, `RegQueryValueExA`, `RegCloseKey`)",
             "send_message": "`SendMessageA` from another thread, handled by a waiting main thread",
             "resolve": "`gethostbyname(\"127.0.0.1\")`",
             "wait_signalled": "`WaitForSingleObject` on a set event",
             "server_calls": "`CreateEventA` + `WaitForSingleObject` + `CloseHandle` (three wineserver requests)",
             "udp_socket": "UDP `socket` + `bind` + `closesocket`"}
    for k, title in names.items():
        w(f"| {title} | {us(parts[k])} |")
    w("")
    w("Adding what each operation requires (counted from the worker's code: reads of "
      "AUTH_SERVER, AUTH_PORT and AUTH_PROTOCOL at thread start, per pass AUTH_TYPE and "
      "AUTH_PROTOCOL for sending and receiving, over TCP AUTH_TYPE again for the local address, "
      "RECONNECT_PERIOD at each pause) to the floor gives the least this design can take here:")
    w("")
    w("| operation | floor | + required calls | = least possible | measured median | measured / least |")
    w("|---|---|---|---|---|---|")
    floors = {"connect_udp": "floor_connect_udp", "connect_tcp": "floor_connect_tcp",
              "stop_udp": "floor_rtt_udp", "stop_tcp": "floor_rtt_tcp"}
    for rid, fid in floors.items():
        f, m = med(samples(results, fid)), med(samples(results, rid))
        need = required_cost(rid)
        req = REQUIRED[rid]
        what = ", ".join(x for x in (
            f"{req['thread']} thread" if req["thread"] else "",
            f"{req['reads']} reads", f"{req['sends']} notifications") if x)
        w(f"| {rid.replace('_', ' ')} | {us(f)} | {what}: {us(need)} | {us(f + need)} | "
          f"{us(m)} | {ratio(m, f + need)} |")
    w("")
    w("So 1.5 times the bare exchanges is out of reach on this setup without changing what "
      "the design fixes (one thread per connect, settings read at every use, synchronous state "
      "notifications): over UDP a loopback round trip under Wine costs less than the thread "
      "start alone. What remains between the least possible and the measured median is "
      "scheduling: each of those calls is a request to the wineserver, and on this virtual "
      "machine a request that finds the cores idle waits for one to wake, so the same call "
      "costs several times more on a quiet machine than on a busy one (compare the three "
      "wineserver requests above with a registry read, which is also three). Nothing in the "
      "worker's own code showed up beyond those calls: it allocates nothing per pass, and a "
      "filtered log line is one comparison. Whether the goals hold on Windows, where these "
      "calls do not go through a server process, cannot be measured here.")
    w("")
    w("WM_CLOSE to exit has no goal of its own; the program's exit does more than the minimal "
      "window program's: it removes its tray icon, writes the credentials and autostart "
      "choices, stops the worker with the disconnect exchange and waits for it, and releases "
      "its objects and Winsock.")
    w("")

    recovery_section(results, w)

    w("## What the fault soak found")
    w("")
    w("The first soak runs showed clients that stayed in `error` after a delayed UDP answer, "
      "every later exchange refused with code 1001 while the server answered each at once. "
      "An answer that arrives after the client has given up on it (the 5 s select time-out) "
      "waited in the socket and was taken for the answer to the next request; from then on "
      "each answer read was the one to the request before, so each encrypted random answered "
      "a challenge the server had already replaced, and only a lost answer could bring the two "
      "back in step. With `RECONNECT_PERIOD` 1 and one answer delayed by 6 s the client never "
      "became `authorised` again. `auth/worker.cpp` now drops what is already waiting in the "
      "UDP socket before each request (`ioctlsocket(FIONREAD)`, at most 64 datagrams); the "
      "figures above are with that change. One refused exchange can still follow a late "
      "answer, because the server takes the challenge in the late answer as the one given; "
      "the next quick retry then succeeds (the refused exchanges counted above).")
    w("")
    w("The soak over TCP, and the stops at its end, found \"Отключить\" ending in a "
      "\"Неверный пароль\" box now and then (one stop in about thirty at period 0). A stop "
      "gives up the exchange under way at once, but the server may have answered it already: it "
      "then holds a challenge that the worker never read, and refuses the disconnect request, "
      "which answers the one before, with code 1001. The worker now sends the disconnect "
      "request once more with the challenge that the refusal carries; the figures above are "
      "with that change.")
    w("")
    w("## How each figure is taken")
    w("")
    w("- **Connect and stop** (`client_bench latency`): `auth::c_client` in the bench process "
      "with a real window that time-stamps each `WM_CLIENT_STATE` as it handles it; the main "
      "thread sleeps in `MsgWaitForMultipleObjectsEx` until a message comes. Connect runs from "
      "`start()` to the handled `authorised`, stop from `stop(0)` to the handled `idle` (the "
      "disconnect exchange in between). Every run is checked against the server's records: "
      "the challenge answer and the disconnect request verified. The floor program "
      "(`floor_bench`, a separate process using `auth/packet.h` for packets of the same sizes "
      "and the real DES answer) runs in five blocks taking turns with the client.")
    w("- **WM_CLOSE** (`client_bench close`): settings with saved credentials in the bench "
      "prefix's registry, `AuthClient.exe --tray --connect`, the authorization seen in the "
      "server's records and the disconnect button enabled, then WM_CLOSE posted to "
      "the window found by the main window's class and the time until the process "
      "handle signals. The peer is `floor_bench window`, a hidden window that posts quit on "
      "WM_DESTROY, timed the same way. The bench's Wine prefix has its virtual desktop from "
      "its first session on: without one, and without a window manager, Wine waits about 2 s "
      "whenever a window is shown or hidden (a first run once measured 2 s here). With the "
      "server unreachable the program runs over TCP "
      "with `RECONNECT_PERIOD` 1; once authorised, the server is told to drop SYNs "
      "(`fault unreachable`, a full listen backlog), and WM_CLOSE is posted as soon as the "
      "renewal's connect shows in Linux's `/proc/net/tcp` as unanswered (SYN_SENT). The "
      "disconnect request cannot reach the server; that it was tried shows as a second "
      "unanswered connect from another port, which a thread of the bench looks for while the "
      "program exits.")
    w("- **Stop under faults** (`client_bench stops`): the client in the bench process as "
      "for connect and stop, `RECONNECT_PERIOD` 1, authorised afresh for every sample; the "
      "server is told to hold the next TCP answer open (`hold`), to drip it a byte a second "
      "(`drip 1 1000`), to send no UDP answer (`drop`) or to drop SYNs (`unreachable`), and "
      "`stop(0)` follows as soon as the renewal's request record has come (or its connect "
      "shows as SYN_SENT). The time to the disconnect request is when its record arrives over "
      "the server's control connection, read by a thread of its own while the main thread "
      "handles the client's notifications; the time to `idle` is the handled notification. "
      "With SYNs dropped the disconnect's own connect runs to its 5 s deadline and the "
      "failure is fatal: the error box is found, timed and answered at once. The healthy "
      "figures are the same stop with a healthy server and `RECONNECT_PERIOD` 20, so that it "
      "comes in the pause.")
    w("- **Idle** (`client_bench idle`): after the authorization and half a period, a sampler "
      "thread reads the Linux scheduler statistics of the worker thread once a second (Wine "
      "runs each Windows thread as a Linux thread) and counts the seconds in which it ran; "
      "runs of such seconds are wake-ups. The CPU time is that of every thread of the process "
      "except the sampler, from `/proc/PID/task/*/schedstat` at both ends. `GetProcessTimes` "
      f"gave {idle['process_times_ms']:.0f} ms for the same span: under Wine it counts in "
      "10 ms ticks." if idle else "- **Idle**: not run.")
    w("- **Endurance** (`client_bench endurance`): every record of the server is read; each "
      "answer must be `ok` and each encrypted random verified. Handles: "
      "`GetProcessHandleCount` returns 0 under Wine 8, so the process's entries in the system "
      "handle table (`NtQuerySystemInformation`, class 16) are counted instead. Private bytes: "
      "`GetProcessMemoryInfo`; Wine leaves `PrivateUsage` 0 and fills the commit charge "
      "(`PagefileUsage`), which is the same quantity on Windows. The start is sampled after a "
      "warm-up of a tenth of the passes (at most 1000).")
    w("- **Fault soak** (`client_bench faults`): after each request the bench tells the server, "
      "with probability 1/10, to fault the next answer. Over UDP: drop it, delay it by 0.1 to "
      "7 s (beyond 5 s the client has given up on it and the late datagram arrives later), or "
      "break its chunks. Over TCP: close the connection without a byte, hold it open (the "
      "client gives up after 5 s), drip the answer a byte every 0.1 to 0.45 s (an answer of "
      "about 20 bytes comes within the 5 s or after them), or break its chunks. "
      "Faults start after the authorization (a failure before the first success ends the "
      "worker by design). Every `error` state must be followed by `authorised`. An exchange "
      "that was not faulted but refused (code 1001) answered a challenge that a late answer "
      "had moved on; no more than three such in a row (the quick retries) may happen. A "
      "silence of 20 s would count as a hang. The worst recovery times are those where the "
      "retry itself met a fault. Several clients, each with its own server and registry sandbox, run at once so "
      "that the 5 s answer time-outs of the drops do not add up to hours.")
    recovery_how(w)
    w("- **DES** (`des_bench`, Google Benchmark): `des_set_key` + `des_crypt_block` as the "
      "client does per packet, against libcrypto's `DES_set_key_unchecked` + "
      "`DES_ecb_encrypt` in the same binary, over 256 varying keys and blocks; CPU time per "
      "operation over 10 repetitions.")
    w("")

    details = []
    for proto in ("udp", "tcp"):
        e = one(results, "endurance_" + proto)
        if e:
            details.append((proto, e))
    if details:
        w("## Endurance trend")
        w("")
        for proto, e in details:
            w(f"{proto.upper()}: passes, handles, private bytes (KiB), committed private "
              "regions by `VirtualQuery` (KiB); Wine's Unix descriptors "
              f"{e['fds_start']:.0f} → {e['fds_end']:.0f}.")
            w("")
            w("| pass | handles | private KiB | committed KiB |")
            w("|---|---|---|---|")
            for i, n in enumerate(e["trend_pass"]):
                w(f"| {n:.0f} | {e['trend_handles'][i]:.0f} | {e['trend_private'][i] / 1024:,.0f} | "
                  f"{e['trend_committed'][i] / 1024:,.0f} |")
            w("")
    if des:
        w("## DES parts")
        w("")
        w("| benchmark | median ns | worst ns |")
        w("|---|---|---|")
        for name, xs in des.items():
            w(f"| `{name}` | {med(xs):.1f} | {max(xs):.1f} |")
        w("")

    with open(a.output, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
