// Reading input reports with overlapped I/O, one step per call, never blocking.
#include <algorithm>
#include <vector>

#include "reader/card_reader.h"
#include "support/wipe.h"

namespace ostrel {

bool CardReader::ReadReport() {
    uint32_t transferred = 0;
    if (ReadPending) {
        if (hid_.GetOverlappedResult(ReaderHandle, &ReadOverlapped, &transferred, false)) {
            ReadPending = false;
            return true;
        }
        if (hid_.LastError() == winerr::kIoIncomplete) return false;
        CloseReader();
        return false;
    }

    // An event whose creation failed may be had now; without one no read would ever start.
    // One closed on purpose stays closed until the reader is set up again.
    if (ReadEvent == 0 && eventCreationFailed_) {
        ReadEvent = hid_.NewEvent(true, false);
        eventCreationFailed_ = ReadEvent == 0;
    }
    // Without an event there is nothing to reset: under the program's strict handle checks,
    // handing Windows a handle of 0 would raise an exception instead of failing the call.
    if (ReadEvent == 0 || !hid_.ResetEvent(ReadEvent)) {
        ReaderError = "ResetEvent Failed";
        return false;
    }
    ReadOverlapped = Overlapped{};
    ReadOverlapped.hEvent = ReadEvent;
    const auto length = static_cast<uint32_t>(
        std::min<size_t>(ReaderCaps.InputReportByteLength, InputReport.size()));
    if (hid_.ReadFile(ReaderHandle, InputReport.data(), length, &transferred, &ReadOverlapped)) {
        return true;
    }
    if (hid_.LastError() == winerr::kIoPending) {
        ReadPending = true;
        ++readsStarted_;
        return false;
    }
    CloseReader();
    return false;
}

void CardReader::DiscardReports() {
    if (ReaderHandle == kInvalidFileHandle) return;
    uint32_t transferred = 0;
    if (ReadPending) {
        ReadPending = false;
        hid_.CancelIo(ReaderHandle);
        hid_.GetOverlappedResult(ReaderHandle, &ReadOverlapped, &transferred, true);
        // The read may have completed with a report before it was cancelled.
        Wipe(InputReport);
    }
    // What the HID stack holds comes at once; the first read that has to wait is the end of it.
    constexpr int kMostQueued = 64;
    CardBytes discarded(std::max<size_t>(ReaderCaps.InputReportByteLength, 1));
    // A report thrown away unread still held a card's tracks.
    struct WipeOnExit {
        CardBytes& bytes;
        ~WipeOnExit() { Wipe(bytes); }
    } wipeOnExit{discarded};
    for (int i = 0; i < kMostQueued; ++i) {
        if (ReadEvent == 0 || !hid_.ResetEvent(ReadEvent)) return;
        Overlapped read;
        read.hEvent = ReadEvent;
        const auto length = static_cast<uint32_t>(discarded.size());
        if (hid_.ReadFile(ReaderHandle, discarded.data(), length, &transferred, &read)) continue;
        if (hid_.LastError() == winerr::kIoPending) {
            hid_.CancelIo(ReaderHandle);
            hid_.GetOverlappedResult(ReaderHandle, &read, &transferred, true);
        }
        return;
    }
}

}  // namespace ostrel
