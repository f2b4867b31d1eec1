#include "platform/win32/win32_registry.h"

#include <windows.h>

#include "platform/win32/quiet_handles.h"

namespace ostrel::win32 {

namespace {
HKEY ToHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}
RegKey FromHkey(HKEY key) {
    return reinterpret_cast<RegKey>(key);
}
}  // namespace

long Win32Registry::CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) {
    HKEY opened = nullptr;
    const LONG rc = RegCreateKeyExA(ToHkey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    access, nullptr, &opened, nullptr);
    *key = rc == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return rc;
}

long Win32Registry::OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) {
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExA(ToHkey(root), path.c_str(), 0, access, &opened);
    *key = rc == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return rc;
}

long Win32Registry::OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) {
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyA(ToHkey(root), path.c_str(), &opened);
    *key = rc == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return rc;
}

long Win32Registry::QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                               uint32_t* size) {
    DWORD valueType = 0;
    DWORD bytes = size ? *size : 0;
    const LONG rc = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data,
                                     size ? &bytes : nullptr);
    if (type) *type = valueType;
    if (size) *size = bytes;
    return rc;
}

long Win32Registry::SetValue(RegKey key, const std::string& name, uint32_t type,
                             const uint8_t* data, uint32_t size) {
    // This copy's own write sets the key's change event.
    ForgetUnsetNotes();
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
}

long Win32Registry::EnumKey(RegKey key, uint32_t index, std::string* name) {
    // A key's name has at most 255 characters ("Registry element size limits").
    char buffer[256];
    DWORD length = sizeof buffer;
    const LONG rc =
        RegEnumKeyExA(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    name->assign(buffer, rc == ERROR_SUCCESS ? length : 0);
    return rc;
}

long Win32Registry::CloseKey(RegKey key) {
    return RegCloseKey(ToHkey(key));
}

long Win32Registry::NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) {
    return RegNotifyChangeKeyValue(ToHkey(key), FALSE, filter, reinterpret_cast<HANDLE>(event),
                                   TRUE);
}

RegEvent Win32Registry::NewEvent() {
    return reinterpret_cast<RegEvent>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

bool Win32Registry::IsEventSet(RegEvent event) {
    return IsHandleSet(reinterpret_cast<HANDLE>(event));
}

bool Win32Registry::ResetEvent(RegEvent event) {
    return ::ResetEvent(reinterpret_cast<HANDLE>(event)) != FALSE;
}

bool Win32Registry::CloseEvent(RegEvent event) {
    return CloseHandle(reinterpret_cast<HANDLE>(event)) != FALSE;
}

}  // namespace ostrel::win32
