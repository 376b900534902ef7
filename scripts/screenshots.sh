#!/usr/bin/env bash
# Screenshots of the program's windows for the README: the main window idle, busy, in error and
# authorised, the tray icon's menu, both pages of the properties sheet and a server message
# window, each at 100, 150 and 200 % display scale. The program runs under Wine in a virtual
# desktop (captions and a taskbar, as on Windows) on a private Xvfb, against the reference auth
# server, which a control connection tells when to misbehave.
#
#   scripts/screenshots.sh            # writes docs/screenshots/*.png; NAME-150.png, NAME-200.png
#
# Needs build/win64/AuthClient.exe and build/host/tools/auth-server/auth-server (scripts/test.sh
# builds both); SCREENSHOTS_EXE, SCREENSHOTS_SERVER and SCREENSHOTS_OUT override the paths.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

exe=$(realpath -m "${SCREENSHOTS_EXE:-$root/build/win64/AuthClient.exe}")
server=$(realpath -m "${SCREENSHOTS_SERVER:-$root/build/host/tools/auth-server/auth-server}")
out=$(realpath -m "${SCREENSHOTS_OUT:-$root/docs/screenshots}")
work="$root/build/screens"
export WINEPREFIX="$root/build/screens-wineprefix"

for f in "$exe" "$server"; do
    [ -x "$f" ] || { echo "screenshots: $f is missing: build it first (scripts/test.sh)" >&2; exit 1; }
done
ensure_packages fonts-wine xdotool # Tahoma and the caption buttons' glyphs; a right click
mkdir -p "$work" "$out"

# A tiny Windows program that finds the windows, reads the main window's state from its
# controls, fills fields and posts commands: the same messages a user's clicks produce.
cat >"$work/shotctl.c" <<'EOF'
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static HWND find(const wchar_t* cls, const wchar_t* title) {
    HWND w = FindWindowW(cls, wcscmp(title, L"-") ? title : NULL);
    return w && IsWindowVisible(w) ? w : NULL;
}

static int enabled(HWND w, int id) { return IsWindowEnabled(GetDlgItem(w, id)) != 0; }
static int visible(HWND w, int id) { return IsWindowVisible(GetDlgItem(w, id)) != 0; }

/* The main window's state, as its buttons and warning badge show it. */
static int in_state(HWND w, const wchar_t* state) {
    if (!wcscmp(state, L"idle")) return enabled(w, 1002) && !enabled(w, 1003);
    if (!wcscmp(state, L"busy")) return !enabled(w, 1002) && !enabled(w, 1003) && !enabled(w, 1000);
    if (!wcscmp(state, L"error")) return enabled(w, 1003) && visible(w, 1006);
    if (!wcscmp(state, L"authorised")) return enabled(w, 1003) && !visible(w, 1006);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    const wchar_t* main_class = L"MainDlgClass-{102394812}";
    if (argc >= 5 && !wcscmp(argv[1], L"wait-window")) { /* CLASS TITLE SECONDS: prints x y w h */
        DWORD end = GetTickCount() + 1000 * _wtoi(argv[4]);
        for (;;) {
            HWND w = find(argv[2], argv[3]);
            RECT r;
            if (w && GetWindowRect(w, &r)) {
                printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
                return 0;
            }
            if ((LONG)(GetTickCount() - end) > 0) return 1;
            Sleep(100);
        }
    }
    if (argc >= 5 && !wcscmp(argv[1], L"wait-gone")) { /* CLASS TITLE SECONDS */
        DWORD end = GetTickCount() + 1000 * _wtoi(argv[4]);
        while (find(argv[2], argv[3])) {
            if ((LONG)(GetTickCount() - end) > 0) return 1;
            Sleep(100);
        }
        return 0;
    }
    if (argc >= 4 && !wcscmp(argv[1], L"wait-state")) { /* STATE SECONDS */
        DWORD end = GetTickCount() + 1000 * _wtoi(argv[3]);
        for (;;) {
            HWND w = find(main_class, L"-");
            if (w && in_state(w, argv[2])) return 0;
            if ((LONG)(GetTickCount() - end) > 0) return 1;
            Sleep(50);
        }
    }
    if (argc >= 4 && !wcscmp(argv[1], L"set-text")) { /* ID TEXT */
        HWND w = find(main_class, L"-");
        return w && SetDlgItemTextW(w, _wtoi(argv[2]), argv[3]) ? 0 : 1;
    }
    if (argc >= 7 && !wcscmp(argv[1], L"post")) { /* CLASS TITLE MESSAGE WPARAM LPARAM */
        HWND w = FindWindowW(argv[2], wcscmp(argv[3], L"-") ? argv[3] : NULL);
        return w && PostMessageW(w, _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6])) ? 0 : 1;
    }
    if (argc >= 2 && !wcscmp(argv[1], L"workarea")) { /* prints left top right bottom */
        RECT r;
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) return 1;
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (argc >= 3 && !wcscmp(argv[1], L"focus")) { /* ID: the main window's control to focus */
        HWND w = find(main_class, L"-");
        return w && PostMessageW(w, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(w, _wtoi(argv[2])), TRUE) ? 0 : 1;
    }
    if (argc >= 5 && !wcscmp(argv[1], L"show")) { /* CLASS TITLE SW */
        HWND w = FindWindowW(argv[2], wcscmp(argv[3], L"-") ? argv[3] : NULL);
        return w ? (ShowWindow(w, _wtoi(argv[4])), 0) : 1;
    }
    fprintf(stderr, "shotctl: unknown command\n");
    return 2;
}
EOF
x86_64-w64-mingw32-gcc -municode -O2 -s -o "$work/shotctl.exe" "$work/shotctl.c" -luser32

cleanup() {
    wine_stop
    display_stop
}
trap cleanup EXIT
display_start 2560x1440 # room for the largest desktop below
version=$(sed -nE 's/^project\(AuthClient VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")

# Each scale in a session of its own: the display's LogPixels, a desktop of a screen that
# usually runs at that scale, and what the pictures' names end with.
for scale in "96 1024x768 " "144 1920x1080 -150" "192 2560x1440 -200"; do
    read -r dpi desktop suffix <<<"$scale"
    log "screenshots at LogPixels $dpi"
    wine_start "$dpi" "$desktop"
    wine_fonts
    wine reg delete 'HKCU\Software\Auth Client' /f >/dev/null 2>&1 </dev/null || true
    wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v AuthClient /f \
        >/dev/null 2>&1 </dev/null || true

    python3 - "$exe" "$server" "$out" "$work" "$version" "$desktop" "$suffix" <<'EOF'
import os, socket, subprocess, sys, threading, queue, time

exe, server, out, work, version, desktop, suffix = sys.argv[1:8]
caption = "Клиент авторизации " + version  # APP_CAPTION's default
screen_w, screen_h = map(int, desktop.split("x"))
main_class = "MainDlgClass-{102394812}"
WM_CLOSE, WM_COMMAND, PSM_SETCURSEL = 0x10, 0x111, 0x400 + 101

def wine(*args, timeout=60, check=True):
    r = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=timeout, cwd=work)
    if check and r.returncode != 0:
        raise SystemExit(f"screenshots: wine {' '.join(args)} failed ({r.returncode}): "
                         + r.stderr.decode(errors="replace").strip()[-500:])
    return r.stdout.decode(errors="replace").strip()

def ctl(*args, **kw):
    return wine(os.path.join(work, "shotctl.exe"), *args, **kw)

def reg(name, value):
    wine("reg", "add", r"HKCU\Software\Auth Client", "/v", name, "/d", str(value), "/f")

# The reference server connects back to this listener; its replies and request records come
# over the connection.
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
listener.settimeout(30)
srv = subprocess.Popen([server, "--listen", "127.0.0.1:0", "--account", "demo:demo", "--quiet",
                        "--lifetime", "900", "--control", "127.0.0.1:%d" % listener.getsockname()[1]],
                       stdin=subprocess.DEVNULL, stderr=open(os.path.join(work, "auth-server.log"), "w"))
conn, _ = listener.accept()
lines = queue.Queue()
def read():
    for line in conn.makefile("r", encoding="utf-8", errors="replace"):
        lines.put(line.strip())
    lines.put(None)
threading.Thread(target=read, daemon=True).start()

def expect(pred, seconds=30):
    end = time.monotonic() + seconds
    while True:
        try:
            line = lines.get(timeout=max(0.1, end - time.monotonic()))
        except queue.Empty:
            line = ""
        if line is None or time.monotonic() > end:
            raise SystemExit("screenshots: the auth server did not answer")
        if pred(line):
            return line

def command(text):
    conn.sendall((text + "\n").encode("utf-8"))
    if not expect(lambda l: l == "ok" or l.startswith("error")) == "ok":
        raise SystemExit(f"screenshots: server command failed: {text}")

port = int(expect(lambda l: l.startswith("port ")).split()[1])
expect(lambda l: l == "listening")

reg("AUTH_SERVER", "127.0.0.1")
reg("AUTH_PORT", port)
reg("AUTH_PROTOCOL", 6)
reg("AUTH_TYPE", 2)
reg("RECONNECT_PERIOD", 2)  # quick renewals, so that a fault shows soon

def shot(name, cls, title="-"):
    x, y, w, h = map(int, ctl("wait-window", cls, title, "20").split())
    time.sleep(0.8)  # let the window finish painting
    path = os.path.join(out, name + suffix + ".png")
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root",
                    "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-strip", path], check=True)
    print(f"screenshots: {path} ({w}x{h})")

def state(name, seconds=30):
    r = subprocess.run(["wine", os.path.join(work, "shotctl.exe"), "wait-state", name, str(seconds)],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=seconds + 30, cwd=work)
    if r.returncode != 0:
        raise SystemExit(f"screenshots: the main window does not show the state {name}")

def root_image():
    path = os.path.join(work, "desktop.png")
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", path], check=True)
    return path

# The tray icon's menu, opened with a right click on the icon, which is the right-most picture
# on the taskbar below the work area.
def tray_menu():
    left, top, right, bottom = map(int, ctl("workarea").split())
    strip_x = right - 160
    found = subprocess.run(["convert", root_image(), "-crop", f"160x{screen_h - bottom - 4}+{strip_x}+{bottom + 2}",
                            "+repage", "-fuzz", "20%", "-trim", "-format", "%w %h %X %Y", "info:"],
                           capture_output=True, text=True, check=True).stdout.split()
    w, h, x, y = (int(v) for v in found)
    cx, cy = strip_x + x + w // 2, bottom + 2 + y + h // 2
    subprocess.run(["xdotool", "mousemove", str(cx), str(cy), "click", "3"], check=True)
    mx, my, mw, mh = map(int, ctl("wait-window", "#32768", "-", "10").split())
    # Away from the icon, so that its tip goes; the menu stays open.
    subprocess.run(["xdotool", "mousemove", "100", "100"], check=True)
    time.sleep(1.5)
    x0, y0 = max(0, mx - 80), max(0, my - 40)
    path = os.path.join(out, "tray" + suffix + ".png")
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", "-crop",
                    f"{screen_w - x0}x{screen_h - y0}+{x0}+{y0}", "+repage", "-strip", path], check=True)
    print(f"screenshots: {path}")
    subprocess.run(["xdotool", "key", "Escape"], check=True)
    ctl("wait-gone", "#32768", "-", "10")

app = subprocess.Popen(["wine", "explorer", f"/desktop=Default,{screen_w}x{screen_h}", exe], cwd=work,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    ctl("wait-window", main_class, "-", "60", timeout=90)
    ctl("set-text", "1005", "demo")
    ctl("set-text", "1001", "demo")
    ctl("focus", "1002")  # as if about to press "Подключить"
    state("idle")
    shot("main-idle", main_class)

    # The first exchange is held unanswered: the client waits 5 s for it, in the busy state.
    command("fault hold 1")
    ctl("post", main_class, "-", str(WM_COMMAND), "1002", "0")
    state("busy", 10)
    shot("main-busy", main_class)
    state("busy", 0)  # still busy when the picture was taken
    command("release")

    state("authorised")
    shot("main-authorised", main_class)
    tray_menu()

    command("fault error 1001")
    state("error")
    shot("main-error", main_class)
    command("fault none")
    state("authorised")

    # The message window opens in the corner above the taskbar; the main window goes to the
    # notification area meanwhile, as with Esc.
    ctl("show", main_class, "-", "0")
    command("info Плановые работы|Сегодня с 02:00 до 04:00 на сети проводятся плановые "
            "работы: возможны кратковременные перерывы связи. Приносим извинения за "
            "неудобства.|icon=1")
    shot("message", "#32770", caption)
    ctl("post", "#32770", caption, str(WM_CLOSE), "0", "0")
    ctl("show", main_class, "-", "5")

    ctl("post", main_class, "-", str(WM_COMMAND), "1003", "0")
    state("idle")
    # The sheet shows the defaults rather than this run's loopback port.
    for name in ("AUTH_SERVER", "AUTH_PORT"):
        wine("reg", "delete", r"HKCU\Software\Auth Client", "/v", name, "/f")
    sheet = caption + " - Свойства"
    ctl("post", main_class, "-", str(WM_COMMAND), "1000", "0")
    shot("properties-general", "#32770", sheet)
    ctl("post", "#32770", sheet, str(PSM_SETCURSEL), "1", "0")
    shot("properties-about", "#32770", sheet)
    ctl("post", "#32770", sheet, str(WM_CLOSE), "0", "0")
    ctl("wait-gone", "#32770", sheet, "20")
    ctl("post", main_class, "-", str(WM_CLOSE), "0", "0")
    ctl("wait-gone", main_class, "-", "60")
    # The program has ended; the launcher may stay on as the desktop's keeper, and goes below.
    try:
        app.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
finally:
    if app.poll() is None:
        app.kill()
    try:
        command("quit")
    except Exception:
        pass
    try:
        srv.wait(timeout=10)
    except subprocess.TimeoutExpired:
        srv.kill()
EOF
done
