#include "hostlink/program_check.h"

#include <algorithm>
#include <new>
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

// The file name of the process's main module, upper-cased; "" when it cannot be had.
std::string MainModuleName(Processes& processes, ProcHandle process) {
    ModuleHandle modules[kModuleArrayBytes] = {};
    uint32_t needed = 0;
    if (!processes.EnumModules(process, modules, kModuleArrayBytes, &needed)) return "";
    std::string path(kPathBufferSize, ' ');
    const uint32_t length = processes.ModuleFileName(process, modules[0], path.data(),
                                                     static_cast<uint32_t>(path.size()));
    path.resize(std::min<size_t>(length, path.size()));
    path = Trim(RemoveAll(ToUpper(Trim(path)), '\0'));
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first process whose main module is wanted, opened; 0 when there is none.
ProcHandle OpenProgram(Processes& processes, Desktop& desktop, const std::string& wanted) {
    for (const uint32_t pid : ReadProcessIds(processes, desktop)) {
        desktop.DoEvents();
        ProcessHandleGuard process(processes,
                                   processes.OpenProcessHandle(kProcessQueryAndRead, false, pid));
        if (process.Get() && MainModuleName(processes, process.Get()) == wanted) {
            return process.Release();
        }
        process.Close();
        desktop.DoEvents();
    }
    return 0;
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
            uint32_t code = 0;
            if (processes.GetExitCodeProcess(found_, &code) && code == kStillActive) return true;
        }
        Forget();
        found_ = OpenProgram(processes, desktop, wanted);
        processes_ = &processes;
        foundName_ = wanted;
        return found_ != 0;
    });
}

void ProgramWatch::Forget() {
    if (found_) processes_->CloseProcessHandle(found_);
    found_ = 0;
}

}  // namespace ostrel
