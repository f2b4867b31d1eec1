#pragma once
#include "platform/processes.h"

namespace ostrel::win32 {

// The process list through kernel32 and psapi.
class Win32Processes : public Processes {
  public:
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
    uint32_t WaitForProcess(ProcHandle process, uint32_t ms) override;
    bool CloseProcessHandle(ProcHandle handle) override;
    uint32_t LastError() override;
    uint32_t CurrentProcessId() override;
    bool ProcessIdToSessionId(uint32_t pid, uint32_t* session) override;
};

}  // namespace ostrel::win32
