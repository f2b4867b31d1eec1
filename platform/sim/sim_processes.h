#pragma once
// A process list for tests: each process with its executable path, and whether it can be
// opened and its modules listed; open handles are counted.
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
        bool canOpen = true;
        bool modulesListed = true;
    };

    bool GetVersionInfo(OsVersionInfo* info) override;
    bool EnumProcessIds(uint32_t* ids, uint32_t cb, uint32_t* needed) override;
    ProcHandle OpenProcessHandle(uint32_t access, bool inherit, uint32_t pid) override;
    bool EnumModules(ProcHandle process, ModuleHandle* modules, uint32_t cb,
                     uint32_t* needed) override;
    uint32_t ModuleFileName(ProcHandle process, ModuleHandle module, char* buffer,
                            uint32_t size) override;
    bool GetExitCodeProcess(ProcHandle process, uint32_t* code) override;
    bool CloseProcessHandle(ProcHandle handle) override;

    // Test side.
    uint32_t Start(std::string path);  // returns the new process's id
    void End(uint32_t pid);
    size_t OpenHandles() const { return handles_.size(); }

    std::vector<Process> processes;
    uint32_t platformId = kPlatformWin32Nt;
    int enumCalls = 0;

  private:
    const Process* Find(uint32_t pid) const;

    std::map<ProcHandle, uint32_t> handles_;      // handle -> pid
    std::unordered_map<uint32_t, size_t> index_;  // pid -> position, as of the last listing
    ProcHandle nextHandle_ = 0x100;
    uint32_t nextPid_ = 1000;
};

}  // namespace ostrel::sim
