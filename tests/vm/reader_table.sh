#!/usr/bin/env bash
# Inside the virtual machine: the shipped programs read the virtual card reader through Wine's
# own HID stack, for each reader model and each build. For every model the diagnostics tool
# finds it past another maker's device and shows its swipes; ostrel.exe, started by the host
# emulator beside the stand-in host control, arms it, delivers a card that is read back, reads it
# again once it is unplugged and plugged in while armed, and reports a read error as it does,
# ending with a log line. The tool names the reader by the product and serial number strings Wine
# gives, and its JSON then carries the row's swipes in the reader's statistics. Model 1 is found
# and refused as it is; a reader whose keyboard collection comes first is read as well.
#   reader_table.sh [build...] [-- row...]   (both builds and every row by default)
set -uo pipefail
source "$(dirname "$0")/guest.sh"

builds=()
while (($#)) && [[ $1 != -- ]]; do builds+=("$1"); shift; done
[[ ${1:-} == -- ]] && shift
((${#builds[@]})) || builds=(win32 win64)
# The rows: a reader model, or kbN for model N with its keyboard collection first. Each has a
# session of its own on the emulator.
declare -A LETTER=([2]=B [3]=C [9]=I [14]=N [15]=O [1]=A [kb2]=K)
rows=("$@")
((${#rows[@]})) || rows=(2 3 9 14 15 1 kb2)

PLEASE_SWIPE="Please Swipe Credit Card...            "
SENT="Send Card information ..."
READ_ERROR="Card Read Error...                     "
DEACTIVATED="Ostrel deactivated, type Credit Card information."
TIMED_OUT="Re-click Credit Card Scan button, scanner has timmed out!"

# What the diagnostics tool says of the reader (DIAG, one run per row).
diag_finds() {
    DIAG=$("$WINE" "$BIN/ostrel-diag.exe" 2>&1 | tr -d '\r')
    says "$1"
}
says() { grep -q "$1" <<<"$DIAG" || { echo "$DIAG"; return 1; }; }
# Its watch shows a swipe and a read error as they come.
diag_watches() {
    local out=/tmp/watch.txt watch i
    "$WINE" "$BIN/ostrel-diag.exe" --watch --count 2 >"$out" 2>&1 &
    watch=$!
    for ((i = 0; i < 600; i++)); do grep -q '^reader:' "$out" && break; sleep 0.1; done
    reader card visa >/dev/null
    reader error 1 >/dev/null
    for ((i = 0; i < 600; i++)); do kill -0 "$watch" 2>/dev/null || break; sleep 0.1; done
    kill "$watch" 2>/dev/null
    tr -d '\r' <"$out" | grep -q '^swipe: decoded=yes; statuses=0/0/0; lengths=[0-9]*/[0-9]*/0; track 1=read; brand=Visa' &&
        tr -d '\r' <"$out" | grep -q '^swipe: decoded=yes; statuses=1/0/0; lengths=0/' ||
        { cat "$out"; return 1; }
}

# The reader's statistics in the tool's JSON after the row's swipes: two cards delivered at least
# (a swipe lost while the reader was away is not counted), the read error counted.
diag_counted() {
    local json row
    json=$("$WINE" "$BIN/ostrel-diag.exe" --json 2>&1 | tr -d '\r\n')
    row=$(grep -o "{[^{}]*\"reader\": \"$1\"[^{}]*}" <<<"$json")
    grep -q '"swipes read": "\([2-9]\|[1-9][0-9]\)"' <<<"$row" &&
        grep -q '"cards delivered": "\([2-9]\|[1-9][0-9]\)"' <<<"$row" &&
        grep -q '"not read, track status": "[1-9]' <<<"$row" || { echo "${row:-$json}"; return 1; }
}

program_ends() {
    local i
    for ((i = 0; i < 60; i++)); do
        pgrep -f '^[^ ]*ostrel\.exe' >/dev/null || return 0
        sleep 0.5
    done
    echo "ostrel.exe still runs"
    return 1
}
scan() { remote screen "$1" "Front Desk" >/dev/null && remote scan "$1" >/dev/null; }
statuses_include() { remote statuses "$1" | grep -qxF "$2" || { remote statuses "$1"; return 1; }; }
# The card's fields on the host's screen, and its number read back.
card_delivered() {
    local letter=$1 fields
    wait_status "$letter" 60 "$SENT" || { remote statuses "$letter"; return 1; }
    fields=$(remote session "$letter")
    grep -qxP 'W1AC#\t4111111111111111' <<<"$fields" && grep -qxP 'W1CEXP\t1228' <<<"$fields" &&
        grep -qxP 'WLNAM\tDOE' <<<"$fields" || { sed -E 's/(4111)[0-9]{12}/\1.../' <<<"$fields"; return 1; }
    read_back "$letter" || { echo "not read back"; return 1; }
}
# Once Wine lists the reader again the cashier swipes; when the request ran out meanwhile the
# program says to click the scan button again, and they do. A swipe right after the reader is
# listed can come before the program has opened it (at its next tick) and be lost, as with a
# real reader: the cashier swipes again.
delivered_again() {
    local letter=$1 before swipes
    before=$(remote statuses "$letter" | wc -l)
    for swipes in 1 2 3; do
        if [[ $(field "$letter" CCSTATUS) == "$TIMED_OUT" ]]; then
            scan "$letter"
            wait_status "$letter" 60 "$PLEASE_SWIPE" || break
        fi
        reader card visa >/dev/null
        wait_status "$letter" 10 --after "$before" "$SENT" && { echo "$swipes swipe(s)"; return 0; }
    done
    remote statuses "$letter"
    return 1
}
logged_read_error() {
    grep -q "Card data err\*\*$(($(printf '%d' "'$1") - 65))\*\*" "$BIN/CCProcess.log" ||
        { cat "$BIN/CCProcess.log" 2>/dev/null; return 1; }
}

row() {
    local row=$1 build=$2 letter=${LETTER[$1]} model=${1#kb} name device serial
    name="$build model $model"
    device=reader:$model
    if [[ $row == kb* ]]; then
        name="$build model $model, keyboard collection first"
        device=keyboard-first:$model
    fi
    rm -f "$BIN/CCProcess.log"

    reader_start other-maker "$device" >/dev/null || { result FAILED "$name: plugged in" "$(cat "$READER_OUT")"; return; }
    if [[ $model == 1 ]]; then
        expect "$name: found and refused by ostrel-diag" diag_finds "the reader taken is model 1, which cannot read cards"
    else
        expect "$name: found by ostrel-diag" diag_finds "reader model $model taken, its report layout loads"
    fi
    serial=$(printf 'SR%02d-0417' "$model")
    expect "$name: its strings read through Wine's HID stack" eval \
        'says "product: \"USB Swipe Reader $model\"" && says "serial number: \"$serial\""'
    if [[ $row != kb* ]]; then
        expect "$name: another maker's device passed by" says "skipped as another maker's"
        [[ $model != 1 ]] && expect "$name: swipes shown by ostrel-diag --watch" diag_watches
    fi

    scan "$letter"
    if [[ $model == 1 ]]; then
        expect "$name: refused as the program refuses it" wait_status "$letter" 90 "Improper Input Device."
        pkill -f '^[^ ]*ostrel\.exe' && sleep 1
        return
    fi
    expect "$name: armed" wait_status "$letter" 90 "$PLEASE_SWIPE"
    reader card visa >/dev/null
    expect "$name: a swipe delivered and read back" card_delivered "$letter"
    local replug=$SECONDS
    reader_unplug && reader_plug && echo "($name: Wine let the reader go and took it in again in $((SECONDS - replug)) s)"
    expect "$name: unplugged and plugged in again while armed, a swipe delivered" delivered_again "$letter"
    reader error 1 >/dev/null
    expect "$name: a read error reported" wait_status "$letter" 40 "$DEACTIVATED"
    expect "$name: a read error shown as such" statuses_include "$letter" "$READ_ERROR"
    expect "$name: a read error logged, the program ends" eval 'logged_read_error "$letter" && program_ends'
    expect "$name: its serial number and statistics in ostrel-diag --json" diag_counted "$serial"
    # The next row starts with no copy running, whatever happened in this one.
    pkill -f '^[^ ]*ostrel\.exe' && sleep 1
}

for build in "${builds[@]}"; do
    start=$SECONDS
    use_build "$build" || { result FAILED "$build: programs in place"; continue; }
    "$WINE" "$BIN/training/kt4r.exe" /program "$("$WINE" winepath -w "$BIN/ostrel.exe")" >/dev/null 2>&1 &
    emulator=$!
    remote wait 120 >/dev/null || result FAILED "$build: the host emulator starts"
    for r in "${rows[@]}"; do
        row "$r" "$build"
        echo "== $build row $r: $((SECONDS - start)) s"
    done
    reader_stop --no-wait  # the next build starts a Wine of its own
    remote quit >/dev/null
    wait "$emulator"
    expect "$build: the program ends with its host" program_ends
done
wineserver -k 2>/dev/null
true
