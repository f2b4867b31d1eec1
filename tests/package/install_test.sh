#!/usr/bin/env bash
# One build's release artefacts under Wine, as an administrator and the host use them: the
# release command makes the zip and the MSI, unsigned or signed (from files or a SoftHSM token);
# the MSI installs per user; the installed program, started as the host starts it, writes its
# log beside itself; a newer build upgrades; a downgrade is refused; the uninstall leaves nothing
# of the package, and keeps the log with KEEPLOG=1. Then per machine (ALLUSERS=1): installed,
# started, upgraded and removed the same way, with its log and event source. For the 64-bit
# build also: the other build's package of the same version is replaced by this one and
# replaces it in turn, per user and per machine, where each replaces the other in the folder
# the first per-machine install chose, with its log (installing needs no 32-bit code; the
# 32-bit program is compared with its zip, not started).
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
not() { ! "$@"; }
die() {
    echo "FAILED: $*"
    exit 1
}

work=$(mktemp -d)
win() { "$WINE" winepath -w "$1" 2>/dev/null; }
# msiexec, its exit code shown when it fails. 1618 (another installation is under way) is waited
# out, as Windows Installer asks: Wine's installer may still be finishing the one before.
msiexec() {
    local rc try
    for try in 1 2 3 4 5; do
        "$WINE" msiexec "$@" >/dev/null 2>&1
        rc=$?
        ((rc == 1618)) || break
        sleep 2
    done
    ((rc == 0)) || echo "    msiexec $*: exit code $rc"
    return "$rc"
}
# Each per-user step under Wine says ALLUSERS="": Wine knows no MSIINSTALLPERUSER and takes the
# package's ALLUSERS=2 for a per-machine install. Windows resolves ALLUSERS=2 with
# MSIINSTALLPERUSER=1 to a per-user install and clears ALLUSERS itself; the rows that make it do
# so are checked below.
PER_USER='ALLUSERS=""'
# The package's rows of a table, tab-separated, without the header.
TAB=$'\t'
rows() { msiinfo export "$1" "$2" 2>/dev/null | tr -d '\r' | tail -n +4; }
# has_row <msi> <table> <row>...: the table has each of the rows.
has_row() {
    local all row
    all=$(rows "$1" "$2")
    shift 2
    for row; do grep -qxF "$row" <<<"$all" || return 1; done
}
# has_lines <file> <pattern>...: each extended regular expression matches a line of the file.
has_lines() {
    local file=$1 pattern
    shift
    for pattern; do grep -qE "$pattern" "$file" || return 1; done
}
refused() { ! "$WINE" msiexec "$@" >/dev/null 2>&1; }
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
INSTALLER_LISTS+='|^HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\[A-Za-z]+)?$'
EVENT_SOURCE='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Ostrel Interface'
package_keys() {
    local key
    for key in 'HKCU\Software\Microsoft\Installer' 'HKCU\Software\Ostrel Interface' \
        'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Installer' \
        'HKLM\Software\Classes\Installer' 'HKLM\Software\Ostrel Interface' \
        'HKLM\Software\Wow6432Node\Ostrel Interface' "$EVENT_SOURCE" \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
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
    [[ -n ${machine_dir:-} ]] && rm -rf "$machine_dir"
    [[ -n ${other_machine_dir:-} ]] && rm -rf "$other_machine_dir"
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
check "and says nothing of time stamps" not grep -q "time stamp" "$work/release.log"
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
# hardened <build> <exe>...: each program's PE header asks for ASLR (DYNAMIC_BASE, with the
# relocations that let Windows move it) and DEP (NX_COMPAT), the 64-bit build's for high-entropy
# ASLR too (HIGH_ENTROPY_VA). The linker sets them today; a change of toolchain must not drop them.
hardened() {
    local want=$((0x40 | 0x100)) exe dump flags relocs
    [[ $1 == win64 ]] && want=$((want | 0x20))
    shift
    for exe in "$@"; do
        dump=$(x86_64-w64-mingw32-objdump -p "$exe") || return 1
        flags=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' <<<"$dump")
        relocs=$(sed -n 's/^Entry 5 [0-9a-fA-F]* \([0-9a-fA-F]*\) Base Relocation Directory.*/\1/p' \
            <<<"$dump")
        [[ -n $flags && -n $relocs ]] || { echo "    $exe: no PE header flags"; return 1; }
        if (((16#$flags & want) != want || 16#$relocs == 0)); then
            echo "    $exe: DllCharacteristics $flags, relocations $relocs bytes"
            return 1
        fi
    done
}
pe_format=$([[ $build == win64 ]] && echo pei-x86-64 || echo pei-i386)
check "the programs are of this build's architecture" test "$(x86_64-w64-mingw32-objdump -f \
    "$work/zip-$version/ostrel.exe" "$work/zip-$version/ostrel-diag.exe" | grep -c "format $pe_format\$")" == 2
check "the programs ask for ASLR and DEP (and, 64-bit, high-entropy ASLR)" hardened "$build" \
    "$work/zip-$version/ostrel.exe" "$work/zip-$version/ostrel-diag.exe"
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
check "a release signed without a time stamp says so, last" \
    grep -q "signed without a time stamp" <(tail -n 1 "$work/release.log")
# The key on a throw-away SoftHSM token, reached through its PKCS#11 module as a hardware
# token's or an HSM's would be: the key never leaves the token.
hsm=$work/hsm
mkdir -p "$hsm/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' \
    "$hsm/tokens" >"$hsm/softhsm2.conf"
export SOFTHSM2_CONF=$hsm/softhsm2.conf
openssl pkcs8 -topk8 -nocrypt -in "$signer/key.pem" -out "$hsm/key.p8" &&
    softhsm2-util --init-token --free --label ostrel-release-test --pin 4321 \
        --so-pin 87654321 >/dev/null &&
    softhsm2-util --import "$hsm/key.p8" --token ostrel-release-test --label signer --id 01 \
        --pin 4321 >/dev/null ||
    die "a throw-away SoftHSM token could not be made"
rm -f "$hsm/key.p8"
OSTREL_SIGN_PASSWORD=4321 release --arch "$build" --pkcs11-module /usr/lib/softhsm/libsofthsm2.so \
    --cert "$signer/cert.pem" --key "pkcs11:token=ostrel-release-test;object=signer;type=private" \
    --out "$work/signed-token"
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
check "signed from a key on a PKCS#11 token: likewise" signed_all "$work/signed-token"
check "the unsigned release does not verify" not_verified "$msi"
cp "$work/signed/zip/ostrel.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a program changed after signing is rejected" not_verified "$work/changed.exe"
echo "signing: $(($(date +%s%3N) - start)) ms"

local_appdata=$("$WINE" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
installed=$("$WINE" winepath -u "$local_appdata\\Ostrel Interface" 2>/dev/null)
[[ -n $local_appdata && -n $installed ]] || die "the user's local application data folder"
[[ ! -e $installed ]] || die "$installed exists before the test"
# Whether the files installed (in the user's folder unless another is given) are those of the
# given version's zip.
same_as_zip() {
    local name
    for name in "${SHIPPED[@]}"; do
        cmp -s "$work/zip-$1/$name" "${2:-$installed}/$name" || return 1
    done
}
# No product registered, the folder gone, no registry key of the package left.
nothing_left() { test -z "$(products)" -a ! -e "$1" && keys_as_before; }

start=$(date +%s%3N)
check "msiexec /i installs as the user" msiexec /i "$(win "$msi")" /qn "$PER_USER"
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
check "installing the newer build succeeds" msiexec /i "$(win "$newer_msi")" /qn "$PER_USER"
check "one product is registered, the newer version" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"
check "the newer build's files are there after the upgrade" same_as_zip $newer
check "the older build is refused over the newer one" refused /i "$(win "$msi")" /qn "$PER_USER"
check "the newer version stays after the refusal" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"

echo "line of the program's log" >>"$installed/CCProcess.log"
check "msiexec /x removes it" msiexec /x "$(win "$newer_msi")" /qn "$PER_USER"
check "no product is registered" test -z "$(products)"
check "no file and no folder is left, the log neither" test ! -e "$installed"
check "no registry key of the package is left" keys_as_before
check "the program's settings key is left alone" settings_kept

check "installing again succeeds" msiexec /i "$(win "$msi")" /qn "$PER_USER"
echo "line of the program's log" >"$installed/CCProcess.log"
check "msiexec /x with KEEPLOG=1 removes it" msiexec /x "$(win "$msi")" /qn "$PER_USER" KEEPLOG=1
check "with KEEPLOG=1 the log stays, and only the log" \
    test "$(ls -A "$installed" 2>/dev/null)" == CCProcess.log
check "no product is registered after it" test -z "$(products)"
check "no registry key of the package is left after it" keys_as_before
echo "upgrade, refusal and two removals: $(($(date +%s%3N) - start)) ms"

# Per machine, as Group Policy, Intune, Configuration Manager and remote-management agents
# install it. Wine enforces no file permissions and keeps no event log: the package's rows for
# the log's permissions are checked instead, and the event source's registration.
start=$(date +%s%3N)
# The folder a build's package installs into per machine: the 32-bit one into Program Files
# (x86) where Windows is 64-bit.
machine_folder() {
    local folder
    folder=$("$WINE" cmd /c "echo %ProgramFiles$([[ $1 == x86 ]] && echo '(x86)')%" 2>/dev/null |
        tr -d '\r')
    [[ $folder == %* ]] && folder=$("$WINE" cmd /c 'echo %ProgramFiles%' 2>/dev/null | tr -d '\r')
    echo "$folder\\Ostrel Interface"
}
machine_win=$(machine_folder "$arch")
machine_dir=$("$WINE" winepath -u "$machine_win" 2>/dev/null)
[[ -n $machine_dir && ! -e $machine_dir ]] || die "$machine_dir exists before the test"
check "run without properties it installs per user on Windows (ALLUSERS=2, MSIINSTALLPERUSER=1)" \
    has_row "$msi" Property "ALLUSERS${TAB}2" "MSIINSTALLPERUSER${TAB}1"
check "the log and the event source are installed per machine only" \
    test "$(rows "$msi" Component | awk -F'\t' '$5 == "ALLUSERS=1" {print $1}' | sort | xargs)" \
    == "EventSource MachineLog"
check "users may read and append to the per-machine log, and do nothing else to it" \
    has_row "$msi" MsiLockPermissionsEx "$(printf '%s\t' ProcessLogAppend ProcessLogFile File \
        'D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12008d;;;BU)')ALLUSERS=1"
check "msiexec /i ALLUSERS=1 installs per machine" msiexec /i "$(win "$msi")" /qn ALLUSERS=1
check "the files are in Program Files, as in the zip" same_as_zip "$version" "$machine_dir"
check "with an empty log" test -f "$machine_dir/CCProcess.log" -a ! -s "$machine_dir/CCProcess.log"
check "nothing is installed for the user" test ! -e "$installed/ostrel.exe"
# The installed program the event source names (and a per-machine install's folder).
message_file() {
    "$WINE" reg query "$EVENT_SOURCE" /v EventMessageFile 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *EventMessageFile *REG_EXPAND_SZ *//p'
}
check "the event source's messages are the installed program's" \
    test "$(message_file)" == "$machine_win\\ostrel.exe"
# The first copy blanks "Logging" as it ends: on again for this run's session trace.
"$WINE" reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
"$WINE" "$watch_exe" "$machine_win\\ostrel.exe" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
check "started from Program Files, it ends by itself" grep -q 'exit code 0' "$work/watch.log"
check "and appends to the log there" grep -q 'Front Desk' "$machine_dir/CCProcess.log"
"$WINE" "$machine_win\\ostrel-diag.exe" --json >"$work/diag.json" 2>/dev/null
check "the diagnostics tool finds the log writable, and names its run for a fleet" \
    grep -q '"reason": "the log can be written"' "$work/diag.json"
check "its JSON names the version, computer, user and time" has_lines "$work/diag.json" \
    "\"version\": \"$version\"" '"computer": ".+"' '"user": ".+"' \
    '"time": "20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"'
check "the newer build upgrades it per machine" msiexec /i "$(win "$newer_msi")" /qn ALLUSERS=1
check "one product is registered per machine, the newer version" \
    test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"
check "the newer build's files are in Program Files" same_as_zip "$newer" "$machine_dir"
check "msiexec /x ALLUSERS=1 removes it" msiexec /x "$(win "$newer_msi")" /qn ALLUSERS=1
check "no product is registered after the per-machine removal" test -z "$(products)"
check "nothing is left in Program Files, the log neither" test ! -e "$machine_dir"
check "no registry key of the package is left, the event source's neither" keys_as_before
echo "per machine: $(($(date +%s%3N) - start)) ms"

# One program, one log per user: each build's package of a version replaces the other's.
if [[ $build == win64 ]]; then
    start=$(date +%s%3N)
    release --arch "$other_build"
    other_msi=build/release/ostrel-$version-$other_arch.msi
    unzip -q "build/release/ostrel-$version-$other_build.zip" -d "$work/zip-other"
    check "the $other_arch programs ask for ASLR and DEP too" hardened "$other_build" \
        "$work/zip-other/ostrel.exe" "$work/zip-other/ostrel-diag.exe"
    check "the $other_arch package installs" msiexec /i "$(win "$other_msi")" /qn "$PER_USER"
    check "the $arch package of the same version replaces it" msiexec /i "$(win "$msi")" /qn "$PER_USER"
    check "only the $arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$arch.msi"
    check "the $arch files are there" same_as_zip $version
    check "the $other_arch package replaces the $arch one in turn" \
        msiexec /i "$(win "$other_msi")" /qn "$PER_USER"
    check "only the $other_arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$other_arch.msi"
    check "the $other_arch files are there" same_as_zip other
    check "msiexec /x removes the $other_arch package" msiexec /x "$(win "$other_msi")" /qn "$PER_USER"
    check "no product is registered after the builds' swap" test -z "$(products)"
    check "no file and no folder is left after the builds' swap" test ! -e "$installed"
    check "no registry key of the package is left after the builds' swap" keys_as_before
    # Per machine each build replaces the other in the folder the first install there chose,
    # where the host's path names ostrel.exe: x64, x86, x64 in Program Files; x86, x64 in
    # Program Files (x86).
    other_machine_dir=$("$WINE" winepath -u "$(machine_folder "$other_arch")" 2>/dev/null)
    declare -A msi_of=([$arch]=$msi [$other_arch]=$other_msi)
    declare -A zip_of=([$arch]=$version [$other_arch]=other)
    # in_place <folder> <folder not made> <build>...: each build per machine in turn, alone there.
    in_place() {
        local b
        for b in "${@:3}"; do
            msiexec /i "$(win "${msi_of[$b]}")" /qn ALLUSERS=1 &&
                same_as_zip "${zip_of[$b]}" "$1" && test ! -e "$2" &&
                test "$(installed_product)" == "$version ostrel-$version-$b.msi" &&
                test "$(message_file)" == "$(win "$1")\\ostrel.exe" ||
                { echo "    the $b build is not alone in $(win "$1")"; return 1; }
        done
    }
    log_kept() { grep -q 'Front Desk' "$machine_dir/CCProcess.log"; }
    removed() { msiexec /x "$(win "$1")" /qn ALLUSERS=1 && nothing_left "$2"; }
    check "per machine, x64 then x86 then x64: each replaces the other in Program Files" \
        in_place "$machine_dir" "$other_machine_dir" "$arch" "$other_arch" "$arch"
    "$WINE" reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
    "$WINE" "$watch_exe" "$machine_win\\ostrel.exe" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
    check "the host's path starts it after the swaps, and it logs there" log_kept
    # Windows removes the replaced build with UPGRADINGPRODUCTCODE set, which keeps the log, and
    # the new build's log never overwrites one. Wine's installer leaves the property out (the
    # swaps above start an empty log): here the swap's two steps are taken one by one.
    msiexec /x "$(win "$msi")" /qn ALLUSERS=1 \
        UPGRADINGPRODUCTCODE="$(rows "$other_msi" Property | sed -n 's/^ProductCode\t//p')"
    check "the x64 build, removed as a swap removes it, leaves only the log" \
        test "$(ls -A "$machine_dir")" == CCProcess.log
    msiexec /i "$(win "$other_msi")" /qn ALLUSERS=1 INSTALLDIR="$machine_win"
    check "the x86 build installed there keeps the log's lines" log_kept
    check "removed from Program Files, the x86 build leaves nothing, the log neither" \
        removed "$other_msi" "$machine_dir"
    check "per machine, x86 then x64: the x64 build replaces it in Program Files (x86)" \
        in_place "$other_machine_dir" "$machine_dir" "$other_arch" "$arch"
    check "removed from there, it leaves nothing, the log neither" \
        removed "$msi" "$other_machine_dir"
    echo "the builds' swap: $(($(date +%s%3N) - start)) ms"
fi

((failures == 0)) && echo "package test passed" || echo "package test: $failures FAILED"
((failures == 0))
