#include "platform/win32/win32_hid.h"

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>

extern "C" {
#include <hidsdi.h>
}

namespace ostrel::win32 {

// The seam's records are the Windows ones, field for field, in the 32-bit and 64-bit programs.
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(sizeof(DeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(offsetof(DeviceInterfaceData, Reserved) ==
              offsetof(SP_DEVICE_INTERFACE_DATA, Reserved));
static_assert(kInterfaceDataSize == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(kInterfaceDetailDataSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4);
static_assert(sizeof(HiddAttributes) == sizeof(HIDD_ATTRIBUTES));
static_assert(sizeof(HidpCaps) == sizeof(HIDP_CAPS));
static_assert(sizeof(HidpValueCaps) == sizeof(HIDP_VALUE_CAPS));
static_assert(offsetof(HidpValueCaps, BitSize) == offsetof(HIDP_VALUE_CAPS, BitSize));
static_assert(offsetof(HidpValueCaps, ReportCount) == offsetof(HIDP_VALUE_CAPS, ReportCount));
static_assert(offsetof(HidpValueCaps, Usage) == offsetof(HIDP_VALUE_CAPS, NotRange.Usage));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));

namespace {

GUID ToGuid(const Guid& g) {
    GUID out{g.data1, g.data2, g.data3, {}};
    std::memcpy(out.Data4, g.data4, sizeof out.Data4);
    return out;
}
HDEVINFO ToSet(DevInfoSet set) {
    return reinterpret_cast<HDEVINFO>(set);
}
HANDLE ToHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
PHIDP_PREPARSED_DATA ToPreparsed(PreparsedData data) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(data);
}
HIDP_REPORT_TYPE ToReportType(HidpReportType type) {
    return static_cast<HIDP_REPORT_TYPE>(type);
}

}  // namespace

Guid Win32Hid::GetHidGuid() {
    GUID guid;
    HidD_GetHidGuid(&guid);
    Guid out;
    out.data1 = guid.Data1;
    out.data2 = guid.Data2;
    out.data3 = guid.Data3;
    std::memcpy(out.data4, guid.Data4, sizeof out.data4);
    return out;
}

DevInfoSet Win32Hid::GetClassDevs(const Guid& guid, uint32_t flags) {
    const GUID g = ToGuid(guid);
    return reinterpret_cast<DevInfoSet>(SetupDiGetClassDevsA(&g, nullptr, nullptr, flags));
}

bool Win32Hid::EnumDeviceInterfaces(DevInfoSet set, const Guid& guid, uint32_t index,
                                    DeviceInterfaceData* data) {
    const GUID g = ToGuid(guid);
    return SetupDiEnumDeviceInterfaces(ToSet(set), nullptr, &g, index,
                                       reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(data));
}

bool Win32Hid::GetInterfaceDetail(DevInfoSet set, DeviceInterfaceData* data, uint8_t* detail,
                                  uint32_t detailSize, uint32_t* requiredSize) {
    DWORD required = 0;
    const BOOL ok = SetupDiGetDeviceInterfaceDetailA(
        ToSet(set), reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(data),
        reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detail), detailSize, &required,
        nullptr);
    if (requiredSize) *requiredSize = required;
    return ok;
}

bool Win32Hid::DestroyDeviceInfoList(DevInfoSet set) {
    return SetupDiDestroyDeviceInfoList(ToSet(set));
}

FileHandle Win32Hid::OpenDevice(const std::string& path, uint32_t access, uint32_t share,
                                bool inheritHandle, uint32_t creation, uint32_t flags) {
    SECURITY_ATTRIBUTES security = {};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = inheritHandle;
    HANDLE h = CreateFileA(path.c_str(), access, share, &security, creation, flags, nullptr);
    return reinterpret_cast<FileHandle>(h);
}

bool Win32Hid::GetAttributes(FileHandle device, HiddAttributes* attributes) {
    return HidD_GetAttributes(ToHandle(device), reinterpret_cast<HIDD_ATTRIBUTES*>(attributes));
}

bool Win32Hid::GetPreparsedData(FileHandle device, PreparsedData* data) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    const BOOLEAN ok = HidD_GetPreparsedData(ToHandle(device), &preparsed);
    *data = ok ? reinterpret_cast<PreparsedData>(preparsed) : 0;
    return ok;
}

bool Win32Hid::FreePreparsedData(PreparsedData data) {
    return HidD_FreePreparsedData(ToPreparsed(data));
}

bool Win32Hid::GetManufacturerString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return HidD_GetManufacturerString(ToHandle(device), buffer, bufferLength);
}

bool Win32Hid::GetProductString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return HidD_GetProductString(ToHandle(device), buffer, bufferLength);
}

bool Win32Hid::GetSerialNumberString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return HidD_GetSerialNumberString(ToHandle(device), buffer, bufferLength);
}

NtStatus Win32Hid::GetCaps(PreparsedData data, HidpCaps* caps) {
    return HidP_GetCaps(ToPreparsed(data), reinterpret_cast<HIDP_CAPS*>(caps));
}

NtStatus Win32Hid::GetSpecificValueCaps(HidpReportType type, uint16_t usagePage,
                                        uint16_t linkCollection, uint16_t usage,
                                        HidpValueCaps* caps, uint16_t* capsLength,
                                        PreparsedData data) {
    USHORT length = *capsLength;
    const NTSTATUS status = HidP_GetSpecificValueCaps(
        ToReportType(type), usagePage, linkCollection, usage,
        reinterpret_cast<HIDP_VALUE_CAPS*>(caps), &length, ToPreparsed(data));
    *capsLength = length;
    return status;
}

NtStatus Win32Hid::GetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                 uint16_t usage, uint32_t* value, PreparsedData data,
                                 const uint8_t* report, uint32_t reportLength) {
    ULONG v = 0;
    const NTSTATUS status = HidP_GetUsageValue(
        ToReportType(type), usagePage, linkCollection, usage, &v, ToPreparsed(data),
        reinterpret_cast<PCHAR>(const_cast<uint8_t*>(report)), reportLength);
    *value = v;
    return status;
}

NtStatus Win32Hid::GetUsageValueArray(HidpReportType type, uint16_t usagePage,
                                      uint16_t linkCollection, uint16_t usage, uint8_t* buffer,
                                      uint16_t bufferLength, PreparsedData data,
                                      const uint8_t* report, uint32_t reportLength) {
    return HidP_GetUsageValueArray(ToReportType(type), usagePage, linkCollection, usage,
                                   reinterpret_cast<PCHAR>(buffer), bufferLength, ToPreparsed(data),
                                   reinterpret_cast<PCHAR>(const_cast<uint8_t*>(report)),
                                   reportLength);
}

EventHandle Win32Hid::NewEvent(bool manualReset, bool initialState) {
    return reinterpret_cast<EventHandle>(CreateEventA(nullptr, manualReset, initialState, nullptr));
}

bool Win32Hid::ResetEvent(EventHandle event) {
    return ::ResetEvent(reinterpret_cast<HANDLE>(event));
}

bool Win32Hid::ReadFile(FileHandle device, uint8_t* buffer, uint32_t length, uint32_t* read,
                        Overlapped* overlapped) {
    DWORD n = 0;
    const BOOL ok =
        ::ReadFile(ToHandle(device), buffer, length, &n, reinterpret_cast<OVERLAPPED*>(overlapped));
    if (read) *read = n;
    return ok;
}

bool Win32Hid::GetOverlappedResult(FileHandle device, Overlapped* overlapped, uint32_t* transferred,
                                   bool wait) {
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(ToHandle(device),
                                          reinterpret_cast<OVERLAPPED*>(overlapped), &n, wait);
    if (transferred) *transferred = n;
    return ok;
}

bool Win32Hid::CancelIo(FileHandle device) {
    return ::CancelIo(ToHandle(device));
}

bool Win32Hid::CloseHandle(std::uintptr_t handle) {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::uintptr_t Win32Hid::RegisterInterfaceNotification(std::uintptr_t window,
                                                       const Guid& interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = ToGuid(interfaceClass);
    return reinterpret_cast<std::uintptr_t>(::RegisterDeviceNotificationA(
        reinterpret_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

bool Win32Hid::UnregisterInterfaceNotification(std::uintptr_t notification) {
    return ::UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(notification)) != FALSE;
}

uint32_t Win32Hid::LastError() {
    return ::GetLastError();
}

}  // namespace ostrel::win32
