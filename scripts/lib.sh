# Shared by the scripts: installing what is missing, building, and a Wine session for tests.
# Source it; it expects `root` to be the repository's top folder.

log() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }

# Debian packages the build and the tests need; installed only when something is missing.
readonly AUTHCLIENT_PACKAGES=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-x86-64-dev
    wine wine64 xvfb xauth locales cmake ninja-build clang libclang-rt-14-dev
    googletest libssl-dev python3 imagemagick nsis
)

ensure_packages() {
    local missing=()
    for p in "${AUTHCLIENT_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    if ((${#missing[@]})); then
        log "installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" = 0 ] || sudo=sudo
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    ensure_russian_locale
}

# Wine takes the ANSI code page from the locale: ru_RU.UTF-8 gives 1251, as on a Russian Windows.
ensure_russian_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        log "generating the ru_RU.UTF-8 locale"
        local sudo=""
        [ "$(id -u)" = 0 ] || sudo=sudo
        $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

build_preset() {
    local preset=$1
    if [ ! -f "$root/build/$preset/build.ninja" ]; then
        cmake --preset "$preset" -S "$root" >/dev/null
    fi
    cmake --build "$root/build/$preset" --parallel "$(nproc)"
}

# Environment for every Windows program run by the tests and the demo.
wine_env() {
    export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    export WINEARCH=win64
    export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
}

# A persistent, warm wineserver: without it each program pays the cold start, and Wine's
# background services, started with ctest's pipes, would keep ctest waiting for ever.
wine_start() {
    wine_env
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null || true
        wineserver -w
    fi
    # A virtual desktop gives windows a frame and the notification area a home; without a
    # window manager Wine otherwise waits about 2 s whenever a window is shown or hidden. The
    # kind of desktop is fixed when the session's first program creates it, and a desktop
    # outlives its last program by a few seconds, so the setting must be in place before the
    # session below starts: written inside it, the desktop that `reg` itself brought up stays
    # a plain one for as long as programs keep coming.
    if [ ! -f "$WINEPREFIX/.authclient-desktop" ]; then
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
            >/dev/null 2>&1 </dev/null
        touch "$WINEPREFIX/.authclient-desktop"
    fi
    # A session left over from another display would keep its desktop there: start afresh.
    wineserver -k >/dev/null 2>&1 </dev/null || true
    wineserver -w >/dev/null 2>&1 </dev/null || true
    wineserver -p >/dev/null 2>&1 </dev/null || true
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    # Hold the desktop open for the whole session: left to itself it closes a moment after its
    # last window, and a program starting just then gets no windows at all.
    if [ -n "${DISPLAY:-}" ]; then
        (wine explorer /desktop=Default,1024x768 >/dev/null 2>&1 </dev/null &)
    fi
}

# Windows-like text for pictures of the windows: Wine's own fonts (Tahoma for the dialogs,
# Marlett for the caption buttons) are not found in Debian's data folder, the prefix's Fonts
# folder is where they count; and Windows draws "Microsoft Sans Serif" at Tahoma's size. Needs
# the package fonts-wine and a running session.
wine_fonts() {
    local f
    for f in /usr/share/wine/fonts/*; do
        [ -e "$WINEPREFIX/drive_c/windows/Fonts/${f##*/}" ] ||
            ln -s "$f" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v 'Microsoft Sans Serif' /d Tahoma /f >/dev/null 2>&1 </dev/null
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

# A private X display (Xvfb) for the windows, so that tests never draw on the user's screen.
xvfb_pid=""
display_start() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
        xvfb_pid=$!
        export DISPLAY=":$n"
        for _ in $(seq 1 100); do
            [ -S "/tmp/.X11-unix/X$n" ] && return
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
    done
    echo "no X display could be started" >&2
    return 1
}

display_stop() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}
