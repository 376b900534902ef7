#!/usr/bin/env bash
# Builds the release from a clean copy of the sources and says what it made, with the sizes:
#
#   dist/AuthClient.exe               the program, stripped (and signed when signing is set up)
#   dist/AuthClient.exe.debug         its debug information, named in the program's .gnu_debuglink
#   dist/AuthClient-<v>-setup.exe     the NSIS setup of that program
#   dist/AuthClient-<v>.msi           the MSI package of that program
#   dist/SHA256SUMS                   the checksums of the four
#
# The sources are the commit's tracked files as they are in the work tree (uncommitted changes
# included; untracked files left out), exported into the build folder, so that nothing else
# that lies around gets in. Everything is stamped with the commit's time (SOURCE_DATE_EPOCH):
# the same commit gives the same program wherever it is built.
#
# Environment:
#   SIGN_CERT, SIGN_KEY    sign the program, the uninstaller inside the setup, the setup and
#                          the MSI: PEM files, or one PKCS#12 file in both (see scripts/sign.sh)
#   SIGN_PASS              the password of the key or of the PKCS#12 file
#   SIGN_TIMESTAMP_URL     an RFC 3161 timestamp server for the signatures
#   RELEASE_DIST           where the artifacts go (default dist/)
#   RELEASE_BUILD          the build folder (default build/release): sources in src/, build
#                          tree in win64/, the unsigned program in program/
#
#   scripts/release.sh --program-only      only the program, unsigned, into $RELEASE_BUILD/program
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

dist=$(realpath -m "${RELEASE_DIST:-$root/dist}")
work=$(realpath -m "${RELEASE_BUILD:-$root/build/release}")
program_only=0
[ "${1:-}" = --program-only ] && program_only=1

ensure_packages "${PACKAGING_PACKAGES[@]}"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(commit_time)}

# --- the program --------------------------------------------------------------------------

log "release: sources"
rm -rf "$work"
mkdir -p "$work/src"
if tree=$(git -C "$root" stash create 2>/dev/null) && commit=$(git -C "$root" rev-parse --short HEAD); then
    note="commit $commit"
    [ -n "$tree" ] && note="$note with the uncommitted changes of the work tree"
    git -C "$root" archive --format=tar "${tree:-HEAD}" | tar -x -C "$work/src"
else
    note="a copy of $root (not a git work tree)"
    tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -x -C "$work/src"
fi
echo "release: from $note" >&2

log "release: build"
cmake --preset release -S "$work/src" -B "$work/win64" >/dev/null
build_tree "$work/win64" AuthClient
strip_program "$work/win64/AuthClient.exe" "$work/program"
((program_only)) && exit 0

# --- the artifacts ------------------------------------------------------------------------

load_release_env "$work/win64"
setup=AuthClient-$AUTHCLIENT_VERSION-setup.exe
msi=AuthClient-$AUTHCLIENT_VERSION.msi
mkdir -p "$dist"
(cd "$dist" && rm -f AuthClient.exe AuthClient.exe.debug AuthClient-*-setup.exe AuthClient-*.msi SHA256SUMS)
cp -p "$work/program/AuthClient.exe" "$work/program/AuthClient.exe.debug" "$dist/"

if signing_configured; then
    log "release: signing the program"
    "$root/scripts/sign.sh" "$dist/AuthClient.exe"
    touch -d "@$SOURCE_DATE_EPOCH" "$dist/AuthClient.exe"
fi
log "release: setup"
build_setup "$dist/AuthClient.exe" "$dist/$setup" "$work/win64"
log "release: MSI package"
build_msi "$dist/AuthClient.exe" "$dist/$msi" "$work/win64"
(cd "$dist" && sha256sum AuthClient.exe AuthClient.exe.debug "$setup" "$msi" >SHA256SUMS)

echo
echo "Release $AUTHCLIENT_VERSION ($note) in $dist:"
for f in AuthClient.exe AuthClient.exe.debug "$setup" "$msi" SHA256SUMS; do
    size=$(stat -c %s "$dist/$f")
    printf '  %-28s %9s bytes %10s\n' "$f" "$size" \
        "$(LC_ALL=C numfmt --to=iec-i --suffix=B --format='%.1f' "$size")"
done
if signing_configured; then
    echo "Signed: the program, the uninstaller in the setup, the setup and the MSI package."
else
    echo "Unsigned: set SIGN_CERT and SIGN_KEY (see scripts/sign.sh) to sign."
fi
