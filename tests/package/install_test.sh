#!/usr/bin/env bash
# One build's packages installed as an administrator and the host use them, under Wine or on
# Windows itself (from Git for Windows' bash, with the real msiexec): the MSI installs per user;
# the installed program, started as the host starts it, writes its log beside itself; a newer
# build upgrades; a downgrade is refused; the uninstall leaves nothing of the package, and keeps
# the log with KEEPLOG=1. Then per machine (ALLUSERS=1): installed, started, upgraded and removed
# the same way, with its log and event source, whose entry the event log shows with its message
# (on Windows). For the 64-bit build also: the other build's package of the same version is
# replaced by this one and replaces it in turn, per user and per machine, where each replaces
# the other in the folder the first per-machine install chose, with its log (installing needs no
# 32-bit code; the 32-bit program is compared with its zip, not started).
# The packages are those release_test.sh leaves in the folder given; without one it makes them
# first. Needs the Wine set-up of scripts/test (WINEPREFIX, DISPLAY, WINE) or Windows. Whatever
# happens, no product of the package stays installed and the program's "Logging" setting is as
# it was.
#   install_test.sh <win32|win64> <msi_products.exe> <ostrel_watch.exe> [<packages folder>]
set -uo pipefail
build=$1
products_exe=$(realpath "$2")
watch_exe=$(realpath "$3")
artefacts=${4:+$(realpath "$4")}
cd "$(dirname "$0")/../.."
source tests/package/checks.sh
if on_windows; then WINE=; else WINE=${WINE:-wine}; fi

UPGRADE_CODE='{FDABD3B7-99F6-413B-9253-7661FCBE71FE}'
SETTINGS='HKCU\Software\TOVAN\RODazedur'

work=$(mktemp -d)
win() { win_path "$1"; }
# msiexec, its exit code shown when it fails. 1618 (another installation is under way) is waited
# out, as Windows Installer asks: Wine's installer may still be finishing the one before.
msiexec() {
    local rc try
    for try in 1 2 3 4 5; do
        win_run msiexec "$@" >/dev/null 2>&1
        rc=$?
        ((rc == 1618)) || break
        sleep 2
    done
    ((rc == 0)) || echo "    msiexec $*: exit code $rc"
    return "$rc"
}
# Each per-user step under Wine says ALLUSERS="": Wine knows no MSIINSTALLPERUSER and takes the
# package's ALLUSERS=2 for a per-machine install. Windows resolves ALLUSERS=2 with
# MSIINSTALLPERUSER=1 to a per-user install and clears ALLUSERS itself: there the steps say
# nothing (the release test checks those rows).
PER_USER=('ALLUSERS=""')
on_windows && PER_USER=()
# has_lines <file> <pattern>...: each extended regular expression matches a line of the file.
has_lines() {
    local file=$1 pattern
    shift
    for pattern; do grep -qE "$pattern" "$file" || return 1; done
}
refused() { ! win_run msiexec "$@" >/dev/null 2>&1; }
products() { win_run "$products_exe" "$UPGRADE_CODE" 2>/dev/null | tr -d '\r'; }
# The one product registered, as "<version> <package file>".
installed_product() { products | cut -d' ' -f2-; }
# A setting's text as it is, a single blank included.
setting() {
    win_run reg query "$SETTINGS" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    REG_SZ    //p"
}
settings_kept() { win_run reg query "$SETTINGS" /v MSconnect >/dev/null 2>&1; }
# The package's registry keys: what Windows Installer keeps of its products, and its own key.
# Windows Installer's own lists (Products, UpgradeCodes, ...) come with the first install on a
# fresh system and stay, empty; they are not the package's. Windows spells HKLM's key "SOFTWARE":
# the match ignores case.
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
        win_run reg query "$key" /s 2>/dev/null | tr -d '\r' | grep '^HKEY_'
    done | grep -v -i -E "$INSTALLER_LISTS" | sort
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
win_run reg query "$SETTINGS" /v Logging >/dev/null 2>&1 && had_logging=1
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
        win_run reg add "$SETTINGS" /v Logging /t REG_SZ /d "$old_logging" /f >/dev/null 2>&1
    else
        win_run reg delete "$SETTINGS" /v Logging /f >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM

if [[ -z $artefacts ]]; then
    artefacts=$work/packages
    bash tests/package/release_test.sh "$build" "$artefacts" || failures=$((failures + 1))
fi
msi=$artefacts/ostrel-$version-$arch.msi
newer_msi=$artefacts/ostrel-$newer-$arch.msi
other_msi=$artefacts/ostrel-$version-$other_arch.msi
[[ -s $msi && -s $newer_msi ]] || die "no packages in $artefacts"

[[ -z $(products) ]] || die "a product of the package is installed before the test"
keys_before=$(package_keys)

local_appdata=$(win_run cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
installed=$(unix_path "$local_appdata\\Ostrel Interface")
[[ -n $local_appdata && -n $installed ]] || die "the user's local application data folder"
[[ ! -e $installed ]] || die "$installed exists before the test"
# Whether the files installed (in the user's folder unless another is given) are those of the
# given version's zip.
same_as_zip() {
    local name
    for name in "${SHIPPED[@]}"; do
        cmp -s "$artefacts/zip-$1/$name" "${2:-$installed}/$name" || return 1
    done
}
# No product registered, the folder gone, no registry key of the package left.
nothing_left() { test -z "$(products)" -a ! -e "$1" && keys_as_before; }

start=$(date +%s%3N)
check "msiexec /i installs as the user" msiexec /i "$(win "$msi")" /qn "${PER_USER[@]}"
check "the files are in the user's local application data folder, as in the zip" same_as_zip $version
check "one product is registered, version $version of this build" \
    test "$(installed_product)" == "$version ostrel-$version-$arch.msi"
echo "install: $(($(date +%s%3N) - start)) ms"

# Started from where it is installed, as the host starts it: with no reader and no host it
# shows its window, files its session and ends by itself.
win_run reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
start=$(date +%s%3N)
win_run "$watch_exe" "$(win "$installed/ostrel.exe")" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
tr -d '\r' <"$work/watch.log"
echo "program run: $(($(date +%s%3N) - start)) ms"
check "the installed program ends by itself" grep -q 'exit code 0' "$work/watch.log"
check "it writes its log beside itself" grep -q 'Front Desk' "$installed/CCProcess.log"

start=$(date +%s%3N)
check "installing the newer build succeeds" msiexec /i "$(win "$newer_msi")" /qn "${PER_USER[@]}"
check "one product is registered, the newer version" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"
check "the newer build's files are there after the upgrade" same_as_zip $newer
check "the older build is refused over the newer one" refused /i "$(win "$msi")" /qn "${PER_USER[@]}"
check "the newer version stays after the refusal" test "$(installed_product)" == "$newer ostrel-$newer-$arch.msi"

echo "line of the program's log" >>"$installed/CCProcess.log"
check "msiexec /x removes it" msiexec /x "$(win "$newer_msi")" /qn "${PER_USER[@]}"
check "no product is registered" test -z "$(products)"
check "no file and no folder is left, the log neither" test ! -e "$installed"
check "no registry key of the package is left" keys_as_before
check "the program's settings key is left alone" settings_kept

check "installing again succeeds" msiexec /i "$(win "$msi")" /qn "${PER_USER[@]}"
echo "line of the program's log" >"$installed/CCProcess.log"
check "msiexec /x with KEEPLOG=1 removes it" msiexec /x "$(win "$msi")" /qn "${PER_USER[@]}" KEEPLOG=1
check "with KEEPLOG=1 the log stays, and only the log" \
    test "$(ls -A "$installed" 2>/dev/null)" == CCProcess.log
check "no product is registered after it" test -z "$(products)"
check "no registry key of the package is left after it" keys_as_before
echo "upgrade, refusal and two removals: $(($(date +%s%3N) - start)) ms"

# Per machine, as Group Policy, Intune, Configuration Manager and remote-management agents
# install it, with the event source's registration.
start=$(date +%s%3N)
# The folder a build's package installs into per machine: the 32-bit one into Program Files
# (x86) where Windows is 64-bit.
machine_folder() {
    local folder
    folder=$(win_run cmd /c "echo %ProgramFiles$([[ $1 == x86 ]] && echo '(x86)')%" 2>/dev/null |
        tr -d '\r')
    [[ $folder == %* ]] && folder=$(win_run cmd /c 'echo %ProgramFiles%' 2>/dev/null | tr -d '\r')
    echo "$folder\\Ostrel Interface"
}
machine_win=$(machine_folder "$arch")
machine_dir=$(unix_path "$machine_win")
[[ -n $machine_dir && ! -e $machine_dir ]] || die "$machine_dir exists before the test"
check "msiexec /i ALLUSERS=1 installs per machine" msiexec /i "$(win "$msi")" /qn ALLUSERS=1
check "the files are in Program Files, as in the zip" same_as_zip "$version" "$machine_dir"
check "with an empty log" test -f "$machine_dir/CCProcess.log" -a ! -s "$machine_dir/CCProcess.log"
check "nothing is installed for the user" test ! -e "$installed/ostrel.exe"
# The installed program the event source names (and a per-machine install's folder).
message_file() {
    win_run reg query "$EVENT_SOURCE" /v EventMessageFile 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *EventMessageFile *REG_EXPAND_SZ *//p'
}
check "the event source's messages are the installed program's" \
    test "$(message_file)" == "$machine_win\\ostrel.exe"
# The first copy blanks "Logging" as it ends: on again for this run's session trace.
win_run reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
win_run "$watch_exe" "$machine_win\\ostrel.exe" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
check "started from Program Files, it ends by itself" grep -q 'exit code 0' "$work/watch.log"
check "and appends to the log there" grep -q 'Front Desk' "$machine_dir/CCProcess.log"
# With no reader it says so in the event log, in the words of the installed program's messages.
check "its entry in the event log has its message" tests/win32/event_log_read_back.sh \
    --message "Ostrel Interface" 2 "No card reader was found, and the program has ended"
win_run "$machine_win\\ostrel-diag.exe" --json >"$work/diag.json" 2>/dev/null
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
    check "the $other_arch package installs" msiexec /i "$(win "$other_msi")" /qn "${PER_USER[@]}"
    check "the $arch package of the same version replaces it" msiexec /i "$(win "$msi")" /qn "${PER_USER[@]}"
    check "only the $arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$arch.msi"
    check "the $arch files are there" same_as_zip $version
    check "the $other_arch package replaces the $arch one in turn" \
        msiexec /i "$(win "$other_msi")" /qn "${PER_USER[@]}"
    check "only the $other_arch product is registered after it" \
        test "$(installed_product)" == "$version ostrel-$version-$other_arch.msi"
    check "the $other_arch files are there" same_as_zip other
    check "msiexec /x removes the $other_arch package" msiexec /x "$(win "$other_msi")" /qn "${PER_USER[@]}"
    check "no product is registered after the builds' swap" test -z "$(products)"
    check "no file and no folder is left after the builds' swap" test ! -e "$installed"
    check "no registry key of the package is left after the builds' swap" keys_as_before
    # Per machine each build replaces the other in the folder the first install there chose,
    # where the host's path names ostrel.exe: x64, x86, x64 in Program Files; x86, x64 in
    # Program Files (x86).
    other_machine_dir=$(unix_path "$(machine_folder "$other_arch")")
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
    win_run reg add "$SETTINGS" /v Logging /t REG_SZ /d Y /f >/dev/null 2>&1
    win_run "$watch_exe" "$machine_win\\ostrel.exe" '"C,Front Desk"' 40 >"$work/watch.log" 2>&1
    check "the host's path starts it after the swaps, and it logs there" log_kept
    # Windows removes the replaced build with UPGRADINGPRODUCTCODE set, which keeps the log, and
    # the new build's log never overwrites one. Wine's installer leaves the property out (the
    # swaps above start an empty log): here the swap's two steps are taken one by one.
    msiexec /x "$(win "$msi")" /qn ALLUSERS=1 \
        UPGRADINGPRODUCTCODE="$(cat "$artefacts/other-product-code")"
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
