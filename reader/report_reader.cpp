// Reading input reports with overlapped I/O, one step per call, never blocking.
#include <algorithm>

#include "reader/card_reader.h"

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

    if (!hid_.ResetEvent(ReadEvent)) {
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
        return false;
    }
    CloseReader();
    return false;
}

}  // namespace ostrel
