#pragma once
#include "platform/system_probe.h"

namespace ostrel::win32 {

// The diagnostics tool's system questions through advapi32, kernel32 and COM. CreateControl
// needs COM initialised on the thread.
class Win32SystemProbe : public SystemProbe {
  public:
    long OpenKey(RegKey root, const std::string& subKey, RegView view, RegKey* key) override;
    long GetDefaultText(RegKey key, std::string* text) override;
    long CloseKey(RegKey key) override;
    ProcessorArchitecture NativeArchitecture() override;
    uint32_t FileAttributes(const std::string& path) override;
    uint32_t OpenForAppend(const std::string& path) override;
    uint32_t MayCreateFileIn(const std::string& folder) override;
    uint32_t ReadFileEnd(const std::string& path, uint32_t maxBytes, std::string* bytes) override;
    int32_t CreateControl(const std::string& progId, std::string* description) override;
    std::string ComputerName() override;
    std::string UserName() override;
    UtcTime SystemTimeUtc() override;
    std::string AnsiToUtf8(const std::string& text) override;
};

}  // namespace ostrel::win32
