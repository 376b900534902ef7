#!/usr/bin/env bash
# The client at work: installs what is missing, builds, starts the reference auth server with a
# demo account on loopback, writes the client's settings (with a saved login and password) into a
# Wine prefix of its own, and runs AuthClient.exe until the server has seen the authorization and
# one renewal. Then it closes the program as a user would, tells what happened and saves a
# screenshot (docs/demo.png).
#
# Two runs: first as the autostart entry starts the program ("--tray --connect": no window, only
# the notification-area icon), then with the window shown ("--connect") for the screenshot. Both
# run in a Wine virtual desktop, so that windows have captions and there is a notification area:
# on your display when there is one, otherwise (and always with CI=true) on a private Xvfb.
#
# Settings (environment): DEMO_HOST_BUILD, DEMO_WIN64_BUILD (build trees, by default build/host
# and build/win64), DEMO_WINEPREFIX (build/demo-wineprefix), DEMO_OUT (build/demo: the server's
# records and the program's log), DEMO_SCREENSHOT (docs/demo.png).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

host_build=${DEMO_HOST_BUILD:-$root/build/host}
win_build=${DEMO_WIN64_BUILD:-$root/build/win64}
out=${DEMO_OUT:-$root/build/demo}
screenshot=${DEMO_SCREENSHOT:-$root/docs/demo.png}
export WINEPREFIX=${DEMO_WINEPREFIX:-$root/build/demo-wineprefix}

readonly demo_login=demo demo_password=demo-password period=3 demo_desktop=AuthClientDemo
readonly wait_seconds=60

server_pid=""
desktop_pid=""
# Stops the server and the program's desktop; at exit, before the Wine session ends.
stop_demo() {
    [ -n "$desktop_pid" ] && kill "$desktop_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
}

# Request records of the server from line $1 on that match $2.
records_since() { tail -n "+$(($1 + 1))" "$out/server.jsonl" 2>/dev/null | grep -c "$2" || true; }
# An authorization and a renewal: two verified requests, in the records from line $1 on.
renewed_since() { (($(records_since "$1" '"verified":true') >= 2)); }

desktop_gone() { ! kill -0 "$desktop_pid" 2>/dev/null; }

# Starts the program in the virtual desktop with the given switches, in the output folder (its
# working folder, where it writes its log).
start_client() {
    (cd "$out" && exec wine explorer "/desktop=$demo_desktop,800x600" "$client_exe" "$@" \
        >/dev/null 2>&1 </dev/null) &
    desktop_pid=$!
}

# WM_CLOSE, as the close box or "Выход" in the tray menu: the program disconnects and ends.
# taskkill without /f posts WM_CLOSE to the program's windows; it must run in the same virtual
# desktop to see them. The desktop ends with its last program, which tells that the program did.
close_client() {
    wine explorer "/desktop=$demo_desktop,800x600" taskkill /im AuthClient.exe \
        >/dev/null 2>&1 </dev/null || true
    if wait_for 20 desktop_gone; then
        wait "$desktop_pid" 2>/dev/null || true
        desktop_pid=""
        return 0
    fi
    echo "the program did not end after WM_CLOSE" >&2
    return 1
}

take_screenshot() {
    mkdir -p "$(dirname "$screenshot")"
    if [ "$own_display" = 1 ]; then
        import -display "$DISPLAY" -window root -crop 800x600+0+0 +repage "$screenshot"
    else
        # Only the virtual desktop's window, not the rest of the user's screen.
        import -display "$DISPLAY" -window "$demo_desktop - Wine desktop" "$screenshot"
    fi
}

log "installing what is missing"
ensure_packages fonts-wine
log "building the reference server and the program"
configure_tree host "$host_build"
build_tree "$host_build" auth-server
configure_tree win64 "$win_build"
build_tree "$win_build" AuthClient authclient-protect
server_exe=$host_build/tools/auth-server/auth-server
protect_exe=$win_build/authclient-protect.exe

own_display=0
if [ -z "${DISPLAY:-}" ] || [ "${CI:-}" = true ]; then
    log "starting a private X display"
    display_start
    own_display=1
fi

log "starting the Wine session ($WINEPREFIX)"
wine_start || true # a server that is already up for this prefix is fine
at_exit wine_stop
at_exit stop_demo
wine_fonts
client_exe=$(winepath -w "$win_build/AuthClient.exe" 2>/dev/null </dev/null)

rm -rf "$out"
mkdir -p "$out"
log "starting the reference auth server with the account $demo_login"
"$server_exe" --listen 127.0.0.1:0 --account "$demo_login:$demo_password" --lifetime 900 \
    >"$out/server.jsonl" 2>"$out/server.err" </dev/null &
server_pid=$!
wait_for 30 grep -q '^listening' "$out/server.jsonl" || {
    cat "$out/server.err" >&2
    echo "the auth server did not start" >&2
    exit 1
}
port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$out/server.jsonl")

log "writing the client's settings (server 127.0.0.1:$port, UDP, saved login and password)"
settings_clear
protected_login=$(wine "$protect_exe" "$demo_login" </dev/null | tr -d '\r\n')
protected_password=$(wine "$protect_exe" "$demo_password" </dev/null | tr -d '\r\n')
[ -n "$protected_login" ] && [ -n "$protected_password" ] || {
    echo "authclient-protect gave nothing" >&2
    exit 1
}
settings_write AUTH_SERVER 127.0.0.1
settings_write AUTH_PORT "$port"
settings_write AUTH_PROTOCOL 17
settings_write AUTH_TYPE 2
settings_write AUTH_LOGIN "$protected_login"
settings_write AUTH_PASSWD "$protected_password"
settings_write AUTH_SAVE 1
settings_write RECONNECT_PERIOD "$period"
settings_write LOG_LEVEL 5

status=0
log "run 1: AuthClient.exe --tray --connect (as started with the system)"
start_client --tray --connect
if wait_for "$wait_seconds" renewed_since 0; then
    log "authorised and renewed; closing the program"
else
    echo "the server saw no authorization and renewal within ${wait_seconds} s" >&2
    status=1
fi
close_client || status=1
first_run_records=$(wc -l <"$out/server.jsonl")

if [ "$status" = 0 ]; then
    log "run 2: AuthClient.exe --connect (the window) for the screenshot"
    start_client --connect
    # The renewal comes a period after the authorization: by then the window shows its state.
    if wait_for "$wait_seconds" renewed_since "$first_run_records"; then
        take_screenshot
    else
        echo "the second run was not authorised and renewed" >&2
        status=1
    fi
    close_client || status=1
fi

log "what happened"
python3 - "$out/server.jsonl" "$first_run_records" <<'EOF'
import json, sys
path, first_run = sys.argv[1], int(sys.argv[2])
lines = open(path).read().splitlines()
runs = {1: [], 2: []}
flag = lambda value: "-" if value is None else "yes" if value else "no"
for number, line in enumerate(lines, 1):
    if line.startswith("{"):
        runs[1 if number <= first_run else 2].append(json.loads(line))
print("The server's view (one line per request):")
print("  run  seq  time ms  proto  login  encrypted  verified  disconnect  answer")
for run, records in runs.items():
    for r in records:
        print(f"  {run:>3}  {r['seq']:>3}  {r['t_ms']:>7}  {r['proto']:<5}  {r['login'] or '-':<5}"
              f"  {flag(r['encrypted_random']):<9}  {flag(r['verified']):<8}"
              f"  {flag(r['disconnect']):<10}  {r['answer']}")
for run, records in runs.items():
    if not records:
        continue
    verified = [r for r in records if r["verified"]]
    steps = [f"busy, the challenge fetched at {records[0]['t_ms']} ms"]
    if verified:
        steps.append(f"authorised at {verified[0]['t_ms']} ms")
        renewals = [r for r in verified[1:] if not r["disconnect"]]
        if renewals:
            steps.append(f"renewed at {', '.join(str(r['t_ms']) for r in renewals)} ms")
    refused = [r for r in records if r["answer"] != "ok"]
    if refused:
        steps.append(f"refused at {refused[0]['t_ms']} ms ({refused[0]['answer']})")
    gone = [r for r in records if r["disconnect"]]
    if gone:
        steps.append(f"closed: the disconnect request at {gone[-1]['t_ms']} ms, then idle")
    print(f"Run {run}: " + "; ".join(steps) + ".")
EOF
logfile=$(ls "$out"/zerva_client_*.log 2>/dev/null | head -n 1 || true)
if [ -n "$logfile" ]; then
    echo "The program's log (LOG_LEVEL 5), without the packets' elements; the whole file is"
    echo "$logfile:"
    iconv -f CP1251 -t UTF-8 "$logfile" | tr -d '\r' |
        grep -v -e '<- ' -e '-> Server random' -e 'Auth cycle BEGIN' -e 'Building auth packet' \
            -e 'Receive server answer' -e 'Parsing server answer' | sed 's/^/  /'
else
    echo "The program wrote no log." >&2
    status=1
fi
[ -f "$screenshot" ] && echo "Screenshot: $screenshot"
exit "$status"
