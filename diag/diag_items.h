#pragma once
// Gathering each item of the diagnostics tool through the program's own code on the platform
// seam: the reader search, the read statistics, the host's control, the host program, the
// shared registry values, and the log folder.
#include <optional>
#include <string>

#include "diag/diag_report.h"
#include "platform/desktop.h"
#include "platform/hid.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system_probe.h"

namespace ostrel::diag {

// What the tool runs on.
struct DiagPlatform {
    Registry& registry;
    Processes& processes;
    Desktop& desktop;
    Hid& hid;
    SystemProbe& probe;
};

constexpr size_t kLogLinesShown = 10;

// Every HID interface the search lists and what it does with each; the reader taken, its model,
// the strings it names itself by, and its report layout.
Item GatherReader(Hid& hid, Desktop& desktop);
// The read statistics the program keeps for this Windows user, reader by reader.
Item GatherStatistics(Registry& registry);
// The host maker's control: its registrations per user and per machine in each registry view,
// their servers, whether this build (of bitness tool) can create it, and which build can.
Item GatherHostControl(SystemProbe& probe, Bitness tool = kThisBuild);
// Whether the host program runs, by the program's own check.
Item GatherHostProgram(Processes& processes, Desktop& desktop);
// The shared registry values and the session table, entry by entry.
Item GatherSettings(Registry& registry, Desktop& desktop);
// Whether the log can be written in folder (a path, UTF-8), and its last lines with digit runs
// masked.
Item GatherLog(SystemProbe& probe, Desktop& desktop, const std::string& folder);

// A line of the log as shown: its time of day as it is, every run of five or more digits in the
// rest masked after its first four.
std::string MaskedLogLine(const std::string& line);

// All of them, in that order. folder: where the log is looked at; the tool's own when empty.
Report GatherAll(DiagPlatform& platform, const std::string& folder);

}  // namespace ostrel::diag
