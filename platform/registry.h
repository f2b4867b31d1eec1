#pragma once
// The registry calls the settings store makes, shaped like RegCreateKeyExA, RegOpenKeyExA,
// RegOpenKeyA, RegQueryValueExA, RegSetValueExA and RegCloseKey. Results are Windows error
// codes (0 for success).
#include <cstdint>
#include <string>

namespace ostrel {

using RegKey = std::uintptr_t;
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;

constexpr uint32_t kRegSz = 1;     // REG_SZ
constexpr uint32_t kRegDword = 4;  // REG_DWORD

constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateAccess = 0x003F;  // KEY_ALL_ACCESS without the standard rights

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorMoreData = 234;

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
    // RegCloseKey.
    virtual long CloseKey(RegKey key) = 0;
};

}  // namespace ostrel
