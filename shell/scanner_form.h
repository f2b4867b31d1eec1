#pragma once
// The program's only window and the copy of the program around it. The window's work is split
// by concern: scanner_form.cpp (load, menus, polling), tray_icon.cpp (notification icon),
// polling_timer.cpp (the reader timer), scan_loop.cpp (serving host requests) and
// swipe_interpretation.cpp (what the window does with a swipe's card fields).
#include <cstdint>
#include <functional>
#include <string>

#include "carddata/card_fields.h"
#include "hostlink/host_link.h"
#include "hostlink/program_check.h"
#include "hostlink/session_table.h"
#include "platform/app_error.h"
#include "platform/platform.h"
#include "reader/card_reader.h"
#include "reader/reader_statistics.h"
#include "shell/command_line.h"
#include "shell/event_gate.h"
#include "shell/program_events.h"
#include "support/process_log.h"
#include "support/registry_store.h"
#include "support/wipe.h"

namespace ostrel {

class OstrelCopy;

// Where the polling timer stands with the reader. The numbers are those the loop and the
// timer have always compared.
enum class ReaderPhase : int16_t {
    NoDevice = 0,           // no HID device listed, or the search just (re)started
    DevicePresent = 1,      // a HID device listed: the reader's kind is looked at next
    SupportedReader = 2,    // a reader to use: its report layout is prepared next
    ImproperReader = 3,     // a reader that cannot be used: reported next
    Reading = 4,            // reading swipes
    ImproperReported = 5,   // reported; nothing more happens
    UnsupportedReader = 9,  // no reader of ours: the loop ends the program
};

class ScannerForm : public WindowEvents {
  public:
    explicit ScannerForm(OstrelCopy& copy);
    ~ScannerForm() override;
    ScannerForm(const ScannerForm&) = delete;
    ScannerForm& operator=(const ScannerForm&) = delete;

    // Creates (first time) and loads (until a load has completed) the window, then shows it.
    void Show();
    // Unloads the window, which ends the program.
    [[noreturn]] void Unload();
    bool Created() const { return created_; }

    // Public methods.
    [[noreturn]] void ProcLoop();
    void DisplayMSRResults();

    // Event handlers.
    void Form_Initialize();
    void Form_Load();
    void Form_Click();
    void Form_Resize();
    void Form_MouseMove(int32_t x);
    [[noreturn]] void Form_Unload();
    void Form_Terminate();
    void Timer1_Timer();
    // The timer's reading branch: a completed read is shown, decoded and delivered. Returns
    // whether there was one; a read not yet complete is left pending, or started.
    bool ReadSwipe();
    void mnuLogging_Click();
    void mnuAttach_Click();
    [[noreturn]] void mnuEnd_Click();

    // Window fields.
    ReaderPhase ReaderState = ReaderPhase::NoDevice;
    std::string EntryState;
    std::string EntryText;
    std::string DelayMode;
    int16_t ActiveTicks = 0;
    CardFields Card;          // the last swipe's, as far as it was read
    CardText HostCardNumber;  // what the host read back
    // Completed reads are looked at on the timer's ticks only, not taken up as they complete:
    // OSTREL_TICK_ONLY_READS=1 at start, for a benchmark to compare.
    bool TickOnlyReads = false;

  private:
    // WindowEvents: each runs its handler so that no error escapes into the window procedure.
    void OnClick() override;
    void OnResize() override;
    void OnIconMessage(uint32_t mouseMessage) override;
    void OnTimer() override;
    void OnMenu(MenuItem item) override;
    void OnCloseRequest() override;
    void OnEndSession() override;
    void OnYield() override;
    std::uintptr_t WakeHandle() override;
    void OnWake() override;
    void OnDeviceArrival() override;
    template <class Handler>
    void Guarded(Handler&& handler);
    // An event through the gate, and then whatever it held that may run now.
    void Arrived(WindowEvent event);
    // The reader's next step, when one is due and nothing is under way: held to run now.
    void TakeDueStep();
    void RunHeld();
    void Run(WindowEvent event);

    void StartPolling();
    // " " in the values every copy shares: an empty session table, no caller, no hold.
    void BlankSessionValues();
    void ClearCardLabels();
    void StopPolling();
    void ReleaseReader();
    void AddTrayIcon();
    // The shared values reset, then the icon deleted.
    void RemoveTrayIcon();
    void ResetSharedValues();
    void DeleteTrayIcon();

    // The caller's entry as a handshake read it, into EntryState and EntryText.
    void TakeEntry(const HandshakeReading& reading);
    void ReleaseHoldIfRefused(const HandshakeReading& reading);

    // Scan session loop pieces.
    bool WaitForReader();
    bool SwipeRequested();
    void ServeFiledSession(const HandshakeReading& reading, bool afterReactivation);
    void ActOnRequest(bool afterReactivation);
    void ServeActive();
    void StartNewRequest();
    void EndRequest();
    // The pass's sleep; a read that completes meanwhile is taken up in it.
    void PassSleep(uint32_t ms);

    // The reader reading: open, its layout loaded for it.
    bool Reading() const;
    // Reads for a request being served: the reader reading, armed for the request.
    bool ReadingForRequest() const;
    // Reads are taken up (for a request being served) or thrown away (with no request open) as
    // they complete, and nothing else is under way.
    bool ReadsAtOnce() const;
    // Whether another copy has written to the session table since this pass read it: a request
    // filed. Once seen, it stays news until the next pass reads the table.
    bool TableNews();
    // Throws away the reports that have come, and leaves the next read pending.
    void DropReports();
    // Takes up the reports that have come; with reads taken up at once, leaves the next read
    // pending rather than starting it at the next tick.
    void ReadSwipes();
    // ReadSwipes as reader work, with its errors offered as a tick's are.
    void TakeUpReads();

    // The reader's statistics: the reader taken (and told of when it is another than the one
    // taken last), a swipe counted once it has been handled, and what the events name it by.
    void NoteReaderTaken();
    void CountSwipe();
    std::string ReaderNamed();

    // Swipe interpretation and hand-off.
    CardText Track1Text() const;
    bool InterpretSwipe(std::string& stepLabel);
    void VerifyDelivery();
    void ClearCardFields();
    void FailureExit(const std::string& stepLabel, const AppError* unexpected);
    // Overwrites a swipe's data once it has been used: the reader's buffers and track texts,
    // and the card fields that no later swipe reads.
    void WipeSwipe();
    // A text that may quote the card (a host's error) with the card's digits masked.
    std::string CardMasked(const std::string& text) const;

    // The status label, and its mirror in the host's "CCSTATUS" field.
    void SetStatus(const std::string& text);
    void MirrorStatus();
    // The mirror where the host link is open: the timer never attaches to the host itself.
    void MirrorIfLinked();
    void ReportStatus(const std::string& text);
    // Tells the clerk, once per run, that log lines are being lost.
    void TellLogFailure();

    OstrelCopy& copy_;
    Desktop& desktop_;
    RegistryStore& store_;
    SessionTable& table_;
    HostLinkControl& hostLink_;
    CardReader& reader_;
    ProcessLog& log_;
    SessionGlobals& session_;

    // Work that uses the reader and yields meanwhile (a timer tick, the loop's search): the
    // gate keeps ticks and "Clear/re&Attach" out of it.
    void WithReader(const std::function<void()>& work);

    NotifyIconRecord icon_;
    bool created_ = false;
    bool initialized_ = false;
    bool loaded_ = false;
    bool unloaded_ = false;
    // No request has been served since the last one ended (or ever): the next arming is a new
    // request's, and reports that came before it are thrown away.
    bool requestEnded_ = true;
    // The read whose completion was last looked for on a wake (CardReader::ReadsStarted): once
    // per read, so a handle that stays set cannot keep the waits awake.
    uint64_t readTried_ = 0;
    // The reader's next step waits for nothing: it is taken at the next yield.
    bool stepDue_ = false;
    // This pass re-activated the request: the next one acts on the swipe request it filed.
    bool reactivated_ = false;
    // Another copy wrote to the session table after this pass read it (TableNews).
    bool tableNews_ = false;
    // How the swipe being handled went for the reader, and whether its card reached the host:
    // counted once it has been handled.
    std::optional<SwipeOutcome> swipeOutcome_;
    bool swipeDelivered_ = false;
};

// One running copy of the program: its platform, its module-level state and its window.
class OstrelCopy {
  public:
    explicit OstrelCopy(const Platform& platform);

    // The entry routine for the host's argument. It ends only by ending the process.
    [[noreturn]] void Main(const std::string& argumentText);
    // Whether the host program has ended, or ends within a second: an error then came from
    // its control going with it, and no reset can bring that back.
    bool HostProgramEnded();

    Platform platform;
    RegistryStore store;
    ProcessLog log;
    ProgramEvents events;
    SessionTable table;
    EventGate gate;  // which window events may run now; told of every host call
    HostLinkControl hostLink;
    CardReader reader;
    ReaderStatistics statistics;
    SessionGlobals session;
    ProgramWatch hostWatch;  // is the host program still running?
    bool ScannerActive = false;
    ScannerForm form;
};

// The reset dialog: the error and an offer to reset (OK) or end (Cancel). Returns the answer.
int ShowResetDialog(Desktop& desktop, const AppError& error);

}  // namespace ostrel
