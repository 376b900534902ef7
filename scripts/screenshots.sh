#!/usr/bin/env bash
# Screenshots of the program's windows for the README: the main window idle, busy, in error and
# authorised, the tray icon's menu, both pages of the properties sheet and a server message
# window, each at 100, 150 and 200 % display scale. The program runs under Wine in a virtual
# desktop (captions and a taskbar, as on Windows) on a private Xvfb, against the reference auth
# server, which a control connection tells when to misbehave. tools/screenshots/screenshots.py
# leads the program through its states at each scale, with the small Windows program shotctl.exe
# (tools/screenshots/shotctl.cpp) as its hands.
#
#   scripts/screenshots.sh            # writes docs/screenshots/*.png; NAME-150.png, NAME-200.png
#
# Builds what it needs in build/win64 and build/host: AuthClient.exe, shotctl.exe and the
# reference server. SCREENSHOTS_EXE and SCREENSHOTS_SERVER take the program and the server from
# elsewhere instead, SCREENSHOTS_OUT puts the pictures elsewhere.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

win_build=$root/build/win64
host_build=$root/build/host
exe=$(realpath -m "${SCREENSHOTS_EXE:-$win_build/AuthClient.exe}")
server=$(realpath -m "${SCREENSHOTS_SERVER:-$host_build/tools/auth-server/auth-server}")
out=$(realpath -m "${SCREENSHOTS_OUT:-$root/docs/screenshots}")
shotctl=$win_build/tools/screenshots/shotctl.exe
work="$root/build/screens"
export WINEPREFIX="$root/build/screens-wineprefix"

ensure_packages fonts-wine xdotool # Tahoma and the caption buttons' glyphs; a right click
log "screenshots: building what is missing"
win_targets=(shotctl)
[ -n "${SCREENSHOTS_EXE:-}" ] || win_targets+=(AuthClient)
configure_tree win64 "$win_build"
build_tree "$win_build" "${win_targets[@]}"
if [ -z "${SCREENSHOTS_SERVER:-}" ]; then
    configure_tree host "$host_build"
    build_tree "$host_build" auth-server
fi
for f in "$exe" "$server"; do
    [ -x "$f" ] || { echo "screenshots: $f is missing" >&2; exit 1; }
done
load_release_env "$win_build" # the version in the program's caption
mkdir -p "$work" "$out"

display_start 2560x1440 # room for the largest desktop below
at_exit wine_stop

# Each scale in a session of its own: the display's LogPixels, a desktop of a screen that
# usually runs at that scale, and what the pictures' names end with.
for scale in "96 1024x768 " "144 1920x1080 -150" "192 2560x1440 -200"; do
    read -r dpi desktop suffix <<<"$scale"
    log "screenshots at LogPixels $dpi"
    wine_start "$dpi" "$desktop"
    wine_fonts
    settings_clear

    python3 "$root/tools/screenshots/screenshots.py" "$shotctl" "$exe" "$server" "$out" "$work" \
        "$AUTHCLIENT_VERSION" "$desktop" "$suffix"
done
