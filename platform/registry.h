#pragma once
// The registry calls the settings store and the read statistics make, shaped like
// RegCreateKeyExA, RegOpenKeyExA, RegOpenKeyA, RegQueryValueExA, RegSetValueExA, RegEnumKeyExA,
// RegCloseKey and RegNotifyChangeKeyValue with the event it sets. Results are Windows error codes
// (0 for success).
#include <cstdint>
#include <string>

namespace ostrel {

using RegKey = std::uintptr_t;
using RegEvent = std::uintptr_t;  // HANDLE of an event; 0 when none
// The predefined keys as the SDK defines them: 32-bit values sign-extended to a pointer's width
// (0xFFFFFFFF80000001 in a 64-bit program). Only Wine looks at no more than the low half.
constexpr RegKey PredefinedKey(int32_t value) {
    return static_cast<RegKey>(static_cast<std::intptr_t>(value));
}
constexpr RegKey kHkeyCurrentUser = PredefinedKey(static_cast<int32_t>(0x80000001u));
constexpr RegKey kHkeyLocalMachine = PredefinedKey(static_cast<int32_t>(0x80000002u));

constexpr uint32_t kRegSz = 1;     // REG_SZ
constexpr uint32_t kRegDword = 4;  // REG_DWORD

constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyNotify = 0x0010;
constexpr uint32_t kRegNotifyChangeName = 0x0001;
constexpr uint32_t kRegNotifyChangeLastSet = 0x0004;
constexpr uint32_t kKeyCreateAccess = 0x003F;  // KEY_ALL_ACCESS without the standard rights
constexpr uint32_t kKeyRead = 0x20019;         // KEY_READ

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

class Registry {
  public:
    virtual ~Registry() = default;

    // RegCreateKeyExA with options 0 and no class or security attributes.
    virtual long CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) = 0;
    // RegOpenKeyExA.
    virtual long OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) = 0;
    // RegOpenKeyA.
    virtual long OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) = 0;
    // RegQueryValueExA: with data null, only type and size; otherwise *size is the buffer's size
    // on entry and the bytes stored on return.
    virtual long QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                            uint32_t* size) = 0;
    // RegSetValueExA.
    virtual long SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                          uint32_t size) = 0;
    // RegEnumKeyExA(key, index, name, ...): the name of the key's subkey at index, as it was
    // created; kErrorNoMoreItems past the last.
    virtual long EnumKey(RegKey key, uint32_t index, std::string* name) = 0;
    // RegCloseKey.
    virtual long CloseKey(RegKey key) = 0;

    // RegNotifyChangeKeyValue(key, not the subkeys, filter, event, asynchronous): the event is
    // set at the next change the filter names, once.
    virtual long NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) = 0;
    // CreateEventA(no security attributes, manual reset, not set, no name); 0 on failure.
    virtual RegEvent NewEvent() = 0;
    // WaitForSingleObject(event, 0) found it set.
    virtual bool IsEventSet(RegEvent event) = 0;
    virtual bool ResetEvent(RegEvent event) = 0;
    // CloseHandle.
    virtual bool CloseEvent(RegEvent event) = 0;
};

}  // namespace ostrel
