#include "diag/diag_run.h"

#include "carddata/card_type.h"
#include "carddata/track1.h"
#include "reader/card_reader.h"
#include "shell/track1_text.h"
#include "support/product.h"

namespace ostrel::diag {

namespace {

// How often the watch looks for a report; the program's timer looks once a second.
constexpr uint32_t kWatchPollMs = 250;

const char* StepName(Track1Step step) {
    switch (step) {
        case Track1Step::Length:
            return "nothing read";
        case Track1Step::MinimumLength:
            return "too short";
        case Track1Step::FormatCode:
            return "no format code B";
        case Track1Step::CardNumber:
            return "no card number";
        case Track1Step::Brand:
            return "brand";
        case Track1Step::SecondCaret:
            return "no second caret";
        case Track1Step::HolderName:
            return "no holder name";
        case Track1Step::Expiry:
            return "no expiry";
        case Track1Step::NameSplit:
            return "name split";
        case Track1Step::MiddleInitial:
            return "middle initial";
    }
    return "unknown step";
}

// The facts of one decoded swipe. Only counts, statuses and the brand leave here; the number's
// first four digits at most.
Row SwipeFacts(const CardReader& reader, bool decoded) {
    const SwipeRecord& swipe = reader.Swipe();
    Row row;
    row.push_back({"decoded", decoded ? "yes" : "no: " + reader.Error()});
    row.push_back({"statuses", std::to_string(swipe.Tk1DcdSts) + "/" +
                                   std::to_string(swipe.Tk2DcdSts) + "/" +
                                   std::to_string(swipe.Tk3DcdSts)});
    row.push_back({"lengths", std::to_string(swipe.Tk1Len) + "/" + std::to_string(swipe.Tk2Len) +
                                  "/" + std::to_string(swipe.Tk3Len)});
    if (!decoded) return row;
    const CardText track = Track1TextOf(reader);
    Track1Reading reading = ReadTrack1(track, CardFields{});
    row.push_back(
        {"track 1", reading.failed ? std::string("fails: ") + StepName(*reading.failed) : "read"});
    const bool branded = reading.reached >= Track1Step::Brand;
    row.push_back({"brand", branded ? std::string(reading.card.CardTypeName) : "(no number)"});
    if (branded && reading.card.CardNumber.size() >= 4)
        row.push_back({"number starts", std::string(reading.card.CardNumber.view().substr(0, 4))});
    reading.card.Wipe();
    return row;
}

std::string RowText(const Row& row) {
    std::string line;
    for (const Fact& fact : row)
        line += (line.empty() ? "" : "; ") + fact.key + "=" + fact.value;
    return line;
}

std::string RowJson(const std::string& event, const Row& row, const ToUtf8& toUtf8) {
    std::string line = "{\"event\": " + JsonString(event);
    for (const Fact& fact : row)
        line += ", " + JsonString(toUtf8(fact.key)) + ": " + JsonString(toUtf8(fact.value));
    return line + "}\n";
}

RunFacts FactsOfThisRun(SystemProbe& probe) {
    const UtcTime now = probe.SystemTimeUtc();
    return {kVersionText, kThisBuild == Bitness::Bits64 ? "x64" : "x86", probe.ComputerName(),
            probe.UserName(),
            IsoUtcText(now.year, now.month, now.day, now.hour, now.minute, now.second)};
}

}  // namespace

std::string UsageText() {
    return "Usage: ostrel-diag [--json] [--dir <folder>]\n"
           "       ostrel-diag --watch [--json] [--count N]\n"
           "  Checks what the Ostrel program needs: the card reader, the host's control, the\n"
           "  host program, the shared registry values and the log folder.\n"
           "  --json         one JSON document instead of text (with --watch, one per line)\n"
           "  --dir <folder> where CCProcess.log is looked at (default: this tool's folder)\n"
           "  --watch        opens the reader and shows each swipe as it arrives; Ctrl+C ends\n"
           "  --count N      with --watch, ends after N swipes\n"
           "Exit code: 0 nothing stops the program, 1 something does, 2 bad arguments.\n";
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--dir" && hasValue && !args[i + 1].empty()) {
            options.dir = args[++i];
        } else if (arg == "--count" && hasValue) {
            const std::string& n = args[++i];
            const bool digits = !n.empty() && n.size() <= 6 &&
                                n.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || std::stoi(n) == 0) {
                *error = "--count takes a number of swipes from 1 to 999999";
                return std::nullopt;
            }
            options.count = std::stoi(n);
        } else if (arg == "--dir" || arg == "--count") {
            *error = arg + " needs a value";
            return std::nullopt;
        } else {
            *error = "unknown argument: " + arg;
            return std::nullopt;
        }
    }
    if (options.count && !options.watch) {
        *error = "--count goes with --watch";
        return std::nullopt;
    }
    return options;
}

int RunDiagnostics(DiagPlatform& platform, const std::vector<std::string>& args, const Output& out,
                   const StopRequested& stop) {
    std::string error;
    const std::optional<Options> options = ParseArguments(args, &error);
    if (!options) {
        out("ostrel-diag: " + error + "\n" + UsageText());
        return kExitBadArguments;
    }
    if (options->watch) return Watch(platform, *options, out, stop);
    const Report report = GatherAll(platform, options->dir);
    const ToUtf8 toUtf8 = [&](const std::string& text) { return platform.probe.AnsiToUtf8(text); };
    out(options->json ? FormatJson(report, FactsOfThisRun(platform.probe), toUtf8)
                      : FormatText(report));
    return ExitCodeOf(report);
}

int Watch(DiagPlatform& platform, const Options& options, const Output& out,
          const StopRequested& stop) {
    const ToUtf8 toUtf8 = [&](const std::string& text) { return platform.probe.AnsiToUtf8(text); };
    const auto say = [&](const std::string& event, const Row& row) {
        out(options.json ? RowJson(event, row, toUtf8) : event + ": " + RowText(row) + "\n");
    };
    CardReader reader(platform.hid, platform.desktop);
    reader.InitReader();
    int swipes = 0;
    bool waitingSaid = false;
    while (!stop()) {
        if (!reader.IsOpen()) {
            if (reader.ReaderPresent()) reader.OpenReader();
            if (reader.IsOpen()) {
                waitingSaid = false;
                reader.LoadReportLayout();
                Row row{{"model", std::to_string(reader.ReaderProductId())},
                        {"input report length", std::to_string(reader.InputReportLength())}};
                if (!reader.Error().empty()) row.push_back({"layout error", reader.Error()});
                say("reader", row);
            } else if (!waitingSaid) {
                waitingSaid = true;
                say("waiting", {{"reader", "none found yet"}});
            }
        }
        if (reader.IsOpen() && reader.ReadReport()) {
            const bool decoded = reader.DecodeReport();
            say("swipe", SwipeFacts(reader, decoded));
            reader.WipeSwipeData();
            if (options.count && ++swipes >= *options.count) break;
            continue;
        }
        // A reader unplugged while open is noticed by its failed read, which closes it.
        platform.desktop.WaitForMessage(kWatchPollMs);
        platform.desktop.DoEvents();
    }
    return 0;
}

}  // namespace ostrel::diag
