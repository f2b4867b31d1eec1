// The desktop backend's files, clock text and message pump on the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "platform/win32/quiet_handles.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_desktop.h"
#include "reader/wait.h"
#include "support/process_log.h"
#include "tests/win32/message_counter.h"
#include "tests/win32/scratch_folder.h"

namespace ostrel::win32 {
namespace {

// The real desktop with the executable's directory moved somewhere disposable.
class RelocatedDesktop : public Win32Desktop {
  public:
    std::string ExeDirectory() override { return directory; }
    std::string directory;
};

std::string TempDirectory() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "ostrel-test-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DesktopWin32, TheProcessLogAppendsLinesToAFileBesideTheExecutable) {
    RelocatedDesktop desktop;
    desktop.directory = TempDirectory();
    const std::string path = desktop.directory + "\\CCProcess.log";
    DeleteFileA(path.c_str());
    ProcessLog log(desktop);
    log.WriteProcessLog("first");
    log.WriteProcessLog("second");
    const std::string text = ReadFile(path);
    const auto firstEnd = text.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos);
    const std::string first = text.substr(0, firstEnd);
    ASSERT_GT(first.size(), 6u);
    EXPECT_EQ(first.substr(first.size() - 6), " first");
    // The time of day as the system formats it, then a blank.
    EXPECT_NE(first.find(':'), std::string::npos) << first;
    const std::string second = text.substr(firstEnd + 2);
    EXPECT_EQ(second.substr(second.size() - 9), " second\r\n");
    EXPECT_EQ(second.find("\r\n"), second.size() - 2);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(desktop.directory.c_str());
}

// A log that cannot be written, as the real file system refuses it: the line is lost, nothing
// is raised, and what the clerk is told names the file and the reason. (A read-only file
// would be the likeliest case, but these tests run as root, whom Wine lets write to one.)
TEST(DesktopWin32, ALogThatCannotBeWrittenLosesTheLineAndSaysWhy) {
    RelocatedDesktop desktop;
    const std::string base = TempDirectory();
    const std::string path = base + "\\CCProcess.log";
    const auto failure = [&](const std::string& directory) {
        desktop.directory = directory;
        ProcessLog log(desktop);
        EXPECT_NO_THROW(log.WriteProcessLog("lost"));
        return log.TakeFailureNotice().value_or("no notice");
    };
    EXPECT_NE(failure(base + "\\no\\such\\place").find("Error: 76, Path not found"),
              std::string::npos);

    // Held open by another program that shares no writing.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // whatever an earlier run left
    DeleteFileA(path.c_str());
    std::ofstream(path, std::ios::binary) << "kept\r\n";
    {
        UniqueHandle holder(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        const std::string notice = failure(base);
        EXPECT_NE(notice.find(path), std::string::npos) << notice;
        EXPECT_NE(notice.find("Error: 75, Path/File access error"), std::string::npos) << notice;
    }
    EXPECT_EQ(ReadFile(path), "kept\r\n");
    DeleteFileA(path.c_str());

    // A folder where the file should be: access denied.
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    EXPECT_NE(failure(base).find("Error: 70, Permission denied"), std::string::npos);
    RemoveDirectoryA(path.c_str());
    RemoveDirectoryA(base.c_str());
}

TEST(DesktopWin32, TheExecutableDirectoryHasNoTrailingBackslash) {
    Win32Desktop desktop;
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    EXPECT_EQ(WidePath(desktop.ExeDirectory()), self.substr(0, self.rfind(L'\\')));
}

// A user profile may be named in any script: the log goes where the folder's name says.
TEST(DesktopWin32, TheProcessLogIsWrittenInAFolderNamedInAnyScript) {
    ScratchFolder folder(std::string("ostrel-log-") + kCyrillicName);
    RelocatedDesktop desktop;
    desktop.directory = folder.path;
    ProcessLog log(desktop);
    log.WriteProcessLog("first");
    log.WriteProcessLog("second");
    EXPECT_EQ(log.TakeFailureNotice(), std::nullopt);
    const std::string lines = FileText(folder.path + "\\CCProcess.log");
    EXPECT_NE(lines.find(" first\r\n"), std::string::npos) << lines;
    EXPECT_TRUE(lines.ends_with(" second\r\n")) << lines;
}

// What the file calls are given: a path past MAX_PATH in full in the "\\?\" form, any other as
// it was.
TEST(DesktopWin32, PathsPastMaxPathTakeTheFormThatHasNoLimit) {
    const std::string name(MAX_PATH, 'x');
    const struct {
        std::string path, reached;
    } cases[] = {
        {"C:\\Ostrel\\CCProcess.log", "C:\\Ostrel\\CCProcess.log"},
        {"C:\\" + name, "\\\\?\\C:\\" + name},
        {"C:/Shop/../" + name, "\\\\?\\C:\\" + name},
        {"\\\\till\\share\\" + name, "\\\\?\\UNC\\till\\share\\" + name},
        {"\\\\?\\C:\\" + name, "\\\\?\\C:\\" + name},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 20));
        EXPECT_EQ(ReachablePath(WidePath(c.path)), WidePath(c.reached));
    }
}

// The calls the paths rely on. A path shown in a text: a character the ANSI code page lacks is
// "?", never a look-alike that could name another folder; the file system's comparison of
// names ignores the case of letters in every script.
TEST(DesktopWin32, PathsAreShownInTheCodePageAndComparedWithoutCase) {
    EXPECT_TRUE(SameFileName("C:\\Users\\\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0\\ostrel.exe",
                             "c:\\USERS\\\xD0\xBA\xD0\x90\xD0\xA1\xD0\xA1\xD0\x90\\OSTREL.EXE"));
    EXPECT_TRUE(SameFileName("C:\\Caf\xC3\xA9", "C:\\CAF\xC3\x89"));
    EXPECT_FALSE(SameFileName("C:\\Users\\\xD0\x9A", "C:\\Users\\\xD0\x9B"));
    EXPECT_FALSE(SameFileName("C:\\Ostrel\\ostrel.exe", "C:\\Ostrel\\ostrel.ex"));

    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
    const struct {
        const char* path;
        const char* shown;
    } cases[] = {
        {"C:\\Caf\xC3\xA9", "C:\\Caf\xE9"},
        {"C:\\Users\\\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0", "C:\\Users\\?????"},
        {"C:\\\xC4\x80gent", "C:\\?gent"},  // U+0100, which a best fit would make an "A"
    };
    Win32Desktop desktop;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(desktop.ShownPath(c.path), c.shown);
    }
}

TEST(DesktopWin32, DoEventsDispatchesWhatIsPending) {
    AppMessageCounter counter;
    ASSERT_TRUE(counter.Valid());
    Win32Desktop desktop;
    counter.Post();
    counter.Post();
    desktop.DoEvents();
    EXPECT_EQ(counter.Count(), 2);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

// Yields that come within a moment of each other look at the queue once; nothing is lost by
// it: a wait for a message, or a yield once the moment has passed, takes what came meanwhile.
TEST(DesktopWin32, AMessagePostedBetweenQuickYieldsIsTakenByTheNextWaitOrLaterYield) {
    AppMessageCounter counter;
    ASSERT_TRUE(counter.Valid());
    Win32Desktop desktop;
    int posted = 0;
    const struct {
        const char* then;
        std::function<void()> take;
    } rows[] = {
        // Unless the thread was held up past the moment and the second yield took it already.
        {"a wait for a message, then a yield",
         [&] {
             if (counter.Count() < posted) {
                 EXPECT_TRUE(desktop.WaitForMessage(1000));
             }
             desktop.DoEvents();
         }},
        {"a pause past the moment, then a yield",
         [&] {
             Sleep(10);
             desktop.DoEvents();
         }},
    };
    for (const auto& row : rows) {
        desktop.DoEvents();
        counter.Post();
        ++posted;
        desktop.DoEvents();
        row.take();
        EXPECT_EQ(counter.Count(), posted) << row.then;
    }
}

// A handle seen unset a moment ago counts as still unset until the note ages or is forgotten.
// A set handle, and one that cannot be waited on, are looked at every time.
TEST(DesktopWin32, AHandleSeenUnsetIsTakenAtItsWordForAMomentOnly) {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    HANDLE handle = event.Get();
    const int64_t noted = PerformanceMicros();
    NoteUnset(&handle, 1);
    SetEvent(handle);
    const bool seen = IsHandleSet(handle);
    // Only where the thread was not held up past the moment can the note still hold.
    if (PerformanceMicros() - noted < kUnsetNoteMicros) {
        EXPECT_FALSE(seen);
    }
    Sleep(10);
    EXPECT_TRUE(IsHandleSet(handle));
    EXPECT_TRUE(IsHandleSet(handle));

    ResetEvent(handle);
    EXPECT_FALSE(IsHandleSet(handle));
    SetEvent(handle);
    ForgetUnsetNotes();
    EXPECT_TRUE(IsHandleSet(handle));

    // A wait that finds the handle set is news the next look sees, as soon as it comes.
    ResetEvent(handle);
    EXPECT_FALSE(IsHandleSet(handle));
    SetEvent(handle);
    EXPECT_EQ(WaitForHandles(1000, {reinterpret_cast<std::uintptr_t>(handle)}), 0);
    EXPECT_TRUE(IsHandleSet(handle));

    // No right to wait on it: a failed look is never taken for an unset handle.
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId()));
    ASSERT_TRUE(process);
    EXPECT_EQ(LookAtHandle(process.Get()), WAIT_FAILED);
    EXPECT_EQ(LookAtHandle(process.Get()), WAIT_FAILED);
}

// CPU time the calling thread has used, in microseconds.
int64_t ThreadCpuMicros() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto micros = [](FILETIME t) {
        return static_cast<int64_t>((uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10);
    };
    return micros(kernel) + micros(user);
}

// When the desktop's clock saw the first WM_APP and the first WM_TIMER dispatched to a
// message-only window; -1 until then.
struct DispatchTimes {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<DispatchTimes*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && message == WM_APP && self->posted < 0)
            self->posted = self->desktop->MonotonicMicros();
        if (self && message == WM_TIMER && self->ticked < 0)
            self->ticked = self->desktop->MonotonicMicros();
        return DefWindowProcA(window, message, wParam, lParam);
    }
    explicit DispatchTimes(Desktop& d) : desktop(&d) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "OstrelDispatchTimes";
        RegisterClassA(&wc);
        window = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~DispatchTimes() { DestroyWindow(window); }

    Desktop* desktop;
    HWND window = nullptr;
    int64_t posted = -1;
    int64_t ticked = -1;
};

TEST(DesktopWin32, WaitMsSleepsToItsEndAndDispatchesEachMessageAsItComes) {
    Win32Desktop desktop;
    DispatchTimes times(desktop);
    ASSERT_TRUE(times.window);
    SetTimer(times.window, 1, 200, nullptr);
    // Another thread posts a message 500 ms into the wait.
    struct Poster {
        HWND window;
        static DWORD WINAPI Run(void* param) {
            Sleep(500);
            PostMessageA(static_cast<Poster*>(param)->window, WM_APP, 0, 0);
            return 0;
        }
    } poster{times.window};
    const int64_t cpuBefore = ThreadCpuMicros();
    const int64_t start = desktop.MonotonicMicros();
    HANDLE thread = CreateThread(nullptr, 0, &Poster::Run, &poster, 0, nullptr);
    ASSERT_TRUE(thread);
    WaitMs(desktop, 1000);
    const int64_t took = desktop.MonotonicMicros() - start;
    const int64_t cpu = ThreadCpuMicros() - cpuBefore;
    KillTimer(times.window, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_GT(took, 1000000);
    EXPECT_LT(took, 1010000);
    EXPECT_NEAR(times.ticked - start, 200000, 30000);
    EXPECT_NEAR(times.posted - start, 500000, 30000);
    // Asleep in between: a wait that pumped round after round would use the whole second.
    EXPECT_LT(cpu, 50000) << "CPU used by a 1 s wait: " << cpu << " us";
    RecordProperty("wait_cpu_us", static_cast<int>(cpu));
}

}  // namespace
}  // namespace ostrel::win32
