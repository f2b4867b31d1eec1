// The real ostrel.exe as the host starts it: hidden after its load, a second start handed to
// the running copy, the notification icon's double click and menu, and Exit; and the end of the
// user's session.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/desktop.h"
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

// The host stand-in and a first copy of the program, loaded: its request filed, its hold
// released, its window gone to the notification icon.
class ProgramWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        // Driven inside the program's wait for a reader, which a real one would end.
        if (RealReaderPlugged())
            GTEST_SKIP() << "a card reader is plugged in: the test counts on none";
        const std::string quit = "OstrelProgramTestHost" + std::to_string(GetCurrentProcessId());
        hostQuit = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, quit.c_str()));
        host = Start("\"" + dir + "\\helpers\\kt4r.exe\" " + quit);
        ASSERT_TRUE(host.handle);
        first = Start(program + "C,Front Desk");
        ASSERT_TRUE(first.handle);
        ASSERT_TRUE(WaitFor([] { return ProgramSetting("MSconnect") == "2PFront Desk~"; }, 8000));
        ASSERT_TRUE(WaitFor([] { return ProgramSetting("NSesDly") == "OFF"; }, 3000));
        ASSERT_TRUE(
            WaitFor([&] { return (window = WindowOf(first.id, "OstrelInterfaceWindow")); }, 3000));
    }
    void TearDown() override {
        // A copy that failed to end would meet the next test's.
        if (first.handle && WaitForSingleObject(first.handle.Get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(first.handle.Get(), 1);
        if (hostQuit) SetEvent(hostQuit.Get());
        if (host.handle) WaitForSingleObject(host.handle.Get(), 5000);
    }

    // Ended with exit code 0 within the time, the shared values blanked as the first copy's end
    // leaves them.
    void ExpectEndedAsExitEnds(DWORD ms) {
        ASSERT_EQ(WaitForSingleObject(first.handle.Get(), ms), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(first.handle.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
        for (const char* name : {"MSconnect", "cSesId", "NSesDly", "Logging"}) {
            EXPECT_EQ(ProgramSetting(name), " ") << name;
        }
    }

    // A mouse message on the notification icon, as the shell sends it.
    void IconMessage(UINT mouseMessage) {
        PostMessageA(window, kIconCallbackMessage, 1, mouseMessage);
    }

    const std::string dir = BuildDirectory();
    const std::string program = "\"" + dir + "\\..\\ostrel.exe\" ";
    UniqueHandle hostQuit;
    Process host;
    Process first;
    HWND window = nullptr;
};

TEST_F(ProgramWin32, RunsHiddenHandsOverASecondStartAndEndsFromTheIconMenu) {
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
    IconMessage(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5000));
    IconMessage(WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (menu = FindWindowA("#32768", nullptr)); }, 5000));
    // The first Down stops on the greyed heading; the fourth reaches "E&xit".
    for (int i = 0; i < 4; ++i)
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    // The first copy blanks the shared values when it ends.
    ExpectEndedAsExitEnds(20000);
}

// Log-off, shutdown, or an installer's request to close (the Restart Manager's): asked, the
// program agrees and stays; told the session ends, it leaves as its Exit does.
TEST_F(ProgramWin32, EndsAsExitDoesWhenTheSessionEnds) {
    DWORD_PTR agreed = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                                    SMTO_ABORTIFHUNG, 5000, &agreed));
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(TRUE));
    // Another program may still refuse: nothing ends yet.
    EXPECT_EQ(WaitForSingleObject(first.handle.Get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    SendMessageTimeoutA(window, WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    EXPECT_EQ(WaitForSingleObject(first.handle.Get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_NE(ProgramSetting("MSconnect"), " ");

    // The process may be ended as soon as the message is answered: the answer need not come.
    SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    ExpectEndedAsExitEnds(5000);
}

}  // namespace
}  // namespace ostrel::win32
