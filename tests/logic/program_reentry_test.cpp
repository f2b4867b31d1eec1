// Whole-program scenarios with a host control in another process: COM dispatches the window's
// messages while a call waits for its answer, so ticks and menu commands fall due inside calls.
// What the program does must not change, and no call may begin inside another.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;
using Call = sim::SimHostScreen::Call;

// Long enough for ticks to fall due inside calls.
constexpr int64_t kAnswerMicros = 100 * 1000;

// What the host and the session table received. GetSessionInfo is left out: how many passes a
// stretch of time holds depends on how long the calls take.
struct Outcome {
    std::vector<Call> calls;
    std::map<std::pair<int32_t, std::string>, std::string> fields;
    std::vector<std::string> tables;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* os) {
    for (const Call& call : outcome.calls) {
        *os << "\n  ";
        sim::PrintTo(call, os);
    }
    for (const auto& table : outcome.tables)
        *os << "\n  MSconnect " << table;
    for (const auto& [at, text] : outcome.fields)
        *os << "\n  " << at.first << " " << at.second << " = " << text;
}

Outcome OutcomeOf(const ProgramHarness& h) {
    Outcome outcome{{}, h.host.fields, {}};
    std::copy_if(h.host.calls.begin(), h.host.calls.end(), std::back_inserter(outcome.calls),
                 [](const Call& call) { return call.dispId != dispid::kGetSessionInfo; });
    for (const auto& write : h.registry.writes) {
        if (write.name == "MSconnect") outcome.tables.push_back(write.text);
    }
    return outcome;
}

struct Scenario {
    const char* what;
    std::function<void(ProgramHarness&)> script;
    double until;
    std::function<void(const ProgramHarness&)> check;
};

const Scenario kScenarios[] = {
    {"a swipe", [](ProgramHarness& h) { h.SwipeAt(8, kVisaTrack); }, 16,
     [](const ProgramHarness& h) {
         EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
         EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
     }},
    {"a re-activation",
     [](ProgramHarness& h) {
         h.SwipeAt(6, kVisaTrack);
         h.SecondStartAt(12, "C,Front Desk");
     },
     16,
     [](const ProgramHarness& h) {
         EXPECT_TRUE(h.Showed(status::kReactivated));
         EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
     }},
    {"the time-out", [](ProgramHarness&) {}, 36,
     [](const ProgramHarness& h) {
         const size_t armed = h.StatusPut(status::kPleaseSwipe);
         const size_t timedOut = h.StatusPut(status::kTimedOut);
         ASSERT_LT(timedOut, h.host.calls.size());
         EXPECT_EQ(h.CountBetween(dispid::kGetSessionInfo, armed, timedOut), 32);
     }},
};

TEST(ProgramReentry, SwipesReactivationAndTimeOutDoTheSameWhenTheControlDispatchesMessages) {
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.what);
        ProgramHarness inProcess;
        inProcess.host.AnswerTakes(inProcess.desktop, kAnswerMicros, false);
        scenario.script(inProcess);
        ASSERT_EQ(inProcess.Run("C,Front Desk", scenario.until), End::Stopped);
        scenario.check(inProcess);

        ProgramHarness outOfProcess;
        outOfProcess.host.AnswerTakes(outOfProcess.desktop, kAnswerMicros, true);
        scenario.script(outOfProcess);
        ASSERT_EQ(outOfProcess.Run("C,Front Desk", scenario.until), End::Stopped);
        scenario.check(outOfProcess);

        EXPECT_GT(outOfProcess.host.ticksWhileAnswering, 0);
        EXPECT_EQ(outOfProcess.host.callsInsideCalls, 0);
        EXPECT_EQ(OutcomeOf(outOfProcess), OutcomeOf(inProcess));
        EXPECT_TRUE(outOfProcess.desktop.messageBoxes.empty());
    }
}

bool IsSessionInfo(const Call& call) {
    return call.dispId == dispid::kGetSessionInfo;
}
bool IsCardNumberPut(const Call& call) {
    return call.dispId == dispid::kPutScreenField && call.args[0].text == "W1AC#" &&
           call.args[2].type == DispArg::Type::TextRef;
}

int Writes(const ProgramHarness& h, const std::string& name, const std::string& text) {
    return static_cast<int>(std::count(h.registry.writes.begin(), h.registry.writes.end(),
                                       sim::SimRegistry::Write{name, text}));
}

// A command chosen while the host answers runs once, where the program next yields: after the
// loop's call, or after the whole delivery it came in.
TEST(ProgramReentry, AMenuCommandChosenDuringAHostCallWaitsForItAndRunsOnce) {
    const auto loggedOn = [](const ProgramHarness& h) { return Writes(h, "Logging", "Y") == 1; };
    const auto cleared = [](const ProgramHarness& h) { return Writes(h, "MSconnect", " ") == 2; };
    const auto ended = [](const ProgramHarness& h) { return h.desktop.ended; };
    const struct {
        const char* what;
        MenuItem item;
        bool inDelivery;  // else in the loop's GetSessionInfo
        End end;
        std::function<bool(const ProgramHarness&)> done;  // the command has done its work
    } cases[] = {
        {"Logging in the loop", MenuItem::Logging, false, End::Stopped, loggedOn},
        {"Logging in a delivery", MenuItem::Logging, true, End::Stopped, loggedOn},
        {"Clear/reAttach in the loop", MenuItem::Attach, false, End::Stopped, cleared},
        {"Clear/reAttach in a delivery", MenuItem::Attach, true, End::Stopped, cleared},
        {"Exit in the loop", MenuItem::End, false, End::Ended, ended},
        {"Exit in a delivery", MenuItem::End, true, End::Ended, ended},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramHarness h;
        h.host.AnswerTakes(h.desktop, 20 * 1000, true);
        h.SwipeAt(8, kVisaTrack);
        // Chosen in the first such call once the request is armed, at the moment it is made.
        size_t chosenIn = 0;
        bool doneInside = false;
        h.host.onCall = [&](const Call& call) {
            const bool during = c.inDelivery ? IsCardNumberPut(call) : IsSessionInfo(call);
            if (chosenIn || !h.copy->ScannerActive || !during) return;
            chosenIn = h.host.calls.size();
            h.desktop.At(h.desktop.nowMicros, [&] {
                h.desktop.Events()->OnMenu(c.item);
                doneInside = c.done(h);
            });
        };
        EXPECT_EQ(h.Run("C,Front Desk", 14), c.end);
        ASSERT_GT(chosenIn, 0u);
        EXPECT_FALSE(doneInside);
        EXPECT_TRUE(c.done(h));
        EXPECT_EQ(h.host.callsInsideCalls, 0);
        if (c.inDelivery) {
            EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
            EXPECT_LT(h.StatusPut(status::kSent), h.host.calls.size());
        }
        if (c.item == MenuItem::End) {
            EXPECT_EQ(h.host.calls.back(), (Call{dispid::kDetachSession, {}}));
            if (!c.inDelivery) {
                EXPECT_EQ(h.host.calls.size(), chosenIn + 1);
            }
        }
    }
}

}  // namespace
}  // namespace ostrel
