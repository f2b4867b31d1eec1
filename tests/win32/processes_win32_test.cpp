// Host program detection against Wine's real process list.
#include <windows.h>

#include <gtest/gtest.h>

#include "hostlink/program_check.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/unique_handle.h"

namespace ostrel::win32 {
namespace {

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

TEST_F(ProcessesWin32Test, SeesTheHostProgramWhileItRunsAndNotAfter) {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));
    const std::string event = "OstrelTestHostQuit" + std::to_string(GetCurrentProcessId());
    UniqueHandle quit(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
    ASSERT_TRUE(quit);

    ASSERT_FALSE(Active("kt4r.exe"));
    std::string command = "\"" + dir + "\\helpers\\kt4r.exe\" " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info))
        << GetLastError();
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);

    EXPECT_TRUE(BecomesActive("kt4r.exe", true));
    EXPECT_TRUE(Active("KT4R.EXE"));
    // The watch the loop uses keeps the host it found open and asks it alone; it must see the
    // host end all the same.
    ProgramWatch watch;
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    SetEvent(quit.Get());
    ASSERT_EQ(WaitForSingleObject(process.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_TRUE(BecomesActive("kt4r.exe", false));
}

}  // namespace
}  // namespace ostrel::win32
