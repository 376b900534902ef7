#!/usr/bin/env bash
# Benchmarks and soak runs of the client against the reference server on loopback (the Windows
# side under Wine), written up in docs/PERFORMANCE.md. Not part of scripts/test.sh.
#
# Builds its own trees (build/bench-host, build/bench-win64) and Wine prefix
# (build/bench-wineprefix), so it never touches the test trees. The counts default to the
# full run and can be lowered for a quick look, e.g. BENCH_UDP_PASSES=5000 scripts/bench.sh:
#   BENCH_REPETITIONS (50)        connect and stop, per protocol
#   BENCH_CLOSE_REPETITIONS (10)  WM_CLOSE to exit of AuthClient.exe, healthy and unreachable
#   BENCH_STOP_REPETITIONS (20)   stop while a renewal is stuck, per fault
#   BENCH_RESUME_REPETITIONS (30) resume message to the renewal, per protocol
#   BENCH_LOGON_ROUNDS (2)        connect at logon, one run in each step of the retry schedule
#                                 per round (about 2 minutes a round)
#   BENCH_IDLE_SECONDS (120)      idle cost while authorised
#   BENCH_UDP_PASSES (100000)     endurance over UDP
#   BENCH_TCP_PASSES (20000)      endurance over TCP
#   BENCH_FAULT_PASSES (10000)    fault soak per protocol, split over BENCH_FAULT_PROCESSES
#                                 (10) clients
#   BENCH_MACHINE                 the machine kind named in the report
#   BENCH_OUTPUT                  the report (default docs/PERFORMANCE.md)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

repetitions=${BENCH_REPETITIONS:-50}
close_repetitions=${BENCH_CLOSE_REPETITIONS:-10}
stop_repetitions=${BENCH_STOP_REPETITIONS:-20}
resume_repetitions=${BENCH_RESUME_REPETITIONS:-30}
logon_rounds=${BENCH_LOGON_ROUNDS:-2}
idle_seconds=${BENCH_IDLE_SECONDS:-120}
udp_passes=${BENCH_UDP_PASSES:-100000}
tcp_passes=${BENCH_TCP_PASSES:-20000}
fault_passes=${BENCH_FAULT_PASSES:-10000}
fault_processes=${BENCH_FAULT_PROCESSES:-10}
machine=${BENCH_MACHINE:-cpp (2 cores, Debian 12, Wine 8.0)}
output=${BENCH_OUTPUT:-$root/docs/PERFORMANCE.md}

host="$root/build/bench-host"
win="$root/build/bench-win64"
work="$win/bench-run"
results="$work/results.jsonl"

# The machine's load as the run begins (before its builds), for the report.
load_before=$(cut -d' ' -f1 /proc/loadavg)

ensure_packages libbenchmark-dev

configure() {
    configure_tree "$2" "$1" -DAUTHCLIENT_TESTS=OFF -DAUTHCLIENT_BENCH=ON "${@:3}" && build_tree "$1"
}

log "build: bench-host (release, no sanitizers)"
configure "$host" host -DCMAKE_BUILD_TYPE=Release -DAUTHCLIENT_SANITIZE=OFF || exit 1
log "build: bench-win64"
configure "$win" win64 -DAUTHCLIENT_BENCH_SERVER="$host/tools/auth-server/auth-server" || exit 1

rm -rf "$work"
mkdir -p "$work"
: >"$results"

log "DES: key schedule and one block, ours and libcrypto's"
"$host/bench/des_bench" --benchmark_repetitions=10 --benchmark_min_time=0.2 \
    --benchmark_format=json >"$work/des.json" 2>"$work/des.log" ||
    echo '{"id":"failure","what":"des_bench failed"}' >>"$results"

export WINEPREFIX="$root/build/bench-wineprefix"
display_start || exit 1
wine_start
at_exit wine_stop

# One Windows bench run; its result lines go to the results, everything else to its log.
bench() {
    local name=$1
    shift
    log "$name"
    (cd "$win/bench" && wine ./client_bench.exe "$@") >"$work/$name.out" 2>"$work/$name.log" </dev/null
    local status=$?
    grep '^{' "$work/$name.out" >>"$results"
    if [ $status != 0 ]; then
        echo "{\"id\":\"failure\",\"what\":\"$name exited with $status\"}" >>"$results"
        tail -n 5 "$work/$name.log" >&2
    fi
}

bench parts parts 50
bench latency latency "$repetitions" 5
bench close close "$close_repetitions"
bench stops stops "$stop_repetitions"
bench resume resume "$resume_repetitions"
bench logon logon "$logon_rounds"
bench idle idle "$idle_seconds"
bench endurance-udp endurance udp "$udp_passes"
bench endurance-tcp endurance tcp "$tcp_passes"

for protocol in udp tcp; do
    log "fault soak, $protocol: $fault_passes passes over $fault_processes clients"
    pids=()
    for i in $(seq 1 "$fault_processes"); do
        share=$((fault_passes / fault_processes + (i <= fault_passes % fault_processes ? 1 : 0)))
        (cd "$win/bench" && wine ./client_bench.exe faults "$protocol" "$share" "$i") \
            >"$work/faults-$protocol-$i.out" 2>"$work/faults-$protocol-$i.log" </dev/null &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        name="faults-$protocol-$((i + 1))"
        if ! wait "${pids[$i]}"; then
            echo "{\"id\":\"failure\",\"what\":\"fault soak $protocol $((i + 1)) failed\"}" \
                >>"$results"
            grep -h 'client_bench:' "$work/$name.log" >&2
        fi
        grep '^{' "$work/$name.out" >>"$results"
    done
done
load_after=$(cut -d' ' -f1 /proc/loadavg)

log "report: $output"
python3 "$root/bench/report.py" --results "$results" --des "$work/des.json" \
    --machine "$machine" --output "$output" \
    --counts "repetitions=$repetitions close=$close_repetitions stops=$stop_repetitions" \
    --counts "resume=$resume_repetitions logon=$logon_rounds rounds" \
    --counts "idle=$idle_seconds udp=$udp_passes tcp=$tcp_passes" \
    --counts "faults=$fault_passes/$fault_processes per protocol" \
    --load "$load_before" "$load_after" --cores "$(nproc)" \
    --commit "$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
