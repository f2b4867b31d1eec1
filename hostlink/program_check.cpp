#include "hostlink/program_check.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "platform/app_error.h"
#include "support/text_util.h"

namespace ostrel {

namespace {

constexpr uint32_t kModuleArrayBytes = 200;
constexpr uint32_t kPathBufferSize = 260;

// Closes an opened process on every way out.
class ProcessHandleGuard {
  public:
    ProcessHandleGuard(Processes& processes, ProcHandle handle)
        : processes_(processes), handle_(handle) {}
    ~ProcessHandleGuard() { Close(); }
    ProcessHandleGuard(const ProcessHandleGuard&) = delete;
    ProcessHandleGuard& operator=(const ProcessHandleGuard&) = delete;

    ProcHandle Get() const { return handle_; }
    ProcHandle Release() { return std::exchange(handle_, 0); }
    void Close() {
        if (handle_) processes_.CloseProcessHandle(handle_);
        handle_ = 0;
    }

  private:
    Processes& processes_;
    ProcHandle handle_;
};

std::vector<uint32_t> ReadProcessIds(Processes& processes, Desktop& desktop) {
    // Grow until the list fits with room to spare: a full buffer may have cut it short.
    std::vector<uint32_t> ids;
    uint32_t bufferSize = 8;
    uint32_t needed = 96;
    while (bufferSize <= needed) {
        desktop.DoEvents();
        bufferSize *= 2;
        ids.assign(bufferSize / 4, 0);
        if (!processes.EnumProcessIds(ids.data(), bufferSize, &needed)) needed = 0;
    }
    ids.resize(needed / 4);
    return ids;
}

// The file name at the end of a path as the check compares it: upper-cased, without blanks
// around it or NULs in it.
std::string FileNameOf(std::string path) {
    path = Trim(RemoveAll(ToUpper(Trim(path)), '\0'));
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// kOtherBitness: listing its modules failed with ERROR_PARTIAL_COPY, as it does for a process
// of the other bitness (and for one that has ended); Wine's 32-bit side says ERROR_NOACCESS.
enum class Naming { kNamed, kNotNamed, kOtherBitness };

// The file name of the process's main module, upper-cased, in *name.
Naming MainModuleName(Processes& processes, ProcHandle process, std::string* name) {
    ModuleHandle modules[kModuleArrayBytes] = {};
    uint32_t needed = 0;
    if (!processes.EnumModules(process, modules, kModuleArrayBytes, &needed)) {
        const uint32_t error = processes.LastError();
        return error == winerr::kPartialCopy || error == winerr::kNoAccess ? Naming::kOtherBitness
                                                                           : Naming::kNotNamed;
    }
    std::string path(kPathBufferSize, ' ');
    const uint32_t length = processes.ModuleFileName(process, modules[0], path.data(),
                                                     static_cast<uint32_t>(path.size()));
    path.resize(std::min<size_t>(length, path.size()));
    *name = FileNameOf(std::move(path));
    return Naming::kNamed;
}

// A process whose modules this program cannot list (a 64-bit one seen from a 32-bit program)
// is named by its image path instead, on a handle that reads none of its memory. A process that
// has ended but is still held open elsewhere is listed and named too: only a running one counts.
ProcHandle OpenByImageName(Processes& processes, uint32_t pid, const std::string& wanted) {
    ProcessHandleGuard process(processes,
                               processes.OpenProcessHandle(kProcessQueryLimited, false, pid));
    if (!process.Get()) return 0;
    std::string path(kPathBufferSize, ' ');
    auto size = static_cast<uint32_t>(path.size());
    if (!processes.ProcessImageName(process.Get(), kProcessNameWin32, path.data(), &size)) {
        return 0;
    }
    path.resize(std::min<size_t>(size, path.size()));
    uint32_t code = 0;
    if (FileNameOf(std::move(path)) != wanted ||
        !processes.GetExitCodeProcess(process.Get(), &code) || code != kStillActive) {
        return 0;
    }
    return process.Release();
}

// The process, opened, when its main executable is wanted; 0 otherwise.
ProcHandle OpenIfWanted(Processes& processes, uint32_t pid, const std::string& wanted) {
    ProcessHandleGuard process(processes,
                               processes.OpenProcessHandle(kProcessQueryAndRead, false, pid));
    if (!process.Get()) return 0;
    std::string name;
    switch (MainModuleName(processes, process.Get(), &name)) {
        case Naming::kNamed:
            return name == wanted ? process.Release() : 0;
        case Naming::kOtherBitness:
            process.Close();
            return OpenByImageName(processes, pid, wanted);
        case Naming::kNotNamed:
            break;
    }
    return 0;
}

// Whether a process runs in another Remote Desktop session than this program: on a terminal
// server another user's host is not ours. Where either session cannot be told, it counts, as
// ending the program under a cashier's host would be worse than running on without one.
bool InAnotherSession(Processes& processes, uint32_t pid, std::optional<uint32_t> own) {
    uint32_t session = 0;
    return own && processes.ProcessIdToSessionId(pid, &session) && session != *own;
}

// The first process of this program's session whose main module is wanted, opened; 0 when
// there is none.
ProcHandle OpenProgram(Processes& processes, Desktop& desktop, const std::string& wanted) {
    uint32_t session = 0;
    const std::optional<uint32_t> own =
        processes.ProcessIdToSessionId(processes.CurrentProcessId(), &session)
            ? std::optional<uint32_t>(session)
            : std::nullopt;
    for (const uint32_t pid : ReadProcessIds(processes, desktop)) {
        desktop.DoEvents();
        if (!InAnotherSession(processes, pid, own)) {
            if (const ProcHandle found = OpenIfWanted(processes, pid, wanted)) return found;
        }
        desktop.DoEvents();
    }
    return 0;
}

// Whether a process kept open still runs: its handle is set once it has ended. One opened
// without the right to wait on it is asked for its exit code instead.
bool StillRunning(Processes& processes, ProcHandle process) {
    switch (processes.WaitForProcess(process, 0)) {
        case kWaitTimeout:
            return true;
        case kWaitObject0:
            return false;
        default:
            break;
    }
    uint32_t code = 0;
    return processes.GetExitCodeProcess(process, &code) && code == kStillActive;
}

// Runs check with the errors the check passes on described as "ProcessInfo".
template <class Check>
auto Described(Check&& check) {
    try {
        return check();
    } catch (const AppError& e) {
        throw AppError(e.Number(), e.Source(), "ProcessInfo");
    } catch (const std::bad_alloc&) {
        throw AppError(errnum::kOutOfMemory, "isPgmActive", "ProcessInfo");
    }
}

}  // namespace

uint32_t GetPlatformId(Processes& processes) {
    OsVersionInfo info;
    if (!processes.GetVersionInfo(&info)) return 0;
    return info.dwPlatformId;
}

bool isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName) {
    const std::string wanted = ToUpper(Trim(exeName));
    return Described([&] {
        if (GetPlatformId(processes) != kPlatformWin32Nt) return false;
        ProcessHandleGuard found(processes, OpenProgram(processes, desktop, wanted));
        return found.Get() != 0;
    });
}

bool ProgramWatch::isPgmActive(Processes& processes, Desktop& desktop, const std::string& exeName) {
    const std::string wanted = ToUpper(Trim(exeName));
    return Described([&] {
        if (GetPlatformId(processes) != kPlatformWin32Nt) {
            Forget();
            return false;
        }
        if (found_ && processes_ == &processes && foundName_ == wanted) {
            desktop.DoEvents();
            if (StillRunning(processes, found_)) return true;
        }
        Forget();
        const ProcHandle opened = OpenProgram(processes, desktop, wanted);
        // The walk yields, and what runs there (a delivery whose host call failed) may have asked
        // again and kept a process of its own: that one is let go, not overwritten.
        Forget();
        processes_ = &processes;
        foundName_ = wanted;
        Keep(processes, opened);
        return found_ != 0;
    });
}

void ProgramWatch::Keep(Processes& processes, ProcHandle opened) {
    found_ = opened;
    waitable_ = false;
    if (!opened) return;
    // Opened while the walk's handle still holds the process, so its id names no other.
    const uint32_t pid = processes.ProcessIdOf(opened);
    const ProcHandle waitable = pid ? processes.OpenProcessHandle(kSynchronize, false, pid) : 0;
    if (!waitable) return;
    processes.CloseProcessHandle(opened);
    found_ = waitable;
    waitable_ = true;
}

void ProgramWatch::Forget() {
    if (found_) processes_->CloseProcessHandle(found_);
    found_ = 0;
    waitable_ = false;
}

}  // namespace ostrel
