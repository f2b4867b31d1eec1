// Finding, opening and closing the reader.
#include <algorithm>
#include <optional>

#include "reader/card_reader.h"
#include "reader/wait.h"
#include "support/text_util.h"

namespace ostrel {

namespace {

constexpr uint32_t kPresentInterfaces = kDigcfPresent | kDigcfDeviceInterface;  // 0x12
constexpr uint32_t kInterfaceDataSize = 28;
constexpr uint32_t kDetailDataSize = 5;
constexpr float kOpenDelayMs = 1000;

// The vendor id a device path names ("vid_" and four hex digits, any case), if it names one.
std::optional<uint16_t> VendorIdInPath(const std::string& path) {
    const std::string upper = ToUpper(path);
    const auto at = upper.find("VID_");
    if (at == std::string::npos || at + 8 > upper.size()) return std::nullopt;
    uint16_t vid = 0;
    for (size_t i = at + 4; i < at + 8; ++i) {
        const char c = upper[i];
        if (c >= '0' && c <= '9') {
            vid = static_cast<uint16_t>(vid * 16 + (c - '0'));
        } else if (c >= 'A' && c <= 'F') {
            vid = static_cast<uint16_t>(vid * 16 + (c - 'A' + 10));
        } else {
            return std::nullopt;
        }
    }
    return vid;
}

// Destroys a device information set on every way out.
class DevInfoSetGuard {
  public:
    DevInfoSetGuard(Hid& hid, DevInfoSet set) : hid_(hid), set_(set) {}
    ~DevInfoSetGuard() {
        if (set_ != kInvalidDevInfoSet) hid_.DestroyDeviceInfoList(set_);
    }
    DevInfoSetGuard(const DevInfoSetGuard&) = delete;
    DevInfoSetGuard& operator=(const DevInfoSetGuard&) = delete;
    DevInfoSet Get() const { return set_; }

  private:
    Hid& hid_;
    DevInfoSet set_;
};

// The device path of an interface; "" when its detail cannot be had.
std::string InterfacePath(Hid& hid, DevInfoSet set, DeviceInterfaceData& data) {
    uint32_t required = 0;
    if (hid.GetInterfaceDetail(set, &data, nullptr, 0, &required) ||
        hid.LastError() != winerr::kInsufficientBuffer) {
        return "";
    }
    std::vector<uint8_t> detail(size_t{required} + 1, 0);
    detail[0] = kDetailDataSize;
    hid.GetInterfaceDetail(set, &data, detail.data(), required, &required);
    const auto end =
        std::find(detail.begin() + std::min<size_t>(4, detail.size()), detail.end(), 0);
    return std::string(detail.begin() + std::min<size_t>(4, detail.size()), end);
}

}  // namespace

CardReader::~CardReader() {
    CloseReader();
    CloseReadEvent();
    WipeSwipeData();
}

void CardReader::InitReader() {
    ReaderError = "";
    // Start closed; whatever an earlier start left open is released, not dropped.
    CloseReader();
    CloseReadEvent();
    ReadEvent = hid_.NewEvent(true, false);
    eventCreationFailed_ = ReadEvent == 0;
    if (eventCreationFailed_) ReaderError = "CreateEvent Failed";
    ReadPending = false;
}

void CardReader::OpenReader() {
    // One search at a time: a second one, started from a window event during this one's wait,
    // would open the reader again over what this one opens.
    if (searching_) return;
    searching_ = true;
    struct Done {
        bool& searching;
        ~Done() { searching = false; }
    } done{searching_};

    const Guid guid = hid_.GetHidGuid();
    DevInfoSetGuard set(hid_, hid_.GetClassDevs(guid, kPresentInterfaces));
    if (set.Get() == kInvalidDevInfoSet) return;

    for (uint32_t index = 0;; ++index) {
        DeviceInterfaceData data;
        data.cbSize = kInterfaceDataSize;
        if (!hid_.EnumDeviceInterfaces(set.Get(), guid, index, &data)) {
            // The list is exhausted; a reader that was open is taken as gone.
            CloseReader();
            return;
        }
        if (ReaderHandle != kInvalidFileHandle) return;
        // The ids are those of the candidates this search opens, or none: a reader that was
        // open before leaves none behind now that other makers' devices are not opened.
        if (index == 0) ReaderAttributes = {};

        const std::string path = InterfacePath(hid_, set.Get(), data);
        if (path.empty()) continue;
        // Another maker's device is never the reader: skip it without the wait or an open, so
        // a search past the other HID devices of a machine takes no time.
        if (const auto vid = VendorIdInPath(path); vid && *vid != kReaderVendorId) continue;

        // A device listed a moment ago may still be starting (its driver, say) and not yet take
        // an open; a second's wait gives it time, and window messages are handled meanwhile.
        WaitMs(desktop_, kOpenDelayMs);
        ReaderHandle =
            hid_.OpenDevice(path, kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite,
                            true, kOpenExisting, kFileFlagOverlapped);
        // A path that refuses read/write (a keyboard or mouse, which the system holds) opens with
        // access 0, enough to read its ids; a reader opened so fails its first read, and closes.
        if (ReaderHandle == kInvalidFileHandle) {
            ReaderHandle = hid_.OpenDevice(path, 0, kFileShareRead | kFileShareWrite, true,
                                           kOpenExisting, kFileFlagOverlapped);
        }
        if (ReaderHandle == kInvalidFileHandle) continue;

        ReaderAttributes.Size = 12;
        const bool accepted = hid_.GetAttributes(ReaderHandle, &ReaderAttributes) &&
                              ReaderAttributes.VendorID == kReaderVendorId &&
                              IsReaderModel(ReaderAttributes.ProductID) &&
                              hid_.GetPreparsedData(ReaderHandle, &PreparsedData) &&
                              hid_.GetCaps(PreparsedData, &ReaderCaps) == hidp::kSuccess;
        if (!accepted) CloseReader();
        if (ReaderHandle != kInvalidFileHandle) return;
    }
}

void CardReader::CloseReader() {
    if (ReaderHandle != kInvalidFileHandle) {
        if (ReadPending) {
            ReadPending = false;
            hid_.CancelIo(ReaderHandle);
            // The cancelled read still owns InputReport and ReadOverlapped until it finishes.
            uint32_t transferred = 0;
            hid_.GetOverlappedResult(ReaderHandle, &ReadOverlapped, &transferred, true);
        }
        hid_.CloseHandle(static_cast<std::uintptr_t>(ReaderHandle));
        ReaderHandle = kInvalidFileHandle;
    }
    ReadPending = false;
    if (PreparsedData != 0) {
        hid_.FreePreparsedData(PreparsedData);
        PreparsedData = 0;
    }
}

void CardReader::CloseReadEvent() {
    if (ReadEvent != 0) hid_.CloseHandle(ReadEvent);
    // Forgotten once closed: the number may soon name another object.
    ReadEvent = 0;
    eventCreationFailed_ = false;
}

bool CardReader::ReaderPresent() {
    const Guid guid = hid_.GetHidGuid();
    DevInfoSetGuard set(hid_, hid_.GetClassDevs(guid, kPresentInterfaces));
    if (set.Get() == kInvalidDevInfoSet) return false;
    DeviceInterfaceData data;
    data.cbSize = kInterfaceDataSize;
    return hid_.EnumDeviceInterfaces(set.Get(), guid, 0, &data);
}

}  // namespace ostrel
