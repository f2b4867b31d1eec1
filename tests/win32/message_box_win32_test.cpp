// The program's message boxes over another program that the clerk works in, maximised.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/win32/win32_desktop.h"
#include "tests/win32/no_events.h"
#include "tests/win32/windows_under_test.h"

namespace ostrel::win32 {
namespace {

// A box as another thread saw it while it was up, before pressing the button.
struct BoxSeen {
    int answer = 0;
    bool topmost = false;
    bool aboveOther = false;
    std::string text;
};

BoxSeen WatchBox(const char* caption, int button, HWND other, const std::function<int()>& show) {
    BoxSeen seen;
    std::thread presser([&] {
        HWND box = nullptr;
        if (!WaitFor([&] { return IsWindowVisible(box = FindWindowA("#32770", caption)); }, 5000))
            return;
        seen.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        for (HWND below = GetWindow(box, GW_HWNDNEXT); below; below = GetWindow(below, GW_HWNDNEXT))
            seen.aboveOther = seen.aboveOther || below == other;
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen.text = text;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    });
    seen.answer = show();
    presser.join();
    return seen;
}

TEST(MessageBoxWin32, EveryKindComesUpTopmostAboveAMaximisedProgramInFront) {
    Win32Desktop desktop;
    NoEvents events;
    desktop.CreateMainWindow(events);  // hidden, as the program lives
    const auto window = reinterpret_cast<HWND>(desktop.WindowHandle());

    char self[MAX_PATH];
    std::string tests(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    tests.resize(tests.rfind('\\'));
    std::string line = "\"";
    line += tests + "\\helpers\\idle_window.exe\" shown";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_MAXIMIZE;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    CloseHandle(info.hThread);
    HWND other = nullptr;
    // Closed however the test ends.
    const auto close = [&](HANDLE process) {
        if (other) PostMessageA(other, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
        CloseHandle(process);
    };
    const std::unique_ptr<void, decltype(close)> process(info.hProcess, close);
    ASSERT_TRUE(WaitFor(
        [&] {
            other = WindowOf(info.dwProcessId, "IdleWindow");
            return other && IsZoomed(other) && GetForegroundWindow() == other;
        },
        5000));

    // Wine's message box takes neither MB_TOPMOST nor MB_SETFOREGROUND; it comes up in front
    // whatever its flags.
    const bool topmostBoxes = WatchBox("probe", IDOK, other, [] {
                                  return MessageBoxA(nullptr, "", "probe", MB_OK | MB_TOPMOST);
                              }).topmost;
    struct Box {
        uint32_t style;
        int button;
    };
    const Box boxes[] = {
        {kMbOk, IDOK},                              // the refusal of a second session
        {kMbOk | kMbIconCritical, IDOK},            // the scanning error
        {kMbOkCancel | kMbIconCritical, IDCANCEL},  // the reset dialog
    };
    for (const Box& box : boxes) {
        SCOPED_TRACE(box.style);
        const BoxSeen seen = WatchBox("Ostrel box", box.button, other, [&] {
            return desktop.ShowMessageBox("Swipe the card again.", "Ostrel box", box.style);
        });
        EXPECT_EQ(seen.answer, box.button);
        EXPECT_EQ(seen.text, "Swipe the card again.");
        EXPECT_TRUE(seen.aboveOther);
        EXPECT_TRUE(seen.topmost || !topmostBoxes);
        EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    }
    if (!topmostBoxes)
        GTEST_SKIP() << "this system makes no message box topmost (MB_TOPMOST ignored): whether "
                        "the program's are is left to one that does";
}

}  // namespace
}  // namespace ostrel::win32
