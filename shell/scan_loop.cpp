// ProcLoop: serves the host's requests from the session table, about twice a second, for the
// rest of the program's life.
#include <utility>

#include "hostlink/program_check.h"
#include "shell/scanner_form.h"
#include "shell/status_texts.h"
#include "support/wipe.h"
#include "support/text_util.h"

namespace ostrel {

namespace {
// The reader wait lasts about 11 s, as its eleven 1 s rounds always did; a reader first seen in
// the last of them, from the tenth second on, still counts as missing.
constexpr int64_t kReaderWaitMicros = 11'000'000;
constexpr int64_t kReaderSeenByMicros = 10'000'000;
constexpr uint32_t kPassMs = 500;
constexpr int16_t kTimeoutTicks = 30;
}  // namespace

void ScannerForm::ProcLoop() {
    desktop_.SetTimerEnabled(true);
    if (!WaitForReader() || ReaderState == ReaderPhase::UnsupportedReader) {
        if (ReaderState == ReaderPhase::UnsupportedReader) {
            copy_.events.ReaderNotUsable(reader_.MakersDeviceListed(), true, ReaderNamed());
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
        // Set again only by a pass that re-activates.
        const bool afterReactivation = std::exchange(reactivated_, false);
        // The table is read afresh: what another copy wrote is news no longer.
        tableNews_ = false;
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
            if (!reading.unreadable) ServeFiledSession(reading, afterReactivation);
        }
        TellLogFailure();
        desktop_.DoEvents();
        // The swipe request a re-activation has just filed is acted on in a pass that comes at
        // once: the prompt follows "Ostrel re-activated." without a pass's wait.
        PassSleep(reactivated_ && SwipeRequested() ? 0 : kPassMs);
        if (!copy_.hostWatch.isPgmActive(copy_.platform.processes, desktop_, kHostProgram)) {
            mnuEnd_Click();
        }
    }
}

// The reader wait: a look at once, then the timer's looks (once a second) and one whenever a
// HID device arrives, until a reader is seen or the time is up. True when one was seen in time.
bool ScannerForm::WaitForReader() {
    reader_.WatchArrivals();
    const int64_t start = desktop_.MonotonicMicros();
    Arrived(WindowEvent::Tick);
    for (;;) {
        const int64_t waited = desktop_.MonotonicMicros() - start;
        if (ReaderState != ReaderPhase::NoDevice) return waited < kReaderSeenByMicros;
        if (waited >= kReaderWaitMicros) return false;
        // A device's arrival, handled in the last yield, has the search looked at in the next.
        if (!stepDue_)
            desktop_.WaitForMessage(
                static_cast<uint32_t>((kReaderWaitMicros - waited + 999) / 1000));
        desktop_.DoEvents();
    }
}

void ScannerForm::PassSleep(uint32_t ms) {
    // The pass keeps its length: the sleep ends when it would have, or as soon as the read's
    // work is done if that took longer. It ends early for news: a request another copy filed,
    // or the host gone (the check after the sleep then ends the program).
    const int64_t end = desktop_.MonotonicMicros() + int64_t{ms} * 1000;
    // A device that arrived in the pass's last yield is looked for now, not a pass later.
    TakeDueStep();
    RunHeld();
    for (;;) {
        if (TableNews()) return;
        const int64_t left = end - desktop_.MonotonicMicros();
        if (left <= 0) return;
        enum { kRead, kKeyChanged, kHostEnded };
        const int woken = desktop_.SleepUntilSet(
            static_cast<uint32_t>((left + 999) / 1000),
            {WakeHandle(), store_.ChangeEvent(), copy_.hostWatch.EndHandle()});
        if (woken < 0 || woken == kHostEnded) return;
        if (woken == kRead) OnWake();
    }
}

// Whether the table holds a swipe request for the session served.
bool ScannerForm::SwipeRequested() {
    const std::optional<std::string> table = store_.ReadSetting("MSconnect");
    const std::optional<std::string> id = EntryIdOf(session_.SessionIndex);
    if (!table || !id) return false;
    for (const TableEntry& entry : ParseSessionTable(*table)) {
        if (entry.IsSession() && entry.id == *id)
            return entry.state == LetterText(EntryLetter::Requested);
    }
    return false;
}

void ScannerForm::ServeFiledSession(const HandshakeReading& reading, bool afterReactivation) {
    TakeEntry(reading);
    DelayMode = reading.delayMode.value_or("");
    if (DelayMode == "ON") return;
    ActOnRequest(afterReactivation);
    const std::string info = hostLink_.GetSessionInfo(session_.SessionIndex);
    const bool active = ToUpper(info) == ToUpper(EntryText) && ActiveTicks < kTimeoutTicks + 1;
    if (active) {
        ServeActive();
    } else {
        EndRequest();
    }
    ++ActiveTicks;
}

void ScannerForm::ActOnRequest(bool afterReactivation) {
    const std::string request = ToUpper(EntryState);
    if (request == LetterText(EntryLetter::Reactivate)) {
        // The request begins here: a card swiped from now on is its own, even before the
        // prompt shows.
        StartNewRequest();
        hostLink_.OpenHostLink(session_.SessionIndex);
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::Requested, EntryText);
        ClearCardFields();
        ReportStatus(status::kReactivated);
        WithReader([this] { reader_.OpenReader(); });
        reactivated_ = true;
    } else if (request == LetterText(EntryLetter::Deactivate)) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        table_.SessionHandshake(session_.SessionIndex, EntryLetter::NotActive, EntryText);
        ClearCardFields();
        ReportStatus(status::kDeactivated);
        hostLink_.CloseHostLink();
    } else if (request == LetterText(EntryLetter::Requested) ||
               request == LetterText(EntryLetter::Filed) || request.empty()) {
        // The request begins here, or at the re-activation that filed it: a card swiped from
        // then on is its own, even before the prompt shows.
        if (!afterReactivation) StartNewRequest();
        hostLink_.OpenHostLink(session_.SessionIndex);
        ClearCardFields();
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
        // swiped meanwhile is not for it, unless a request was filed meanwhile too.
        if (requestEnded_) {
            if (!TableNews()) reader_.DiscardReports();
            StartNewRequest();
        }
        // A card kept for the request while it was not yet armed is taken up at once.
        readTried_ = 0;
        desktop_.SetTimerEnabled(true);
        reader_.EditSwipe().WipeClearTracks();
    }
    desktop_.DoEvents();
    if (ReaderState == ReaderPhase::UnsupportedReader) {
        copy_.events.ReaderNotUsable(reader_.MakersDeviceListed(), true, ReaderNamed());
        hostLink_.OpenHostLink(session_.SessionIndex);
        hostLink_.PutScreenField("CCSTATUS", DispArg::Text(status::kAttachDevice),
                                 session_.SessionIndex);
        hostLink_.CloseHostLink();
        Unload();
    }
}

// A card swiped before a request (the previous customer's) is never this request's card: with no
// request open, each was thrown away as it came. What waits now came after the table was last
// read without news, so after the request was filed or in the same moment, and it is kept.
void ScannerForm::StartNewRequest() {
    requestEnded_ = false;
}

void ScannerForm::EndRequest() {
    requestEnded_ = true;
    if (ActiveTicks >= kTimeoutTicks) {
        hostLink_.OpenHostLink(session_.SessionIndex);
        ReportStatus(status::kTimedOut);
        copy_.statistics.CountTimedOut();
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
