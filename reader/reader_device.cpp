// Finding, opening and closing the reader.
#include "reader/card_reader.h"
#include "reader/reader_search.h"
#include "reader/wait.h"

namespace ostrel {

namespace {
constexpr float kOpenDelayMs = 1000;
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
        if (IsOtherMakersPath(path)) continue;

        // A device listed a moment ago may still be starting (its driver, say) and not yet take
        // an open; a second's wait gives it time, and window messages are handled meanwhile.
        WaitMs(desktop_, kOpenDelayMs);
        ReaderHandle = OpenCandidate(hid_, path);
        if (ReaderHandle == kInvalidFileHandle) continue;

        const bool accepted = CheckCandidate(hid_, ReaderHandle, ReaderAttributes, PreparsedData,
                                             ReaderCaps) == CandidateCheck::Accepted;
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
