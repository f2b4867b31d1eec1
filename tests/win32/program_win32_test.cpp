// The real ostrel.exe as the host starts it: hidden after its load, a second start handed to
// the running copy, the notification icon's double click and menu, and Exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/unique_handle.h"
#include "tests/win32/windows_under_test.h"

namespace ostrel::win32 {
namespace {

constexpr const char* kKey = "Software\\TOVAN\\RODazedur";

std::string BuildDirectory() {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // .../tests
    return dir;
}

struct Process {
    UniqueHandle handle;
    DWORD id = 0;
};

Process Start(const std::string& command) {
    std::string line = command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process process;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        process.handle = UniqueHandle(info.hProcess);
        process.id = info.dwProcessId;
    }
    return process;
}

std::string Text(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

TEST(ProgramWin32, RunsHiddenHandsOverASecondStartAndEndsFromTheIconMenu) {
    // The menu is driven inside the program's wait for a reader, which a real one would end.
    if (RealReaderPlugged()) GTEST_SKIP() << "a card reader is plugged in: the test counts on none";
    const std::string dir = BuildDirectory();
    const std::string program = "\"" + dir + "\\..\\ostrel.exe\" ";
    const std::string quit = "OstrelProgramTestHost" + std::to_string(GetCurrentProcessId());
    UniqueHandle hostQuit(CreateEventA(nullptr, TRUE, FALSE, quit.c_str()));
    Process host = Start("\"" + dir + "\\helpers\\kt4r.exe\" " + quit);
    ASSERT_TRUE(host.handle);

    Process first = Start(program + "C,Front Desk");
    ASSERT_TRUE(first.handle);
    // Loaded: the request is filed and the hold released; the window went to the icon.
    ASSERT_TRUE(WaitFor([] { return ProgramSetting("MSconnect") == "2PFront Desk~"; }, 8000));
    ASSERT_TRUE(WaitFor([] { return ProgramSetting("NSesDly") == "OFF"; }, 3000));
    HWND window = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (window = WindowOf(first.id, "OstrelInterfaceWindow")); }, 3000));
    EXPECT_TRUE(WaitFor([&] { return Text(window) == "Ostrel Interface v. 5.1.1"; }, 3000));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }, 5000));

    // A second start for the same session leaves its request and ends at once; the running
    // copy's table is not reset by it.
    Process second = Start(program + "C,Front Desk");
    ASSERT_TRUE(second.handle);
    EXPECT_EQ(WaitForSingleObject(second.handle.Get(), 8000), WAIT_OBJECT_0);
    EXPECT_EQ(ProgramSetting("MSconnect"), "2PFront Desk~");
    EXPECT_EQ(WaitForSingleObject(first.handle.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // The icon's double click shows the window; its right button opens the menu. (The menu's
    // choice is taken well within the program's 11 s reader wait, which on this machine,
    // without a reader or the host's control, would end in the reset dialog.)
    PostMessageA(window, WM_MOUSEMOVE, 0, 0x203);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5000));
    PostMessageA(window, WM_MOUSEMOVE, 0, 0x205);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (menu = FindWindowA("#32768", nullptr)); }, 5000));
    // The first Down stops on the greyed heading; the fourth reaches "E&xit".
    for (int i = 0; i < 4; ++i)
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(WaitForSingleObject(first.handle.Get(), 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(first.handle.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    // The first copy blanks the shared values when it ends.
    for (const char* name : {"MSconnect", "cSesId", "NSesDly", "Logging"}) {
        EXPECT_EQ(ProgramSetting(name), " ") << name;
    }
    SetEvent(hostQuit.Get());
    WaitForSingleObject(host.handle.Get(), 5000);
}

}  // namespace
}  // namespace ostrel::win32
