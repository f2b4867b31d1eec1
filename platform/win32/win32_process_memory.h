#pragma once
// The process's memory protection through kernel32. SetProcessMitigationPolicy (Windows 8) and
// WerRegisterExcludedMemoryBlock (Windows 10 version 1703) are looked up at run time, so that
// the program still starts on the Windows versions without them.
#include "platform/process_memory.h"

namespace ostrel::win32 {

class Win32ProcessMemory : public ProcessMemory {
  public:
    uint32_t SetMitigation(Mitigation policy) override;
    uint32_t LockPages(const void* first, size_t bytes) override;
    uint32_t GrowWorkingSet(size_t bytes) override;
    int32_t ExcludeFromDumps(const void* first, size_t bytes) override;
};

}  // namespace ostrel::win32
