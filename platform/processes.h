#pragma once
// The process list calls of host program detection, shaped like GetVersionExA, EnumProcesses,
// OpenProcess, EnumProcessModules, GetModuleFileNameExA, QueryFullProcessImageNameA,
// GetExitCodeProcess, GetProcessId, WaitForSingleObject, CloseHandle, GetLastError,
// GetCurrentProcessId and ProcessIdToSessionId.
#include <cstdint>

#include "platform/win_errors.h"

namespace ostrel {

using ProcHandle = std::uintptr_t;  // 0: no handle
using ModuleHandle = std::uintptr_t;

// OpenProcess access rights.
constexpr uint32_t kProcessVmRead = 0x0010;
constexpr uint32_t kProcessQueryInformation = 0x0400;
constexpr uint32_t kProcessQueryAndRead = kProcessQueryInformation | kProcessVmRead;
// Enough to name a process and ask for its exit code, and reads none of its memory.
constexpr uint32_t kProcessQueryLimited = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION
// Enough to wait for a process to end.
constexpr uint32_t kSynchronize = 0x00100000;

// WaitForSingleObject's results.
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

constexpr uint32_t kProcessNameWin32 = 0;  // QueryFullProcessImageNameA: "C:\..." path form
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint32_t kStillActive = 259;  // the exit code of a process that has not ended

// OSVERSIONINFOA. (Method names differ from the Windows ones, which are macros there.)
struct OsVersionInfo {
    uint32_t dwOSVersionInfoSize = 148;
    uint32_t dwMajorVersion = 0;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};

class Processes {
  public:
    virtual ~Processes() = default;

    virtual bool GetVersionInfo(OsVersionInfo* info) = 0;
    // Fills ids with up to cb / 4 process ids; *needed receives the bytes filled.
    virtual bool EnumProcessIds(uint32_t* ids, uint32_t cb, uint32_t* needed) = 0;
    virtual ProcHandle OpenProcessHandle(uint32_t access, bool inherit, uint32_t pid) = 0;
    // cb counts bytes, as in the Windows call. From a 32-bit program it fails for a 64-bit
    // process with winerr::kPartialCopy.
    virtual bool EnumModules(ProcHandle process, ModuleHandle* modules, uint32_t cb,
                             uint32_t* needed) = 0;
    // Returns the number of characters copied into buffer (no terminating zero counted).
    virtual uint32_t ModuleFileName(ProcHandle process, ModuleHandle module, char* buffer,
                                    uint32_t size) = 0;
    // QueryFullProcessImageNameA. *size: the buffer's size in characters on the way in; on success
    // the characters written, the terminating zero not counted. Fails with
    // winerr::kInsufficientBuffer when the path does not fit.
    virtual bool ProcessImageName(ProcHandle process, uint32_t flags, char* buffer,
                                  uint32_t* size) = 0;
    // kStillActive in *code while the process runs.
    virtual bool GetExitCodeProcess(ProcHandle process, uint32_t* code) = 0;
    // GetProcessId: 0 on failure.
    virtual uint32_t ProcessIdOf(ProcHandle process) = 0;
    // WaitForSingleObject on a process handle: kWaitObject0 once it has ended, kWaitTimeout
    // while it runs, kWaitFailed for a handle without kSynchronize.
    virtual uint32_t WaitForProcess(ProcHandle process, uint32_t ms) = 0;
    virtual bool CloseProcessHandle(ProcHandle handle) = 0;
    // GetLastError after the last call that failed.
    virtual uint32_t LastError() = 0;
    virtual uint32_t CurrentProcessId() = 0;
    // The Remote Desktop session the process runs in (0 for services, 1 and up for users).
    virtual bool ProcessIdToSessionId(uint32_t pid, uint32_t* session) = 0;
};

}  // namespace ostrel
