// Timer1: keeps the reader open, reports its state and reads swipes, one step per tick.
#include <utility>

#include "reader/wait.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"

namespace ostrel {

void ScannerForm::Timer1_Timer() {
    if (reader_.ReaderPresent()) {
        reader_.OpenReader();
        if (ReaderState == ReaderPhase::NoDevice) ReaderState = ReaderPhase::DevicePresent;
        // A reader plugged in for the one that was read is looked at afresh: it may be of
        // another model, or of none the program can use.
        if (ReaderState == ReaderPhase::Reading && reader_.IsOpen() && !reader_.LayoutFitsReader())
            ReaderState = ReaderPhase::DevicePresent;
    } else {
        // No HID device at all: the reader is gone. Its handle is closed, not just forgotten.
        reader_.CloseReader();
        ReaderState = ReaderPhase::NoDevice;
    }

    switch (ReaderState) {
        case ReaderPhase::NoDevice:
            SetStatus(status::kAttachDevice);
            MirrorIfLinked();
            SetStatus(status::kSearching);
            break;
        case ReaderPhase::DevicePresent:
            switch (reader_.Model().support) {
                case ReaderSupport::Supported:
                    // A supported model's ids with no reader open are a candidate that was
                    // turned away: no reader to prepare, the device is not one to use.
                    ReaderState = reader_.IsOpen() ? ReaderPhase::SupportedReader
                                                   : ReaderPhase::UnsupportedReader;
                    break;
                case ReaderSupport::Improper:
                    ReaderState = ReaderPhase::ImproperReader;
                    break;
                case ReaderSupport::NotAReader:
                    ReaderState = ReaderPhase::UnsupportedReader;
                    break;
            }
            break;
        case ReaderPhase::SupportedReader:
            reader_.LoadReportLayout();
            SetStatus(status::kPleaseSwipe);
            MirrorIfLinked();
            ReaderState = ReaderPhase::Reading;
            // After the prompt: the reader's strings and statistics need not keep the host.
            NoteReaderTaken();
            break;
        case ReaderPhase::ImproperReader:
            SetStatus(status::kImproperDevice);
            MirrorIfLinked();
            ReaderState = ReaderPhase::ImproperReported;
            copy_.events.ReaderNotUsable(reader_.MakersDeviceListed(), false, ReaderNamed());
            break;
        case ReaderPhase::Reading:
            ReadSwipes();
            break;
        default:
            break;
    }
}

void ScannerForm::ReadSwipes() {
    while (ReadSwipe() && !TickOnlyReads && ReadingForRequest()) {
    }
}

bool ScannerForm::ReadSwipe() {
    // Only for a request being served. With a request filed and not yet armed, a report waits
    // for it; with none open, a card that comes is nobody's and is thrown away as it comes, so
    // that what waits when a request is filed came after it.
    if (!copy_.ScannerActive) {
        if (requestEnded_) DropReports();
        return false;
    }
    if (!reader_.ReadReport()) return false;
    swipeOutcome_.reset();
    swipeDelivered_ = false;
    SetStatus(status::kProcessing);
    MirrorIfLinked();
    WaitMs(desktop_, 100);
    // However the swipe ends (used, refused, or an error on the way), nothing of it stays
    // behind once it is done with.
    struct WipeAfterUse {
        ScannerForm& form;
        ~WipeAfterUse() { form.WipeSwipe(); }
    } wipeAfterUse{*this};
    if (reader_.DecodeReport()) {
        DisplayMSRResults();
    } else {
        swipeOutcome_ = SwipeOutcome::Undecodable;
    }
    CountSwipe();
    return true;
}

void ScannerForm::NoteReaderTaken() {
    const ReaderIdentity reader = reader_.Identity();
    if (const auto before = copy_.statistics.ReaderTaken(reader))
        copy_.events.ReaderChanged(reader.Description(), *before);
}

// After the card has reached the host, or the failure has been told: the registry's writes
// cost the swipe nothing.
void ScannerForm::CountSwipe() {
    if (!swipeOutcome_) return;
    const SwipeOutcome outcome = *std::exchange(swipeOutcome_, std::nullopt);
    if (const auto failing =
            copy_.statistics.CountSwipe(outcome, std::exchange(swipeDelivered_, false)))
        copy_.events.ReaderFailing(*failing);
}

std::string ScannerForm::ReaderNamed() {
    if (!reader_.IsOpen()) return "its strings unknown: the search did not take it";
    return reader_.Identity().Description();
}

void ScannerForm::DropReports() {
    // What the HID stack holds comes at once; the first read that has to wait is the end of it.
    constexpr int kMostQueued = 64;
    for (int i = 0; i < kMostQueued && reader_.ReadReport(); ++i)
        reader_.WipeSwipeData();
}

// The timer also runs while the host link is closed (the loop's reader wait, after a
// delivery). It never attaches to the host itself: then only the label shows the state.
void ScannerForm::MirrorIfLinked() {
    if (hostLink_.HostLinkOpen()) MirrorStatus();
}

}  // namespace ostrel
