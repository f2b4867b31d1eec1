#pragma once
// The process log: "CCProcess.log" beside the executable, one time-stamped line per call.
#include <optional>
#include <string>

#include "platform/desktop.h"

namespace ostrel {

constexpr const char* kProcessLogName = "CCProcess.log";
// The log's path in a folder, whether or not the folder's name ends in a backslash.
std::string ProcessLogPath(std::string folder);

class ProcessLog {
  public:
    explicit ProcessLog(Desktop& desktop) : desktop_(desktop) {}

    // Appends "<time of day> <text>". A line that cannot be written (a read-only folder, say)
    // is lost and nothing else happens: the log is a record for the administrator, never a
    // reason for the till to stop. A file another program holds for a moment is waited for.
    void WriteProcessLog(const std::string& text);

    // The text that tells of the first line of this run that could not be written; given
    // once, nothing after that.
    std::optional<std::string> TakeFailureNotice();

    // Gates the session handshake's trace lines; WriteProcessLog itself does not look at it.
    bool LoggingOn = false;

  private:
    Desktop& desktop_;
    std::optional<std::string> notice_;
    bool noticeTaken_ = false;
};

}  // namespace ostrel
