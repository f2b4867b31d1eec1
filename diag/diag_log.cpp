// The log folder: whether the program's log can be written there, and the log's last lines.
#include <vector>

#include "carddata/redaction.h"
#include "diag/diag_items.h"
#include "platform/win_errors.h"
#include "support/process_log.h"

namespace ostrel::diag {

namespace {

// Enough for the last lines of any log the program writes (a line is a few hundred bytes).
constexpr uint32_t kTailBytes = 16 * 1024;

// A log line's time of day ("16:45:12", "4:45:12 PM") and the rest, so that the digits of the
// time stay readable while those of the text are masked.
std::pair<std::string, std::string> SplitTime(const std::string& line) {
    size_t at = line.find(' ');
    if (at == std::string::npos) return {"", line};
    if (line.compare(at + 1, 3, "AM ") == 0 || line.compare(at + 1, 3, "PM ") == 0) at += 3;
    const std::string time = line.substr(0, at);
    for (const char c : time) {
        const bool timeChar = (c >= '0' && c <= '9') || c == ':' || c == '.' || c == ' ' ||
                              c == 'A' || c == 'P' || c == 'M';
        if (!timeChar) return {"", line};
    }
    return {time, line.substr(at)};
}

std::vector<std::string> LastLines(const std::string& bytes, size_t count, bool cutAtStart) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    // A tail that starts inside a line: that part line is not shown.
    if (cutAtStart && !lines.empty()) lines.erase(lines.begin());
    if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<long>(count));
    return lines;
}

}  // namespace

std::string MaskedLogLine(const std::string& line) {
    const auto [time, text] = SplitTime(line);
    return time + MaskDigitRuns(text);
}

Item GatherLog(SystemProbe& probe, Desktop& desktop, const std::string& folder) {
    Item item("log", "Log folder");
    // The report is text like the log lines it quotes: the folder as the ANSI code page has it.
    item.Add("folder", desktop.ShownPath(folder));
    const std::string logPath = ProcessLogPath(folder);
    const uint32_t attributes = probe.FileAttributes(folder);
    if (attributes == kInvalidFileAttributes || !(attributes & kFileAttributeDirectory)) {
        item.Add("writable", "no: the folder does not exist");
        item.Judge(Verdict::Warning, "the folder does not exist: failed swipes go unrecorded");
        return item;
    }
    // Only looked at, never made: a log made by an elevated run would be one users cannot append
    // to. A missing one is made by the program's first line if this user may create files here.
    if (probe.FileAttributes(logPath) == kInvalidFileAttributes) {
        const uint32_t may = probe.MayCreateFileIn(folder);
        const std::string missing = std::string(kProcessLogName) + " does not exist";
        item.Add("log", "missing");
        if (may == 0) {
            item.Add("writable", "yes: the program makes the log at its first line");
            item.Judge(Verdict::Ok, missing + " yet: the program makes it at its first line");
            return item;
        }
        const bool denied = may == winerr::kAccessDenied;
        item.Add("writable", denied ? "no: this user cannot create the log here"
                                    : "unknown (error " + std::to_string(may) + ")");
        item.Judge(Verdict::Warning, missing +
                                         (denied ? " and this user cannot create it here"
                                                 : " and this user may not be able to create it") +
                                         ": failed swipes go unrecorded (install the package "
                                         "again to lay it down)");
        return item;
    }
    // The log opened as the program opens it, for appending, nothing written: a per-machine
    // install's folder is read-only to users and its log is not.
    const uint32_t opened = probe.OpenForAppend(logPath);
    if (opened == 0) {
        item.Add("writable", "yes");
    } else {
        item.Add("writable", "no (error " + std::to_string(opened) + ")");
        item.Judge(Verdict::Warning, std::string(kProcessLogName) +
                                         " cannot be written here: failed swipes go unrecorded "
                                         "(the program itself runs on)");
    }

    std::string tail;
    const uint32_t read = probe.ReadFileEnd(logPath, kTailBytes, &tail);
    if (read != 0) {
        item.Add("log", "cannot be read (error " + std::to_string(read) + ")");
    } else {
        item.Add("log", std::to_string(tail.size()) + " bytes read from its end");
        item.rowsName = "last lines";
        for (const std::string& line : LastLines(tail, kLogLinesShown, tail.size() == kTailBytes))
            item.rows.push_back({{"line", MaskedLogLine(line)}});
    }
    item.Judge(Verdict::Ok, opened == 0 ? "the log can be written" : "");
    return item;
}

Report GatherAll(DiagPlatform& platform, const std::string& folder) {
    Report report;
    report.items.push_back(GatherReader(platform.hid, platform.desktop));
    report.items.push_back(GatherStatistics(platform.registry));
    report.items.push_back(GatherHostControl(platform.probe));
    report.items.push_back(GatherHostProgram(platform.processes, platform.desktop));
    report.items.push_back(GatherSettings(platform.registry, platform.desktop));
    report.items.push_back(GatherLog(platform.probe, platform.desktop,
                                     folder.empty() ? platform.desktop.ExeDirectory() : folder));
    return report;
}

}  // namespace ostrel::diag
