#pragma once
// Is a process with a given executable file name running? Asked of the process list, so the
// host program need not cooperate.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop.h"
#include "platform/processes.h"

namespace ostrel {

constexpr const char* kHostProgram = "kt4r.exe";

// dwPlatformId as GetVersionExA reports it (2: the Windows NT family).
uint32_t GetPlatformId(Processes& processes);

// True when some process's main executable has exeName as its file name (case and surrounding
// blanks aside). Outside the NT family the answer is false. Yields to the message loop while it
// walks the list. A run-time error inside reaches the caller with the description
// "ProcessInfo".
bool isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName);

// The same question asked over and over (the scan loop asks twice a second). The process found
// last is asked first: while it still runs under that name the answer is yes without walking
// every process; otherwise the whole list is walked as isPgmActive does.
class ProgramWatch {
  public:
    bool isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName);

  private:
    std::optional<uint32_t> lastPid_;
    std::string lastName_;
};

}  // namespace ostrel
