#pragma once
// The desktop through user32, shell32 and kernel32. The window's part lives in
// win32_window.cpp, the rest in win32_desktop.cpp.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/desktop.h"
#include "platform/win32/unique_handle.h"

namespace ostrel::win32 {

// The window's WM_TIMER id, and the WM_COMMAND ids of its "Tools" entries: what another
// program (a test) posts to act as the timer or the menu.
constexpr std::uintptr_t kTimerId = 1;
enum : uint32_t { kIdOptions = 100, kIdLogging, kIdAttach, kIdEnd };

// The desktop calls that need no window, shared with the programs that have none.
void PumpMessages();
// Also ends when wake, a handle, is set (none when null).
bool WaitForThreadMessage(uint32_t ms, void* wake = nullptr);
// Desktop::SleepUntilSet, for the desktops with a window and without.
int WaitForHandles(uint32_t ms, const std::vector<std::uintptr_t>& handles);
double LocalSecondsSinceMidnight();
int64_t PerformanceMicros();
std::string LocalTimeOfDayText();
// Today's local date, "2026-03-04".
std::string LocalDateText();
// Paths in UTF-8 (utf8_path.h).
std::string ModulePath();       // the executable's own
std::string ModuleDirectory();  // the executable's folder, without a trailing "\"
uint32_t AppendBytesToFile(const std::string& path, const std::string& bytes);
std::string ShownPathText(const std::string& path);

class Win32Desktop : public Desktop {
  public:
    Win32Desktop();
    ~Win32Desktop() override;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    void CreateMainWindow(WindowEvents& events) override;
    std::uintptr_t WindowHandle() override;
    std::uintptr_t WindowIcon() override;
    void SetWindowCaption(const std::string& caption) override;
    void ShowWindow(WindowShow how) override;
    bool IsWindowVisible() override;
    void SetLabel(Label label, const std::string& text) override;
    std::string GetLabel(Label label) override;
    void SetMenuChecked(MenuItem item, bool checked) override;
    bool IsMenuChecked(MenuItem item) override;
    void SetTimerEnabled(bool enabled) override;
    bool IsTimerEnabled() override;
    bool NotifyIcon(uint32_t message, const NotifyIconRecord& record) override;
    bool SetForegroundWindow(std::uintptr_t window) override;
    void PopupToolsMenu() override;

    int ShowMessageBox(const std::string& text, const std::string& caption,
                       uint32_t style) override;
    void DoEvents() override;
    void DispatchCommands() override;
    bool WaitForMessage(uint32_t ms) override;
    void Sleep(uint32_t ms) override;
    int SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) override;
    double SecondsSinceMidnight() override;
    int64_t MonotonicMicros() override;
    std::string TimeOfDayText() override;
    std::string DateText() override;

    bool PreviousInstance() override;
    std::string ExeDirectory() override;
    VersionInfo Version() override;
    uint32_t AppendToFile(const std::string& path, const std::string& bytes) override;
    std::string ShownPath(const std::string& path) override;
    void AnswerSentMessage() override;
    [[noreturn]] void EndProcess() override;

  private:
    // Held for this object's life, so later copies see it; declared first so that it is let go
    // only once the window is gone.
    UniqueHandle instanceMutex_;
    struct Window;  // the window's handles and state (win32_window.cpp)
    std::unique_ptr<Window> window_;
    bool previousInstance_ = false;
    // When a yield last found the queue empty; 0 once a wait has ended for a message.
    int64_t queueSeenEmptyMicros_ = 0;
};

}  // namespace ostrel::win32
