#pragma once
// The HID calls the card reader makes: device interface enumeration (SetupDi), CreateFileA,
// the HidD_ and HidP_ calls (the device's strings among them), events and overlapped reads, and the
// notice of arriving devices. Each method mirrors one Windows call: the same arguments, results and
// error codes. Method names differ where the Windows name is a macro there.
#include <cstdint>
#include <string>

#include "platform/win_errors.h"

namespace ostrel {

using DevInfoSet = std::uintptr_t;     // HDEVINFO
using FileHandle = std::intptr_t;      // HANDLE of an opened device; -1 when none
using EventHandle = std::uintptr_t;    // HANDLE of an event; 0 when none
using PreparsedData = std::uintptr_t;  // PHIDP_PREPARSED_DATA; 0 when none
using NtStatus = int32_t;

constexpr DevInfoSet kInvalidDevInfoSet = static_cast<DevInfoSet>(-1);
constexpr FileHandle kInvalidFileHandle = -1;

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
    bool operator==(const Guid&) const = default;
};

// SP_DEVICE_INTERFACE_DATA: cbSize 28 in a 32-bit program, 32 in a 64-bit one.
struct DeviceInterfaceData {
    uint32_t cbSize = 0;
    Guid InterfaceClassGuid;
    uint32_t Flags = 0;
    std::uintptr_t Reserved = 0;
};
constexpr uint32_t kInterfaceDataSize = sizeof(DeviceInterfaceData);

// The cbSize of SP_DEVICE_INTERFACE_DETAIL_DATA_A, whose path follows at offset 4: the header
// and one character, packed to 5 bytes in a 32-bit program and padded to 8 in a 64-bit one.
constexpr uint32_t kInterfaceDetailDataSize = sizeof(void*) == 8 ? 8 : 5;

// HIDD_ATTRIBUTES (Size 12).
struct HiddAttributes {
    uint32_t Size = 0;
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t VersionNumber = 0;
};

// HIDP_CAPS.
struct HidpCaps {
    uint16_t Usage = 0;
    uint16_t UsagePage = 0;
    uint16_t InputReportByteLength = 0;
    uint16_t OutputReportByteLength = 0;
    uint16_t FeatureReportByteLength = 0;
    uint16_t Reserved[17] = {};
    uint16_t NumberLinkCollectionNodes = 0;
    uint16_t NumberInputButtonCaps = 0;
    uint16_t NumberInputValueCaps = 0;
    uint16_t NumberInputDataIndices = 0;
    uint16_t NumberOutputButtonCaps = 0;
    uint16_t NumberOutputValueCaps = 0;
    uint16_t NumberOutputDataIndices = 0;
    uint16_t NumberFeatureButtonCaps = 0;
    uint16_t NumberFeatureValueCaps = 0;
    uint16_t NumberFeatureDataIndices = 0;
};

// HIDP_VALUE_CAPS, with the NotRange member of its union (Range.UsageMin is Usage).
struct HidpValueCaps {
    uint16_t UsagePage = 0;
    uint8_t ReportID = 0;
    uint8_t IsAlias = 0;
    uint16_t BitField = 0;
    uint16_t LinkCollection = 0;
    uint16_t LinkUsage = 0;
    uint16_t LinkUsagePage = 0;
    uint8_t IsRange = 0;
    uint8_t IsStringRange = 0;
    uint8_t IsDesignatorRange = 0;
    uint8_t IsAbsolute = 0;
    uint8_t HasNull = 0;
    uint8_t Reserved = 0;
    uint16_t BitSize = 0;
    uint16_t ReportCount = 0;
    uint16_t Reserved2[5] = {};
    uint32_t UnitsExp = 0;
    uint32_t Units = 0;
    int32_t LogicalMin = 0;
    int32_t LogicalMax = 0;
    int32_t PhysicalMin = 0;
    int32_t PhysicalMax = 0;
    uint16_t Usage = 0;  // Range.UsageMin when IsRange
    uint16_t UsageMax = 0;
    uint16_t StringIndex = 0;
    uint16_t StringMax = 0;
    uint16_t DesignatorIndex = 0;
    uint16_t DesignatorMax = 0;
    uint16_t DataIndex = 0;
    uint16_t DataIndexMax = 0;
};

// OVERLAPPED. It stays in place while a read is outstanding.
struct Overlapped {
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    uint32_t Offset = 0;
    uint32_t OffsetHigh = 0;
    EventHandle hEvent = 0;
};

enum class HidpReportType { Input = 0, Output = 1, Feature = 2 };

namespace hidp {
constexpr NtStatus kSuccess = 0x00110000;
constexpr NtStatus kNull = static_cast<NtStatus>(0x80110001);
constexpr NtStatus kInvalidPreparsedData = static_cast<NtStatus>(0xC0110001);
constexpr NtStatus kInvalidReportType = static_cast<NtStatus>(0xC0110002);
constexpr NtStatus kInvalidReportLength = static_cast<NtStatus>(0xC0110003);
constexpr NtStatus kUsageNotFound = static_cast<NtStatus>(0xC0110004);
constexpr NtStatus kValueOutOfRange = static_cast<NtStatus>(0xC0110005);
constexpr NtStatus kBadLogPhyValues = static_cast<NtStatus>(0xC0110006);
constexpr NtStatus kBufferTooSmall = static_cast<NtStatus>(0xC0110007);
constexpr NtStatus kInternalError = static_cast<NtStatus>(0xC0110008);
constexpr NtStatus kIncompatibleReportId = static_cast<NtStatus>(0xC011000A);
constexpr NtStatus kNotValueArray = static_cast<NtStatus>(0xC011000B);
constexpr NtStatus kIsValueArray = static_cast<NtStatus>(0xC011000C);
constexpr NtStatus kReportDoesNotExist = static_cast<NtStatus>(0xC0110010);
constexpr NtStatus kNotImplemented = static_cast<NtStatus>(0xC0110020);
}  // namespace hidp

// Flags of the calls (their error codes are in platform/win_errors.h).
constexpr uint32_t kDigcfPresent = 0x02;
constexpr uint32_t kDigcfDeviceInterface = 0x10;
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x01;
constexpr uint32_t kFileShareWrite = 0x02;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileFlagOverlapped = 0x40000000u;

class Hid {
  public:
    virtual ~Hid() = default;

    // HidD_GetHidGuid.
    virtual Guid GetHidGuid() = 0;
    // SetupDiGetClassDevsA(guid, no enumerator, no parent window, flags).
    virtual DevInfoSet GetClassDevs(const Guid& guid, uint32_t flags) = 0;
    // SetupDiEnumDeviceInterfaces(set, no device info element, guid, index, data).
    virtual bool EnumDeviceInterfaces(DevInfoSet set, const Guid& guid, uint32_t index,
                                      DeviceInterfaceData* data) = 0;
    // SetupDiGetDeviceInterfaceDetailA(set, data, detail, detailSize, requiredSize, no
    // device info). detail is the raw SP_DEVICE_INTERFACE_DETAIL_DATA_A: cbSize in its first
    // four bytes, the path from offset 4.
    virtual bool GetInterfaceDetail(DevInfoSet set, DeviceInterfaceData* data, uint8_t* detail,
                                    uint32_t detailSize, uint32_t* requiredSize) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual bool DestroyDeviceInfoList(DevInfoSet set) = 0;

    // CreateFileA(path, access, share, security attributes of 12 bytes with no descriptor and
    // the given inheritance, creation, flags, no template).
    virtual FileHandle OpenDevice(const std::string& path, uint32_t access, uint32_t share,
                                  bool inheritHandle, uint32_t creation, uint32_t flags) = 0;
    // HidD_GetAttributes, HidD_GetPreparsedData, HidD_FreePreparsedData.
    virtual bool GetAttributes(FileHandle device, HiddAttributes* attributes) = 0;
    virtual bool GetPreparsedData(FileHandle device, PreparsedData* data) = 0;
    virtual bool FreePreparsedData(PreparsedData data) = 0;
    // HidD_GetManufacturerString, HidD_GetProductString, HidD_GetSerialNumberString: the string
    // the device gives, NUL-terminated UTF-16, into buffer of bufferLength bytes (at most 4093).
    // False when the device has none, or the buffer cannot hold it all: then nothing is written.
    virtual bool GetManufacturerString(FileHandle device, char16_t* buffer,
                                       uint32_t bufferLength) = 0;
    virtual bool GetProductString(FileHandle device, char16_t* buffer, uint32_t bufferLength) = 0;
    virtual bool GetSerialNumberString(FileHandle device, char16_t* buffer,
                                       uint32_t bufferLength) = 0;

    // HidP_GetCaps, HidP_GetSpecificValueCaps, HidP_GetUsageValue, HidP_GetUsageValueArray.
    virtual NtStatus GetCaps(PreparsedData data, HidpCaps* caps) = 0;
    virtual NtStatus GetSpecificValueCaps(HidpReportType type, uint16_t usagePage,
                                          uint16_t linkCollection, uint16_t usage,
                                          HidpValueCaps* caps, uint16_t* capsLength,
                                          PreparsedData data) = 0;
    virtual NtStatus GetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                   uint16_t usage, uint32_t* value, PreparsedData data,
                                   const uint8_t* report, uint32_t reportLength) = 0;
    virtual NtStatus GetUsageValueArray(HidpReportType type, uint16_t usagePage,
                                        uint16_t linkCollection, uint16_t usage, uint8_t* buffer,
                                        uint16_t bufferLength, PreparsedData data,
                                        const uint8_t* report, uint32_t reportLength) = 0;

    // CreateEventA(no security attributes, manualReset, initialState, no name); 0 on failure.
    virtual EventHandle NewEvent(bool manualReset, bool initialState) = 0;
    virtual bool ResetEvent(EventHandle event) = 0;
    // ReadFile and GetOverlappedResult on an overlapped device handle; buffer and overlapped
    // must stay in place until the read has completed.
    virtual bool ReadFile(FileHandle device, uint8_t* buffer, uint32_t length, uint32_t* read,
                          Overlapped* overlapped) = 0;
    virtual bool GetOverlappedResult(FileHandle device, Overlapped* overlapped,
                                     uint32_t* transferred, bool wait) = 0;
    virtual bool CancelIo(FileHandle device) = 0;
    // What a wait can watch to learn that the pending read signalling readEvent may have
    // completed: a handle the desktop's waits understand, 0 when there is none.
    virtual std::uintptr_t ReadWaitHandle(EventHandle readEvent) { return readEvent; }
    // CloseHandle, for device and event handles alike.
    virtual bool CloseHandle(std::uintptr_t handle) = 0;
    // RegisterDeviceNotificationA(window, a device interface filter of the class,
    // DEVICE_NOTIFY_WINDOW_HANDLE): the window is sent WM_DEVICECHANGE as such a device arrives.
    // 0 on failure. UnregisterDeviceNotification.
    virtual std::uintptr_t RegisterInterfaceNotification(std::uintptr_t window,
                                                         const Guid& interfaceClass) = 0;
    virtual bool UnregisterInterfaceNotification(std::uintptr_t notification) = 0;
    // GetLastError after the last call that failed.
    virtual uint32_t LastError() = 0;
};

}  // namespace ostrel
