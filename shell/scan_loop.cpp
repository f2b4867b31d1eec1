// ProcLoop: serves the host's requests from the session table, about twice a second, for the
// rest of the program's life.
#include "hostlink/program_check.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"
#include "support/wipe.h"
#include "support/text_util.h"

namespace ostrel {

namespace {
constexpr int kReaderWaitRounds = 10;
constexpr int16_t kTimeoutTicks = 30;
}  // namespace

void ScannerForm::ProcLoop() {
    desktop_.SetTimerEnabled(true);
    int rounds = 0;
    do {
        desktop_.DoEvents();
        desktop_.Sleep(1000);
        ++rounds;
    } while (ReaderState == ReaderPhase::NoDevice && rounds <= kReaderWaitRounds);
    if (ReaderState == ReaderPhase::UnsupportedReader || rounds > kReaderWaitRounds) {
        if (ReaderState == ReaderPhase::UnsupportedReader) {
            copy_.events.ReaderNotUsable(reader_.ReaderProductId(), true);
        } else {
            copy_.events.NoReader();
        }
        hostLink_.OpenHostLink(session_.SessionIndex);
        hostLink_.PutScreenField("CCSTATUS", DispArg::Text(status::kAttachThenReclick),
                                 session_.SessionIndex);
        hostLink_.CloseHostLink();
        Unload();
    }

    for (;;) {
        // Only the id of a host session (0 to 24) is served. A blank one (after Clear/reAttach),
        // one that could not be read, or any other (an older version's, a hand edit's) serves
        // nothing, like a held pass, and the copy keeps addressing the session it served last.
        const std::optional<std::string> filedText = store_.ReadSetting("cSesId");
        const HostSessionId filed = HostSessionId::Text(filedText.value_or(" "));
        if (filed.IsHostSession()) {
            session_.SessionIndex = filed;
            const HandshakeReading reading =
                table_.SessionHandshake(session_.SessionIndex, std::nullopt, std::nullopt, "RTV");
            // A table that could not be read is no news: the pass acts on nothing it knew.
            if (!reading.unreadable) ServeFiledSession(reading);
        }
        TellLogFailure();
        desktop_.DoEvents();
        PassSleep(500);
        if (!copy_.hostWatch.isPgmActive(copy_.platform.processes, desktop_, kHostProgram)) {
            mnuEnd_Click();
        }
    }
}

void ScannerForm::PassSleep(uint32_t ms) {
    // The pass keeps its length: the sleep ends when it would have, or as soon as the read's
    // work is done if that took longer.
    const int64_t end = desktop_.MonotonicMicros() + int64_t{ms} * 1000;
    for (;;) {
        const int64_t left = end - desktop_.MonotonicMicros();
        if (left <= 0) return;
        if (!desktop_.SleepUnlessWoken(static_cast<uint32_t>((left + 999) / 1000))) return;
        OnWake();
    }
}

void ScannerForm::ServeFiledSession(const HandshakeReading& reading) {
    TakeEntry(reading);
    DelayMode = reading.delayMode.value_or("");
    if (DelayMode == "ON") return;
    ActOnRequest();
    const std::string info = hostLink_.GetSessionInfo(session_.SessionIndex);
    const bool active = ToUpper(info) == ToUpper(EntryText) && ActiveTicks < kTimeoutTicks + 1;
    if (active) {
        ServeActive();
    } else {
        EndRequest();
    }
    ++ActiveTicks;
}

void ScannerForm::ActOnRequest() {
    const std::string request = ToUpper(EntryState);
    if (request == LetterText(EntryLetter::Reactivate)) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::Requested, EntryText);
        ClearCardFields();
        ReportStatus(status::kReactivated);
        WithReader([this] { reader_.OpenReader(); });
        StartNewRequest();
    } else if (request == LetterText(EntryLetter::Deactivate)) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::NotActive, EntryText);
        ClearCardFields();
        ReportStatus(status::kDeactivated);
        hostLink_.CloseHostLink();
    } else if (request == LetterText(EntryLetter::Requested) ||
               request == LetterText(EntryLetter::Filed) || request.empty()) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        ClearCardFields();
        // Before the prompt: a card swiped once it shows is this request's.
        StartNewRequest();
        ReportStatus(status::kPleaseSwipe);
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::Armed, EntryText);
        ActiveTicks = 0;
    }
}

void ScannerForm::ServeActive() {
    if (!copy_.ScannerActive) {
        copy_.ScannerActive = true;
        ActiveTicks = 0;
        // Armed again after the request had ended (the host back on its screen): what was
        // swiped meanwhile is not for it.
        if (requestEnded_) StartNewRequest();
        desktop_.SetTimerEnabled(true);
        reader_.EditSwipe().WipeClearTracks();
    }
    desktop_.DoEvents();
    if (ReaderState == ReaderPhase::UnsupportedReader) {
        copy_.events.ReaderNotUsable(reader_.ReaderProductId(), true);
        hostLink_.OpenHostLink(session_.SessionIndex);
        hostLink_.PutScreenField("CCSTATUS", DispArg::Text(status::kAttachDevice),
                                 session_.SessionIndex);
        hostLink_.CloseHostLink();
        Unload();
    }
}

void ScannerForm::StartNewRequest() {
    // A card swiped before a request (the previous customer's) is never this request's card.
    reader_.DiscardReports();
    requestEnded_ = false;
}

void ScannerForm::EndRequest() {
    requestEnded_ = true;
    if (ActiveTicks >= kTimeoutTicks) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        ReportStatus(status::kTimedOut);
    }
    ActiveTicks = 0;
    copy_.ScannerActive = false;
    desktop_.SetTimerEnabled(false);
    hostLink_.CloseHostLink();
    if (EntryState != LetterText(EntryLetter::NotActive)) {
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::NotActive, EntryText);
    }
    ClearCardLabels();
    SetStatus(status::kSearching);
}

}  // namespace ostrel
