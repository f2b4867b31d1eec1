#pragma once
// What the diagnostics tool asks of the system beyond the program's own calls, each shaped like
// the Windows call it makes: a key opened in a registry view (RegOpenKeyExA with a KEY_WOW64_
// flag), its default value as text (RegGetValueA), the key closed (RegCloseKey), the machine's
// own processor architecture (GetNativeSystemInfo), a file's attributes (GetFileAttributesW), an
// existing file opened for appending and closed again (CreateFileW with FILE_APPEND_DATA and
// OPEN_EXISTING, then CloseHandle), whether the user may create a file in a folder
// (GetFileSecurityW, AccessCheck), the end of a file (CreateFileW, SetFilePointer, ReadFile),
// creating the host maker's control the way the program does, and what a fleet's report names: the
// computer (GetComputerNameW), the user (GetUserNameW), the time (GetSystemTime) and texts of the
// ANSI code page in UTF-8 (MultiByteToWideChar, WideCharToMultiByte). Paths are UTF-8, as the
// desktop's are; one that is not UTF-8 is taken in the ANSI code page.
#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace ostrel {

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);  // REGDB_E_CLASSNOTREG

// Which view of the registry a key is opened in: the KEY_WOW64_ flag itself. On 64-bit Windows
// the class keys (CLSID) differ per view; 32-bit Windows has one view and ignores the flags.
enum class RegView : uint32_t {
    Own = 0,          // the view of the calling program's own bitness
    Bits64 = 0x0100,  // KEY_WOW64_64KEY
    Bits32 = 0x0200,  // KEY_WOW64_32KEY
};

// A program's bitness, and the one of this build.
enum class Bitness : uint8_t { Bits32, Bits64 };
constexpr Bitness kThisBuild = sizeof(void*) == 8 ? Bitness::Bits64 : Bitness::Bits32;

// SYSTEM_INFO's wProcessorArchitecture.
enum class ProcessorArchitecture : uint16_t {
    Intel = 0,
    Arm = 5,
    Ia64 = 6,
    Amd64 = 9,
    Arm64 = 12,
};

// SYSTEMTIME's date and time of day, in UTC.
struct UtcTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

class SystemProbe {
  public:
    virtual ~SystemProbe() = default;

    // RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view): a Windows error code.
    virtual long OpenKey(RegKey root, const std::string& subKey, RegView view, RegKey* key) = 0;
    // RegGetValueA(key, no subkey, the default value, RRF_RT_REG_SZ): its text, with a
    // REG_EXPAND_SZ value's environment variables expanded; a Windows error code (2 when the key
    // has no default value, 1630 when it is not text).
    virtual long GetDefaultText(RegKey key, std::string* text) = 0;
    // RegCloseKey.
    virtual long CloseKey(RegKey key) = 0;
    // GetNativeSystemInfo: the machine's processor architecture, whatever this build's.
    virtual ProcessorArchitecture NativeArchitecture() = 0;
    // GetFileAttributesW; kInvalidFileAttributes when the path names nothing.
    virtual uint32_t FileAttributes(const std::string& path) = 0;
    // Opens an existing file for appending as the program opens its log, writes nothing and
    // closes it: 0 or the Windows error code (2 for a missing file, which is not created).
    virtual uint32_t OpenForAppend(const std::string& path) = 0;
    // Whether this process's user may create a file in folder, by the folder's security and
    // the user's token, nothing created: 0, 5 when not, or another Windows error code.
    virtual uint32_t MayCreateFileIn(const std::string& folder) = 0;
    // Reads up to maxBytes from the end of a file into bytes: 0 or a Windows error code.
    virtual uint32_t ReadFileEnd(const std::string& path, uint32_t maxBytes,
                                 std::string* bytes) = 0;
    // Creates the control registered under progId as the program does, and lets it go again:
    // 0 (S_OK) or the HRESULT, with the description the failure came with.
    virtual int32_t CreateControl(const std::string& progId, std::string* description) = 0;
    // The computer's and the user's names in UTF-8, "" when they cannot be had.
    virtual std::string ComputerName() = 0;
    virtual std::string UserName() = 0;
    virtual UtcTime SystemTimeUtc() = 0;
    // A text of the ANSI code page (registry values, paths as shown) in UTF-8.
    virtual std::string AnsiToUtf8(const std::string& text) = 0;
};

}  // namespace ostrel
