#pragma once
// A desktop for tests and demos, on a virtual clock: the pump moves the clock on by a small
// step, fires Timer1 when it is due and runs scripted events; waiting for a message moves the
// clock straight to the next of these or to the wait's end; message boxes answer from a
// script and are recorded; ending the process unwinds to the test.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop.h"
#include "support/product.h"

namespace ostrel::sim {

// Thrown by EndProcess. Deliberately no std::exception: no handler of the program catches it.
struct ProcessEnded {};

class SimDesktop : public Desktop {
  public:
    struct MessageBoxShown {
        std::string text;
        std::string caption;
        uint32_t style;
        int answer;
    };
    struct IconCall {
        uint32_t message;
        NotifyIconRecord record;
    };

    void CreateMainWindow(WindowEvents& events) override;
    std::uintptr_t WindowHandle() override { return events_ ? kWindow : 0; }
    std::uintptr_t WindowIcon() override { return events_ ? kIcon : 0; }
    void SetWindowCaption(const std::string& text) override { caption = text; }
    void ShowWindow(WindowShow how) override;
    bool IsWindowVisible() override { return visible; }
    void SetLabel(Label label, const std::string& text) override;
    std::string GetLabel(Label label) override { return labels[label]; }
    void SetMenuChecked(MenuItem item, bool checked) override { menuChecked[item] = checked; }
    bool IsMenuChecked(MenuItem item) override { return menuChecked[item]; }
    void SetTimerEnabled(bool enabled) override;
    bool IsTimerEnabled() override { return timerEnabled; }
    bool NotifyIcon(uint32_t message, const NotifyIconRecord& record) override;
    bool SetForegroundWindow(std::uintptr_t window) override;
    void PopupToolsMenu() override;

    int ShowMessageBox(const std::string& text, const std::string& caption,
                       uint32_t style) override;
    void DoEvents() override;
    void DispatchCommands() override;
    bool WaitForMessage(uint32_t ms) override;
    void Sleep(uint32_t ms) override { PassTime(int64_t{ms} * 1000); }
    int SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) override;
    double SecondsSinceMidnight() override;
    int64_t MonotonicMicros() override { return nowMicros; }
    std::string TimeOfDayText() override;
    std::string DateText() override { return date; }

    bool PreviousInstance() override { return previousInstance; }
    std::string ExeDirectory() override { return exeDirectory; }
    VersionInfo Version() override { return version; }
    uint32_t AppendToFile(const std::string& path, const std::string& bytes) override;
    // As an ANSI code page that holds ASCII only would: each other character becomes "?".
    std::string ShownPath(const std::string& path) override;
    void AnswerSentMessage() override;
    [[noreturn]] void EndProcess() override;

    // Test side.
    // Runs action in the pump once the clock has reached at (microseconds).
    void At(int64_t at, std::function<void()> action);
    // A "Tools" entry chosen, or the window's close asked for, at that moment: posted to the
    // window, so it arrives with the pump like any message, and with DispatchCommands.
    void PostMenu(int64_t at, MenuItem item);
    void PostClose(int64_t at);
    // Messages the system sends from another process: a device of a class the program
    // registered for arrives (WM_DEVICECHANGE), the user's session ends (WM_ENDSESSION). They
    // are dispatched where the pump runs, DispatchCommands too, as a thread's pending sent
    // messages are by any look at its queue; InSentMessage holds while one is handled.
    void SendDeviceArrival(int64_t at);
    void SendEndSession(int64_t at);
    bool InSentMessage() const { return sentDepth_ > 0; }
    // Runs action when the clock reaches at, whatever the program is doing then (pumping,
    // waiting, sleeping, waiting for a host's answer): something outside it, a card swiped.
    // Things outside due at the same moment have all happened once the program looks.
    void AtOutside(int64_t at, std::function<void()> action);
    // The clock moves on by micros, with the outside events due meanwhile, as in a sleep.
    void PassTime(int64_t micros);
    WindowEvents* Events() const { return events_; }
    // Whether a handle that the program's waits wake for (WindowEvents::WakeHandle, and those
    // SleepUntilSet is given) is set; with none given, no wait wakes for one.
    std::function<bool(std::uintptr_t)> handleSet;

    static constexpr std::uintptr_t kWindow = 0x10010;
    static constexpr std::uintptr_t kIcon = 0x20020;

    // The clock.
    int64_t nowMicros = 0;
    double clockStartSeconds = 9 * 3600;  // time of day when the clock reads 0
    std::string date = "2026-03-04";      // today, as DateText gives it
    int64_t pumpStepMicros = 1000;        // how far one round of the pump moves the clock
    int doEventsCount = 0;
    int messageWaits = 0;  // calls of WaitForMessage
    int wakes = 0;         // OnWake reports
    std::function<void()> onDoEvents;

    // The window.
    std::string caption;
    bool visible = false;
    bool minimized = false;
    std::map<Label, std::string> labels;
    std::vector<std::string> statusHistory;                   // every text set on the status label
    std::vector<std::pair<Label, std::string>> labelHistory;  // and on the other labels
    std::map<MenuItem, bool> menuChecked;
    bool timerEnabled = false;
    int64_t nextTickMicros = 0;
    int timerTicks = 0;
    std::function<void()> afterTick;  // once each tick's handler has returned
    std::vector<IconCall> iconCalls;
    bool iconPresent = false;
    int foregroundCalls = 0;
    int popups = 0;
    std::optional<MenuItem> popupChoice;  // what the next pop-up menu chooses, if anything

    // Message boxes.
    std::vector<MessageBoxShown> messageBoxes;
    std::deque<int> answers;  // pressed in turn; the first button when the script runs out
    std::function<void(const MessageBoxShown&)> onMessageBox;  // while a box waits for its answer

    // The process.
    bool previousInstance = false;
    int failWindowCreations = 0;  // so many creations of the main window fail
    bool ended = false;
    int sentAnswered = 0;                  // sent messages answered from inside their handler
    std::function<void()> onSentAnswered;  // called as one is
    std::function<void()> onEnd;           // called as the process ends, before anything unwinds
    std::string exeDirectory = "C:\\Ostrel";
    VersionInfo version{kProductName, kVersionMajor, kVersionMinor, kVersionRevision};
    std::map<std::string, std::string> files;         // by full path
    std::map<std::string, uint32_t> directoryErrors;  // appends below a directory fail so
    // Another program (an antivirus scanner, a backup) holds the file without sharing it until
    // then: appends fail with ERROR_SHARING_VIOLATION.
    std::map<std::string, int64_t> heldUntil;
    static constexpr uint32_t kErrorSharingViolation = 32;

  private:
    // How a scripted event reaches the window: from the queue, as a menu command or close
    // request (posted, and looked for on their own), or sent by another process.
    enum class Kind { Posted, Command, Sent };
    struct Scripted {
        int64_t at;
        std::function<void()> action;
        Kind kind = Kind::Posted;
    };

    // Runs the scripted events due by now, each taken off the script before it runs (it may
    // pump again); with commandsOnly, only the commands and the sent messages.
    void RunDue(bool commandsOnly);
    void Send(int64_t at, std::function<void()> handler);

    // The clock to until, with the outside events due by then; stops early once one of the
    // handles is set, and returns its index (-1 when none was). With forMessages, also once an
    // outside event has posted a message: handles.size() then.
    int PassTimeUntil(int64_t until, const std::vector<std::uintptr_t>& handles,
                      bool forMessages = false);
    int FirstSet(const std::vector<std::uintptr_t>& handles) const;
    // Runs the outside events due by now.
    void RunOutsideDue();
    std::uintptr_t WakeHandle() const;

    WindowEvents* events_ = nullptr;
    bool shownBefore_ = false;
    int sentDepth_ = 0;
    std::vector<Scripted> script_;
    std::vector<Scripted> outside_;
};

}  // namespace ostrel::sim
