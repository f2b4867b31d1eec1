#pragma once
// The process log: "CCProcess.log" beside the executable, one time-stamped line per call.
#include <string>

#include "platform/desktop.h"

namespace ostrel {

class ProcessLog {
  public:
    explicit ProcessLog(Desktop& desktop) : desktop_(desktop) {}

    // Appends "<time of day> <text>". A file that cannot be opened or written raises AppError
    // (70, 75 or 76) and the line is lost.
    void WriteProcessLog(const std::string& text);

    // Gates the session handshake's trace lines; WriteProcessLog itself does not look at it.
    bool LoggingOn = false;

  private:
    Desktop& desktop_;
};

}  // namespace ostrel
