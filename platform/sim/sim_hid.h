#pragma once
// Simulated HID devices behind the Hid calls, down to the last errors Windows gives: device
// interface enumeration, opening, attributes, preparsed data from each device's report
// descriptor, events and overlapped reads. Every resource handed out is counted until it is
// given back, and uses of the calls that could corrupt memory or hang on Windows are recorded
// in misuses.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "platform/sim/hid_descriptor.h"
#include "support/wipe.h"

namespace ostrel::sim {

struct SimHidDevice {
    std::string path;  // empty: made by SimHid::DevicePath from the ids when plugged in
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0x0100;
    std::vector<uint8_t> descriptor;
    // CreateFileA with GENERIC_READ or GENERIC_WRITE fails with ERROR_ACCESS_DENIED; access 0
    // still opens, but reads on such a handle fail.
    bool refuseReadWrite = false;
    // So many CreateFileA calls fail first, whatever the access, as on a device that is listed
    // but still starting.
    int refuseOpens = 0;
    // The last error of the interface-detail size query. Windows gives 122 there; anything
    // else makes the query misbehave, and 0 makes it succeed.
    uint32_t detailSizeQueryError = winerr::kInsufficientBuffer;
    // The strings its firmware gives (HidD_GetManufacturerString and the others); where there is
    // none the call fails.
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    std::optional<std::u16string> serialNumber;
};

class SimHid : public Hid {
  public:
    using DeviceId = size_t;
    static constexpr Guid kHidGuid{
        0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

    // "\\?\hid#vid_0801&pid_0002#7&...&0&0000#{4d1e55b2-...}", one instance per number.
    static std::string DevicePath(uint16_t vendorId, uint16_t productId, uint32_t instance);

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
    std::uintptr_t ReadWaitHandle(EventHandle readEvent) override {
        return readWaitHandle ? readWaitHandle(readEvent) : readEvent;
    }
    bool CloseHandle(std::uintptr_t handle) override;
    std::uintptr_t RegisterInterfaceNotification(std::uintptr_t window,
                                                 const Guid& interfaceClass) override;
    bool UnregisterInterfaceNotification(std::uintptr_t notification) override;
    uint32_t LastError() override { return lastError_; }

    // Test side.
    // Makes the device present; it is listed after the devices already present, and each
    // window registered for the HID class is told through deviceArrived.
    DeviceId Plug(SimHidDevice device);
    // The device leaves the list, its handles go dead and a pending read on them completes
    // with ERROR_DEVICE_NOT_CONNECTED. Plugging it in again makes a new device.
    void Unplug(DeviceId device);
    // The device sends an input report. Every handle open for reading gets it: a pending read
    // completes with it at once, otherwise it waits in that handle's queue (32 at most, the
    // oldest dropped). With no such handle it is lost. Returns the handles reached. Throws
    // when the device is unplugged or the report is not of its input report length.
    size_t QueueReport(DeviceId device, const std::vector<uint8_t>& report);
    // The pending read on the device's handles completes with error; with none pending, the
    // next ReadFile on one of them fails with it.
    void FailNextRead(DeviceId device, uint32_t error);

    const SimHidDevice& Device(DeviceId device) const { return devices_.at(device).info; }
    bool IsPresent(DeviceId device) const { return devices_.at(device).present; }
    // CreateFileA calls that named the device, and those that opened it.
    int OpenAttempts(DeviceId device) const { return devices_.at(device).openAttempts; }
    int Opens(DeviceId device) const { return devices_.at(device).opens; }
    bool IsSignalled(EventHandle event) const;
    // Device handles, events, preparsed data and device information sets not yet given back.
    size_t OpenResources() const;
    // Registrations for arriving devices not yet undone.
    size_t Notifications() const { return notifications_.size(); }

    bool failClassDevs = false;
    bool failEventCreation = false;
    // What a wait watches for a pending read signalling an event; the event itself unless set.
    std::function<std::uintptr_t(EventHandle)> readWaitHandle;
    // How a window registered for arriving HID devices hears of one (a WM_DEVICECHANGE).
    std::function<void(std::uintptr_t window)> deviceArrived;
    // So many ResetEvent calls fail next, with ERROR_INVALID_HANDLE, the event left as it was.
    int failResetEvents = 0;
    // What was done that Windows would punish (a buffer written after its owner let go of it,
    // a wait that never ends); tests of the program assert it stays empty.
    std::vector<std::string> misuses;
    // The program's policy from its start: a file or event handle that is not open raises an
    // exception in Windows instead of failing the call, and is recorded as a misuse.
    bool strictHandleChecks = false;
    // The calls made, in order: the name of the call and its main argument. Kept only while
    // recordCalls is set: a long run (the training build's reader) keeps nothing.
    std::vector<std::string> calls;
    bool recordCalls = true;

  private:
    struct DeviceState {
        SimHidDevice info;
        std::shared_ptr<const HidDescriptor> descriptor;  // null when it does not parse
        bool present = true;
        int openAttempts = 0;
        int opens = 0;
        std::optional<uint32_t> failNextRead;
    };
    struct Read {
        uint8_t* buffer;
        uint32_t length;
        Overlapped* overlapped;
        bool completed = false;
        bool cancelled = false;
        uint32_t error = 0;
        uint32_t bytes = 0;
    };
    // A report waiting to be read. It holds a card's tracks, so it is overwritten when it goes.
    struct QueuedReport {
        explicit QueuedReport(const std::vector<uint8_t>& report) : bytes(report) {}
        QueuedReport(QueuedReport&&) noexcept = default;
        QueuedReport& operator=(QueuedReport&&) = delete;
        ~QueuedReport() { Wipe(bytes); }
        std::vector<uint8_t> bytes;
    };
    struct DeviceHandle {
        DeviceId device;
        uint32_t access;
        bool overlappedIo;
        std::deque<QueuedReport> queue;
        std::optional<Read> read;  // started and not yet collected
    };
    struct Event {
        bool manualReset;
        bool signalled;
    };

    static std::string Hex(std::uintptr_t value);
    bool Fail(uint32_t error);
    bool NotOpen(std::uintptr_t handle);
    void Misuse(const std::string& what);
    NtStatus NotHeld(PreparsedData data);
    using DeviceString = std::optional<std::u16string> SimHidDevice::*;
    bool GetString(const char* call, FileHandle device, DeviceString which, char16_t* buffer,
                   uint32_t bufferLength);
    void Trace(const std::string& call, const std::string& argument = "");
    std::uintptr_t NewHandle() { return nextHandle_ += 4; }
    DeviceHandle* FindDevice(FileHandle handle);
    const HidDescriptor* FindPreparsed(PreparsedData data) const;
    const DeviceState* InterfaceOf(DevInfoSet set, const DeviceInterfaceData* data,
                                   uint32_t* error) const;
    void Complete(Read& read, uint32_t error, uint32_t bytes);
    bool Deliver(DeviceHandle& handle, const std::vector<uint8_t>& report);

    std::vector<DeviceState> devices_;
    std::map<DevInfoSet, std::vector<DeviceId>> sets_;
    std::map<std::uintptr_t, DeviceHandle> handles_;
    std::map<EventHandle, Event> events_;
    std::map<PreparsedData, std::shared_ptr<const HidDescriptor>> preparsed_;
    std::map<std::uintptr_t, std::uintptr_t> notifications_;  // the window of each
    std::uintptr_t nextHandle_ = 0x100;
    uint32_t lastError_ = 0;
};

}  // namespace ostrel::sim
