#pragma once
// The Windows error codes the seam's calls report through their LastError, by name.
#include <cstdint>

namespace ostrel::winerr {

constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kInsufficientBuffer = 122;
constexpr uint32_t kProcNotFound = 127;  // a call this Windows does not have
constexpr uint32_t kNoMoreItems = 259;
constexpr uint32_t kPartialCopy = 299;  // EnumProcessModules on a process of the other bitness
constexpr uint32_t kOperationAborted = 995;
constexpr uint32_t kNoAccess = 998;  // the same call under Wine, from its 32-bit side
constexpr uint32_t kIoIncomplete = 996;
constexpr uint32_t kIoPending = 997;
constexpr uint32_t kDeviceNotConnected = 1167;
constexpr uint32_t kWorkingSetQuota = 1453;  // VirtualLock past what the working set allows
constexpr uint32_t kInvalidUserBuffer = 1784;

}  // namespace ostrel::winerr
