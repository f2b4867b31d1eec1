#pragma once
#include "platform/hid.h"

namespace ostrel::win32 {

// The HID calls through setupapi, hid and kernel32.
class Win32Hid : public Hid {
  public:
    Guid GetHidGuid() override;
    DevInfoSet GetClassDevs(const Guid& guid, uint32_t flags) override;
    bool EnumDeviceInterfaces(DevInfoSet set, const Guid& guid, uint32_t index,
                              DeviceInterfaceData* data) override;
    bool GetInterfaceDetail(DevInfoSet set, DeviceInterfaceData* data, uint8_t* detail,
                            uint32_t detailSize, uint32_t* requiredSize) override;
    bool DestroyDeviceInfoList(DevInfoSet set) override;
    FileHandle OpenDevice(const std::string& path, uint32_t access, uint32_t share,
                          bool inheritHandle, uint32_t creation, uint32_t flags) override;
    bool GetAttributes(FileHandle device, HiddAttributes* attributes) override;
    bool GetPreparsedData(FileHandle device, PreparsedData* data) override;
    bool FreePreparsedData(PreparsedData data) override;
    bool GetManufacturerString(FileHandle device, char16_t* buffer, uint32_t bufferLength) override;
    bool GetProductString(FileHandle device, char16_t* buffer, uint32_t bufferLength) override;
    bool GetSerialNumberString(FileHandle device, char16_t* buffer, uint32_t bufferLength) override;
    NtStatus GetCaps(PreparsedData data, HidpCaps* caps) override;
    NtStatus GetSpecificValueCaps(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                  uint16_t usage, HidpValueCaps* caps, uint16_t* capsLength,
                                  PreparsedData data) override;
    NtStatus GetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                           uint16_t usage, uint32_t* value, PreparsedData data,
                           const uint8_t* report, uint32_t reportLength) override;
    NtStatus GetUsageValueArray(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                uint16_t usage, uint8_t* buffer, uint16_t bufferLength,
                                PreparsedData data, const uint8_t* report,
                                uint32_t reportLength) override;
    EventHandle NewEvent(bool manualReset, bool initialState) override;
    bool ResetEvent(EventHandle event) override;
    bool ReadFile(FileHandle device, uint8_t* buffer, uint32_t length, uint32_t* read,
                  Overlapped* overlapped) override;
    bool GetOverlappedResult(FileHandle device, Overlapped* overlapped, uint32_t* transferred,
                             bool wait) override;
    bool CancelIo(FileHandle device) override;
    bool CloseHandle(std::uintptr_t handle) override;
    std::uintptr_t RegisterInterfaceNotification(std::uintptr_t window,
                                                 const Guid& interfaceClass) override;
    bool UnregisterInterfaceNotification(std::uintptr_t notification) override;
    uint32_t LastError() override;
};

}  // namespace ostrel::win32
