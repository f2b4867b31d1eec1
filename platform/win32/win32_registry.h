#pragma once
#include "platform/registry.h"

namespace ostrel::win32 {

// The registry through the ANSI Reg* calls.
class Win32Registry : public Registry {
  public:
    long CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override;
    long OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override;
    long OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) override;
    long QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                    uint32_t* size) override;
    long SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                  uint32_t size) override;
    long EnumKey(RegKey key, uint32_t index, std::string* name) override;
    long CloseKey(RegKey key) override;
    long NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) override;
    RegEvent NewEvent() override;
    bool IsEventSet(RegEvent event) override;
    bool ResetEvent(RegEvent event) override;
    bool CloseEvent(RegEvent event) override;
};

}  // namespace ostrel::win32
