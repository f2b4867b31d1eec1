#!/usr/bin/env bash
# Reads the Windows Application log back with wevtutil: passes when the newest
# entry of the last hour from the source, with the event id, holds the text among its insertion
# strings, or with --message in the message Windows makes of it from the source's message file.
# Without arguments: the entry ostrel_win32_tests reports under a source no install registered,
# which Windows keeps without a message file ("If the source name cannot be found, the event
# logging service uses the Application log", RegisterEventSourceA). Under Wine, whose event log
# keeps no entry, it says so and exits 77: skipped.
#   event_log_read_back.sh [[--message] <source> <event id> <text>]
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"

format=xml
[[ ${1:-} == --message ]] && { format=text; shift; }
(($# == 0)) && set -- "Ostrel Interface tests" 1 "a line"
(($# == 3)) || { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
source_name=$1 id=$2 text=$3

on_windows || [[ -n ${WINE:-} ]] || { echo "no Wine (WINE, see scripts/lib.sh) and not on Windows"; exit 2; }
# wevtutil qe <log> /q:<XPath> /c:1 /rd:true: the newest entry that matches
# (learn.microsoft.com/windows-server/administration/windows-commands/wevtutil).
query="*[System[Provider[@Name='$source_name'] and EventID=$id"
query+=" and TimeCreated[timediff(@SystemTime) <= 3600000]]]"
entry=$(win_run wevtutil qe Application "/q:$query" /c:1 /rd:true "/f:$format" | tr -d '\r')
if [[ -z $entry ]] && ! on_windows; then
    echo "skipped, the event log read back: Wine's event log keeps no entry (wevtutil finds none)"
    exit 77
fi
echo "$entry"
if [[ -z $entry ]]; then
    echo "no entry of the last hour from \"$source_name\" with event id $id"
    exit 1
fi
# Insertion strings are the entry's <Data> elements; the message follows "Description:".
if [[ $format == xml ]]; then
    grep -qF "<Data>$text</Data>" <<<"$entry"
else
    sed -n '/^ *Description:/,$p' <<<"$entry" | grep -qF "$text"
fi || { echo "the entry does not hold \"$text\""; exit 1; }
