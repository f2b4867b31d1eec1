#include "support/process_log.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"

namespace ostrel {
namespace {

constexpr const char* kLogPath = "C:\\Ostrel\\CCProcess.log";

class ProcessLogTest : public ::testing::Test {
  protected:
    sim::SimDesktop desktop;
    ProcessLog log{desktop};
};

TEST_F(ProcessLogTest, LinesAreTheTimeOfDayABlankAndTheTextInTheOrderWritten) {
    desktop.clockStartSeconds = 9 * 3600 + 5 * 60 + 7;
    log.WriteProcessLog("Card data err**2**first***");
    desktop.Sleep(61000);
    log.WriteProcessLog("second");
    ASSERT_EQ(desktop.files.size(), 1u);
    EXPECT_EQ(desktop.files[kLogPath],
              "09:05:07 Card data err**2**first***\r\n09:06:08 second\r\n");
}

TEST_F(ProcessLogTest, ShowsNoMessageBox) {
    log.WriteProcessLog("x");
    EXPECT_TRUE(desktop.messageBoxes.empty());
}

TEST_F(ProcessLogTest, WritesBesideAnExecutableInARootDirectory) {
    desktop.exeDirectory = "D:\\";
    log.WriteProcessLog("x");
    EXPECT_EQ(desktop.files.count("D:\\CCProcess.log"), 1u);
}

// A log that cannot be written must not stop a till: the line is lost, the program goes on,
// and the first failure of the run is told once.
TEST_F(ProcessLogTest, AFileThatCannotBeWrittenLosesTheLineAndIsToldOnce) {
    const struct {
        uint32_t winError;
        const char* error;
    } cases[] = {{3, "Error: 76, Path not found"},
                 {5, "Error: 70, Permission denied"},
                 {32, "Error: 75, Path/File access error"},
                 {112, "Error: 75, Path/File access error"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.winError);
        ProcessLog fresh{desktop};
        desktop.directoryErrors["C:\\Ostrel"] = c.winError;
        EXPECT_NO_THROW(fresh.WriteProcessLog("lost"));
        EXPECT_NO_THROW(fresh.WriteProcessLog("lost too"));
        EXPECT_TRUE(desktop.files.empty());
        const auto notice = fresh.TakeFailureNotice();
        ASSERT_TRUE(notice);
        EXPECT_NE(notice->find(kLogPath), std::string::npos) << *notice;
        EXPECT_NE(notice->find(c.error), std::string::npos) << *notice;
        EXPECT_EQ(fresh.TakeFailureNotice(), std::nullopt);
        // Writable again: the lines are written; failing once more is not told again.
        desktop.directoryErrors.clear();
        fresh.WriteProcessLog("kept");
        desktop.directoryErrors["C:\\Ostrel"] = c.winError;
        fresh.WriteProcessLog("lost again");
        EXPECT_EQ(fresh.TakeFailureNotice(), std::nullopt);
        EXPECT_EQ(desktop.files[kLogPath], "09:00:00 kept\r\n");
        desktop.files.clear();
        desktop.directoryErrors.clear();
    }
    // Nothing to tell while every line is written.
    log.WriteProcessLog("x");
    EXPECT_EQ(log.TakeFailureNotice(), std::nullopt);
}

// Another program holding the log without sharing it (CreateFile's ERROR_SHARING_VIOLATION) for
// a moment costs no line; for longer, the line is lost after a tenth of a second, as any other.
TEST_F(ProcessLogTest, ALogAnotherProgramHoldsForAMomentIsWrittenOnceItLetsGo) {
    for (const int64_t heldMicros : {60'000, 5'000'000}) {
        SCOPED_TRACE(heldMicros);
        sim::SimDesktop held;
        ProcessLog fresh{held};
        held.heldUntil[kLogPath] = heldMicros;
        fresh.WriteProcessLog("swipe");
        const bool written = heldMicros < 100'000;
        EXPECT_EQ(held.files[kLogPath].empty(), !written);
        EXPECT_EQ(fresh.TakeFailureNotice().has_value(), !written);
        EXPECT_LE(held.nowMicros, 100'000);
    }
}

// The folder is a path (UTF-8) to the file calls; the clerk's message box is ANSI text, which
// shows what the code page cannot hold as "?" rather than as stray letters.
TEST_F(ProcessLogTest, AFolderNamedInAnyScriptIsWrittenAndToldInTheCodePage) {
    desktop.exeDirectory = "C:\\Users\\\xD0\x9F\xD1\x91\xD1\x82\xD1\x80\\Ostrel Interface";
    log.WriteProcessLog("kept");
    EXPECT_EQ(desktop.files.count(desktop.exeDirectory + "\\CCProcess.log"), 1u);
    desktop.directoryErrors[desktop.exeDirectory] = 5;
    ProcessLog fresh{desktop};
    fresh.WriteProcessLog("lost");
    const std::string notice = fresh.TakeFailureNotice().value_or("no notice");
    EXPECT_NE(notice.find("C:\\Users\\????\\Ostrel Interface\\CCProcess.log\r\n"),
              std::string::npos)
        << notice;
}

}  // namespace
}  // namespace ostrel
