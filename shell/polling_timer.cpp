// Timer1: keeps the reader open, reports its state and reads swipes, one step per tick.
#include "reader/wait.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"

namespace ostrel {

namespace {
enum : int16_t {
    kNoDevice = 0,
    kDevicePresent = 1,
    kSupportedReader = 2,
    kImproperReader = 3,
    kReading = 4,
    kImproperReported = 5,
    kUnsupportedReader = 9,
};
}  // namespace

void ScannerForm::Timer1_Timer() {
    if (reader_.ReaderPresent()) {
        reader_.OpenReader();
        if (ReaderState == kNoDevice) ReaderState = kDevicePresent;
    } else {
        // No HID device at all: the reader is gone. Its handle is closed, not just forgotten.
        reader_.CloseReader();
        ReaderState = kNoDevice;
    }

    // The timer also runs while the host link is closed (the loop's reader wait, after a
    // delivery). It never attaches to the host itself: then only the label shows the state.
    const auto mirror = [this] {
        if (hostLink_.HostLinkOpen()) MirrorStatus();
    };

    switch (ReaderState) {
        case kNoDevice:
            SetStatus(status::kAttachDevice);
            mirror();
            SetStatus(status::kSearching);
            break;
        case kDevicePresent:
            switch (reader_.ReaderProductId()) {
                case 2:
                case 3:
                case 9:
                case 14:
                case 15:
                    // A supported model's ids with no reader open are a candidate that was
                    // turned away: no reader to prepare, the device is not one to use.
                    ReaderState = reader_.ReaderHandle != kInvalidFileHandle ? kSupportedReader
                                                                             : kUnsupportedReader;
                    break;
                case 1:
                    ReaderState = kImproperReader;
                    break;
                default:
                    ReaderState = kUnsupportedReader;
            }
            break;
        case kSupportedReader:
            reader_.LoadReportLayout();
            SetStatus(status::kPleaseSwipe);
            mirror();
            ReaderState = kReading;
            break;
        case kImproperReader:
            SetStatus(status::kImproperDevice);
            mirror();
            ReaderState = kImproperReported;
            break;
        case kReading:
            // Only for a request being served; a report waits until one is, and is then
            // thrown away if it came before the request.
            if (copy_.ScannerActive && reader_.ReadReport()) {
                SetStatus(status::kProcessing);
                mirror();
                WaitMs(desktop_, 100);
                if (reader_.DecodeReport()) DisplayMSRResults();
            }
            break;
        default:
            break;
    }
}

}  // namespace ostrel
