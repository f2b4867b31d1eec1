#include "platform/win32/win32_processes.h"

#include <windows.h>
#include <psapi.h>

#include <cstring>

#include "platform/win32/quiet_handles.h"

namespace ostrel::win32 {

static_assert(sizeof(OsVersionInfo) == sizeof(OSVERSIONINFOA));
static_assert(sizeof(ModuleHandle) == sizeof(HMODULE));
static_assert(kStillActive == STILL_ACTIVE);
static_assert(kProcessVmRead == PROCESS_VM_READ);
static_assert(kProcessQueryInformation == PROCESS_QUERY_INFORMATION);
static_assert(kProcessQueryLimited == PROCESS_QUERY_LIMITED_INFORMATION);
static_assert(kSynchronize == SYNCHRONIZE);
static_assert(kWaitTimeout == WAIT_TIMEOUT && kWaitFailed == WAIT_FAILED);
static_assert(winerr::kPartialCopy == ERROR_PARTIAL_COPY);
static_assert(winerr::kInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);

bool Win32Processes::GetVersionInfo(OsVersionInfo* info) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    if (!GetVersionExA(&version)) return false;
    info->dwMajorVersion = version.dwMajorVersion;
    info->dwMinorVersion = version.dwMinorVersion;
    info->dwBuildNumber = version.dwBuildNumber;
    info->dwPlatformId = version.dwPlatformId;
    std::memcpy(info->szCSDVersion, version.szCSDVersion, sizeof info->szCSDVersion);
    return true;
}

bool Win32Processes::EnumProcessIds(uint32_t* ids, uint32_t cb, uint32_t* needed) {
    DWORD bytes = 0;
    const BOOL ok = EnumProcesses(reinterpret_cast<DWORD*>(ids), cb, &bytes);
    *needed = bytes;
    return ok != FALSE;
}

ProcHandle Win32Processes::OpenProcessHandle(uint32_t access, bool inherit, uint32_t pid) {
    return reinterpret_cast<ProcHandle>(OpenProcess(access, inherit, pid));
}

bool Win32Processes::EnumModules(ProcHandle process, ModuleHandle* modules, uint32_t cb,
                                 uint32_t* needed) {
    DWORD bytes = 0;
    const BOOL ok = EnumProcessModules(reinterpret_cast<HANDLE>(process),
                                       reinterpret_cast<HMODULE*>(modules), cb, &bytes);
    *needed = bytes;
    return ok != FALSE;
}

uint32_t Win32Processes::ModuleFileName(ProcHandle process, ModuleHandle module, char* buffer,
                                        uint32_t size) {
    return GetModuleFileNameExA(reinterpret_cast<HANDLE>(process),
                                reinterpret_cast<HMODULE>(module), buffer, size);
}

bool Win32Processes::ProcessImageName(ProcHandle process, uint32_t flags, char* buffer,
                                      uint32_t* size) {
    DWORD characters = *size;
    const BOOL ok =
        QueryFullProcessImageNameA(reinterpret_cast<HANDLE>(process), flags, buffer, &characters);
    *size = characters;
    return ok != FALSE;
}

bool Win32Processes::GetExitCodeProcess(ProcHandle process, uint32_t* code) {
    DWORD exitCode = 0;
    const BOOL ok = ::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &exitCode);
    *code = exitCode;
    return ok != FALSE;
}

uint32_t Win32Processes::ProcessIdOf(ProcHandle process) {
    return GetProcessId(reinterpret_cast<HANDLE>(process));
}

uint32_t Win32Processes::WaitForProcess(ProcHandle process, uint32_t ms) {
    if (ms == 0) return LookAtHandle(reinterpret_cast<HANDLE>(process));
    return WaitForSingleObject(reinterpret_cast<HANDLE>(process), ms);
}

bool Win32Processes::CloseProcessHandle(ProcHandle handle) {
    // Its number may come again for another process.
    ForgetUnsetNotes();
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

uint32_t Win32Processes::LastError() {
    return ::GetLastError();
}

uint32_t Win32Processes::CurrentProcessId() {
    return ::GetCurrentProcessId();
}

bool Win32Processes::ProcessIdToSessionId(uint32_t pid, uint32_t* session) {
    DWORD id = 0;
    const BOOL ok = ::ProcessIdToSessionId(pid, &id);
    *session = id;
    return ok != FALSE;
}

}  // namespace ostrel::win32
