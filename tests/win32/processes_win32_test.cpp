// Host program detection against Wine's real process list.
#include <windows.h>

#include <gtest/gtest.h>

#include "hostlink/program_check.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/unique_handle.h"

namespace ostrel::win32 {
namespace {

constexpr const char* kNoOtherBitness = "this machine runs no code of the other bitness";

class ProcessesWin32Test : public ::testing::Test {
  protected:
    bool Active(const std::string& name) { return isPgmActive(processes, desktop, name); }
    // Polls for a change the process list may show with a little delay.
    bool BecomesActive(const std::string& name, bool wanted) {
        for (int i = 0; i < 100; ++i) {
            if (Active(name) == wanted) return true;
            Sleep(100);
        }
        return false;
    }

    void ExpectHostSeenWhileItRuns(const std::string& exe, bool otherBitness);

    Win32Processes processes;
    Win32Desktop desktop;
};

TEST_F(ProcessesWin32Test, ThePlatformIsOfTheNtFamily) {
    EXPECT_EQ(GetPlatformId(processes), 2u);
}

TEST_F(ProcessesWin32Test, FindsItselfByFileNameOnly) {
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    const std::string name = self.substr(self.rfind('\\') + 1);
    EXPECT_TRUE(Active(name));
    EXPECT_TRUE(Active("  " + name + " "));
    EXPECT_FALSE(Active(name.substr(0, name.size() - 4)));
    EXPECT_TRUE(Active("explorer.exe") || Active("services.exe"));
}

// Starts the kt4r.exe stub at exe; both checks must see it while it runs and not after. A stub
// of the other bitness that this machine cannot run skips the test.
void ProcessesWin32Test::ExpectHostSeenWhileItRuns(const std::string& exe, bool otherBitness) {
    const std::string event = "OstrelTestHostQuit" + std::to_string(GetCurrentProcessId());
    UniqueHandle quit(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
    ASSERT_TRUE(quit);

    ASSERT_FALSE(Active("kt4r.exe"));
    std::string command = "\"" + exe + "\" " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    if (!started && otherBitness) GTEST_SKIP() << kNoOtherBitness << " (error " << error << ")";
    ASSERT_TRUE(started) << error;
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);

    const bool seen = BecomesActive("kt4r.exe", true);
    if (!seen && otherBitness && WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
        GTEST_SKIP() << kNoOtherBitness << " (the stub ended at once)";
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(Active("KT4R.EXE"));
    // The host started here runs in this program's session, so it counts.
    uint32_t own = 0;
    uint32_t host = 0;
    EXPECT_TRUE(processes.ProcessIdToSessionId(processes.CurrentProcessId(), &own));
    EXPECT_TRUE(processes.ProcessIdToSessionId(info.dwProcessId, &host));
    EXPECT_EQ(host, own);
    // The watch the loop uses keeps the host it found open and asks it alone; it must see the
    // host end all the same.
    ProgramWatch watch;
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    // It keeps the host open for waiting: a sleep given its handle ends as the host does.
    const ProcHandle end = watch.EndHandle();
    ASSERT_NE(end, 0u);
    EXPECT_EQ(desktop.SleepUntilSet(0, {end}), -1);
    SetEvent(quit.Get());
    EXPECT_EQ(desktop.SleepUntilSet(20000, {end}), 0);
    ASSERT_EQ(WaitForSingleObject(process.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_TRUE(BecomesActive("kt4r.exe", false));
}

TEST_F(ProcessesWin32Test, SeesTheHostProgramWhileItRunsAndNotAfter) {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));
    ExpectHostSeenWhileItRuns(dir + "\\helpers\\kt4r.exe", false);
}

// A 32-bit program cannot list a 64-bit process's modules (the other way round it can): the
// host is seen all the same.
TEST_F(ProcessesWin32Test, SeesAHostOfTheOtherBitnessWhileItRunsAndNotAfter) {
    char exe[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("OSTREL_OTHER_BITNESS_KT4R", exe, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        GTEST_SKIP() << "no kt4r.exe of the other bitness given (OSTREL_OTHER_BITNESS_KT4R)";
    }
    DWORD type = 0;
    ASSERT_TRUE(GetBinaryTypeA(exe, &type)) << exe << ": error " << GetLastError();
    ASSERT_NE(type, DWORD{sizeof(void*) == 8 ? SCS_64BIT_BINARY : SCS_32BIT_BINARY})
        << exe << " is built for this test's own architecture";
    ExpectHostSeenWhileItRuns(exe, true);
}

}  // namespace
}  // namespace ostrel::win32
