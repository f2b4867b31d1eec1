// The real ostrel.exe as the host starts it: hidden after its load, a second start handed to
// the running copy, the notification icon's double click and menu, and Exit; started from a
// folder whose name has a blank or is outside the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "tests/win32/scratch_folder.h"
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

// The command line in UTF-8, for a program path that the ANSI code page may not hold; the program
// named apart when application is given.
Process Start(const std::string& command, const std::string& application = "") {
    std::wstring line = WidePath(command);
    const std::wstring app = WidePath(application);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process process;
    if (CreateProcessW(app.empty() ? nullptr : app.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                       nullptr, nullptr, &startup, &info)) {
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

// A stand-in for the host program, running until the test ends.
class HostStub {
  public:
    HostStub()
        : quit_(CreateEventA(nullptr, TRUE, FALSE, QuitName().c_str())),
          host_(Start("\"" + BuildDirectory() + "\\helpers\\kt4r.exe\" " + QuitName())) {}
    ~HostStub() {
        SetEvent(quit_.Get());
        WaitForSingleObject(host_.handle.Get(), 5000);
    }
    HostStub(const HostStub&) = delete;
    HostStub& operator=(const HostStub&) = delete;
    bool Running() const { return static_cast<bool>(host_.handle); }

  private:
    static std::string QuitName() {
        return "OstrelProgramTestHost" + std::to_string(GetCurrentProcessId());
    }
    UniqueHandle quit_;
    Process host_;
};

// ostrel.exe copied into folder (UTF-8), which is made first; its path.
std::string CopyProgramInto(const std::string& folder) {
    CreateDirectoryW(WidePath(folder).c_str(), nullptr);
    const std::string program = folder + "\\ostrel.exe";
    CopyFileW(WidePath(BuildDirectory() + "\\..\\ostrel.exe").c_str(), WidePath(program).c_str(),
              FALSE);
    return program;
}

// A copy of the program a test started, closed at the end as a person closes its window, which
// ends it the usual way.
class RunningCopy {
  public:
    explicit RunningCopy(Process started) : process(std::move(started)) {}
    ~RunningCopy() {
        if (!process.handle) return;
        if (HWND window = WindowOf(process.id, "OstrelInterfaceWindow"))
            PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.handle.Get(), 10000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the program did not end when its window was closed";
            TerminateProcess(process.handle.Get(), 1);
            WaitForSingleObject(process.handle.Get(), 5000);
        }
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    Process process;
};

void SetProgramSetting(const char* name, const std::string& value) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>(value.size() + 1));
}

TEST(ProgramWin32, RunsHiddenHandsOverASecondStartAndEndsFromTheIconMenu) {
    // The menu is driven inside the program's wait for a reader, which a real one would end.
    if (RealReaderPlugged()) GTEST_SKIP() << "a card reader is plugged in: the test counts on none";
    const std::string program = "\"" + BuildDirectory() + "\\..\\ostrel.exe\" ";
    HostStub host;
    ASSERT_TRUE(host.Running());

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
}

// The package installs into "Ostrel Interface"; a host may name the program there without
// quotes. Windows still finds the file, and the program must still read the session letter.
TEST(ProgramWin32, AnUnquotedPathWithABlankStillServesTheSessionAsked) {
    HostStub host;
    ASSERT_TRUE(host.Running());
    ScratchFolder folder("ostrel-test-blank");
    const std::string program = CopyProgramInto(folder.path + "\\Ostrel Interface");
    // Windows hands such a line over as it stands; Wine would put quotes around the path it
    // found, so the program is named apart here, which leaves the line as the host gave it.
    const RunningCopy copy(Start(program + " C,Front Desk", program));
    ASSERT_TRUE(copy.process.handle);
    EXPECT_TRUE(WaitFor([] { return ProgramSetting("MSconnect") == "2PFront Desk~"; }, 8000))
        << ProgramSetting("MSconnect");
}

// Installed into a user profile named in a script the ANSI code page lacks: the log is written
// beside the program, and the caption gives the version from its resource.
TEST(ProgramWin32, AFolderNamedOutsideTheCodePageKeepsTheLogAndTheVersion) {
    if (AnsiCodePageHolds(kCyrillicName))
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " holds the folder's name";
    HostStub host;
    ASSERT_TRUE(host.Running());
    ScratchFolder folder(std::string("ostrel-test-") + kCyrillicName);
    const std::string program = CopyProgramInto(folder.path);
    const std::string log = folder.path + "\\CCProcess.log";
    SetProgramSetting("Logging", "Y");  // the session trace writes a line as the copy loads
    {
        const RunningCopy copy(Start("\"" + program + "\" C,Front Desk"));
        ASSERT_TRUE(copy.process.handle);
        HWND window = nullptr;
        ASSERT_TRUE(WaitFor(
            [&] { return (window = WindowOf(copy.process.id, "OstrelInterfaceWindow")); }, 8000));
        EXPECT_TRUE(WaitFor([&] { return Text(window) == "Ostrel Interface v. 5.1.1"; }, 5000))
            << Text(window);
        EXPECT_TRUE(WaitFor(
            [&] { return FileText(log).find("2PFront Desk~") != std::string::npos; }, 5000));
    }
    SetProgramSetting("Logging", " ");
}

}  // namespace
}  // namespace ostrel::win32
