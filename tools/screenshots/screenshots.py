#!/usr/bin/env python3
"""The pictures of the program's windows at one display scale, for scripts/screenshots.sh.

Runs in the Wine session that the script has started (WINEPREFIX, DISPLAY): starts the reference
auth server with a control connection, points the client's settings at it, starts the program in
the virtual desktop and leads it through its states with shotctl.exe, taking a picture of each.
"""
import argparse
import os
import queue
import socket
import subprocess
import threading
import time

parser = argparse.ArgumentParser(description=__doc__)
parser.add_argument("shotctl", help="shotctl.exe (tools/screenshots)")
parser.add_argument("exe", help="AuthClient.exe")
parser.add_argument("server", help="the reference auth server")
parser.add_argument("out", help="folder of the pictures")
parser.add_argument("work", help="folder for the programs' output")
parser.add_argument("version", help="the program's version, part of its caption")
parser.add_argument("desktop", help="size of the virtual desktop, e.g. 1024x768")
parser.add_argument("suffix", help="what the pictures' names end with, e.g. -150")
args = parser.parse_args()

caption = "Клиент авторизации " + args.version  # APP_CAPTION's default
sheet = caption + " - Свойства"
screen_w, screen_h = map(int, args.desktop.split("x"))
settings_key = r"HKCU\Software\Auth Client"


def run_wine(arguments, timeout):
    return subprocess.run(["wine", *arguments], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout, cwd=args.work)


def wine(*arguments, timeout=60):
    r = run_wine(arguments, timeout)
    if r.returncode != 0:
        raise SystemExit(f"screenshots: wine {' '.join(arguments)} failed ({r.returncode}): "
                         + r.stderr.decode(errors="replace").strip()[-500:])
    return r.stdout.decode(errors="replace").strip()


def ctl(*arguments, **kw):
    return wine(args.shotctl, *arguments, **kw)


def setting(name, value=None):
    """Writes one of the client's settings, or removes it without a value. Only this program
    knows the server's port, so the settings are written here rather than by the script."""
    if value is None:
        wine("reg", "delete", settings_key, "/v", name, "/f")
    else:
        wine("reg", "add", settings_key, "/v", name, "/d", str(value), "/f")


def capture(path, *crop):
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", *crop, path],
                   check=True)


# The reference server connects back to this listener; its replies and request records come
# over the connection.
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
listener.settimeout(30)
srv = subprocess.Popen([args.server, "--listen", "127.0.0.1:0", "--account", "demo:demo", "--quiet",
                        "--lifetime", "900",
                        "--control", "127.0.0.1:%d" % listener.getsockname()[1]],
                       stdin=subprocess.DEVNULL,
                       stderr=open(os.path.join(args.work, "auth-server.log"), "w"))
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

setting("AUTH_SERVER", "127.0.0.1")
setting("AUTH_PORT", port)
setting("AUTH_PROTOCOL", 6)
setting("AUTH_TYPE", 2)
setting("RECONNECT_PERIOD", 2)  # quick renewals, so that a fault shows soon


def shot(name, window_class, title="-"):
    x, y, w, h = map(int, ctl("wait-window", window_class, title, "20").split())
    time.sleep(0.8)  # let the window finish painting
    path = os.path.join(args.out, name + args.suffix + ".png")
    capture(path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-strip")
    print(f"screenshots: {path} ({w}x{h})")


def state(name, seconds=30):
    if run_wine([args.shotctl, "wait-state", name, str(seconds)], seconds + 30).returncode != 0:
        raise SystemExit(f"screenshots: the main window does not show the state {name}")


# The tray icon's menu, opened with a right click on the icon, which is the right-most picture
# on the taskbar below the work area.
def tray_menu():
    left, top, right, bottom = map(int, ctl("workarea").split())
    strip_x = right - 160
    desktop = os.path.join(args.work, "desktop.png")
    capture(desktop)
    found = subprocess.run(["convert", desktop, "-crop",
                            f"160x{screen_h - bottom - 4}+{strip_x}+{bottom + 2}",
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
    path = os.path.join(args.out, "tray" + args.suffix + ".png")
    capture(path, "-crop", f"{screen_w - x0}x{screen_h - y0}+{x0}+{y0}", "+repage", "-strip")
    print(f"screenshots: {path}")
    subprocess.run(["xdotool", "key", "Escape"], check=True)
    ctl("wait-gone", "#32768", "-", "10")


app = subprocess.Popen(["wine", "explorer", f"/desktop=Default,{screen_w}x{screen_h}", args.exe],
                       cwd=args.work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
try:
    ctl("wait-window", "main", "-", "60", timeout=90)
    ctl("set-text", "login", "demo")
    ctl("set-text", "password", "demo")
    ctl("focus", "connect")  # as if about to press "Подключить"
    state("idle")
    shot("main-idle", "main")

    # The first exchange is held unanswered: the client waits 5 s for it, in the busy state.
    command("fault hold 1")
    ctl("press", "connect")
    state("busy", 10)
    shot("main-busy", "main")
    state("busy", 0)  # still busy when the picture was taken
    command("release")

    state("authorised")
    shot("main-authorised", "main")
    tray_menu()

    command("fault error 1001")
    state("error")
    shot("main-error", "main")
    command("fault none")
    state("authorised")

    # The message window opens in the corner above the taskbar; the main window goes to the
    # notification area meanwhile, as with Esc.
    ctl("hide", "main", "-")
    command("info Плановые работы|Сегодня с 02:00 до 04:00 на сети проводятся плановые "
            "работы: возможны кратковременные перерывы связи. Приносим извинения за "
            "неудобства.|icon=1")
    shot("message", "#32770", caption)
    ctl("close", "#32770", caption)
    ctl("show", "main", "-")

    ctl("press", "disconnect")
    state("idle")
    # The sheet shows the defaults rather than this run's loopback port.
    setting("AUTH_SERVER")
    setting("AUTH_PORT")
    ctl("press", "properties")
    shot("properties-general", "#32770", sheet)
    ctl("page", "#32770", sheet, "1")
    shot("properties-about", "#32770", sheet)
    ctl("close", "#32770", sheet)
    ctl("wait-gone", "#32770", sheet, "20")
    ctl("close", "main", "-")
    ctl("wait-gone", "main", "-", "60")
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
