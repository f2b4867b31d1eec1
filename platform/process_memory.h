#pragma once
// What the program asks of Windows at start to keep card data out of reach: the card data
// store's pages locked into memory and kept out of crash dumps, and the process's mitigation
// policies. Each operation is shaped like the Windows call it makes; the calls that older
// Windows lacks are looked up at run time, and answer that they are not there.
#include <cstddef>
#include <cstdint>

namespace ostrel {

// HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND).
constexpr int32_t kExclusionNotAvailable = static_cast<int32_t>(0x8007007F);

// The mitigation policies the program sets on itself, each by its PROCESS_MITIGATION_POLICY.
enum class Mitigation : uint32_t {
    StrictHandleChecks = 3,       // ProcessStrictHandleCheckPolicy: an invalid handle raises
    ExtensionPointsDisabled = 6,  // ProcessExtensionPointDisablePolicy: no AppInit DLLs, hooks
    LocalImagesOnly = 10,         // ProcessImageLoadPolicy: no remote or low-integrity images
};

class ProcessMemory {
  public:
    virtual ~ProcessMemory() = default;

    // SetProcessMitigationPolicy with the policy's flags on: 0 or a Windows error code
    // (winerr::kProcNotFound before Windows 8).
    virtual uint32_t SetMitigation(Mitigation policy) = 0;
    // VirtualLock: 0 or a Windows error code (kWorkingSetQuota when the minimum working set
    // leaves no room for the pages).
    virtual uint32_t LockPages(const void* first, size_t bytes) = 0;
    // GetProcessWorkingSetSize, then SetProcessWorkingSetSize with both sizes grown by bytes:
    // 0 or a Windows error code.
    virtual uint32_t GrowWorkingSet(size_t bytes) = 0;
    // WerRegisterExcludedMemoryBlock: 0 (S_OK) or the HRESULT; kExclusionNotAvailable where
    // Windows has no such call (before Windows 10 version 1703).
    virtual int32_t ExcludeFromDumps(const void* first, size_t bytes) = 0;
};

}  // namespace ostrel
