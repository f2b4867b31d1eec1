#include "support/process_log.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "tests/app_error_matchers.h"

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

TEST_F(ProcessLogTest, AFileThatCannotBeWrittenRaisesAnErrorAndTheLineIsLost) {
    const struct {
        uint32_t winError;
        int32_t number;
    } cases[] = {{3, 76}, {5, 70}, {32, 75}, {112, 75}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.winError);
        desktop.directoryErrors["C:\\Ostrel"] = c.winError;
        const AppError e = CaughtError([&] { log.WriteProcessLog("lost"); });
        EXPECT_EQ(e.Number(), c.number);
        EXPECT_NE(e.Description().find(kLogPath), std::string::npos) << e.Description();
    }
    EXPECT_TRUE(desktop.files.empty());
}

}  // namespace
}  // namespace ostrel
