#include "platform/win32/win32_process_memory.h"

#include <windows.h>

namespace ostrel::win32 {

namespace {

template <class Function>
Function* Kernel32Call(const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

// The flags each policy's structure sets, its union's Flags member.
DWORD PolicyFlags(Mitigation policy) {
    switch (policy) {
        case Mitigation::StrictHandleChecks: {
            // Both on or neither: "the values of the RaiseExceptionOnInvalidHandleReference and
            // HandleExceptionsPermanentlyEnabled substructure members must be the same".
            PROCESS_MITIGATION_STRICT_HANDLE_CHECK_POLICY p = {};
            p.RaiseExceptionOnInvalidHandleReference = 1;
            p.HandleExceptionsPermanentlyEnabled = 1;
            return p.Flags;
        }
        case Mitigation::ExtensionPointsDisabled: {
            PROCESS_MITIGATION_EXTENSION_POINT_DISABLE_POLICY p = {};
            p.DisableExtensionPoints = 1;
            return p.Flags;
        }
        case Mitigation::LocalImagesOnly: {
            PROCESS_MITIGATION_IMAGE_LOAD_POLICY p = {};
            p.NoRemoteImages = 1;
            p.NoLowMandatoryLabelImages = 1;
            return p.Flags;
        }
    }
    return 0;
}

}  // namespace

uint32_t Win32ProcessMemory::SetMitigation(Mitigation policy) {
    using Set = BOOL WINAPI(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    static Set* const set = Kernel32Call<Set>("SetProcessMitigationPolicy");
    if (!set) return ERROR_PROC_NOT_FOUND;
    // Each policy's structure is a DWORD of flags.
    DWORD flags = PolicyFlags(policy);
    if (set(static_cast<PROCESS_MITIGATION_POLICY>(policy), &flags, sizeof flags)) return 0;
    return GetLastError();
}

uint32_t Win32ProcessMemory::LockPages(const void* first, size_t bytes) {
    return VirtualLock(const_cast<void*>(first), bytes) ? 0 : GetLastError();
}

uint32_t Win32ProcessMemory::GrowWorkingSet(size_t bytes) {
    SIZE_T minimum = 0;
    SIZE_T maximum = 0;
    const HANDLE self = GetCurrentProcess();
    if (!GetProcessWorkingSetSize(self, &minimum, &maximum)) return GetLastError();
    return SetProcessWorkingSetSize(self, minimum + bytes, maximum + bytes) ? 0 : GetLastError();
}

int32_t Win32ProcessMemory::ExcludeFromDumps(const void* first, size_t bytes) {
    using Exclude = HRESULT WINAPI(const void*, DWORD);
    static Exclude* const exclude = Kernel32Call<Exclude>("WerRegisterExcludedMemoryBlock");
    if (!exclude) return kExclusionNotAvailable;
    return exclude(first, static_cast<DWORD>(bytes));
}

}  // namespace ostrel::win32
