#!/usr/bin/env bash
# Builds the release (scripts/release.sh) signed with a throwaway certificate that openssl makes
# here, into build/release-check, and checks what came out:
#   - SHA256SUMS covers the four artifacts and matches them;
#   - the program, the setup and the MSI package carry valid signatures of that certificate;
#     signing with a PKCS#12 file works too;
#   - the version resources and the MSI's ProductVersion, read back from the built files (by
#     Windows itself under Wine, and by msiinfo);
#   - the program is stripped, and a code address resolves to its source line through the
#     debug file beside it;
#   - a second build of the program from another copy of the sources in another folder gives
#     the same bytes;
#   - the setup and the MSI package under Wine (scripts/installer.sh, which also checks the
#     signature of the uninstaller that the setup installs).
# Ends with "release: N passed, M failed" (after installer.sh's own line) and exits non-zero on
# a failure. Needs the win64 build (for its version reader) and a display for Wine.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib.sh"

base=$root/build/release-check
dist=$base/dist
version_info=$root/build/win64/tests/release/version_info.exe

passed=0
failed=0
check_prefix=release
installer_status=0
finish() {
    echo "release: $passed passed, $failed failed"
    [ "$failed" = 0 ] && [ "$installer_status" = 0 ]
    exit
}
# same_text NAME EXPECTED ACTUAL: equal, or the difference is shown
same_text() { diff -u --label expected --label "$1" <(printf '%s\n' "$2") <(printf '%s\n' "$3"); }

rm -rf "$base"
mkdir -p "$base/cert"
ensure_packages "${PACKAGING_PACKAGES[@]}"

# --- the release, signed --------------------------------------------------------------------

log "release: a throwaway code-signing certificate"
cert=$base/cert/cert.pem
key=$base/cert/key.pem
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Auth Client release check" \
    -addext extendedKeyUsage=codeSigning -keyout "$key" -out "$cert" 2>/dev/null

log "release: scripts/release.sh"
check "scripts/release.sh builds and signs the release" \
    env SIGN_CERT="$cert" SIGN_KEY="$key" RELEASE_DIST="$dist" RELEASE_BUILD="$base/build" \
    "$root/scripts/release.sh"
load_release_env "$base/build/win64" || finish
version=$AUTHCLIENT_VERSION
setup=AuthClient-$version-setup.exe
msi=AuthClient-$version.msi

log "release: checksums"
check "SHA256SUMS lists the four artifacts" equals "$(cut -d' ' -f3 "$dist/SHA256SUMS" | sort | tr '\n' ' ')" \
    "$(printf '%s\n' AuthClient.exe AuthClient.exe.debug "$setup" "$msi" | sort | tr '\n' ' ')"
check "and they match it" eval '(cd "$dist" && sha256sum --check --quiet SHA256SUMS)'

log "release: signatures"
for f in AuthClient.exe "$setup" "$msi"; do
    check "$f is signed" signed_by "$cert" "$dist/$f"
done
p12=$base/cert/bundle.p12
openssl pkcs12 -export -in "$cert" -inkey "$key" -passout pass:check -out "$p12"
cp "$base/build/program/AuthClient.exe" "$base/p12-signed.exe"
cp "$base/build/program/AuthClient.exe" "$base/p12-unsigned.exe"
check "signing with a PKCS#12 file and its password" eval \
    'SIGN_CERT="$p12" SIGN_KEY="$p12" SIGN_PASS=check "$root/scripts/sign.sh" "$base/p12-signed.exe" &&
     signed_by "$cert" "$base/p12-signed.exe"'
# The digest that a signature covers leaves the signature out: the signed program is the build.
digest() { osslsigncode verify -in "$1" 2>/dev/null | sed -nE 's/^Current message digest *: *([0-9A-F]+).*/\1/p'; }
check "the signed program is the unsigned build (same Authenticode digest)" \
    eval '[ -n "$(digest "$dist/AuthClient.exe")" ] && equals "$(digest "$dist/AuthClient.exe")" "$(digest "$base/p12-signed.exe")"'
check "a wrong password fails and signs nothing" eval \
    '! SIGN_CERT="$p12" SIGN_KEY="$p12" SIGN_PASS=wrong "$root/scripts/sign.sh" "$base/p12-unsigned.exe" 2>/dev/null &&
     cmp -s "$base/build/program/AuthClient.exe" "$base/p12-unsigned.exe"'

log "release: version resources, read back from the files"
wine_env
read_version() { "$root/scripts/wine-exec" "$version_info" "$(winepath -w "$1" 2>/dev/null)" 2>/dev/null | tr -d '\r'; }
check "the program's version resource" same_text AuthClient.exe "FILEVERSION=$AUTHCLIENT_VERSION_QUAD
PRODUCTVERSION=$AUTHCLIENT_VERSION_QUAD
Translation=041904b0
CompanyName=$AUTHCLIENT_COMPANY
FileDescription=Клиент авторизации
FileVersion=$AUTHCLIENT_VERSION_QUAD
InternalName=AuthClient
LegalCopyright=$AUTHCLIENT_COPYRIGHT
OriginalFilename=AuthClient.exe
ProductName=Клиент авторизации
ProductVersion=$AUTHCLIENT_VERSION_QUAD" "$(read_version "$dist/AuthClient.exe")"
check "the setup's version keys" same_text "$setup" "FILEVERSION=$AUTHCLIENT_VERSION_QUAD
PRODUCTVERSION=$AUTHCLIENT_VERSION_QUAD
Translation=041904b0
CompanyName=$AUTHCLIENT_COMPANY
FileDescription=Установка: Клиент авторизации $version
FileVersion=$version
LegalCopyright=$AUTHCLIENT_COPYRIGHT
ProductName=Клиент авторизации
ProductVersion=$version" "$(read_version "$dist/$setup")"
check "the MSI package's product, version and manufacturer" equals \
    "$(msi_property "$dist/$msi" ProductName), $(msi_property "$dist/$msi" ProductVersion), $(msi_property "$dist/$msi" Manufacturer)" \
    "Клиент авторизации, $version, $AUTHCLIENT_COMPANY"

log "release: debug information"
check "the program has no debug sections" \
    eval '! x86_64-w64-mingw32-objdump -h "$dist/AuthClient.exe" | grep -q " \.debug_"'
# As the README tells: an address (here WinMain's) gives function, file and line.
address=$(x86_64-w64-mingw32-nm "$dist/AuthClient.exe.debug" | sed -n 's/^\([0-9a-f]*\) T WinMain$/0x\1/p')
check "an address resolves through AuthClient.exe.debug" eval \
    'x86_64-w64-mingw32-addr2line -f -e "$dist/AuthClient.exe" "$address" | tr "\n" " " | grep -q "^WinMain \./app/main\.cpp:[0-9]"'

log "release: the program again, from another copy in another folder"
check "a second build" env RELEASE_BUILD="$base/again" "$root/scripts/release.sh" --program-only
for f in AuthClient.exe AuthClient.exe.debug; do
    check "gives the same $f" cmp "$base/build/program/$f" "$base/again/program/$f"
done

# --- the packages under Wine ----------------------------------------------------------------

log "release: the setup and the MSI package under Wine"
# Its checks count on their own line.
INSTALLER_DIST=$dist INSTALLER_BUILD=$base/build/win64 INSTALLER_CA=$cert \
    bash "$root/scripts/installer.sh"
installer_status=$?
finish
