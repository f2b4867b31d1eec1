#!/usr/bin/env bash
# The virtual machine tier, run inside it by the test command (scripts/vm run): the reader
# table for both builds and, where the test command's machine runs no 32-bit code, the 32-bit
# build's Windows tests; with --all the 32-bit DPI, training, end-to-end and package tiers too.
# Results: the reader table's cases in $OSTREL_VM_RESULTS, each test program's GoogleTest
# report in the folder beside it.
#   tier.sh [--32-bit] [--all]
set -uo pipefail
source "$(dirname "$0")/guest.sh"

with32=0
all=0
for arg; do
    case $arg in
        --32-bit) with32=1 ;;
        --all) with32=1; all=1 ;;
        *) echo "usage: tier.sh [--32-bit] [--all]"; exit 2 ;;
    esac
done
reports=$(dirname "$RESULTS")
# A test whose time and CPU bounds hold on real processors only: the 64-bit build runs it outside.
REAL_CPU_ONLY=DesktopWin32.WaitMsSleepsToItsEndAndDispatchesEachMessageAsItComes

# gtest <name> <program> [arguments]: one GoogleTest program of the build in use, its report in
# the results folder.
gtest() {
    local name=$1 program=$2 start=$SECONDS
    shift 2
    "$WINE" "$BIN/$program" --gtest_output="xml:$("$WINE" winepath -w "$reports/$name.xml")" "$@" \
        >"$reports/$name.log" 2>&1
    echo "$name: $(grep -E '^\[  (PASSED|FAILED)  \]' "$reports/$name.log" | tr '\n' ' ')($((SECONDS - start)) s)"
}

start=$SECONDS
bash "$CHECKOUT/tests/vm/reader_table.sh"
echo "== reader table: $((SECONDS - start)) s"

if ((with32)); then
    start=$SECONDS
    use_build win32
    # The tests find the host's control unregistered, as on the host machine.
    "$WINE" regsvr32 /s /u "$("$WINE" winepath -w "$BIN/training/kt4r_control.dll")"
    gtest win32_logic_tests tests/ostrel_logic_tests.exe
    gtest win32_win32_tests tests/ostrel_win32_tests.exe --gtest_filter="-$REAL_CPU_ONLY"
    result skipped "win32 $REAL_CPU_ONLY" "its bounds are a real processor's; the machine's emulated one is several times slower"
    if ((all)); then
        gtest win32_training_tests tests/ostrel_training_tests.exe
        gtest win32_training_win32_tests tests/ostrel_training_win32_tests.exe
        gtest win32_end_to_end_tests tests/ostrel_end_to_end_tests.exe
        gtest win32_dpi_tests tests/ostrel_dpi_tests.exe
    fi
    # The 32-bit build's host program check beside a 64-bit kt4r.exe, in the 64-bit prefix.
    use_build win64
    export OSTREL_OTHER_BITNESS_KT4R; OSTREL_OTHER_BITNESS_KT4R=$("$WINE" winepath -w "$BIN/tests/helpers/kt4r.exe")
    BIN=/opt/ostrel/win32 gtest win32_beside_win64 tests/ostrel_win32_tests.exe \
        --gtest_filter='ProcessesWin32Test.SeesAHostOfTheOtherBitness*'
    echo "== 32-bit Windows tests: $((SECONDS - start)) s"
fi
wineserver -k 2>/dev/null
true
