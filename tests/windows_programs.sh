#!/usr/bin/env bash
# Runs each Windows test program of a build, those its CTest files list, one after another in its
# own folder and within 300 s, as CTest runs its tests: under the Wine that WINE names
# (the test command's set-up), or on Windows itself from Git for Windows' bash. Each program's
# GoogleTest report and output go to the results folder, and programs.xml there (JUnit, as
# ctest --output-junit writes) says which ended well. Exits non-zero when one did not.
#   windows_programs.sh <build folder> <results folder>
#   windows_programs.sh --list <build folder>     the programs' names
set -uo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

usage() { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

# "<name> <path in the build folder>" of each test program: CTest's files name the emulator,
# then the program (not an option ending in .exe), by the path the build had where it was
# configured.
programs() {
    local root
    root=$(sed -n 's/^# Build directory: //p' "$1/CTestTestfile.cmake" 2>/dev/null)
    [[ -n $root ]] || return 1
    find "$1" -name CTestTestfile.cmake -exec \
        sed -n 's/^add_test(\[=\[\([^]]*\)\]=\] "[^"]*" "\([^"-][^"]*\.exe\)".*/\1 \2/p' {} + |
        while read -r name exe; do echo "$name ${exe#"$root"/}"; done
}

if [[ ${1:-} == --list ]]; then
    (($# == 2)) || usage
    programs "$2" | cut -d' ' -f1
    exit
fi
(($# == 2)) || usage
on_windows || [[ -n ${WINE:-} ]] || { echo "no Wine (WINE, see scripts/lib.sh) and not on Windows"; exit 2; }
build=$(realpath "$1")
mkdir -p "$2" && results=$(realpath "$2")
list=$(programs "$build") && [[ -n $list ]] || { echo "no test program listed in $build"; exit 1; }

# The reports' folder as the programs name it: under Wine through drive Z:.
if on_windows; then
    reports=$(cygpath -w "$results")
else
    reports="Z:${results//\//\\}"
fi
cases=()
failures=0
while read -r name exe; do
    start=$SECONDS
    rm -f "$results/$name.xml"
    (cd "$(dirname "$build/$exe")" &&
        timeout 300 ${WINE:+"$WINE"} "$build/$exe" --gtest_output="xml:$reports\\$name.xml") \
        >"$results/$name.log" 2>&1
    code=$?
    took=$((SECONDS - start))
    # The program's own counts, the last ones printed (a program may print its child runs').
    summary=$(tr -d '\r' <"$results/$name.log" | grep -E '^\[  (PASSED|SKIPPED) +\] [0-9]+ test' |
        tail -n 2 | tr '\n' ' ')
    if ((code == 0)); then
        echo "$name: passed, ${summary}($took s)"
        cases+=("<testcase name=\"$name\" classname=\"$name\" time=\"$took\" status=\"run\"/>")
    else
        echo "$name: FAILED, exit code $code ($took s)"
        tr -d '\r' <"$results/$name.log"
        cases+=("<testcase name=\"$name\" classname=\"$name\" time=\"$took\" status=\"fail\"><failure message=\"exit code $code\"/></testcase>")
        failures=$((failures + 1))
    fi
done <<<"$list"
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuite name=\"$(basename "$build")\" tests=\"${#cases[@]}\" failures=\"$failures\">"
    printf '  %s\n' "${cases[@]}"
    echo '</testsuite>'
} >"$results/programs.xml"
((failures == 0))
