#pragma once
// The desktop services the program uses: its one window with labels, menu, timer and
// notification icon; message boxes and the message pump; clocks and sleep; the executable's
// place, its version and whether another copy was running at start; files; ending.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// MessageBox styles and answers.
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbIconCritical = 0x10;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The main window's labels, as its layout places them.
enum class Label { CompName, Status, CCHolder, CCno, CCType, Exp };
// The "Tools" menu's entries that act.
enum class MenuItem { Logging, Attach, End };
enum class WindowShow { Hide, Show, Minimize, Normal };

// Shell_NotifyIconA messages and the mouse messages its callback carries.
constexpr uint32_t kNimAdd = 0;
constexpr uint32_t kNimDelete = 2;
constexpr uint32_t kWmMouseMove = 0x200;
constexpr uint32_t kWmLButtonDblClk = 0x203;
constexpr uint32_t kWmRButtonUp = 0x205;
// The message the icon's callback arrives as: one of the program's own (WM_APP + 1). A mouse
// message number would be taken for the mouse moving over the window, whose x can reach 515
// and 517 once the window is wide enough (from 168 DPI up).
constexpr uint32_t kIconCallbackMessage = 0x8001;

// NOTIFYICONDATAA in its first form: 88 bytes in a 32-bit program, 104 in a 64-bit one.
struct NotifyIconRecord {
    uint32_t cbSize = 0;
    std::uintptr_t hWnd = 0;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0;
    char szTip[64] = {};
};
constexpr uint32_t kNotifyIconRecordSize = sizeof(NotifyIconRecord);

struct VersionInfo {
    std::string productName;
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// What the window reports. Each handler runs inside the pump (DoEvents, a modal box or
// menu); it must not let an exception escape into the window procedure.
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    virtual void OnClick() = 0;   // the client area was clicked
    virtual void OnResize() = 0;  // any size change, minimising too
    // The notification icon's callback (kIconCallbackMessage): the mouse message that happened
    // on the icon (kWmLButtonDblClk, ...). The mouse over the window itself is not reported.
    virtual void OnIconMessage(uint32_t mouseMessage) = 0;
    virtual void OnTimer() = 0;              // Timer1's tick
    virtual void OnMenu(MenuItem item) = 0;  // a "Tools" entry was chosen
    virtual void OnCloseRequest() = 0;       // the window's close box
    // The user's session ends (log-off, shutdown) or an installer has the program closed: the
    // process may be ended as soon as this returns, and no dialog is waited for.
    virtual void OnEndSession() = 0;
    // The program yields (DoEvents), before the pending messages are dispatched: what an
    // event handler held back may run now.
    virtual void OnYield() {}
    // A handle whose signal the program's waits should wake for now (a pending read of the
    // card reader), 0 for none. Asked at each wait, so that it may change between them.
    virtual std::uintptr_t WakeHandle() { return 0; }
    // The wake handle was found set: in DoEvents, before the pending messages are dispatched.
    virtual void OnWake() {}
    // A device of a class the program asked to hear of has arrived (WM_DEVICECHANGE).
    virtual void OnDeviceArrival() {}
};

class Desktop {
  public:
    virtual ~Desktop() = default;

    // The main window: created hidden, laid out with its labels (initial texts), rule and
    // "Tools" menu, its timer off. Events go to events until the process ends.
    virtual void CreateMainWindow(WindowEvents& events) = 0;
    virtual std::uintptr_t WindowHandle() = 0;
    virtual std::uintptr_t WindowIcon() = 0;
    virtual void SetWindowCaption(const std::string& caption) = 0;
    virtual void ShowWindow(WindowShow how) = 0;
    virtual bool IsWindowVisible() = 0;
    virtual void SetLabel(Label label, const std::string& text) = 0;
    virtual std::string GetLabel(Label label) = 0;
    virtual void SetMenuChecked(MenuItem item, bool checked) = 0;
    virtual bool IsMenuChecked(MenuItem item) = 0;
    // Timer1: ticks every 1000 ms while enabled.
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual bool IsTimerEnabled() = 0;
    // Shell_NotifyIconA; the backend adds the icon again when the taskbar is re-created.
    virtual bool NotifyIcon(uint32_t message, const NotifyIconRecord& record) = 0;
    virtual bool SetForegroundWindow(std::uintptr_t window) = 0;
    // Opens "Tools" as a pop-up menu at the mouse position; a choice arrives as OnMenu.
    virtual void PopupToolsMenu() = 0;

    // A modal message box; returns the button pressed.
    virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                               uint32_t style) = 0;
    // Tells the window's events that the program yields (OnYield) and, when their wake handle
    // is set, that too (OnWake); then dispatches every pending window message and returns.
    virtual void DoEvents() = 0;
    // Dispatches the menu commands and close requests already queued for the window (WM_COMMAND,
    // WM_CLOSE) and no other message: what the user chose before a completed read is taken up.
    virtual void DispatchCommands() = 0;
    // Sleeps until a window message is ready to be dispatched, the window events' wake handle
    // is set, or ms milliseconds have passed (MsgWaitForMultipleObjects); dispatches nothing.
    // True when woken early, also by a message that was already waiting.
    virtual bool WaitForMessage(uint32_t ms) = 0;
    // Blocks the thread; no message is dispatched meanwhile.
    virtual void Sleep(uint32_t ms) = 0;
    // As Sleep, but ends as soon as one of the handles is set (WaitForMultipleObjects, any):
    // returns its index then, -1 when the time has passed. A 0 in the list is never set.
    virtual int SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) = 0;
    // Seconds since midnight, with a fraction; starts again at 0 at midnight.
    virtual double SecondsSinceMidnight() = 0;
    // A clock that only moves forward, in microseconds from an arbitrary start.
    virtual int64_t MonotonicMicros() = 0;
    // The time of day as the system formats a time.
    virtual std::string TimeOfDayText() = 0;
    // Today's local date, "2026-03-04" (GetLocalTime).
    virtual std::string DateText() = 0;

    // Whether another copy of the program was running when this one started.
    virtual bool PreviousInstance() = 0;
    // Paths are UTF-8 (the ANSI code page cannot hold every folder's name: a user profile's may
    // be in any script); the program's texts, the product name among them, are ANSI.
    // The directory of the program's executable, without a trailing "\".
    virtual std::string ExeDirectory() = 0;
    // Product name and version from the executable's version resource.
    virtual VersionInfo Version() = 0;
    // Appends bytes to a file, creating it when missing; returns 0 or a Windows error code.
    virtual uint32_t AppendToFile(const std::string& path, const std::string& bytes) = 0;
    // A path as a text shows it: in the ANSI code page, a character it cannot hold as "?".
    virtual std::string ShownPath(const std::string& path) = 0;
    // Answers (with 0) the message another thread sent that the window handles now, before the
    // handler returns (ReplyMessage): its sender waits no longer, and may end the process.
    virtual void AnswerSentMessage() = 0;
    // Ends the process at once. Does not return.
    [[noreturn]] virtual void EndProcess() = 0;
};

}  // namespace ostrel
