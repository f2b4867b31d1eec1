// A decoded swipe as the window handles it: the track read into card fields (carddata/), what
// the clerk and the host are shown at each step, the hand-off and its read-back, and the
// failure exit for a swipe that cannot be used.
#include <optional>

#include "carddata/redaction.h"
#include "carddata/track1.h"
#include "hostlink/card_handoff.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"
#include "shell/track1_text.h"

namespace ostrel {

namespace {

constexpr uint32_t kFailurePauseMs = 2000;
constexpr const char* kCrLf = "\r\n";

// The step labels of the failure message box, by step, in the general path and in the masked
// model's path.
const char* StepLabel(Track1Step step, bool masked) {
    switch (step) {
        case Track1Step::Length:
            return masked ? "Stp: DMSR-G20" : "Stp: DMSR-G";
        case Track1Step::MinimumLength:
            return masked ? "Stp: DMSR-G21" : "Stp: DMSR-G1";
        case Track1Step::FormatCode:
            return masked ? "Stp: DMSR-G22" : "Stp: DMSR-G2";
        case Track1Step::CardNumber:
            return masked ? "Stp: DMSR-G23" : "Stp: DMSR-G3";
        case Track1Step::Brand:
            return masked ? "Stp: DMSR-G24" : "Stp: DMSR-G4";
        case Track1Step::SecondCaret:
            return masked ? "Stp: DMSR-G25" : "Stp: DMSR-G5";
        case Track1Step::HolderName:
            return masked ? "Stp: DMSR-G26" : "Stp: DMSR-G6";
        case Track1Step::Expiry:
            return masked ? "Stp: DMSR-G27" : "Stp: DMSR-G7";
        case Track1Step::NameSplit:
            return masked ? "Stp: DMSR-G28" : "Stp: DMSR-G8";
        case Track1Step::MiddleInitial:
            return masked ? "Stp: DMSR-G29" : "Stp: DMSR-G9";
    }
    return "Stp: DMSR-G";
}

// What the clerk and the host are told when a check fails; a read error is told at once, the
// others are left a moment to be read.
const char* FailureStatus(Track1Step step) {
    switch (step) {
        case Track1Step::Length:
            return status::kCardReadError;
        case Track1Step::MinimumLength:
            return status::kInvalidCardData;
        case Track1Step::FormatCode:
            return status::kInvalidCard;
        case Track1Step::CardNumber:
            return status::kNoCardNumber;
        case Track1Step::SecondCaret:
        case Track1Step::HolderName:
            return status::kNoHolderName;
        case Track1Step::Expiry:
        default:
            return status::kNoExpiry;
    }
}

}  // namespace

CardText Track1TextOf(const CardReader& reader) {
    // The raw-track models give their tracks as hex pairs; with their encryption off the bytes
    // are an ordinary track 1 and are read as one. The swipe record keeps its hex text.
    const SwipeRecord& swipe = reader.Swipe();
    if (reader.Model().tracks == TrackForm::HexBlocksOf8) {
        if (auto clear = ClearTrack1(swipe.Tk1Data, swipe.Tk1Len)) return std::move(*clear);
    }
    return swipe.Tk1Data;
}

CardText ScannerForm::Track1Text() const {
    return Track1TextOf(reader_);
}

void ScannerForm::WipeSwipe() {
    reader_.WipeSwipeData();
    Card.Wipe(reader_.Model().Delivers(ReaderValue::MaskedTracks));
    HostCardNumber.clear();
}

void ScannerForm::DisplayMSRResults() {
    std::string stepLabel;
    bool toFailureExit = false;
    std::optional<AppError> unexpected;
    try {
        toFailureExit = InterpretSwipe(stepLabel);
    } catch (const std::exception& failure) {
        unexpected = ToAppError(failure);
        toFailureExit = true;
    }
    // Outside the try: a failure inside the failure exit goes on to the caller, which shows
    // it; a host that quotes the card in it has the number masked first.
    if (!toFailureExit) return;
    try {
        FailureExit(stepLabel, unexpected ? &*unexpected : nullptr);
    } catch (const std::exception& failure) {
        const AppError error = ToAppError(failure);
        throw AppError(error.Number(), error.Source(), CardMasked(error.Description()));
    }
}

std::string ScannerForm::CardMasked(const std::string& text) const {
    return MaskCardNumbers(MaskCardDigits(text, Card.CardNumber));
}

bool ScannerForm::InterpretSwipe(std::string& stepLabel) {
    // The model that also sends masked tracks only shows a failed check and stays armed.
    const bool masked = reader_.Model().Delivers(ReaderValue::MaskedTracks);
    hostLink_.OpenHostLink(session_.SessionIndex);
    stepLabel = "Stp: DMSR-A";
    stepLabel = "Stp: DMSR-B";
    if (reader_.Swipe().Tk1DcdSts & 1) {
        swipeOutcome_ = SwipeOutcome::TrackStatus;
        reader_.EditSwipe().Tk1Data = "Error";
        ReportStatus(status::kCardReadError);
        return true;
    }
    stepLabel = "Stp: DMSR-C";
    stepLabel = "Stp: DMSR-D";
    stepLabel = "Stp: DMSR-E";
    stepLabel = "Stp: DMSR-F";
    // The masked model keeps the names and expiry of the swipe before; a name part the split
    // does not reach then shows the earlier card's.
    if (!masked) {
        Card.FirstName = "";
        Card.MiddleName = "";
        Card.LastName = "";
        Card.CardExpiry = "";
    }
    stepLabel = "Stp: DMSR-G";
    Track1Reading reading = ReadTrack1(Track1Text(), Card);
    Card = std::move(reading.card);
    reading.card.Wipe();
    // Nothing of track 1 came: the reader's failure. What the card holds is not.
    swipeOutcome_ =
        reading.failed == Track1Step::Length ? SwipeOutcome::Track1Missing : SwipeOutcome::Read;
    stepLabel = StepLabel(reading.reached, masked);
    if (reading.failed) {
        ReportStatus(FailureStatus(*reading.failed));
        if (*reading.failed != Track1Step::Length) desktop_.Sleep(kFailurePauseMs);
        // The general path goes on to the failure exit; the masked model only shows it and
        // stays armed.
        return !masked;
    }
    // The window shows the holder and the expiry: its labels' copies are the window's.
    desktop_.SetLabel(Label::Exp, std::string(Card.CardExpiry));
    desktop_.SetLabel(Label::CCType, std::string(Card.CardTypeName));
    desktop_.SetLabel(Label::CCHolder,
                      std::string(HolderLabel({Card.FirstName, Card.MiddleName, Card.LastName})));
    // The host gets the whole number; the window, which anyone nearby can read, does not.
    desktop_.SetLabel(Label::CCno, MaskedCardNumber(Card.CardNumber));
    stepLabel = masked ? "Stp: DMSR-G30" : "Stp: DMSR-G10";
    DeliverCardFields(hostLink_, session_.SessionIndex, Card);
    stepLabel = masked ? "Stp: DMSR-G11B" : "Stp: DMSR-G11";
    VerifyDelivery();
    return false;
}

void ScannerForm::VerifyDelivery() {
    HostCardNumber = "";
    HostCardNumber = hostLink_.GetScreenField("W1AC#", session_.SessionIndex);
    if (Card.CardNumber != HostCardNumber) {
        copy_.ScannerActive = false;
        ReportStatus(status::kIncomplete);
        ClearCardFields();
        ActiveTicks = 0;
        return;
    }
    swipeDelivered_ = true;
    ReportStatus(status::kSent);
    hostLink_.CloseHostLink();
    table_.SessionHandshake(session_.SessionIndex, EntryLetter::NotActive, EntryText);
    ActiveTicks = 0;
}

void ScannerForm::ClearCardFields() {
    const HostSessionId& session = session_.SessionIndex;
    const auto empty = [] { return DispArg::Text(""); };
    desktop_.SetLabel(Label::CCHolder, "");
    hostLink_.PutScreenField("WFNAM", empty(), session);
    hostLink_.PutScreenField("WMNAM", empty(), session);
    hostLink_.PutScreenField("WLNAM", empty(), session);
    desktop_.SetLabel(Label::CCno, "");
    hostLink_.PutScreenField("W1AC#", empty(), session);
    desktop_.SetLabel(Label::CCType, "");
    hostLink_.PutScreenField("W1CTYP", empty(), session);
    desktop_.SetLabel(Label::Exp, "");
    hostLink_.PutScreenField("W1CEXP", empty(), session);
    hostLink_.PutScreenValue("ZEXPMM", empty(), session);
    hostLink_.PutScreenValue("ZEXPYY", empty(), session);
    hostLink_.PutScreenField("SCTYP", empty(), session);
    hostLink_.PutScreenField("SCDSC", empty(), session);
    hostLink_.PutScreenFlag("CCScanCard", "", session);
}

void ScannerForm::FailureExit(const std::string& stepLabel, const AppError* unexpected) {
    std::string message;
    if (unexpected) {
        // Only the description can hold card digits (a host quoting a field); the error number
        // stays as it is.
        message = "Error: " + std::to_string(unexpected->Number()) + ", " +
                  CardMasked(unexpected->Description()) + kCrLf + kCrLf + stepLabel + kCrLf +
                  desktop_.GetLabel(Label::Status);
    }
    const std::string prefix = "Card data err**" + session_.SessionIndex.AsText() + "**";
    // What the log and the event log keep of the swipe is made now: the swipe is overwritten
    // before the message box waits for the clerk, who may take minutes.
    std::optional<std::string> line;
    std::optional<std::string> shown;
    if (const CardText track = Track1Text(); !track.empty()) {
        line = prefix + message + kCrLf + kCrLf + Track1Excerpt(track) + "***";
        // Every user of the machine may read the event log: its line has no holder name,
        // neither the swipe's nor one a host's error quotes (the name parts may be an earlier
        // swipe's).
        shown = prefix +
                MaskHolderNames(message, track,
                                {Card.HolderName, Card.FirstName, Card.MiddleName, Card.LastName}) +
                kCrLf + kCrLf + Track1Head(track) + "***";
    }
    WipeSwipe();
    if (unexpected)
        desktop_.ShowMessageBox(message, "Credit Card Scanning Error", kMbOk | kMbIconCritical);
    table_.SessionHandshake(session_.SessionIndex, EntryLetter::Reactivate, EntryText);
    ReportStatus(status::kDeactivated);
    if (!line) {
        hostLink_.PutScreenField("CCSTATUS", DispArg::Text(status::kAttachThenReclick),
                                 session_.SessionIndex);
        const std::string notRead = prefix + "Could not read Credit Card, Swipe it again!***";
        log_.WriteProcessLog(notRead);
        copy_.events.SwipeNotRead(notRead);
        return;
    }
    log_.WriteProcessLog(*line);
    copy_.events.SwipeNotRead(*shown);
    TellLogFailure();
    CountSwipe();
    Unload();
}

}  // namespace ostrel
