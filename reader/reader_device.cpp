// Finding, opening and closing the reader.
#include "reader/card_reader.h"

#include <utility>

#include "reader/reader_search.h"
#include "reader/wait.h"

namespace ostrel {

namespace {

// How long a device that refused to open is given before it is tried once more.
constexpr float kOpenRetryMs = 1000;

// A candidate that passed every test but opened only with access 0, as a reader's keyboard
// collection does (the system holds keyboards): its reads would fail. It is kept open while the
// search looks on for a collection that opens for reading, and given back unless it is taken.
class HeldCandidate {
  public:
    explicit HeldCandidate(Hid& hid) : hid_(hid) {}
    ~HeldCandidate() {
        if (handle != kInvalidFileHandle) hid_.CloseHandle(static_cast<std::uintptr_t>(handle));
        if (preparsed != 0) hid_.FreePreparsedData(preparsed);
    }
    HeldCandidate(const HeldCandidate&) = delete;
    HeldCandidate& operator=(const HeldCandidate&) = delete;
    bool Held() const { return handle != kInvalidFileHandle; }

    FileHandle handle = kInvalidFileHandle;
    HiddAttributes attributes;
    PreparsedData preparsed = 0;
    HidpCaps caps;

  private:
    Hid& hid_;
};

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

    HeldCandidate accessZeroReader(hid_);
    for (uint32_t index = 0;; ++index) {
        DeviceInterfaceData data;
        data.cbSize = kInterfaceDataSize;
        if (!hid_.EnumDeviceInterfaces(set.Get(), guid, index, &data)) {
            // The list is exhausted; a reader that was open is taken as gone. A reader that
            // opens no other way than with access 0 is taken as it is.
            CloseReader();
            if (accessZeroReader.Held()) {
                ReaderHandle = std::exchange(accessZeroReader.handle, kInvalidFileHandle);
                PreparsedData = std::exchange(accessZeroReader.preparsed, 0);
                ReaderAttributes = accessZeroReader.attributes;
                ReaderCaps = accessZeroReader.caps;
            }
            return;
        }
        if (ReaderHandle != kInvalidFileHandle) return;
        // The ids are those of the candidates this search opens, or none: a reader that was
        // open before leaves none behind now that other makers' devices are not opened.
        if (index == 0) {
            ReaderAttributes = {};
            makersDevice_.reset();
        }

        const std::string path = InterfacePath(hid_, set.Get(), data);
        if (path.empty()) continue;
        if (const PathIds ids = ReadDevicePath(path); ids.vendorId == kReaderVendorId)
            makersDevice_ = ids.productId.value_or(0);
        // A device whose path shows it is not the reader (another maker's, or not on USB) is
        // passed by without the wait or an open, so the machine's other devices cost no time.
        if (CheckPath(path) != PathCheck::MayBeTheReader) continue;

        // A device listed a moment ago may still be starting (its driver, say) and not yet take
        // an open; one that refuses is given a second, window messages handled meanwhile.
        OpenAccess access = OpenAccess::None;
        ReaderHandle = OpenCandidate(hid_, path, &access);
        if (ReaderHandle == kInvalidFileHandle) {
            WaitMs(desktop_, kOpenRetryMs);
            ReaderHandle = OpenCandidate(hid_, path, &access);
        }
        if (ReaderHandle == kInvalidFileHandle) continue;

        const CandidateCheck check =
            CheckCandidate(hid_, ReaderHandle, ReaderAttributes, PreparsedData, ReaderCaps);
        if (check != CandidateCheck::NoAttributes && ReaderAttributes.VendorID == kReaderVendorId)
            makersDevice_ = ReaderAttributes.ProductID;
        const bool accepted = check == CandidateCheck::Accepted;
        if (accepted && access == OpenAccess::ReadWrite) return;
        if (accepted && !accessZeroReader.Held()) {
            accessZeroReader.handle = std::exchange(ReaderHandle, kInvalidFileHandle);
            accessZeroReader.preparsed = std::exchange(PreparsedData, 0);
            accessZeroReader.attributes = ReaderAttributes;
            accessZeroReader.caps = ReaderCaps;
        }
        CloseReader();
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
    identity_.reset();
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

// Windows lists a HID interface for every keyboard, mouse and touchpad: a till always has one.
// Only a device that may be the reader counts, so that a till without one waits for it, and a
// reader pulled out while armed is reported.
bool CardReader::ReaderPresent() {
    const Guid guid = hid_.GetHidGuid();
    DevInfoSetGuard set(hid_, hid_.GetClassDevs(guid, kPresentInterfaces));
    if (set.Get() == kInvalidDevInfoSet) return false;
    DeviceInterfaceData data;
    data.cbSize = kInterfaceDataSize;
    for (uint32_t index = 0; hid_.EnumDeviceInterfaces(set.Get(), guid, index, &data); ++index) {
        const std::string path = InterfacePath(hid_, set.Get(), data);
        if (!path.empty() && CheckPath(path) == PathCheck::MayBeTheReader) return true;
    }
    return false;
}

}  // namespace ostrel
