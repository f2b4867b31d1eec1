#!/usr/bin/env bash
# One build's release artefacts under Wine, as an administrator and the host use them: the
# release command makes the zip and the MSI; the MSI installs per user; the installed program,
# started as the host starts it, writes its log beside itself; a newer build upgrades; a
# downgrade is refused; the uninstall leaves nothing of the package, and keeps the log with
# KEEPLOG=1. For the 64-bit build also: the other build's package of the same version is
# replaced by this one and replaces it in turn (installing needs no 32-bit code).
# Needs the Wine set-up of scripts/test (WINEPREFIX, DISPLAY, WINE). Whatever happens, no
# product of the package stays installed and the program's "Logging" setting is as it was.
#   install_test.sh <win32|win64> <msi_products.exe> <ostrel_watch.exe>
set -uo pipefail
build=$1
products_exe=$2
watch_exe=$3
cd "$(dirname "$0")/../.."
WINE=${WINE:-wine}
case $build in
    win32) arch=x86 other_build=win64 other_arch=x64 ;;
    win64) arch=x64 other_build=win32 other_arch=x86 ;;
    *) echo "no such build: $build"; exit 2 ;;
esac

# The version the build makes (the CMake project's) and a newer one for the upgrade.
version=$(sed -n 's/^project(ostrel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ $version =~ ^([0-9]+\.[0-9]+)\.([0-9]+)$ ]] || { echo "no version in CMakeLists.txt"; exit 2; }
newer=${BASH_REMATCH[1]}.$((BASH_REMATCH[2] + 1))

UPGRADE_CODE='{FDABD3B7-99F6-413B-9253-7661FCBE71FE}'
SHIPPED=(ostrel.exe ostrel-diag.exe README.txt LICENSE.txt)
SETTINGS='HKCU\Software\TOVAN\RODazedur'

failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
die() {
    echo "FAILED: $*"
    exit 1
}

work=$(mktemp -d)
win() { "$WINE" winepath -w "$1" 2>/dev/null; }
msiexec() { "$WINE" msiexec "$@" >/dev/null 2>&1; }
refused() { ! msiexec "$@"; }
products() { "$WINE" "$products_exe" "$UPGRADE_CODE" 2>/dev/null | tr -d '\r'; }
# The one product registered, as "<version> <package file>".
installed_product() { products | cut -d' ' -f2-; }
# A setting's text as it is, a single blank included.
setting() {
    "$WINE" reg query "$SETTINGS" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    REG_SZ    //p"
}
settings_kept() { "$WINE" reg query "$SETTINGS" /v MSconnect >/dev/null 2>&1; }
# The package's registry keys: what Windows Installer keeps of its products, and its own key.
# Windows Installer's own lists (Products, UpgradeCodes, ...) come with the first install on a
# fresh system and stay, empty; they are not the package's.
INSTALLER_LISTS='^HKEY_CURRENT_USER\\Software\\Microsoft\\(Installer(\\[A-Za-z]+)?|Windows\\CurrentVersion\\Uninstall)$'
INSTALLER_LISTS+='|^HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer'
INSTALLER_LISTS+='(\\UpgradeCodes|\\UserData(\\S-[0-9-]+(\\[A-Za-z]+)?)?)?$'
package_keys() {
    local key
    for key in 'HKCU\Software\Microsoft\Installer' 'HKCU\Software\Ostrel Interface' \
        'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Installer'; do
        "$WINE" reg query "$key" /s 2>/dev/null | tr -d '\r' | grep '^HKEY_'
    done | grep -v -E "$INSTALLER_LISTS" | sort
}
# The package's keys are those there were before it came; the difference is shown otherwise.
keys_as_before() {
    local now
    now=$(package_keys)
    [[ $now == "$keys_before" ]] && return 0
    diff <(echo "$keys_before") <(echo "$now") | sed -n 's/^[<>] /    /p'
    return 1
}

old_logging=$(setting Logging)
had_logging=0
"$WINE" reg query "$SETTINGS" /v Logging >/dev/null 2>&1 && had_logging=1
cleanup() {
    local code
    for code in $(products | cut -d' ' -f1); do
        echo "removing the product left installed: $code"
        msiexec /x "$code" /qn
    done
    [[ -n ${installed:-} ]] && rm -rf "$installed"
    if ((had_logging)); then
        "$WINE" reg add "$SETTINGS" /v Logging /t REG_SZ /d "$old_logging" /f >/dev/null 2>&1
    else
        "$WINE" reg delete "$SETTINGS" /v Logging /f >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM

[[ -z $(products) ]] || die "a product of the package is installed before the test"
keys_before=$(package_keys)

start=$(date +%s%3N)
release() {
    ./scripts/release "$@" >"$work/release.log" 2>&1 ||
        { cat "$work/release.log"; die "./scripts/release $*"; }
}
release --arch "$build"
check "an unsigned release says so" grep -q "the programs and packages are unsigned" \
    "$work/release.log"
release --arch "$build" --version $newer --out "$work/newer"
release --arch "$build" --out "$work/again"
zip=build/release/ostrel-$version-$build.zip
msi=build/release/ostrel-$version-$arch.msi
newer_msi=$work/newer/ostrel-$newer-$arch.msi
check "the zip and the MSI are made" test -s "$zip" -a -s "$msi" -a -s "$newer_msi"
check "the zip holds the four files" \
    test "$(unzip -Z1 "$zip" | sort)" == "$(printf '%s\n' "${SHIPPED[@]}" | sort)"
check "the same files give the same zip" cmp -s "$zip" "$work/again/ostrel-$version-$build.zip"
unzip -q "$zip" -d "$work/zip-$version"
unzip -q "$work/newer/ostrel-$newer-$build.zip" -d "$work/zip-$newer"
check "README.txt names this build's installer" grep -q "msiexec /i ostrel-$version-$arch.msi" \
    "$work/zip-$version/README.txt"
pe_format=$([[ $build == win64 ]] && echo pei-x86-64 || echo pei-i386)
check "the programs are of this build's architecture" test "$(x86_64-w64-mingw32-objdump -f \
    "$work/zip-$version/ostrel.exe" "$work/zip-$version/ostrel-diag.exe" | grep -c "format $pe_format\$")" == 2
echo "release command: $(($(date +%s%3N) - start)) ms"

# Signed with a throw-away code-signing certificate, given as a PKCS#12 file with a password or
# as a certificate and key: each program and the MSI verify with it as the trusted root, and a
# file changed after signing does not.
start=$(date +%s%3N)
signer=$work/signer
mkdir -p "$signer"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ostrel release test" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
    -keyout "$signer/key.pem" -out "$signer/cert.pem" >/dev/null 2>&1 &&
    openssl pkcs12 -export -inkey "$signer/key.pem" -in "$signer/cert.pem" \
        -passout pass:release-test -out "$signer/cert.pfx" ||
    die "a throw-away certificate could not be made"
OSTREL_SIGN_PASSWORD=release-test release --arch "$build" --pfx "$signer/cert.pfx" \
    --out "$work/signed"
release --arch "$build" --cert "$signer/cert.pem" --key "$signer/key.pem" --out "$work/signed-pem"
verified() { osslsigncode verify -in "$1" -CAfile "$signer/cert.pem" >"$work/verify.log" 2>&1; }
not_verified() { ! verified "$1"; }
signed_all() {
    local file
    unzip -q -o "$1/ostrel-$version-$build.zip" ostrel.exe ostrel-diag.exe -d "$1/zip"
    for file in "$1/zip/ostrel.exe" "$1/zip/ostrel-diag.exe" "$1/ostrel-$version-$arch.msi"; do
        verified "$file" && grep -q "Message digest algorithm *: SHA256" "$work/verify.log" ||
            { echo "    $file"; return 1; }
    done
}
check "signed from a PKCS#12 file: both programs and the MSI verify (SHA-256)" \
    signed_all "$work/signed"
check "signed from a certificate and key: likewise" signed_all "$work/signed-pem"
check "the unsigned release does not verify" not_verified "$msi"
cp "$work/signed/zip/ostrel.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a program changed after signing is rejected" not_verified "$work/changed.exe"
echo "signing: $(($(date +%s%3N) - start)) ms"

local_appdata=$("$WINE" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
installed=$("$WINE" winepath -u "$local_appdata\\Ostrel Interface" 2>/dev/null)
[[ -n $local_appdata && -n $installed ]] || die "the user's local application data folder"
[[ ! -e $installed ]] || die "$installed exists before the test"
# Whether the installed files are those of the given version's zip.
same_as_zip() {
    local name
    for name in "${SHIPPED[@]}"; do cmp -s "$work/zip-$1/$name" "$installed/$name" || return 1; done
}

start=$(date +%s%3N)
check "a per-machine install is refused" refused /i "$(win "$msi")" /qn ALLUSERS=1
check "msiexec /i installs as the user" msiexec /i "$(win "$msi")" /qn
check "the files are in the user's local application data folder, as in the zip" same_as_zip $version
check "one product is registered, version $version of this build" \
    test "$(installed_product)" == "$version ostrel-$version-$arch.msi"
echo "install: $(($(date +%s%3N) - start)) ms"

# Started from where it is installed, as the host starts it: with no reader and no host it
# shows its window, files its session and ends by itself.
"$WINE" reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
start=$(date +%s%3N)
"$WINE" "$watch_exe" "$(win "$installed/ostrel.exe")" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
tr -d '\r' <"$work/watch.log"
echo "program run: $(($(date +%s%3N) - start)) ms"
check "the installed program ends by itself" grep -q 'exit code 0' "$work/watch.log"
check "it writes its log beside itself" grep -q 'Front Desk' "$installed/CCProcess.log"

start=$(date +%s%3N)
check "installing the newer build succeeds" msiexec /i "$(win "$newer_msi")" /qn
check "one product is registered, the newer version" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"
check "the newer build's files are there after the upgrade" same_as_zip $newer
check "the older build is refused over the newer one" refused /i "$(win "$msi")" /qn
check "the newer version stays after the refusal" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"

echo "line of the program's log" >>"$installed/CCProcess.log"
check "msiexec /x removes it" msiexec /x "$(win "$newer_msi")" /qn
check "no product is registered" test -z "$(products)"
check "no file and no folder is left, the log neither" test ! -e "$installed"
check "no registry key of the package is left" keys_as_before
check "the program's settings key is left alone" settings_kept

check "installing again succeeds" msiexec /i "$(win "$msi")" /qn
echo "line of the program's log" >"$installed/CCProcess.log"
check "msiexec /x with KEEPLOG=1 removes it" msiexec /x "$(win "$msi")" /qn KEEPLOG=1
check "with KEEPLOG=1 the log stays, and only the log" \
    test "$(ls -A "$installed" 2>/dev/null)" == CCProcess.log
check "no product is registered after it" test -z "$(products)"
check "no registry key of the package is left after it" keys_as_before
echo "upgrade, refusal and two removals: $(($(date +%s%3N) - start)) ms"

# One program, one log per user: each build's package of a version replaces the other's.
if [[ $build == win64 ]]; then
    start=$(date +%s%3N)
    release --arch "$other_build"
    other_msi=build/release/ostrel-$version-$other_arch.msi
    unzip -q "build/release/ostrel-$version-$other_build.zip" -d "$work/zip-other"
    check "the $other_arch package installs" msiexec /i "$(win "$other_msi")" /qn
    check "the $arch package of the same version replaces it" msiexec /i "$(win "$msi")" /qn
    check "only the $arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$arch.msi"
    check "the $arch files are there" same_as_zip $version
    check "the $other_arch package replaces the $arch one in turn" \
        msiexec /i "$(win "$other_msi")" /qn
    check "only the $other_arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$other_arch.msi"
    check "the $other_arch files are there" same_as_zip other
    check "msiexec /x removes the $other_arch package" msiexec /x "$(win "$other_msi")" /qn
    check "no product is registered after the builds' swap" test -z "$(products)"
    check "no file and no folder is left after the builds' swap" test ! -e "$installed"
    check "no registry key of the package is left after the builds' swap" keys_as_before
    echo "the builds' swap: $(($(date +%s%3N) - start)) ms"
fi

((failures == 0)) && echo "package test passed" || echo "package test: $failures FAILED"
((failures == 0))
