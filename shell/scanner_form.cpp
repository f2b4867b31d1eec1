// The main window: creation and load, the menus, and starting and stopping the reader polling.
#include "shell/scanner_form.h"

#include <cstdlib>

#include "shell/status_texts.h"
#include "support/product.h"
#include "support/wipe.h"

namespace ostrel {

namespace {
constexpr const char* kBlank = " ";
}

ScannerForm::ScannerForm(OstrelCopy& copy)
    : copy_(copy),
      desktop_(copy.platform.desktop),
      store_(copy.store),
      table_(copy.table),
      hostLink_(copy.hostLink),
      reader_(copy.reader),
      log_(copy.log),
      session_(copy.session) {}

ScannerForm::~ScannerForm() {
    // Only a window that was loaded and never unloaded is still to be taken down.
    if (loaded_ && !unloaded_) {
        try {
            Form_Terminate();
        } catch (const std::exception&) {
        }
    }
}

void ScannerForm::Show() {
    // Each step counts as done once it has succeeded: after a failure and OK in the reset
    // dialog it is tried again, as a failed load is. A later copy hands its request over in its
    // load and ends there: the window nobody would see is not made first, so that the request
    // reaches the running copy without waiting for it.
    const bool handsOver = desktop_.PreviousInstance();
    if (!created_ && !handsOver) {
        desktop_.CreateMainWindow(*this);
        created_ = true;
    }
    if (!initialized_) {
        Form_Initialize();
        initialized_ = true;
    }
    if (!loaded_) {
        Form_Load();
        loaded_ = true;
    }
    if (!created_) {
        desktop_.CreateMainWindow(*this);
        created_ = true;
    }
    // The window's first display raises a resize, which sends it to the notification area.
    desktop_.ShowWindow(WindowShow::Show);
}

void ScannerForm::Unload() {
    Form_Unload();
}

void ScannerForm::Form_Initialize() {
    log_.LoggingOn = false;
    const bool on = store_.ReadSetting("Logging") == "Y";
    desktop_.SetMenuChecked(MenuItem::Logging, on);
    log_.LoggingOn = on;
}

void ScannerForm::Form_Load() {
    const bool secondCopy = desktop_.PreviousInstance();
    if (!secondCopy) {
        BlankSessionValues();
    }
    TakeEntry(table_.SessionHandshake(session_.SessionIndex, EntryLetter::Filed,
                                      session_.SessionText, "ON"));
    if (secondCopy) {
        // Hand the request to the running copy and end; nothing here may stop that.
        try {
            HandshakeReading handover;
            if (EntryState == LetterText(EntryLetter::Armed)) {
                handover = table_.SessionHandshake(session_.SessionIndex, EntryLetter::Deactivate,
                                                   EntryText, "OFF");
            } else if (EntryState == LetterText(EntryLetter::NotActive)) {
                handover = table_.SessionHandshake(session_.SessionIndex, EntryLetter::Reactivate,
                                                   EntryText, "OFF");
            } else {
                handover = table_.SessionHandshake(session_.SessionIndex, EntryLetter::Requested,
                                                   session_.SessionText, "OFF");
            }
            ReleaseHoldIfRefused(handover);
        } catch (const std::exception&) {
        }
        Unload();
    }
    ReleaseHoldIfRefused(table_.SessionHandshake(session_.SessionIndex, EntryLetter::Requested,
                                                 session_.SessionText, "OFF"));
    // The host's request is filed: a card swiped from now on is its own.
    requestEnded_ = false;
    const VersionInfo version = desktop_.Version();
    desktop_.SetWindowCaption(version.productName + " v. " + std::to_string(version.major) + "." +
                              std::to_string(version.minor) + "." +
                              std::to_string(version.revision));
    AddTrayIcon();
    ReaderState = ReaderPhase::NoDevice;
    StopPolling();
    ReleaseReader();
    // No wait here: a reader is opened only by the polling started next, so none has just been
    // let go that a device would need time for, and the window has nothing to settle but the
    // messages handled here.
    StartPolling();
    desktop_.DoEvents();
    desktop_.SetTimerEnabled(true);
    reader_.EditSwipe().WipeClearTracks();
}

// A refused handshake stores nothing, not even the release of the hold this load set at its
// registration: left "ON", every running copy would act on no request again.
void ScannerForm::ReleaseHoldIfRefused(const HandshakeReading& reading) {
    if (reading.refused) store_.Setting("NSesDly", "OFF");
}

void ScannerForm::TakeEntry(const HandshakeReading& reading) {
    if (reading.state) EntryState = *reading.state;
    if (reading.text) EntryText = *reading.text;
}

void ScannerForm::Form_Click() {
    desktop_.ShowWindow(WindowShow::Minimize);
}

void ScannerForm::Form_Resize() {
    desktop_.ShowWindow(WindowShow::Hide);
}

void ScannerForm::Form_Unload() {
    unloaded_ = true;
    RemoveTrayIcon();
    // The reader is let go here rather than by the end of the process: under Wine, a read left
    // pending by a process that ended keeps the device in the list after it is unplugged, and a
    // reader plugged in again is then never listed.
    reader_.CloseReader();
    reader_.CloseReadEvent();
    desktop_.EndProcess();
    std::abort();  // not reached: ending the process does not come back
}

void ScannerForm::Form_Terminate() {
    RemoveTrayIcon();
}

void ScannerForm::mnuLogging_Click() {
    const bool on = !desktop_.IsMenuChecked(MenuItem::Logging);
    desktop_.SetMenuChecked(MenuItem::Logging, on);
    log_.LoggingOn = on;
    store_.Setting("Logging", on ? "Y" : "N");
}

void ScannerForm::mnuAttach_Click() {
    StopPolling();
    ReleaseReader();
    reader_.EditSwipe().WipeMaskedTracks();
    ClearCardLabels();
    desktop_.Sleep(1000);
    BlankSessionValues();
    try {
        hostLink_.OpenHostLink(session_.SessionIndex);
    } catch (const std::exception&) {
    }
    ReportStatus(status::kAttachDevice);
    StartPolling();
    // The search goes on and reports, but no request is being served: nothing is read until a
    // host start files one, and then it times out as any request does.
    copy_.ScannerActive = false;
    ActiveTicks = 0;
    requestEnded_ = true;
}

void ScannerForm::mnuEnd_Click() {
    hostLink_.CloseHostLink();
    RemoveTrayIcon();
    Unload();
}

void ScannerForm::StartPolling() {
    reader_.InitReader();
    desktop_.SetTimerEnabled(true);
    SetStatus(status::kSearching);
    ReaderState = ReaderPhase::NoDevice;
}

void ScannerForm::StopPolling() {
    desktop_.SetTimerEnabled(false);
    reader_.CloseReader();
    reader_.CloseReadEvent();
}

void ScannerForm::ReleaseReader() {
    reader_.CloseReader();
    reader_.CloseReadEvent();
}

void ScannerForm::BlankSessionValues() {
    store_.Setting("MSconnect", kBlank);
    store_.Setting("cSesId", kBlank);
    store_.Setting("NSesDly", kBlank);
}

// lblCCno twice, as the window has always done it.
void ScannerForm::ClearCardLabels() {
    desktop_.SetLabel(Label::CCno, "");
    desktop_.SetLabel(Label::CCHolder, "");
    desktop_.SetLabel(Label::CCno, "");
    desktop_.SetLabel(Label::Exp, "");
    desktop_.SetLabel(Label::CCType, "");
}

void ScannerForm::SetStatus(const std::string& text) {
    desktop_.SetLabel(Label::Status, text);
}

void ScannerForm::MirrorStatus() {
    hostLink_.PutScreenField("CCSTATUS", DispArg::Text(desktop_.GetLabel(Label::Status)),
                             session_.SessionIndex);
}

void ScannerForm::ReportStatus(const std::string& text) {
    SetStatus(text);
    MirrorStatus();
}

// Called only where the program yields anyway: a modal box inside a handshake would let the
// timer's delivery rewrite the session table under it. The status label would not do: the
// window lives hidden, and the label is overwritten (and mirrored to the host) every pass.
void ScannerForm::TellLogFailure() {
    if (const auto notice = log_.TakeFailureNotice()) {
        desktop_.ShowMessageBox(*notice, kAppTitle, kMbOk | kMbIconExclamation);
    }
}

// An error that a window event's handler lets out is offered in the reset dialog's form:
// Cancel ends the program the normal way, OK lets go of the host and carries on.
template <class Handler>
void ScannerForm::Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        if (copy_.HostProgramEnded()) mnuEnd_Click();
        if (ShowResetDialog(desktop_, ToAppError(failure)) == kIdCancel) Unload();
        hostLink_.CloseHostLink();
    }
}

void ScannerForm::OnClick() {
    Guarded([this] { Form_Click(); });
}

void ScannerForm::OnResize() {
    Guarded([this] { Form_Resize(); });
}

// The icon's callback brings its mouse message as the x of a mouse move.
void ScannerForm::OnIconMessage(uint32_t mouseMessage) {
    Guarded([this, mouseMessage] { Form_MouseMove(static_cast<int32_t>(mouseMessage)); });
}

void ScannerForm::WithReader(const std::function<void()>& work) {
    EventGate& gate = copy_.gate;
    gate.ReaderWorkBegins();
    struct Done {
        EventGate& gate;
        ~Done() { gate.ReaderWorkEnds(); }
    } done{gate};
    work();
}

void ScannerForm::OnTimer() {
    Arrived(WindowEvent::Tick);
}

void ScannerForm::OnMenu(MenuItem item) {
    switch (item) {
        case MenuItem::Logging:
            Arrived(WindowEvent::Logging);
            break;
        case MenuItem::Attach:
            Arrived(WindowEvent::Attach);
            break;
        case MenuItem::End:
            Arrived(WindowEvent::End);
    }
}

void ScannerForm::OnCloseRequest() {
    Arrived(WindowEvent::Close);
}

void ScannerForm::OnYield() {
    TakeDueStep();
    RunHeld();
    // A request being served has a read pending for its card, and with no request open one is
    // pending too, to throw away what comes: one that was taken up, thrown away or not yet
    // started is started here rather than at the next tick.
    if (ReadsAtOnce() && !reader_.IsReadPending()) TakeUpReads();
}

bool ScannerForm::Reading() const {
    return ReaderState == ReaderPhase::Reading && reader_.IsOpen() && reader_.LayoutFitsReader();
}

bool ScannerForm::ReadingForRequest() const {
    return copy_.ScannerActive && Reading();
}

bool ScannerForm::ReadsAtOnce() const {
    if (!copy_.gate.Quiet() || !Reading()) return false;
    return copy_.ScannerActive ? !TickOnlyReads : requestEnded_;
}

// A pending read, while nothing else is under way: its completion is taken up (or thrown away)
// at once instead of at the next tick. Not while news in the session table waits for the loop.
std::uintptr_t ScannerForm::WakeHandle() {
    if (tableNews_ || !ReadsAtOnce() || readTried_ == reader_.ReadsStarted()) return 0;
    return reader_.ReadWaitHandle();
}

void ScannerForm::OnWake() {
    if (!WakeHandle()) return;
    // A menu command or close the clerk chose before the card came runs first, as it did when
    // reads waited for the timer's message, and the read goes as it decides: Clear/re&Attach
    // drops it, Exit ends the program.
    desktop_.DispatchCommands();
    if (!WakeHandle()) return;
    // A request filed meanwhile is acted on first: the card may have been swiped for it.
    if (TableNews()) return;
    readTried_ = reader_.ReadsStarted();
    TakeUpReads();
    RunHeld();
}

bool ScannerForm::TableNews() {
    if (!tableNews_) tableNews_ = store_.ChangedElsewhere({"cSesId", "NSesDly", "MSconnect"});
    return tableNews_;
}

void ScannerForm::TakeUpReads() {
    WithReader([this] { Guarded([this] { ReadSwipes(); }); });
}

// A HID device has come: the reader is looked for at the next yield rather than at the timer's
// next tick. Not here: Windows sends the message from another process and waits for the answer,
// and a control in another process refuses the calls made meanwhile.
void ScannerForm::OnDeviceArrival() {
    stepDue_ = true;
}

void ScannerForm::TakeDueStep() {
    if (stepDue_ && copy_.gate.Quiet()) {
        stepDue_ = false;
        copy_.gate.Take(WindowEvent::Tick);
    }
}

void ScannerForm::Arrived(WindowEvent event) {
    copy_.gate.Take(event);
    RunHeld();
}

void ScannerForm::RunHeld() {
    while (const std::optional<WindowEvent> event = copy_.gate.Next())
        Run(*event);
}

void ScannerForm::Run(WindowEvent event) {
    switch (event) {
        case WindowEvent::Tick:
            // A tick held while the timer was stopped is dropped, as a stopped timer's pending
            // WM_TIMER is.
            if (!desktop_.IsTimerEnabled()) return;
            WithReader([this] { Guarded([this] { Timer1_Timer(); }); });
            // A layout to load or an unusable reader to report waits for nothing: the next tick's
            // step is taken at the next yield rather than a second later.
            stepDue_ = ReaderState == ReaderPhase::SupportedReader ||
                       ReaderState == ReaderPhase::ImproperReader;
            break;
        case WindowEvent::Logging:
            Guarded([this] { mnuLogging_Click(); });
            break;
        case WindowEvent::Attach:
            Guarded([this] { mnuAttach_Click(); });
            break;
        case WindowEvent::End:
            Guarded([this] { mnuEnd_Click(); });
            break;
        case WindowEvent::Close:
            Guarded([this] { Unload(); });
            break;
    }
}

// Log-off, shutdown or an installer's request: leave as "E&xit" does, but without a word to the
// host. Windows sends the message from another process and waits for the answer: a control in
// another process refuses calls made meanwhile, and inside a host call the detach would be a
// call within a call. The host ends with the session anyway, so the link is let go undetached.
// What the next start relies on is done before the answer, as Windows may end the process once
// every window has answered; the icon and the window, which can take seconds, come after it.
// An error is no reason for a dialog nobody will answer.
void ScannerForm::OnEndSession() {
    try {
        hostLink_.DropHostLink();
        ResetSharedValues();
        ReleaseReader();
        desktop_.AnswerSentMessage();
        DeleteTrayIcon();
        Unload();
    } catch (const std::exception&) {
    }
    desktop_.EndProcess();
}

}  // namespace ostrel
