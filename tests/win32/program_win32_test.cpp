// The real ostrel.exe as the host starts it: hidden after its load, a second start handed to
// the running copy, the notification icon's double click and menu, and Exit; the end of the
// user's session; and started from a folder whose name has a blank or is outside the ANSI code
// page.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_event_log.h"
#include "shell/program_events.h"
#include "support/product.h"
#include "ostrel_events.h"
#include "tests/win32/scratch_folder.h"
#include "tests/win32/windows_under_test.h"

namespace ostrel::win32 {
namespace {

constexpr const char* kKey = "Software\\TOVAN\\RODazedur";
// The caption the program makes from its version resource.
const std::string kCaption = std::string("Ostrel Interface v. ") + kVersionText;

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
// named apart when application is given, and started in directory when one is given.
Process Start(const std::string& command, const std::string& application = "",
              const std::string& directory = "") {
    std::wstring line = WidePath(command);
    const std::wstring app = WidePath(application);
    const std::wstring workingFolder = WidePath(directory);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process process;
    if (CreateProcessW(app.empty() ? nullptr : app.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                       nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
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

// The host stand-in and a first copy of the program, loaded: its request filed, its hold
// released, its window gone to the notification icon.
class ProgramWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        // Driven inside the program's wait for a reader, which a real one would end.
        if (RealReaderPlugged())
            GTEST_SKIP() << "a card reader is plugged in: the test counts on none";
        host = std::make_unique<HostStub>();
        ASSERT_TRUE(host->Running());
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
        host.reset();
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

    const std::string program = "\"" + BuildDirectory() + "\\..\\ostrel.exe\" ";
    std::unique_ptr<HostStub> host;
    Process first;
    HWND window = nullptr;
};

TEST_F(ProgramWin32, RunsHiddenHandsOverASecondStartAndEndsFromTheIconMenu) {
    EXPECT_TRUE(WaitFor([&] { return Text(window) == kCaption; }, 3000));
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

    // Answered at once, as Windows waits for every window's answer before it ends the session,
    // with the shared values reset; the process ends after it (under Wine only after seconds:
    // taking the icon down and hiding the window each wait 2 s for a window manager).
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP,
                                    SMTO_ABORTIFHUNG, 2000, nullptr));
    EXPECT_EQ(ProgramSetting("MSconnect"), " ");
    ExpectEndedAsExitEnds(10000);
}

// The package installs into "Ostrel Interface"; a host may name the program there without
// quotes. Windows still finds the file, and the program must still read the session letter.
TEST(ProgramWin32Folders, AnUnquotedPathWithABlankStillServesTheSessionAsked) {
    HostStub host;
    ASSERT_TRUE(host.Running());
    ScratchFolder folder("ostrel-test-blank");
    const std::string program = CopyProgramInto(folder.path + "\\Ostrel Interface");
    const std::string hostFolder = folder.path + "\\Host";
    CreateDirectoryW(WidePath(hostFolder).c_str(), nullptr);
    std::string slashes = program;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    wchar_t shortFolder[MAX_PATH] = {};
    GetShortPathNameW(WidePath(folder.path).c_str(), shortFolder, MAX_PATH);
    // As the host names it: as Windows reports it, with forward slashes, relative to the host's
    // working folder, below a folder's 8.3 name.
    for (const std::string& named :
         {program, slashes, std::string("..\\Ostrel Interface\\ostrel.exe"),
          Utf8Path(shortFolder) + "\\Ostrel Interface\\ostrel.exe"}) {
        SCOPED_TRACE(named);
        SetProgramSetting("MSconnect", " ");
        // Windows hands such a line over as it stands; Wine would put quotes around the path it
        // found, so the program is named apart here, which leaves the line as the host gave it.
        const RunningCopy copy(Start(named + " \"C,Front Desk\"", program, hostFolder));
        ASSERT_TRUE(copy.process.handle);
        EXPECT_TRUE(WaitFor([] { return ProgramSetting("MSconnect") == "2PFront Desk~"; }, 8000))
            << ProgramSetting("MSconnect");
    }
}

// Installed into a user profile named in a script the ANSI code page lacks: the log is written
// beside the program, and the caption gives the version from its resource.
TEST(ProgramWin32Folders, AFolderNamedOutsideTheCodePageKeepsTheLogAndTheVersion) {
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
        EXPECT_TRUE(WaitFor([&] { return Text(window) == kCaption; }, 5000)) << Text(window);
        EXPECT_TRUE(WaitFor(
            [&] { return FileText(log).find("2PFront Desk~") != std::string::npos; }, 5000));
    }
    SetProgramSetting("Logging", " ");
}

// The event source's messages are ostrel.exe's message table: each id the program reports
// formats, with its insertion strings, as Event Viewer will show it.
TEST(ProgramEventMessages, EachEventsMessageFormatsFromTheProgram) {
    static_assert(event_id::kSwipeNotRead == OSTREL_EVENT_SWIPE_NOT_READ);
    static_assert(event_id::kNoReader == OSTREL_EVENT_NO_READER);
    static_assert(event_id::kReaderNotUsable == OSTREL_EVENT_READER_NOT_USABLE);
    static_assert(event_id::kHostControlNotCreated == OSTREL_EVENT_HOST_CONTROL_NOT_CREATED);
    static_assert(event_id::kReset == OSTREL_EVENT_RESET);
    static_assert(event_id::kReaderChanged == OSTREL_EVENT_READER_CHANGED);
    static_assert(event_id::kReaderFailing == OSTREL_EVENT_READER_FAILING);
    const std::string program = BuildDirectory() + "\\..\\ostrel.exe";
    const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module) << GetLastError();
    const struct {
        uint32_t id;
        std::vector<const char*> strings;
        const char* begins;
        const char* ends;
    } cases[] = {
        {event_id::kSwipeNotRead,
         {"Card data err**2**%B4111**...****"},
         "A card swipe could not be read;",
         "holder's name:\r\n\r\nCard data err**2**%B4111**...****"},
        {event_id::kNoReader,
         {},
         "No card reader was found, and the program has ended",
         "lists what the program sees."},
        {event_id::kReaderNotUsable,
         {"1", "the program has ended", "serial number \"SR01-0417\""},
         "The card reader attached cannot be used (USB vendor id 0801, product id 1): the program "
         "has ended. The reader: serial number \"SR01-0417\". Use",
         "tells why this one is not taken."},
        {event_id::kReaderChanged,
         {"serial number \"SR02-0417\"", "serial number \"SR09-0001\""},
         "A card reader other than the one this Windows user's program used last is in use (a "
         "reader swapped or moved): serial number \"SR02-0417\". The reader used before: serial "
         "number \"SR09-0001\".",
         "ostrel-diag.exe shows them."},
        {event_id::kReaderFailing,
         {"serial number \"SR02-0417\"", "5", "10"},
         "The card reader serial number \"SR02-0417\" failed to read 5 of its last 10 swipes",
         "ostrel-diag.exe shows its read statistics."},
        {event_id::kHostControlNotCreated,
         {"VEQSERVERLib.VEQServer", "0x80040154", "Class not registered"},
         "The host's control VEQSERVERLib.VEQServer could not be created (error 0x80040154: Class "
         "not registered).",
         "which build of the program can use it."},
        {event_id::kReset,
         {"-2147221164", "ActiveX component can't create object"},
         "An error stopped the program, and the cashier was offered a reset:\r\n\r\nError: "
         "-2147221164' ActiveX component can't create object",
         "ActiveX component can't create object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        char* text = nullptr;
        std::vector<DWORD_PTR> args;
        for (const char* text : c.strings)
            args.push_back(reinterpret_cast<DWORD_PTR>(text));
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           module, c.id, 0, reinterpret_cast<char*>(&text), 0,
                           reinterpret_cast<va_list*>(args.empty() ? nullptr : args.data()));
        ASSERT_GT(length, 0u) << GetLastError();
        const std::string message(text, length);
        LocalFree(text);
        EXPECT_EQ(message.rfind(c.begins, 0), 0u) << message;
        EXPECT_EQ(message.size() - message.rfind(c.ends), std::string(c.ends).size()) << message;
    }
    FreeLibrary(module);
}

// Wine keeps no event log, but takes the calls: the source registers and an entry is reported.
// On Windows tests/win32/event_log_read_back.sh reads the first entry back from the log.
TEST(ProgramEventMessages, AnEntryIsReportedThroughTheEventLogCalls) {
    Win32EventLog log("Ostrel Interface tests");
    EXPECT_TRUE(log.WriteEntry(EventType::Warning, event_id::kSwipeNotRead, {"a line"}));
    EXPECT_TRUE(log.WriteEntry(EventType::Error, event_id::kNoReader, {}));
}

}  // namespace
}  // namespace ostrel::win32
