#!/usr/bin/env bash
# Checks the Windows setup (NSIS) and the MSI package under Wine in the current prefix
# ($WINEPREFIX). The setup: silent install for the current user, the program starts, installing
# over a running copy closes it, silent uninstall keeps the settings unless asked, the all-users
# mode, and that the finish page of the (elevated) setup does not start the program with the
# setup's rights. The MSI: silent install for the machine, the program starts from there, a
# newer package upgrades it in place, silent removal keeps the settings, and neither it nor an
# all-users setup installs over the other. Ends with "installer: N passed, M failed" and exits
# non-zero on a failure.
#
#   scripts/installer.sh                   # packs build/win64/AuthClient.exe into build/win64/packages
#   INSTALLER_DIST=dist scripts/installer.sh      # checks a release (scripts/release.sh) instead
#
# INSTALLER_BUILD is the build tree whose version the packages carry (default build/win64).
# INSTALLER_CA, a certificate, has the installed uninstaller's signature checked against it.
# No other copy of AuthClient.exe may run in the prefix meanwhile: the setup closes it. The
# user's settings key and autostart value are saved first and put back at the end.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

build=$(realpath -m "${INSTALLER_BUILD:-$root/build/win64}")

passed=0
failed=0
check_prefix=installer

finish() {
    echo "installer: $passed passed, $failed failed"
    [ "$failed" = 0 ]
    exit
}

# --- the packages -------------------------------------------------------------------------

if [ ! -f "$build/generated/release.env" ]; then
    echo "installer: no build tree at $build: build the win64 preset first" >&2
    failed=1
    finish
fi
load_release_env "$build"
version=$AUTHCLIENT_VERSION
if [ -n "${INSTALLER_DIST:-}" ]; then
    out_dir=$(realpath -m "$INSTALLER_DIST")
else
    out_dir=$build/packages
    ensure_packages "${PACKAGING_PACKAGES[@]}"
    log "installer: packing $build/AuthClient.exe, version $version"
    strip_program "$build/AuthClient.exe" "$out_dir"
    check "makensis builds the setup" build_setup "$out_dir/AuthClient.exe" \
        "$out_dir/AuthClient-$version-setup.exe" "$build"
    check "wixl builds the MSI package" build_msi "$out_dir/AuthClient.exe" \
        "$out_dir/AuthClient-$version.msi" "$build"
fi
exe=$out_dir/AuthClient.exe
setup=$out_dir/AuthClient-$version-setup.exe
msi=$out_dir/AuthClient-$version.msi
for f in "$exe" "$setup" "$msi"; do
    [ -f "$f" ] || { echo "installer: $f is missing" >&2; failed=$((failed + 1)); }
done
[ "$failed" = 0 ] || finish

# --- the Wine session ---------------------------------------------------------------------

wine_env
mkdir -p "$WINEPREFIX"
# A wineserver works in /tmp/wine-*/server-<device>-<inode> of its prefix.
session_running() {
    local id d
    id=$(stat -c '%d %i' "$WINEPREFIX" | { read -r dev ino; printf 'server-%x-%x' "$dev" "$ino"; })
    for d in /proc/[0-9]*; do
        [[ "$(readlink "$d/cwd" 2>/dev/null)" == */"$id" ]] && return 0
    done
    return 1
}
own_session=0
session_running || own_session=1
[ -n "${DISPLAY:-}" ] || display_start || finish
wine_start
((own_session)) && at_exit wine_stop

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\AuthClient'

run_wine() { timeout 120 wine "$@" </dev/null >>"$work/wine.log" 2>&1; }
# An uninstaller runs in place (and so waits) only when "_?=FOLDER" ends its command line
# unquoted; wine would quote a folder with blanks, so the line goes through a batch file.
uninstall_in_place() { # uninstall_in_place WINDOWS_FOLDER [SWITCH...]
    printf '@"%s\\uninstall.exe" %s _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$1" "${*:2}" "$1" >"$work/uninstall.cmd"
    run_wine cmd /c "$(winepath -w "$work/uninstall.cmd")"
}
reg_has() { wine reg query "$1" ${2:+/v "$2"} </dev/null >/dev/null 2>&1; }
# The data of one REG_SZ value (ASCII only: reg prints in the console code page).
reg_get() {
    wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
        sed -nE "s/^ +$2 +REG_[A-Z_]+ +(.*)$/\1/p"
}
win_env() { wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r'; }
unix_path() { winepath -u "$1" 2>/dev/null; }

work=$(mktemp -d)
# Leave the prefix's own settings and autostart value as they were.
reg_export() { wine reg export "$1" "$(winepath -w "$2")" /y </dev/null >/dev/null 2>&1; }
reg_import() { [ ! -f "$1" ] || wine reg import "$(winepath -w "$1")" </dev/null >/dev/null 2>&1; }
# The data of one REG_SZ value, any text (exported, since reg query prints in the console's code page).
reg_text() {
    reg_export "$1" "$work/value.reg" &&
        iconv -f UTF-16 -t UTF-8 "$work/value.reg" | tr -d '\r' | sed -nE "s/^\"$2\"=\"(.*)\"$/\1/p"
}
msi_run() { run_wine msiexec "$1" "$(winepath -w "$2")" /qn; } # msi_run /i|/x PACKAGE
# The entry of an MSI package in "Programs and Features" (HKLM), named by its ProductCode.
msi_entry() { echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(msi_property "$1" ProductCode)"; }
msi_packages=("$msi")
reg_has "$settings_key" && reg_export "$settings_key" "$work/settings.reg"
reg_has "$run_key" AuthClient && reg_export "$run_key" "$work/run.reg"
app_pid=""
# Leaves the prefix as it found it, before the session ends.
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    for p in "${msi_packages[@]}"; do
        reg_has "$(msi_entry "$p")" && msi_run /x "$p"
    done
    settings_clear
    reg_import "$work/settings.reg"
    reg_import "$work/run.reg"
    rm -rf "$work"
}
at_exit cleanup

gone() { [ ! -e "$1" ]; }
same_file() { cmp -s "$1" "$2"; }

win_user_dir="$(win_env LOCALAPPDATA)\\Programs\\AuthClient"
user_dir=$(unix_path "$win_user_dir")
user_link="$(unix_path "$(win_env APPDATA)")/Microsoft/Windows/Start Menu/Programs/Клиент авторизации.lnk"
win_machine_dir="$(win_env ProgramW6432)\\AuthClient"
machine_dir=$(unix_path "$win_machine_dir")
machine_link="$(unix_path "$(win_env ProgramData)")/Microsoft/Windows/Start Menu/Programs/Клиент авторизации.lnk"
if [ -z "$user_dir" ] || [ -z "$machine_dir" ]; then
    echo "installer: the prefix's folders cannot be found" >&2
    failed=$((failed + 1))
    finish
fi

# Anything left over by an earlier, interrupted run goes first.
reg_has "$(msi_entry "$msi")" && msi_run /x "$msi"
[ -f "$user_dir/uninstall.exe" ] && uninstall_in_place "$win_user_dir" /S
[ -f "$machine_dir/uninstall.exe" ] && uninstall_in_place "$win_machine_dir" /S
rm -rf "$user_dir" "$machine_dir"

# --- for the current user -----------------------------------------------------------------

log "installer: silent install for the current user"
check "silent install exits 0" run_wine "$setup" /S
check "the program is in %LOCALAPPDATA%\\Programs\\AuthClient" same_file "$exe" "$user_dir/AuthClient.exe"
check "the uninstaller is beside it" test -f "$user_dir/uninstall.exe"
if [ -n "${INSTALLER_CA:-}" ]; then
    check "the uninstaller is signed" signed_by "$INSTALLER_CA" "$user_dir/uninstall.exe"
fi
check "a Start-menu shortcut" test -f "$user_link"
check "the uninstall entry names the folder and version" \
    equals "$(reg_get "HKCU\\$uninstall_key" InstallLocation) $(reg_get "HKCU\\$uninstall_key" DisplayVersion)" \
    "$win_user_dir $version"

# It starts: with LOG_LEVEL 6 its client writes a TRACE line while the main window is built.
settings_write LOG_LEVEL 6
settings_write AUTH_SERVER installer.test
mkdir -p "$work/cwd"
(cd "$work/cwd" && exec wine "$user_dir/AuthClient.exe" --tray </dev/null >>"$work/app.log" 2>&1) &
app_pid=$!
started() { grep -qs 'c_client::c_client' "$1"/zerva_client_*.log; } # started WORKING_FOLDER
check "the installed program starts" wait_for 60 started "$work/cwd"

log "installer: installing over the running program"
check "silent install over it exits 0" run_wine "$setup" /S
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
check "the running program was closed" wait_for 30 app_ended
check "it closed the normal way" grep -qs 'c_client::~c_client' "$work"/cwd/zerva_client_*.log
app_ended && app_pid=""

log "installer: silent uninstall, settings kept"
reg_write "$run_key" AuthClient "$win_user_dir\\AuthClient.exe --tray --connect"
check "silent uninstall exits 0" uninstall_in_place "$win_user_dir" /S
check "the program is removed" gone "$user_dir/AuthClient.exe"
check "the shortcut is removed" gone "$user_link"
check "the uninstall entry is removed" not reg_has "HKCU\\$uninstall_key"
check "the autostart value is removed" not reg_has "$run_key" AuthClient
check "the settings are kept" equals "$(reg_get "$settings_key" AUTH_SERVER)" installer.test
rm -f "$user_dir/uninstall.exe" # run in place (_?=), the uninstaller cannot remove itself
rmdir "$user_dir" 2>/dev/null

log "installer: silent uninstall with /REMOVESETTINGS"
run_wine "$setup" /S
# Without _?= the uninstaller runs from a temporary copy and returns at once.
check "silent uninstall /REMOVESETTINGS exits 0" run_wine "$user_dir/uninstall.exe" /S /REMOVESETTINGS
check "the install folder goes" wait_for 60 gone "$user_dir"
check "the settings are removed" wait_for 30 not reg_has "$settings_key"

# --- for all users ------------------------------------------------------------------------

log "installer: silent install for all users"
check "silent install /AllUsers exits 0" run_wine "$setup" /S /AllUsers
check "the program is in Program Files\\AuthClient" same_file "$exe" "$machine_dir/AuthClient.exe"
check "a Start-menu shortcut for all users" test -f "$machine_link"
check "the uninstall entry is the machine's" \
    equals "$(reg_get "HKLM\\$uninstall_key" InstallLocation)" "$win_machine_dir"
check "the MSI package refuses to install over it" not msi_run /i "$msi"
check "and leaves it alone" eval 'same_file "$exe" "$machine_dir/AuthClient.exe" && ! reg_has "$(msi_entry "$msi")"'
check "silent uninstall for all users exits 0" uninstall_in_place "$win_machine_dir" /S
check "the program is removed from Program Files" gone "$machine_dir/AuthClient.exe"
check "the machine's shortcut and uninstall entry are removed" \
    eval '[ ! -e "$machine_link" ] && ! reg_has "HKLM\\$uninstall_key"'
rm -f "$machine_dir/uninstall.exe"
rmdir "$machine_dir" 2>/dev/null

# --- the finish page ----------------------------------------------------------------------

# Under Wine the setup runs with administrator rights, as an administrator's does after the
# elevation prompt. A small Windows program clicks through its pages as a user would and says
# what the finish page then started.
log "installer: the finish page of the elevated setup"
if x86_64-w64-mingw32-gcc -municode -O2 -s -o "$work/setup_driver.exe" \
    "$root/tests/installer/setup_driver.c" -luser32 >"$work/driver.log" 2>&1; then
    # Into a file, not a pipe: the programs it leads to would hold a pipe open.
    timeout 180 wine "$work/setup_driver.exe" "$(winepath -w "$setup")" </dev/null \
        >"$work/finish.raw" 2>>"$work/wine.log"
    tr -d '\r' <"$work/finish.raw" >"$work/finish.txt"
    sed 's/^/installer:      /' "$work/finish.txt"
    finish_says() { grep -qx "$1" "$work/finish.txt"; }
    check "the setup runs through its pages to the end" finish_says 'started [01]'
    check "the finish page offers to start the program" finish_says 'offered 1'
    check "the program starts" finish_says 'started 1'
    check "the setup does not start it with its own rights" finish_says 'by_setup 0'
    check "uninstalling closes it" uninstall_in_place "$win_user_dir" /S
    rm -f "$user_dir/uninstall.exe"
    rmdir "$user_dir" 2>/dev/null
else
    cat "$work/driver.log" >&2
    check "the setup driver compiles" false
fi

# --- the MSI package ----------------------------------------------------------------------

log "installer: MSI package, silent install"
settings_write LOG_LEVEL 6
settings_write AUTH_SERVER installer.test
check "msiexec /i /qn exits 0" msi_run /i "$msi"
check "the program is in Program Files\\AuthClient" same_file "$exe" "$machine_dir/AuthClient.exe"
# Wine puts the shortcut of a per-machine package into the user's Start menu, Windows into all users'.
check "a Start-menu shortcut" eval '[ -f "$machine_link" ] || [ -f "$user_link" ]'
check "the Programs and Features entry names the program, its version and publisher" \
    equals "$(reg_text "$(msi_entry "$msi")" DisplayName), $(reg_text "$(msi_entry "$msi")" DisplayVersion), $(reg_text "$(msi_entry "$msi")" Publisher)" \
    "Клиент авторизации, $version, $AUTHCLIENT_COMPANY"

mkdir -p "$work/msi-cwd"
(cd "$work/msi-cwd" && exec wine "$machine_dir/AuthClient.exe" --tray </dev/null >>"$work/app.log" 2>&1) &
app_pid=$!
check "the program starts from there" wait_for 60 started "$work/msi-cwd"
# taskkill without /f asks the program's windows to close, as "Выход" does.
run_wine taskkill /im AuthClient.exe
check "and closes when asked" wait_for 30 app_ended
check "the normal way" grep -qs 'c_client::~c_client' "$work"/msi-cwd/zerva_client_*.log
app_ended && app_pid=""

log "installer: the all-users setup next to the MSI package"
run_wine "$setup" /S /AllUsers
check "the setup for all users refuses with exit code 2" equals "$?" 2
check "and leaves the package alone" eval 'same_file "$exe" "$machine_dir/AuthClient.exe" && ! reg_has "HKLM\\$uninstall_key"'

log "installer: a newer MSI package upgrades in place"
newer_version=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
newer=$work/AuthClient-$newer_version.msi
check "a package of version $newer_version builds" build_msi "$exe" "$newer" "$build" "$newer_version"
msi_packages+=("$newer")
check "msiexec /i of the newer package exits 0" msi_run /i "$newer"
check "the older version's entry made way for the newer one's" \
    eval '! reg_has "$(msi_entry "$msi")" && equals "$(reg_get "$(msi_entry "$newer")" DisplayVersion)" "$newer_version"'
check "the program stays in place" same_file "$exe" "$machine_dir/AuthClient.exe"
check "the older package does not go over the newer one" not msi_run /i "$msi"

log "installer: silent removal of the MSI package"
check "msiexec /x /qn exits 0" msi_run /x "$newer"
check "the program and its folder are removed" gone "$machine_dir"
check "the shortcut is removed" eval '[ ! -e "$machine_link" ] && [ ! -e "$user_link" ]'
check "the Programs and Features entry is removed" not reg_has "$(msi_entry "$newer")"
check "the settings are kept" equals "$(reg_get "$settings_key" AUTH_SERVER)" installer.test

finish
