#pragma once
// The desktop of a console program (the diagnostics tool): no window, no notification icon and
// no claim to be a copy of the program, so that the program started beside it is not taken for
// a second copy. Messages, clocks and files are the program's own calls.
#include "platform/desktop.h"

namespace ostrel::win32 {

class ConsoleDesktop : public Desktop {
  public:
    void CreateMainWindow(WindowEvents&) override {}
    std::uintptr_t WindowHandle() override { return 0; }
    std::uintptr_t WindowIcon() override { return 0; }
    void SetWindowCaption(const std::string&) override {}
    void ShowWindow(WindowShow) override {}
    bool IsWindowVisible() override { return false; }
    void SetLabel(Label, const std::string&) override {}
    std::string GetLabel(Label) override { return ""; }
    void SetMenuChecked(MenuItem, bool) override {}
    bool IsMenuChecked(MenuItem) override { return false; }
    void SetTimerEnabled(bool) override {}
    bool IsTimerEnabled() override { return false; }
    bool NotifyIcon(uint32_t, const NotifyIconRecord&) override { return false; }
    bool SetForegroundWindow(std::uintptr_t) override { return false; }
    void PopupToolsMenu() override {}

    // Written to the error stream: a console program has no one to press a button.
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       uint32_t style) override;
    void DoEvents() override;
    void DispatchCommands() override {}  // no window, no menu
    bool WaitForMessage(uint32_t ms) override;
    void Sleep(uint32_t ms) override;
    int SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) override;
    double SecondsSinceMidnight() override;
    int64_t MonotonicMicros() override;
    std::string TimeOfDayText() override;
    std::string DateText() override;

    bool PreviousInstance() override { return false; }
    std::string ExeDirectory() override;
    VersionInfo Version() override { return {}; }
    uint32_t AppendToFile(const std::string& path, const std::string& bytes) override;
    std::string ShownPath(const std::string& path) override;
    void AnswerSentMessage() override {}  // no window: no message is ever sent to it
    [[noreturn]] void EndProcess() override;
};

}  // namespace ostrel::win32
