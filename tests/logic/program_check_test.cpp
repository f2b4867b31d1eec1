#include "hostlink/program_check.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_processes.h"
#include "tests/app_error_matchers.h"

namespace ostrel {
namespace {

class ProgramCheckTest : public ::testing::Test {
  protected:
    bool Active(const std::string& name) { return isPgmActive(processes, desktop, name); }

    sim::SimProcesses processes;
    sim::SimDesktop desktop;
};

TEST_F(ProgramCheckTest, MatchesTheWholeFileNameWhateverItsCaseAndBlanks) {
    processes.Start("C:\\WINDOWS\\system32\\services.exe");
    processes.Start("C:\\Apps\\Host\\KT4R.EXE");
    EXPECT_TRUE(Active("kt4r.exe"));
    EXPECT_TRUE(Active("  KT4R.exe "));
    EXPECT_TRUE(Active("services.EXE"));
    EXPECT_FALSE(Active("kt4r"));
    EXPECT_FALSE(Active("kt4r.ex"));
    EXPECT_FALSE(Active("t4r.exe"));
    EXPECT_FALSE(Active("host"));
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

TEST_F(ProgramCheckTest, AWatchAsksTheProcessItFoundUntilItEndsThenWalksTheListAgain) {
    processes.Start("C:\\WINDOWS\\system32\\services.exe");
    const uint32_t host = processes.Start("C:\\Apps\\Host\\kt4r.exe");
    ProgramWatch watch;
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_EQ(processes.enumCalls, 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(watch.isPgmActive(processes, desktop, "KT4R.EXE "));
    EXPECT_EQ(processes.enumCalls, 1);  // no walk while the host it found runs

    // The host ends and starts again with another id; the watch finds the new one.
    processes.End(host);
    EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    processes.Start("C:\\Apps\\Host\\kt4r.exe");
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    // Another name is another question.
    EXPECT_TRUE(watch.isPgmActive(processes, desktop, "services.exe"));
    EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r"));
    processes.platformId = 1;
    EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

// The host found is kept with the right to wait on it, so that a wait can end with it; where
// that right is refused it is kept as the walk opened it and asked for its exit code.
TEST_F(ProgramCheckTest, AWatchKeepsTheHostItFoundToWaitOn) {
    for (const bool waitable : {true, false}) {
        SCOPED_TRACE(waitable ? "waitable" : "waiting refused");
        sim::SimProcesses list;
        const uint32_t host = list.Start("C:\\Apps\\Host\\kt4r.exe");
        list.processes.back().waitable = waitable;
        ProgramWatch watch;
        for (int pass = 0; pass < 3; ++pass)
            EXPECT_TRUE(watch.isPgmActive(list, desktop, "kt4r.exe"));
        EXPECT_EQ(list.enumCalls, 1);
        EXPECT_EQ(list.OpenHandles(), 1u);
        const ProcHandle end = watch.EndHandle();
        EXPECT_EQ(end != 0, waitable);
        EXPECT_FALSE(list.IsSignalled(end));
        list.End(host);
        EXPECT_EQ(list.IsSignalled(end), waitable);
        EXPECT_FALSE(watch.isPgmActive(list, desktop, "kt4r.exe"));
        EXPECT_EQ(watch.EndHandle(), 0u);
        EXPECT_EQ(list.enumCalls, 2);
        EXPECT_EQ(list.OpenHandles(), 0u);
    }
}

// What runs in the walk's yields (a delivery whose host call failed) may ask the same watch.
TEST_F(ProgramCheckTest, AWatchAskedAgainInsideItsWalkKeepsOneProcessOpen) {
    processes.Start("C:\\a.exe");
    processes.Start("C:\\Apps\\Host\\kt4r.exe");
    {
        ProgramWatch watch;
        bool asked = false;
        desktop.onDoEvents = [&] {
            if (!std::exchange(asked, true)) {
                EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
            }
        };
        EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
        EXPECT_TRUE(asked);
        EXPECT_EQ(processes.OpenHandles(), 1u);
    }
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

TEST_F(ProgramCheckTest, DirectoriesAndOtherExtensionsDoNotMatch) {
    processes.Start("C:\\kt4r.exe\\other.exe");
    processes.Start("C:\\Apps\\kt4r.exe.bak");
    processes.Start("C:\\Apps\\kt4r.com");
    processes.Start("kt4r");
    EXPECT_FALSE(Active("kt4r.exe"));
    EXPECT_TRUE(Active("other.exe"));
}

TEST_F(ProgramCheckTest, APathWithoutDirectoryOrWithPaddingStillMatches) {
    processes.Start(std::string("  kt4r.exe\0\0", 12));
    EXPECT_TRUE(Active("kt4r.exe"));
}

TEST_F(ProgramCheckTest, ProcessesThatCannotBeOpenedOrListedAreSkipped) {
    processes.processes.push_back({4, "C:\\System\\kt4r.exe", false, true});
    processes.processes.push_back({8, "C:\\Denied\\kt4r.exe", true, false});
    EXPECT_FALSE(Active("kt4r.exe"));
    EXPECT_EQ(processes.OpenHandles(), 0u);
    processes.Start("C:\\Apps\\kt4r.exe");
    EXPECT_TRUE(Active("kt4r.exe"));
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

TEST_F(ProgramCheckTest, AProcessOfTheOtherBitnessIsNamedByItsImagePathByTheSameRules) {
    using P = sim::SimProcesses::Process;
    const struct {
        P process;
        bool found;
    } cases[] = {
        {{.pid = 4, .path = "C:\\Apps\\Host\\KT4R.EXE", .otherBitness = true}, true},
        {{.pid = 4, .path = std::string("  kt4r.exe\0\0", 12), .otherBitness = true}, true},
        {{.pid = 4, .path = "C:\\kt4r.exe\\other.exe", .otherBitness = true}, false},
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe.bak", .otherBitness = true}, false},
        {{.pid = 4,
          .path = "C:\\Apps\\kt4r.exe",
          .otherBitness = true,
          .otherBitnessError = winerr::kNoAccess},
         true},
        // Every other failure is no match, as before: the reading open refused, the modules'
        // listing refused, and an ended host that some program still holds open.
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe", .otherBitness = true, .readable = false}, false},
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe", .readable = false}, false},
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe", .modulesListed = false}, false},
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe", .ended = true}, false},
        {{.pid = 4, .path = "C:\\Apps\\kt4r.exe", .otherBitness = true, .ended = true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.process.path);
        processes.processes = {c.process};
        processes.Start("C:\\WINDOWS\\system32\\services.exe");
        EXPECT_EQ(Active("kt4r.exe"), c.found);
        EXPECT_TRUE(Active("services.exe"));
        EXPECT_EQ(processes.OpenHandles(), 0u);
    }
}

TEST_F(ProgramCheckTest, AWatchKeepsAHostOfTheOtherBitnessOpenUntilItEnds) {
    processes.Start("C:\\WINDOWS\\system32\\services.exe");
    processes.processes.push_back({.pid = 4, .path = "C:\\Apps\\kt4r.exe", .otherBitness = true});
    {
        ProgramWatch watch;
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
        EXPECT_EQ(processes.enumCalls, 1);       // its handle answers the later passes
        EXPECT_EQ(processes.OpenHandles(), 1u);  // the reading handle was closed

        processes.End(4);
        EXPECT_FALSE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
        EXPECT_EQ(processes.OpenHandles(), 0u);
        processes.processes.push_back(
            {.pid = 8, .path = "C:\\Apps\\kt4r.exe", .otherBitness = true});
        EXPECT_TRUE(watch.isPgmActive(processes, desktop, "kt4r.exe"));
    }
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

// On a terminal server each user runs a host: only one in the program's own session keeps it
// alive. A session that cannot be told counts, as before.
TEST_F(ProgramCheckTest, OnlyAHostInTheProgramsOwnSessionCounts) {
    constexpr uint32_t kOther = 2;
    const std::string host = "C:\\Apps\\kt4r.exe";
    struct Case {
        const char* name;
        std::vector<sim::SimProcesses::Process> list;
        bool ownSessionKnown;
        bool found;
    } cases[] = {
        {"another session's only", {{.pid = 4, .path = host, .session = kOther}}, true, false},
        {"another session's and ours",
         {{.pid = 4, .path = host, .session = kOther}, {.pid = 8, .path = host}},
         true,
         true},
        {"another user's, elevated",
         {{.pid = 4, .path = host, .readable = false, .session = kOther}},
         true,
         false},
        {"our session unknown", {{.pid = 4, .path = host, .session = kOther}}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        processes.processes = c.list;
        processes.ownSessionKnown = c.ownSessionKnown;
        EXPECT_EQ(Active("kt4r.exe"), c.found);
        ProgramWatch watch;
        EXPECT_EQ(watch.isPgmActive(processes, desktop, "kt4r.exe"), c.found);
        EXPECT_EQ(watch.isPgmActive(processes, desktop, "kt4r.exe"), c.found);
    }
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

TEST_F(ProgramCheckTest, OutsideTheNtFamilyTheAnswerIsNoWithoutLooking) {
    processes.Start("C:\\Apps\\kt4r.exe");
    processes.platformId = 1;
    EXPECT_EQ(GetPlatformId(processes), 1u);
    EXPECT_FALSE(Active("kt4r.exe"));
    EXPECT_EQ(processes.enumCalls, 0);
}

TEST_F(ProgramCheckTest, TheIdBufferDoublesUntilTheListFitsWithRoomToSpare) {
    // 16 bytes hold 4 ids: a full buffer may have cut the list, so it is read again.
    for (int i = 0; i < 4; ++i)
        processes.Start("C:\\p" + std::to_string(i) + ".exe");
    EXPECT_FALSE(Active("kt4r.exe"));
    EXPECT_EQ(processes.enumCalls, 2);

    processes.processes.clear();
    processes.enumCalls = 0;
    for (int i = 0; i < 299; ++i)
        processes.Start("C:\\p" + std::to_string(i) + ".exe");
    processes.Start("C:\\Apps\\kt4r.exe");  // the 300th, last in the list
    EXPECT_TRUE(Active("kt4r.exe"));
    EXPECT_EQ(processes.enumCalls, 8);  // 16, 32, ... 2048 bytes
}

TEST_F(ProgramCheckTest, YieldsAtEachGrowthAndAroundEachProcess) {
    processes.Start("C:\\a.exe");
    processes.processes.push_back({4, "C:\\System", false, true});
    processes.Start("C:\\b.exe");
    EXPECT_FALSE(Active("kt4r.exe"));
    EXPECT_EQ(desktop.doEventsCount, 1 + 3 * 2);
}

TEST_F(ProgramCheckTest, AnErrorInsideReachesTheCallerAsProcessInfo) {
    processes.Start("C:\\a.exe");
    processes.Start("C:\\b.exe");
    int yields = 0;
    desktop.onDoEvents = [&] {
        if (++yields == 3) throw AppError(91, "Timer1", "Object variable not set");
    };
    const AppError e = CaughtError([&] { Active("kt4r.exe"); });
    EXPECT_EQ(e.Number(), 91);
    EXPECT_EQ(e.Source(), "Timer1");
    EXPECT_EQ(e.Description(), "ProcessInfo");
    EXPECT_EQ(processes.OpenHandles(), 0u);
}

}  // namespace
}  // namespace ostrel
