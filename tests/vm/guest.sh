# Sourced inside the virtual machine (scripts/vm) by the tiers that run there: one build's
# programs on the machine's own disk under a Wine of its bitness, the virtual card reader, and
# the results file the test command counts.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
CHECKOUT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# use_build <win32|win64>: the build's programs copied to the machine's disk, in their folders
# (a program started from the shared folder may crash at random), in the prefix made for it
# with the image: the 32-bit one for the 32-bit build, the 64-bit one (which runs both) for the
# 64-bit build. BIN is where they are; WINE the loader.
use_build() {
    local build=$1
    [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null
    BIN=/opt/ostrel/$build
    rm -rf "$BIN" && mkdir -p "$BIN"
    (cd "$CHECKOUT/build/$build" && find . -path ./googletest -prune -o \( -name '*.exe' -o -name '*.dll' \) \
        -print | xargs cp --parents -t "$BIN") || return 1
    if [[ $build == win64 ]]; then
        export WINEPREFIX=/root/.wine64 WINEARCH=win64 WINE=/usr/lib/wine/wine64
    else
        export WINEPREFIX=/root/.wine WINEARCH=win32 WINE=wine
    fi
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" REMOTE_DIR=$BIN/training
    # Wine's HID bus reads devices through hidraw only. Its evdev side may otherwise take a
    # reader with a keyboard collection first, as the bare keyboard the kernel makes of it.
    wineserver -k 2>/dev/null
    grep -q '^"DisableInput"=dword:00000001' "$WINEPREFIX/system.reg" ||
        sed -i 's/^"Enable SDL"=dword:00000000$/&\n"DisableInput"=dword:00000001/' "$WINEPREFIX/system.reg"
    grep -q '^"DisableInput"=dword:00000001' "$WINEPREFIX/system.reg" || return 1
    wineserver -p
    # The first start after boot also starts Wine's services, the HID bus among them.
    "$WINE" regsvr32 /s "$("$WINE" winepath -w "$BIN/training/kt4r_control.dll")"
}

# The virtual card reader with the devices named (reader:2 other-maker ...), fed its commands
# through a FIFO; its output in $READER_OUT. Starting, stopping, unplugging and plugging in each
# wait until Wine lists the devices, or no longer does: Wine takes a device in and lets it go a
# moment after the kernel, and one plugged back before Wine let it go is never listed.
READER_DIR=/tmp/virtual-reader
READER_OUT=$READER_DIR/out
reader_start() {
    reader_stop
    mkdir -p "$READER_DIR" && rm -f "$READER_DIR/in" && mkfifo "$READER_DIR/in"
    cp "$CHECKOUT/build/native/training/ostrel-virtual-reader" /opt/ 2>/dev/null
    /opt/ostrel-virtual-reader "$@" <"$READER_DIR/in" >"$READER_OUT" 2>&1 &
    READER_PID=$!
    exec 7>"$READER_DIR/in"
    reader_wait $# plugged && reader_listed +
}
# reader_stop [--no-wait]: without waiting for Wine to let the devices go.
reader_stop() {
    [[ -n ${READER_PID:-} ]] || return 0
    # The readers first, then the rest: two devices gone at one moment can leave one listed.
    [[ ${1:-} == --no-wait ]] || reader_unplug
    echo quit >&7
    exec 7>&-
    wait "$READER_PID"
    READER_PID=
    [[ ${1:-} == --no-wait ]] || reader_listed -
}
reader_unplug() { reader unplug >/dev/null && reader_listed - readers; }
reader_plug() { reader plug >/dev/null && reader_listed + readers; }
# reader_listed <+|-> [readers]: waits until Wine lists every device of the virtual reader's (+),
# or none (-); or only its readers.
reader_listed() {
    local ids only=.
    [[ ${2:-} == readers ]] && only='\(reader\|keyboard-first\):'
    ids=$(sed -n "/^plugged $only/s/^plugged [^ ]* (\(....\):\(....\)).*/$1\1:\2/p" "$READER_OUT" | sort -u)
    "$WINE" "$BIN/tests/helpers/hid_listed.exe" 60 $ids >/tmp/listed.txt ||
        { echo "Wine's list of HID devices after 60 s, for $(echo $ids):"; cat /tmp/listed.txt; return 1; }
}
# reader <command>: sends one command and waits for its outcome.
reader() {
    local done
    done=$(grep -c -E '^(ok|error:) ' "$READER_OUT")
    echo "$*" >&7
    reader_wait $((done + 1)) 'ok|error:' && ! tail -n 1 "$READER_OUT" | grep -q '^error:'
}
# reader_wait <count> <words>: waits (30 s at most) for count lines of the reader's output that
# start with one of the words (an extended regular expression).
reader_wait() {
    local i
    for ((i = 0; i < 300; i++)); do
        (($(grep -c -E "^($2) " "$READER_OUT") >= $1)) && return 0
        sleep 0.1
    done
    echo "the virtual reader did not say \"$2\" $1 time(s):"
    sed 's/^/  /' "$READER_OUT"
    return 1
}

# Each case's outcome goes to the results file of the test command (a line "ok<TAB>name" or
# "FAILED<TAB>name<TAB>why") and to the output.
RESULTS=${OSTREL_VM_RESULTS:-/tmp/vm-results.tsv}
result() {
    printf '%s\t%s\t%s\n' "$1" "$2" "${3:-}" >>"$RESULTS"
    echo "$1: $2${3:+ ($3)}"
}
# expect <name> <command...>: the case passes when the command succeeds; what it printed is
# the reason when it does not. The command runs in this shell: what it sets stays set.
expect() {
    local name=$1 start=$SECONDS
    shift
    if "$@" >/tmp/expect.out 2>&1; then
        result ok "$name" "$((SECONDS - start)) s"
    else
        result FAILED "$name" "$((SECONDS - start)) s: $(tr '\n' ' ' </tmp/expect.out | cut -c1-300)"
    fi
}
