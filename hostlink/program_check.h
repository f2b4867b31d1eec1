#pragma once
// Is a process with a given executable file name running? Asked of the process list, so the
// host program need not cooperate.
#include <cstdint>
#include <string>

#include "platform/desktop.h"
#include "platform/processes.h"

namespace ostrel {

constexpr const char* kHostProgram = "kt4r.exe";

// dwPlatformId as GetVersionExA reports it (2: the Windows NT family).
uint32_t GetPlatformId(Processes& processes);

// True when some process's main executable has exeName as its file name (case and surrounding
// blanks aside), whether it is built for this program's architecture or the other one. Outside
// the NT family the answer is false. Yields to the message loop while it walks the list. A
// run-time error inside reaches the caller with the description "ProcessInfo".
bool isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName);

// The same question asked over and over (the scan loop asks twice a second). The process found
// is kept open, for waiting on: while it has not ended the answer is yes without walking every
// process (which costs the idle program most of its time); once it has, the whole list is walked
// again.
class ProgramWatch {
  public:
    ProgramWatch() = default;
    ~ProgramWatch() { Forget(); }
    ProgramWatch(const ProgramWatch&) = delete;
    ProgramWatch& operator=(const ProgramWatch&) = delete;

    bool isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName);
    // The process found last, set once it ends, for a wait to end with it; 0 when none is kept
    // or it could not be opened for waiting.
    ProcHandle EndHandle() const { return waitable_ ? found_ : 0; }

  private:
    void Forget();
    // Keeps the process found: a handle that can be waited on in place of the one the walk
    // opened, or that one when waiting is refused.
    void Keep(Processes& processes, ProcHandle opened);

    Processes* processes_ = nullptr;
    ProcHandle found_ = 0;   // the process found last, open
    bool waitable_ = false;  // found_ was opened with kSynchronize
    std::string foundName_;
};

}  // namespace ostrel
