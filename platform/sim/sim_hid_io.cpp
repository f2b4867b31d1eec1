// SimHid: the devices' side (plugging, unplugging, sending reports) and overlapped reads.
#include "platform/sim/sim_hid.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ostrel::sim {

namespace {

constexpr uint32_t kStatusPending = 0x103;
// Windows keeps this many input reports per handle and drops the oldest beyond it.
constexpr size_t kInputBuffers = 32;

// What OVERLAPPED.Internal holds once a read has ended with a Win32 error, and back. Errors
// without an NTSTATUS of their own travel as 0xC007xxxx, which Windows maps back too.
constexpr uint32_t kStatusDeviceNotConnected = 0xC000009D;
constexpr uint32_t kStatusCancelled = 0xC0000120;

uint32_t NtStatusOf(uint32_t error) {
    switch (error) {
        case 0:
            return 0;
        case winerr::kDeviceNotConnected:
            return kStatusDeviceNotConnected;
        case winerr::kOperationAborted:
            return kStatusCancelled;
        default:
            return 0xC0070000u | (error & 0xFFFF);
    }
}

uint32_t ErrorOf(uint32_t status) {
    switch (status) {
        case kStatusDeviceNotConnected:
            return winerr::kDeviceNotConnected;
        case kStatusCancelled:
            return winerr::kOperationAborted;
        default:
            return status & 0xFFFF;
    }
}

}  // namespace

SimHid::DeviceId SimHid::Plug(SimHidDevice device) {
    if (device.path.empty())
        device.path =
            DevicePath(device.vendorId, device.productId, static_cast<uint32_t>(devices_.size()));
    DeviceState state;
    if (auto parsed = HidDescriptor::Parse(device.descriptor))
        state.descriptor = std::make_shared<const HidDescriptor>(std::move(*parsed));
    state.info = std::move(device);
    devices_.push_back(std::move(state));
    if (deviceArrived) {
        for (const auto& [notification, window] : notifications_)
            deviceArrived(window);
    }
    return devices_.size() - 1;
}

std::uintptr_t SimHid::RegisterInterfaceNotification(std::uintptr_t window,
                                                     const Guid& interfaceClass) {
    Trace("RegisterInterfaceNotification", Hex(window));
    if (!window || interfaceClass != kHidGuid) {
        Fail(winerr::kInvalidParameter);
        return 0;
    }
    const std::uintptr_t notification = NewHandle();
    notifications_[notification] = window;
    return notification;
}

bool SimHid::UnregisterInterfaceNotification(std::uintptr_t notification) {
    return notifications_.erase(notification) > 0 || Fail(winerr::kInvalidHandle);
}

void SimHid::Unplug(DeviceId device) {
    devices_.at(device).present = false;
    for (auto& [value, handle] : handles_) {
        if (handle.device != device) continue;
        handle.queue.clear();
        if (handle.read && !handle.read->completed)
            Complete(*handle.read, winerr::kDeviceNotConnected, 0);
    }
}

size_t SimHid::QueueReport(DeviceId device, const std::vector<uint8_t>& report) {
    const DeviceState& state = devices_.at(device);
    if (!state.present) throw std::logic_error("a report from a device that is not plugged in");
    if (!state.descriptor ||
        report.size() != state.descriptor->ReportByteLength(HidpReportType::Input)) {
        throw std::invalid_argument("a report not of the device's input report length");
    }
    size_t reached = 0;
    for (auto& [value, handle] : handles_) {
        if (handle.device == device && (handle.access & kGenericRead)) {
            Deliver(handle, report);
            ++reached;
        }
    }
    return reached;
}

void SimHid::FailNextRead(DeviceId device, uint32_t error) {
    for (auto& [value, handle] : handles_) {
        if (handle.device == device && handle.read && !handle.read->completed) {
            Complete(*handle.read, error, 0);
            return;
        }
    }
    devices_.at(device).failNextRead = error;
}

bool SimHid::Deliver(DeviceHandle& handle, const std::vector<uint8_t>& report) {
    if (handle.read && !handle.read->completed) {
        // Written into the caller's buffer at once, as the system does while the program
        // goes on; ReadFile made sure it is long enough.
        std::memcpy(handle.read->buffer, report.data(), report.size());
        Complete(*handle.read, 0, static_cast<uint32_t>(report.size()));
        return true;
    }
    if (handle.queue.size() == kInputBuffers) handle.queue.pop_front();
    handle.queue.emplace_back(report);
    return false;
}

void SimHid::Complete(Read& read, uint32_t error, uint32_t bytes) {
    read.completed = true;
    read.error = error;
    read.bytes = bytes;
    read.overlapped->Internal = NtStatusOf(error);
    read.overlapped->InternalHigh = bytes;
    if (const EventHandle event = read.overlapped->hEvent) {
        const auto it = events_.find(event);
        if (it != events_.end())
            it->second.signalled = true;
        else
            Misuse("a read completed and signalled event " + Hex(event) + ", which is not open");
    }
}

// --- Overlapped reads

namespace {

// Started and not yet collected with GetOverlappedResult: the system may still write into
// the buffer, or has ended the read by cancelling it and the caller has not seen that.
template <typename Read>
bool Outstanding(const std::optional<Read>& read) {
    return read && (!read->completed || read->cancelled);
}

}  // namespace

bool SimHid::ReadFile(FileHandle device, uint8_t* buffer, uint32_t length, uint32_t* read,
                      Overlapped* overlapped) {
    Trace("ReadFile", Hex(device));
    DeviceHandle* handle = FindDevice(device);
    if (!handle) return NotOpen(device);
    if (!overlapped) return Fail(winerr::kInvalidParameter);
    if (Outstanding(handle->read)) {
        Misuse("ReadFile on handle " + Hex(device) + " while its previous read is outstanding");
    }
    handle->read.reset();
    DeviceState& state = devices_[handle->device];
    if (!state.present) return Fail(winerr::kDeviceNotConnected);
    if (!(handle->access & kGenericRead)) return Fail(winerr::kAccessDenied);
    const uint32_t reportLength =
        state.descriptor ? state.descriptor->ReportByteLength(HidpReportType::Input) : 0;
    if (length < reportLength) return Fail(winerr::kInvalidUserBuffer);
    if (state.failNextRead) {
        const uint32_t error = *state.failNextRead;
        state.failNextRead.reset();
        return Fail(error);
    }
    overlapped->Internal = kStatusPending;
    overlapped->InternalHigh = 0;
    // Starting a read resets the event it will signal.
    if (const auto event = events_.find(overlapped->hEvent); event != events_.end())
        event->second.signalled = false;
    if (read) *read = 0;
    if (!handle->queue.empty()) {
        const QueuedReport report = std::move(handle->queue.front());
        handle->queue.pop_front();
        std::memcpy(buffer, report.bytes.data(), report.bytes.size());
        Read done{buffer, length, overlapped};
        Complete(done, 0, static_cast<uint32_t>(report.bytes.size()));
        if (read) *read = done.bytes;
        return true;
    }
    if (!handle->overlappedIo) {
        Misuse("ReadFile on handle " + Hex(device) +
               ", opened without FILE_FLAG_OVERLAPPED, would wait for a report");
        return Fail(winerr::kIoIncomplete);
    }
    handle->read = Read{buffer, length, overlapped};
    return Fail(winerr::kIoPending);
}

bool SimHid::GetOverlappedResult(FileHandle device, Overlapped* overlapped, uint32_t* transferred,
                                 bool wait) {
    Trace("GetOverlappedResult", Hex(device) + (wait ? " wait" : ""));
    DeviceHandle* handle = FindDevice(device);
    if (!handle) return NotOpen(device);
    if (!handle->read || handle->read->overlapped != overlapped) {
        // A read that has finished, asked about again: Windows answers from the OVERLAPPED.
        if (overlapped->Internal == kStatusPending) {
            Misuse("GetOverlappedResult on handle " + Hex(device) +
                   " for a read that was never started there");
            return Fail(winerr::kIoIncomplete);
        }
        if (transferred) *transferred = overlapped->InternalHigh;
        return overlapped->Internal == 0 || Fail(ErrorOf(overlapped->Internal));
    }
    const Read read = *handle->read;
    if (!read.completed) {
        if (wait)
            Misuse("GetOverlappedResult waits on handle " + Hex(device) +
                   " for a report that may never come");
        return Fail(winerr::kIoIncomplete);
    }
    handle->read.reset();
    if (transferred) *transferred = read.bytes;
    return read.error == 0 || Fail(read.error);
}

bool SimHid::CancelIo(FileHandle device) {
    Trace("CancelIo", Hex(device));
    DeviceHandle* handle = FindDevice(device);
    if (!handle) return NotOpen(device);
    if (handle->read && !handle->read->completed) {
        handle->read->cancelled = true;
        Complete(*handle->read, winerr::kOperationAborted, 0);
    }
    return true;
}

bool SimHid::CloseHandle(std::uintptr_t value) {
    Trace("CloseHandle", Hex(value));
    if (const auto event = events_.find(value); event != events_.end()) {
        for (const auto& [other, handle] : handles_) {
            if (handle.read && !handle.read->completed && handle.read->overlapped->hEvent == value)
                Misuse("CloseHandle of event " + Hex(value) + " that a pending read will signal");
        }
        events_.erase(event);
        return true;
    }
    const auto it = handles_.find(value);
    if (it == handles_.end()) return NotOpen(value);
    if (Outstanding(it->second.read)) {
        Misuse("CloseHandle of " + Hex(value) + " while its read is " +
               (it->second.read->cancelled ? "cancelled but not collected" : "pending"));
    }
    handles_.erase(it);
    return true;
}

}  // namespace ostrel::sim
