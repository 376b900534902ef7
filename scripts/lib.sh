# Shared by the scripts: installing what is missing, building, waiting, clean-up at exit, a Wine
# session on a private display, the program's settings in a prefix, and packaging.
# Source it; it expects `root` to be the repository's top folder.

log() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# at_exit COMMAND [ARGUMENT...]: runs the command when the script exits, before the commands
# added earlier, so that what started last stops first. It takes the script's EXIT trap.
exit_commands=()
at_exit() {
    exit_commands=("$(printf '%q ' "$@")" "${exit_commands[@]}")
    trap run_exit_commands EXIT
}

run_exit_commands() {
    local command
    set +e
    for command in "${exit_commands[@]}"; do
        eval "$command"
    done
}

# wait_for SECONDS COMMAND [ARGUMENT...]: runs the command every 0.2 s until it succeeds; fails
# if it has not succeeded within the time.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# Debian packages the build and the tests need; installed only when something is missing.
readonly AUTHCLIENT_PACKAGES=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-x86-64-dev
    wine wine64 xvfb xauth locales cmake ninja-build clang libclang-rt-14-dev
    googletest libssl-dev python3 imagemagick nsis
)

# ensure_packages [PACKAGE...]: the build's and the tests' packages and these, and the locale.
ensure_packages() {
    install_missing "${AUTHCLIENT_PACKAGES[@]}" "$@"
    ensure_russian_locale
}

# install_missing PACKAGE...: installs those of the Debian packages that are not installed.
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    log "installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Wine takes the ANSI code page from the locale: ru_RU.UTF-8 gives 1251, as on a Russian Windows.
ensure_russian_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        log "generating the ru_RU.UTF-8 locale"
        as_root sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
        as_root locale-gen >/dev/null
    fi
}

# configure_tree PRESET DIR [CMAKE_ARGUMENT...]: the build tree DIR of the sources, configured
# from the preset the first time; later builds only build.
configure_tree() {
    local preset=$1 dir=$2
    shift 2
    [ -f "$dir/build.ninja" ] || cmake --preset "$preset" -S "$root" -B "$dir" "$@" >/dev/null
}

# build_tree DIR [TARGET...]: builds the targets in a configured tree, or everything.
build_tree() {
    local dir=$1 targets=()
    shift
    (($#)) && targets=(--target "$@")
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# build_preset PRESET: everything of the preset in build/PRESET.
build_preset() {
    configure_tree "$1" "$root/build/$1" && build_tree "$root/build/$1"
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
# Optional: the display's LogPixels (96 is 100 %, 144 is 150 %, 192 is 200 %) and the size of
# the virtual desktop.
wine_start() {
    local dpi=${1:-} desktop=${2:-1024x768}
    wine_env
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null || true
        wineserver -w
    fi
    # The display's scale and the desktop are read when the session starts, which the restart
    # below sees to. A virtual desktop gives windows a frame and the notification area a home;
    # without a window manager Wine otherwise waits about 2 s whenever a window is shown or
    # hidden. The kind and size of desktop are fixed when the session's first program creates
    # it, and a desktop outlives its last program by a few seconds, so the setting must be in
    # place before the session starts: written inside it, the desktop that `reg` itself brought
    # up would stay a plain one for as long as programs keep coming.
    [ -z "$dpi" ] || reg_write 'HKCU\Control Panel\Desktop' LogPixels "$dpi" REG_DWORD
    if [ "$(cat "$WINEPREFIX/.authclient-desktop" 2>/dev/null)" != "$desktop" ]; then
        reg_write 'HKCU\Software\Wine\Explorer' Desktop Default
        reg_write 'HKCU\Software\Wine\Explorer\Desktops' Default "$desktop"
        echo "$desktop" >"$WINEPREFIX/.authclient-desktop"
    fi
    # A session left over from another display would keep its desktop there: start afresh.
    wineserver -k >/dev/null 2>&1 </dev/null || true
    wineserver -w >/dev/null 2>&1 </dev/null || true
    wineserver -p >/dev/null 2>&1 </dev/null || true
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    # Hold the desktop open for the whole session: left to itself it closes a moment after its
    # last window, and a program starting just then gets no windows at all.
    if [ -n "${DISPLAY:-}" ]; then
        (wine explorer /desktop=Default,"$desktop" >/dev/null 2>&1 </dev/null &)
    fi
}

# The tests of what the windows draw at 150 % run in a prefix of their own whose display is at
# LogPixels 144, beside the usual session (ctest points them there).
scaled_prefix() {
    echo "$root/build/win64/wineprefix-144"
}

scaled_start() {
    (WINEPREFIX=$(scaled_prefix) && export WINEPREFIX && wine_start 144)
}

scaled_stop() {
    WINEPREFIX=$(scaled_prefix) wineserver -k >/dev/null 2>&1 || true
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
    reg_write 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        'Microsoft Sans Serif' Tahoma
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

# --- The registry of the current prefix -----------------------------------------------------

readonly settings_key='HKCU\Software\Auth Client'
readonly run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# reg_write KEY NAME DATA [TYPE]: one value, REG_SZ unless TYPE says otherwise.
reg_write() {
    wine reg add "$1" /v "$2" /t "${4:-REG_SZ}" /d "$3" /f >/dev/null 2>&1 </dev/null
}

# settings_write NAME DATA [TYPE]: one of the program's settings.
settings_write() {
    reg_write "$settings_key" "$@"
}

# Removes the program's settings and its autostart value.
settings_clear() {
    wine reg delete "$settings_key" /f >/dev/null 2>&1 </dev/null || true
    wine reg delete "$run_key" /v AuthClient /f >/dev/null 2>&1 </dev/null || true
}

# A private X display (Xvfb) for the windows, so that tests never draw on the user's screen;
# it stops when the script exits. Optional: its size.
xvfb_pid=""
display_start() {
    local n size=${1:-1024x768}
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 </dev/null &
        xvfb_pid=$!
        export DISPLAY=":$n"
        if wait_for 10 test -S "/tmp/.X11-unix/X$n"; then
            at_exit display_stop
            return
        fi
        kill "$xvfb_pid" 2>/dev/null || true
    done
    echo "no X display could be started" >&2
    return 1
}

display_stop() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}

# check NAME COMMAND...: one named check of a script that counts them in $passed and $failed,
# printed as "$check_prefix: ok   NAME" or "$check_prefix: FAIL NAME".
check() {
    if "${@:2}"; then
        passed=$((passed + 1))
        echo "$check_prefix: ok   $1"
    else
        failed=$((failed + 1))
        echo "$check_prefix: FAIL $1"
    fi
}

# Conditions for checks.
equals() { [ "$1" = "$2" ]; }
not() { ! "$@"; }

# --- Packaging, shared by installer.sh and release.sh --------------------------------------

readonly PACKAGING_PACKAGES=(nsis wixl msitools faketime osslsigncode openssl)

# The version and the company texts of a build tree, generated there from CMakeLists.txt.
load_release_env() {
    # shellcheck source=/dev/null
    . "$1/generated/release.env"
}

# Seconds since 1970 of the last commit: the time stamp of everything a build makes from it.
commit_time() {
    git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0
}

signing_configured() {
    [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ]
}

# signed_by CERTIFICATE FILE: FILE carries a valid signature of that certificate.
signed_by() {
    osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1
}

# msi_property PACKAGE NAME: a property of an MSI package, as stored.
msi_property() {
    LC_ALL=C.UTF-8 msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"
}

# strip_program EXE FOLDER: FOLDER/AuthClient.exe without its debug information, which goes to
# FOLDER/AuthClient.exe.debug; .gnu_debuglink in the one names the other (with its checksum),
# so that gdb and addr2line find it beside the program.
strip_program() {
    local objcopy=x86_64-w64-mingw32-objcopy exe
    exe=$(realpath "$1")
    mkdir -p "$2"
    # objcopy stamps the PE header with SOURCE_DATE_EPOCH, or else with the time of day.
    (
        cd "$2"
        export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(commit_time)}
        $objcopy --only-keep-debug "$exe" AuthClient.exe.debug
        $objcopy --strip-all --add-gnu-debuglink=AuthClient.exe.debug "$exe" AuthClient.exe
        # The setup keeps the file's time: the same for the same commit.
        touch -d "@$SOURCE_DATE_EPOCH" AuthClient.exe AuthClient.exe.debug
    )
}

# build_setup EXE SETUP BUILD_TREE: the NSIS setup of EXE with the version of BUILD_TREE; with
# signing set up (SIGN_CERT, SIGN_KEY) the uninstaller inside it and the setup are signed.
build_setup() {
    local args
    load_release_env "$3"
    args=(-INPUTCHARSET UTF8 -V2 -DVERSION="$AUTHCLIENT_VERSION" -DEXE="$(realpath "$1")"
        -DOUTFILE="$(realpath -m "$2")" -DCOMPANY="$AUTHCLIENT_COMPANY"
        -DCOPYRIGHT="$AUTHCLIENT_COPYRIGHT")
    signing_configured && args+=(-DSIGN="$root/scripts/sign.sh")
    # makensis reads its Cyrillic arguments in the locale's character set.
    LC_ALL=C.UTF-8 makensis "${args[@]}" "$root/installer/AuthClient.nsi"
}

# build_msi EXE MSI BUILD_TREE [VERSION]: the per-machine MSI package of EXE, with the version
# of BUILD_TREE unless VERSION is given; signed when signing is set up.
build_msi() {
    load_release_env "$3"
    python3 "$root/installer/build_msi.py" --exe "$1" --out "$2" \
        --version "${4:-$AUTHCLIENT_VERSION}" --company "$AUTHCLIENT_COMPANY" \
        --icon "$root/res/icons/app.ico" "$root/installer/AuthClient.wxs" || return
    if signing_configured; then "$root/scripts/sign.sh" "$2"; fi
}
