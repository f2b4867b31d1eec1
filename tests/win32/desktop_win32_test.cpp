// The desktop backend's files, clock text and message pump on the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/win32/win32_desktop.h"
#include "support/process_log.h"
#include "tests/app_error_matchers.h"
#include "tests/win32/message_counter.h"

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

TEST(DesktopWin32, AMissingDirectoryRaisesPathNotFound) {
    RelocatedDesktop desktop;
    desktop.directory = TempDirectory() + "\\no\\such\\place";
    ProcessLog log(desktop);
    EXPECT_EQ(CaughtError([&] { log.WriteProcessLog("lost"); }).Number(), 76);
    RemoveDirectoryA(TempDirectory().c_str());
}

TEST(DesktopWin32, TheExecutableDirectoryHasNoTrailingBackslash) {
    Win32Desktop desktop;
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    EXPECT_EQ(desktop.ExeDirectory(), self.substr(0, self.rfind('\\')));
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

}  // namespace
}  // namespace ostrel::win32
