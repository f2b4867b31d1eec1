#pragma once
// What the diagnostics tool asks of the system beyond the program's own calls, each shaped like
// the Windows call it makes: a key's default value (RegQueryValueA), a file's attributes
// (GetFileAttributesW), a scratch file created and deleted (CreateFileW with CREATE_NEW and
// FILE_FLAG_DELETE_ON_CLOSE, then CloseHandle), the end of a file (CreateFileW, SetFilePointer,
// ReadFile), and creating the host maker's control the way the program does. Paths are UTF-8,
// as the desktop's are; one that is not UTF-8 is taken in the ANSI code page.
#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace ostrel {

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);  // REGDB_E_CLASSNOTREG

class SystemProbe {
  public:
    virtual ~SystemProbe() = default;

    // RegQueryValueA(root, subKey): the key's default value as text; a Windows error code.
    virtual long QueryKeyDefault(RegKey root, const std::string& subKey, std::string* text) = 0;
    // GetFileAttributesW; kInvalidFileAttributes when the path names nothing.
    virtual uint32_t FileAttributes(const std::string& path) = 0;
    // Creates path as a new file that is deleted when closed, and closes it: 0 or the Windows
    // error code of the creation. An existing file is never touched (CREATE_NEW fails).
    virtual uint32_t CreateScratchFile(const std::string& path) = 0;
    // Reads up to maxBytes from the end of a file into bytes: 0 or a Windows error code.
    virtual uint32_t ReadFileEnd(const std::string& path, uint32_t maxBytes,
                                 std::string* bytes) = 0;
    // Creates the control registered under progId as the program does, and lets it go again:
    // 0 (S_OK) or the HRESULT, with the description the failure came with.
    virtual int32_t CreateControl(const std::string& progId, std::string* description) = 0;
};

}  // namespace ostrel
