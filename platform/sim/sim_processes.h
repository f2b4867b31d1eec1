#pragma once
// A process list for tests: each process with its executable path, and whether it can be
// opened and its modules listed; open handles are counted, each with the access it was opened
// with, and a call the handle's access does not allow fails as in Windows.
#include <cstdint>
#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace ostrel::sim {

class SimProcesses : public Processes {
  public:
    struct Process {
        uint32_t pid;
        std::string path;
        bool canOpen = true;        // false: every open is refused (a system process)
        bool modulesListed = true;  // false: listing its modules is refused
        // Built for the other architecture: its modules cannot be listed from here (as a 64-bit
        // process from a 32-bit program), its image path can be asked.
        bool otherBitness = false;
        // The error that listing its modules fails with then: Windows says partial copy, Wine
        // no access.
        uint32_t otherBitnessError = winerr::kPartialCopy;
        // false: an open with the query or read rights is refused, a limited one is not (a
        // process of another user, or elevated).
        bool readable = true;
        // Ended, but listed still while some other program holds it open: its modules are
        // gone, its image path and exit code remain.
        bool ended = false;
        // false: an open asking for kSynchronize is refused.
        bool waitable = true;
        // The Remote Desktop session it runs in: another user's on a terminal server, or the
        // same account's signed in twice.
        uint32_t session = kOwnSession;
    };
    static constexpr uint32_t kOwnSession = 1;

    bool GetVersionInfo(OsVersionInfo* info) override;
    bool EnumProcessIds(uint32_t* ids, uint32_t cb, uint32_t* needed) override;
    ProcHandle OpenProcessHandle(uint32_t access, bool inherit, uint32_t pid) override;
    bool EnumModules(ProcHandle process, ModuleHandle* modules, uint32_t cb,
                     uint32_t* needed) override;
    uint32_t ModuleFileName(ProcHandle process, ModuleHandle module, char* buffer,
                            uint32_t size) override;
    bool ProcessImageName(ProcHandle process, uint32_t flags, char* buffer,
                          uint32_t* size) override;
    bool GetExitCodeProcess(ProcHandle process, uint32_t* code) override;
    uint32_t ProcessIdOf(ProcHandle process) override;
    // Never blocks: the answer is the process's state now, whatever ms is.
    uint32_t WaitForProcess(ProcHandle process, uint32_t ms) override;
    bool CloseProcessHandle(ProcHandle handle) override;
    uint32_t LastError() override { return lastError_; }
    uint32_t CurrentProcessId() override { return currentPid; }
    bool ProcessIdToSessionId(uint32_t pid, uint32_t* session) override;

    // Test side.
    uint32_t Start(std::string path);  // returns the new process's id
    void End(uint32_t pid);
    size_t OpenHandles() const { return handles_.size(); }
    // Whether a handle is one a wait would find set: opened with kSynchronize, its process ended.
    bool IsSignalled(ProcHandle handle) const;

    std::vector<Process> processes;
    uint32_t platformId = kPlatformWin32Nt;
    uint32_t currentPid = 900;  // the program's own process, not in the list
    bool ownSessionKnown = true;
    int enumCalls = 0;

  private:
    struct OpenHandle {
        uint32_t pid;
        uint32_t access;   // as granted: the query right brings the limited one with it
        std::string path;  // a handle outlives its process, and still names it
    };

    const Process* Find(uint32_t pid) const;
    // The handle's record when it was opened with every access right needed, else nullptr
    // with the last error set.
    const OpenHandle* Allowed(ProcHandle handle, uint32_t needed);
    bool Fail(uint32_t error);

    std::map<ProcHandle, OpenHandle> handles_;
    std::unordered_map<uint32_t, size_t> index_;  // pid -> position, as of the last listing
    // Apart from the other simulated handles, so that one wait can watch handles of each.
    ProcHandle nextHandle_ = 0x40000000;
    uint32_t nextPid_ = 1000;
    uint32_t lastError_ = 0;
};

}  // namespace ostrel::sim
