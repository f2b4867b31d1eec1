#pragma once
// The diagnostics tool's command: its arguments, one run over every item, and the watch.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "diag/diag_items.h"

namespace ostrel::diag {

constexpr int kExitBadArguments = 2;

struct Options {
    bool json = false;
    bool watch = false;
    std::optional<int> count;  // --watch ends after so many swipes
    std::string dir;           // the log's folder, when not the tool's own
};

// The options, or nothing with the reason in error.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error);
std::string UsageText();

// Where the output goes, piece by piece as it is made (the watch prints as swipes arrive).
using Output = std::function<void(const std::string&)>;
// Whether the user asked the watch to end (Ctrl+C), asked between polls.
using StopRequested = std::function<bool()>;

// Runs the tool; returns its exit code: 0 nothing stops the program, 1 something does, 2 bad
// arguments (with the usage text).
int RunDiagnostics(DiagPlatform& platform, const std::vector<std::string>& args, const Output& out,
                   const StopRequested& stop);

// Shows each swipe's decode statuses, track lengths, the track 1 reading's outcome and the
// brand, never track text nor more than the first four digits of a number.
int Watch(DiagPlatform& platform, const Options& options, const Output& out,
          const StopRequested& stop);

}  // namespace ostrel::diag
