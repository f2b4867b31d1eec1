#include "platform/sim/sim_hid.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "support/text_util.h"

namespace ostrel::sim {

namespace {

constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kSpintActive = 1;
}  // namespace

std::string SimHid::Hex(std::uintptr_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string SimHid::DevicePath(uint16_t vendorId, uint16_t productId, uint32_t instance) {
    char path[160];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#vid_%04x&pid_%04x#7&1a2b3c&0&%04x#"
                  "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, static_cast<unsigned>(instance));
    return path;
}

bool SimHid::Fail(uint32_t error) {
    lastError_ = error;
    return false;
}

bool SimHid::NotOpen(std::uintptr_t handle) {
    if (strictHandleChecks) {
        Misuse("handle " + Hex(handle) +
               " is not open: with strict handle checks Windows raises an exception");
    }
    return Fail(winerr::kInvalidHandle);
}

void SimHid::Misuse(const std::string& what) {
    misuses.push_back(what);
}

NtStatus SimHid::NotHeld(PreparsedData data) {
    // Windows reads whatever lies at a freed or made-up address: nothing a program may do.
    Misuse("a HidP_ call got preparsed data " + Hex(data) + ", which is not held");
    return hidp::kInvalidPreparsedData;
}

void SimHid::Trace(const std::string& call, const std::string& argument) {
    if (!recordCalls) return;
    calls.push_back(argument.empty() ? call : call + " " + argument);
}

SimHid::DeviceHandle* SimHid::FindDevice(FileHandle handle) {
    const auto it = handles_.find(static_cast<std::uintptr_t>(handle));
    return it == handles_.end() ? nullptr : &it->second;
}

const HidDescriptor* SimHid::FindPreparsed(PreparsedData data) const {
    const auto it = preparsed_.find(data);
    return it == preparsed_.end() ? nullptr : it->second.get();
}

// --- Device interface enumeration

Guid SimHid::GetHidGuid() {
    Trace("GetHidGuid");
    return kHidGuid;
}

DevInfoSet SimHid::GetClassDevs(const Guid& guid, uint32_t flags) {
    Trace("GetClassDevs");
    if (failClassDevs || !(guid == kHidGuid) || flags != (kDigcfPresent | kDigcfDeviceInterface)) {
        Fail(winerr::kInvalidParameter);
        return kInvalidDevInfoSet;
    }
    std::vector<DeviceId> present;
    for (DeviceId id = 0; id < devices_.size(); ++id) {
        if (devices_[id].present) present.push_back(id);
    }
    const DevInfoSet set = NewHandle();
    sets_[set] = std::move(present);
    return set;
}

bool SimHid::EnumDeviceInterfaces(DevInfoSet set, const Guid& guid, uint32_t index,
                                  DeviceInterfaceData* data) {
    Trace("EnumDeviceInterfaces", std::to_string(index));
    const auto it = sets_.find(set);
    if (it == sets_.end()) return Fail(winerr::kInvalidHandle);
    if (!data || data->cbSize != kInterfaceDataSize) return Fail(winerr::kInvalidUserBuffer);
    if (!(guid == kHidGuid) || index >= it->second.size()) return Fail(winerr::kNoMoreItems);
    data->InterfaceClassGuid = guid;
    data->Flags = kSpintActive;
    data->Reserved = index + 1;  // finds the interface again for the detail call
    return true;
}

const SimHid::DeviceState* SimHid::InterfaceOf(DevInfoSet set, const DeviceInterfaceData* data,
                                               uint32_t* error) const {
    const auto it = sets_.find(set);
    if (it == sets_.end()) {
        *error = winerr::kInvalidHandle;
        return nullptr;
    }
    if (!data || data->cbSize != kInterfaceDataSize) {
        *error = winerr::kInvalidUserBuffer;
        return nullptr;
    }
    if (data->Reserved == 0 || data->Reserved > it->second.size()) {
        *error = winerr::kInvalidParameter;
        return nullptr;
    }
    return &devices_[it->second[data->Reserved - 1]];
}

bool SimHid::GetInterfaceDetail(DevInfoSet set, DeviceInterfaceData* data, uint8_t* detail,
                                uint32_t detailSize, uint32_t* requiredSize) {
    Trace("GetInterfaceDetail", detail ? "buffer" : "size");
    uint32_t error = 0;
    const DeviceState* device = InterfaceOf(set, data, &error);
    if (!device) return Fail(error);
    const std::string& path = device->info.path;
    const auto required = static_cast<uint32_t>(4 + path.size() + 1);
    if (!detail) {
        if (detailSize != 0) return Fail(winerr::kInvalidUserBuffer);
        if (requiredSize) *requiredSize = required;
        return device->info.detailSizeQueryError == 0 || Fail(device->info.detailSizeQueryError);
    }
    if (detailSize < 4) return Fail(winerr::kInvalidUserBuffer);
    const uint32_t cbSize =
        detail[0] | detail[1] << 8 | detail[2] << 16 | static_cast<uint32_t>(detail[3]) << 24;
    if (cbSize != kInterfaceDetailDataSize) return Fail(winerr::kInvalidUserBuffer);
    if (requiredSize) *requiredSize = required;
    if (detailSize < required) return Fail(winerr::kInsufficientBuffer);
    std::memcpy(detail + 4, path.c_str(), path.size() + 1);
    return true;
}

bool SimHid::DestroyDeviceInfoList(DevInfoSet set) {
    Trace("DestroyDeviceInfoList");
    return sets_.erase(set) > 0 || Fail(winerr::kInvalidHandle);
}

// --- Opening and the HidD_ / HidP_ calls

FileHandle SimHid::OpenDevice(const std::string& path, uint32_t access, uint32_t, bool, uint32_t,
                              uint32_t flags) {
    Trace("OpenDevice", path);
    const std::string wanted = ToUpper(path);
    const auto it = std::find_if(devices_.begin(), devices_.end(), [&](const DeviceState& d) {
        return d.present && ToUpper(d.info.path) == wanted;
    });
    if (it == devices_.end()) {
        Fail(winerr::kFileNotFound);
        return kInvalidFileHandle;
    }
    ++it->openAttempts;
    if (it->info.refuseOpens > 0) {
        --it->info.refuseOpens;
        Fail(winerr::kFileNotFound);
        return kInvalidFileHandle;
    }
    if (it->info.refuseReadWrite && (access & (kGenericRead | kGenericWrite))) {
        Fail(winerr::kAccessDenied);
        return kInvalidFileHandle;
    }
    ++it->opens;
    const std::uintptr_t handle = NewHandle();
    handles_[handle] = DeviceHandle{static_cast<DeviceId>(it - devices_.begin()),
                                    access,
                                    (flags & kFileFlagOverlapped) != 0,
                                    {},
                                    std::nullopt};
    return static_cast<FileHandle>(handle);
}

bool SimHid::GetAttributes(FileHandle device, HiddAttributes* attributes) {
    Trace("GetAttributes", Hex(device));
    const DeviceHandle* handle = FindDevice(device);
    if (!handle) return NotOpen(device);
    const DeviceState& state = devices_[handle->device];
    if (!state.present) return Fail(winerr::kDeviceNotConnected);
    attributes->Size = sizeof(HiddAttributes);
    attributes->VendorID = state.info.vendorId;
    attributes->ProductID = state.info.productId;
    attributes->VersionNumber = state.info.version;
    return true;
}

bool SimHid::GetPreparsedData(FileHandle device, PreparsedData* data) {
    Trace("GetPreparsedData", Hex(device));
    const DeviceHandle* handle = FindDevice(device);
    if (!handle) return NotOpen(device);
    const DeviceState& state = devices_[handle->device];
    if (!state.present) return Fail(winerr::kDeviceNotConnected);
    if (!state.descriptor) return Fail(winerr::kInvalidParameter);
    const PreparsedData preparsed = NewHandle();
    preparsed_[preparsed] = state.descriptor;
    *data = preparsed;
    return true;
}

bool SimHid::FreePreparsedData(PreparsedData data) {
    Trace("FreePreparsedData", Hex(data));
    return preparsed_.erase(data) > 0 || Fail(winerr::kInvalidParameter);
}

bool SimHid::GetString(const char* call, FileHandle device, DeviceString which, char16_t* buffer,
                       uint32_t bufferLength) {
    Trace(call, Hex(device));
    const DeviceHandle* handle = FindDevice(device);
    if (!handle) return Fail(winerr::kInvalidHandle);
    const DeviceState& state = devices_[handle->device];
    if (!state.present) return Fail(winerr::kDeviceNotConnected);
    // "The supplied buffer must be <= 4093 bytes" (HidD_GetSerialNumberString), or the call may
    // fail with ERROR_GEN_FAILURE.
    if (bufferLength > 4093) return Fail(winerr::kGenFailure);
    const std::optional<std::u16string>& text = state.info.*which;
    if (!text) return Fail(winerr::kInvalidParameter);
    // Too small a buffer gets nothing, not the string cut short.
    if (bufferLength < (text->size() + 1) * sizeof(char16_t))
        return Fail(winerr::kInsufficientBuffer);
    std::copy(text->begin(), text->end(), buffer);
    buffer[text->size()] = u'\0';
    return true;
}

bool SimHid::GetManufacturerString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return GetString("GetManufacturerString", device, &SimHidDevice::manufacturer, buffer,
                     bufferLength);
}

bool SimHid::GetProductString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return GetString("GetProductString", device, &SimHidDevice::product, buffer, bufferLength);
}

bool SimHid::GetSerialNumberString(FileHandle device, char16_t* buffer, uint32_t bufferLength) {
    return GetString("GetSerialNumberString", device, &SimHidDevice::serialNumber, buffer,
                     bufferLength);
}

NtStatus SimHid::GetCaps(PreparsedData data, HidpCaps* caps) {
    Trace("GetCaps");
    const HidDescriptor* descriptor = FindPreparsed(data);
    if (!descriptor) return NotHeld(data);
    *caps = descriptor->Caps();
    return hidp::kSuccess;
}

NtStatus SimHid::GetSpecificValueCaps(HidpReportType type, uint16_t usagePage,
                                      uint16_t linkCollection, uint16_t usage, HidpValueCaps* caps,
                                      uint16_t* capsLength, PreparsedData data) {
    Trace("GetSpecificValueCaps", Hex(usage));
    const HidDescriptor* descriptor = FindPreparsed(data);
    if (!descriptor) return NotHeld(data);
    return descriptor->GetSpecificValueCaps(type, usagePage, linkCollection, usage, caps,
                                            capsLength);
}

NtStatus SimHid::GetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                               uint16_t usage, uint32_t* value, PreparsedData data,
                               const uint8_t* report, uint32_t reportLength) {
    Trace("GetUsageValue", Hex(usage));
    const HidDescriptor* descriptor = FindPreparsed(data);
    if (!descriptor) return NotHeld(data);
    return descriptor->GetUsageValue(type, usagePage, linkCollection, usage, value, report,
                                     reportLength);
}

NtStatus SimHid::GetUsageValueArray(HidpReportType type, uint16_t usagePage,
                                    uint16_t linkCollection, uint16_t usage, uint8_t* buffer,
                                    uint16_t bufferLength, PreparsedData data,
                                    const uint8_t* report, uint32_t reportLength) {
    Trace("GetUsageValueArray", Hex(usage));
    const HidDescriptor* descriptor = FindPreparsed(data);
    if (!descriptor) return NotHeld(data);
    return descriptor->GetUsageValueArray(type, usagePage, linkCollection, usage, buffer,
                                          bufferLength, report, reportLength);
}

// --- Events

EventHandle SimHid::NewEvent(bool manualReset, bool initialState) {
    Trace("NewEvent");
    if (failEventCreation) {
        Fail(kNotEnoughMemory);
        return 0;
    }
    const EventHandle event = NewHandle();
    events_[event] = Event{manualReset, initialState};
    return event;
}

bool SimHid::ResetEvent(EventHandle event) {
    Trace("ResetEvent", Hex(event));
    if (failResetEvents > 0) {
        --failResetEvents;
        return Fail(winerr::kInvalidHandle);
    }
    const auto it = events_.find(event);
    if (it == events_.end()) return NotOpen(event);
    it->second.signalled = false;
    return true;
}

bool SimHid::IsSignalled(EventHandle event) const {
    const auto it = events_.find(event);
    return it != events_.end() && it->second.signalled;
}

size_t SimHid::OpenResources() const {
    return handles_.size() + events_.size() + preparsed_.size() + sets_.size();
}

}  // namespace ostrel::sim
