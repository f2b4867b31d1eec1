// Whole-program scenarios: later starts of the program, the menus, the notification icon, and
// errors with the reset dialog.
#include <gtest/gtest.h>

#include <algorithm>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;

constexpr const char* kRefusal =
    "Alternate Credit Card session is active, close alternate session and then try again.";

std::string ResetText(int32_t number, const std::string& description) {
    return "An error has occured that has forced the Ostrel to be Reset.\r\nError: " +
           std::to_string(number) + "' " + description +
           "\r\n\r\nSorry for the inconvience, Click 'OK' to reset or 'Cancel to Terminate.";
}

int Count(const std::vector<sim::SimRegistry::Write>& writes, const std::string& name,
          const std::string& text) {
    return static_cast<int>(
        std::count(writes.begin(), writes.end(), sim::SimRegistry::Write{name, text}));
}

class ProgramLifecycleTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(h.hid.misuses.empty()); }
    ProgramHarness h;
};

TEST_F(ProgramLifecycleTest, ASecondStartWhileArmedDeactivates) {
    h.SecondStartAt(7, "C,Front Desk");
    EXPECT_EQ(h.Run("C,Front Desk", 9), End::Stopped);
    EXPECT_TRUE(h.secondDesktop.ended);
    EXPECT_FALSE(h.secondDesktop.iconPresent);
    EXPECT_TRUE(h.Showed(status::kDeactivated));
    EXPECT_EQ(h.HostStatus().back(), status::kDeactivated);
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
}

TEST_F(ProgramLifecycleTest, ASecondStartWhileIdleReactivates) {
    h.SwipeAt(6, kVisaTrack);  // delivered: the session is left "N"
    h.SecondStartAt(9, "C,Front Desk");
    EXPECT_EQ(h.Run("C,Front Desk", 11), End::Stopped);
    EXPECT_TRUE(h.Showed(status::kReactivated));
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    EXPECT_EQ(h.HostStatus().back(), status::kPleaseSwipe);
}

TEST_F(ProgramLifecycleTest, ASecondStartForAnotherSessionIsRefusedTwiceAndEnds) {
    h.SecondStartAt(7, "D,Back Office");
    EXPECT_EQ(h.Run("C,Front Desk", 8), End::Stopped);
    ASSERT_EQ(h.secondDesktop.messageBoxes.size(), 2u);
    EXPECT_EQ(h.secondDesktop.WindowHandle(), 0u);  // the boxes need none
    for (const auto& box : h.secondDesktop.messageBoxes) {
        EXPECT_EQ(box.text, kRefusal);
        EXPECT_EQ(box.caption, "Ostrel Interface");
    }
    EXPECT_TRUE(h.secondDesktop.ended);
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    EXPECT_EQ(h.Setting("cSesId"), "2");
}

TEST_F(ProgramLifecycleTest, ASecondStartForANewSessionFilesASwipeRequest) {
    h.SwipeAt(6, kVisaTrack);  // delivered: the first session is left "N"
    h.SecondStartAt(9, "M,Counter");
    h.host.sessionInfo[12] = "Counter";
    EXPECT_EQ(h.Run("C,Front Desk", 11), End::Stopped);
    EXPECT_TRUE(h.secondDesktop.messageBoxes.empty());
    // The next pass serves the newest caller: session 12, whose entry keeps its own id.
    EXPECT_EQ(h.Setting("cSesId"), "12");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~CYCounter~");
    EXPECT_EQ(h.host.Field(12, "CCSTATUS"), status::kPleaseSwipe);
}

// A second start is acted on as soon as it has filed its request, not at the running copy's
// next pass: here it comes 20 ms into a pass's sleep, which used to keep it waiting up to half
// a second, and a re-activation a second pass before its prompt. A card swiped while the
// request is being taken up, once it is filed, is the request's own.
TEST_F(ProgramLifecycleTest, ASecondStartIsActedOnAtOnceAndKeepsTheCardSwipedMeanwhile) {
    using Call = sim::SimHostScreen::Call;
    const struct {
        const char* what;
        const char* argument;
        bool deliveredFirst;  // a card delivered before: the session is left "N"
        int32_t session;
        std::vector<std::string> statuses;  // at the host from the second start on
        const char* table;
        const char* tableAfterCard;
    } cases[] = {
        {"while armed",
         "C,Front Desk",
         false,
         2,
         {status::kDeactivated},
         "2NFront Desk~",
         "2NFront Desk~"},
        {"after a delivery",
         "C,Front Desk",
         true,
         2,
         {status::kReactivated, status::kPleaseSwipe},
         "2YFront Desk~",
         "2NFront Desk~"},
        {"for a new session",
         "M,Counter",
         true,
         12,
         {status::kPleaseSwipe},
         "2NFront Desk~CYCounter~",
         "2NFront Desk~CNCounter~"},
    };
    for (const auto& c : cases) {
        for (const bool swiped : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (swiped ? ", a card swiped" : ""));
            ProgramHarness run;
            run.host.sessionInfo[12] = "Counter";
            if (c.deliveredFirst) run.SwipeAt(6, kVisaTrack);
            // Calls take 10 ms each, so that taking up the request takes a while.
            run.host.AnswerTakes(run.desktop, 10'000, false);
            int64_t started = -1;
            std::vector<std::pair<int64_t, std::string>> statuses;
            run.host.onCall = [&](const Call& call) {
                const int64_t now = run.desktop.nowMicros;
                if (started < 0 && call.dispId == dispid::kGetSessionInfo && now >= Micros(8)) {
                    started = now + 20'000;
                    run.SecondStartAt(static_cast<double>(started) / 1e6, c.argument);
                    if (swiped) {
                        run.SwipeAt(static_cast<double>(started) / 1e6 + 0.03,
                                    "%B5500000000000004^ROE/RICHARD^27011010000000000000");
                    }
                }
                if (started >= 0 && call.dispId == dispid::kPutScreenField &&
                    call.args[0].text == "CCSTATUS" && call.args[2].text != status::kProcessing &&
                    call.args[2].text != status::kSent)
                    statuses.emplace_back(now - started, call.args[2].text);
            };
            EXPECT_EQ(run.Run("C,Front Desk", 10), End::Stopped);
            // The second copy handed over before making a window it would not have kept.
            EXPECT_TRUE(run.secondDesktop.ended);
            EXPECT_EQ(run.secondDesktop.WindowHandle(), 0u);
            // A card taken up before the prompt is delivered in its place.
            const size_t shown = swiped ? 1 : c.statuses.size();
            ASSERT_GE(statuses.size(), shown);
            for (size_t i = 0; i < shown; ++i) {
                EXPECT_EQ(statuses[i].second, c.statuses[i]);
                // Only the calls before it: each pass's own, none waited for.
                EXPECT_LT(statuses[i].first, Micros(0.4));
            }
            EXPECT_EQ(run.host.Field(c.session, "W1AC#") == "5500000000000004", swiped);
            EXPECT_EQ(run.Setting("MSconnect"), swiped ? c.tableAfterCard : c.table);
        }
    }
}

// A re-activation filed in the same moment as a card is swiped, or while the running copy waits
// on a host call: whichever of the two the copy sees first, the card came after the request was
// filed and is its own, delivered after "Ostrel re-activated.". One swiped before the filing,
// while no request was open, is nobody's.
TEST_F(ProgramLifecycleTest, ACardSwipedAsAReactivationIsFiledIsItsOwn) {
    constexpr const char* kCard = "%B5500000000000004^ROE/RICHARD^27011010000000000000";
    const struct {
        const char* what;
        bool armed;           // still armed after a delivery, else the host on another screen
        double swipeAfter;    // seconds after the filing
        bool duringHostCall;  // filed and swiped while the copy waits on its GetSessionInfo
        bool delivered;
    } cases[] = {
        {"armed, in the same moment", true, 0, false, true},
        {"armed, during a host call", true, 0.002, true, true},
        {"not armed, in the same moment", false, 0, false, true},
        {"not armed, during a host call", false, 0.002, true, true},
        {"not armed, just before", false, -0.001, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramHarness run;
        run.SwipeAt(6, kVisaTrack);  // delivered: the session is left "N"
        if (!c.armed) run.At(7, [&] { run.host.sessionInfo[2] = "Guest Folio"; });
        const auto fileAndSwipe = [&run, &c](double at) {
            run.desktop.AtOutside(Micros(at), [&run] {
                run.host.sessionInfo[2] = "Front Desk";  // back on the screen that asks
            });
            run.SecondStartAt(at, "C,Front Desk");
            run.SwipeAt(at + c.swipeAfter, kCard);
        };
        if (c.duringHostCall) {
            run.host.AnswerTakes(run.desktop, 10'000, false);
            bool filed = false;
            run.host.onCall = [&](const sim::SimHostScreen::Call& call) {
                if (filed || call.dispId != dispid::kGetSessionInfo ||
                    run.desktop.nowMicros < Micros(9))
                    return;
                filed = true;
                fileAndSwipe(static_cast<double>(run.desktop.nowMicros) / 1e6 + 0.001);
            };
        } else {
            fileAndSwipe(9.2);
        }
        EXPECT_EQ(run.Run("C,Front Desk", 12), End::Stopped);
        const size_t reactivated = run.StatusPut(status::kReactivated);
        EXPECT_LT(reactivated, run.host.calls.size());
        bool deliveredAfter = false;
        for (size_t i = reactivated; i < run.host.calls.size(); ++i) {
            const auto& call = run.host.calls[i];
            deliveredAfter |= call.dispId == dispid::kPutScreenField &&
                              call.args[0].text == "W1AC#" &&
                              call.args[2].text == "5500000000000004";
        }
        EXPECT_EQ(deliveredAfter, c.delivered);
        EXPECT_EQ(run.host.Field(2, "W1AC#") == "5500000000000004", c.delivered);
        EXPECT_EQ(run.Setting("MSconnect"), c.delivered ? "2NFront Desk~" : "2YFront Desk~");
    }
}

TEST_F(ProgramLifecycleTest, LoggingIsSwitchedOnAndOffFromTheMenu) {
    // On from the end of the load, before the first pass arms the request.
    h.At(0, [&] { h.desktop.Events()->OnMenu(MenuItem::Logging); });
    h.At(6.2, [&] {
        EXPECT_TRUE(h.desktop.menuChecked[MenuItem::Logging]);
        EXPECT_EQ(h.Setting("Logging"), "Y");
        h.desktop.Events()->OnMenu(MenuItem::Logging);
    });
    EXPECT_EQ(h.Run("C,Front Desk", 8), End::Stopped);
    EXPECT_FALSE(h.desktop.menuChecked[MenuItem::Logging]);
    EXPECT_EQ(h.Setting("Logging"), "N");
    // While it was on, the session table's rewrites were traced.
    const std::string log = h.Log();
    EXPECT_NE(log.find(" PKT 2**2*Front Desk**Y*Front Desk**-2YFront Desk~\r\n"), std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST_F(ProgramLifecycleTest, LoggingAsStoredIsTakenUpAtStart) {
    h.PutSetting("Logging", "Y");
    EXPECT_EQ(h.Run("C,Front Desk", 6), End::Stopped);
    EXPECT_TRUE(h.desktop.menuChecked[MenuItem::Logging]);
    EXPECT_NE(h.Log().find(" PKT 2**2*Front Desk**P*Front Desk*OFF*-2PFront Desk~\r\n"),
              std::string::npos);
}

TEST_F(ProgramLifecycleTest, ClearAndReattachBlanksTheTableAndKeepsRunningWithoutError) {
    h.At(6, [&] { h.desktop.Events()->OnMenu(MenuItem::Attach); });
    EXPECT_EQ(h.Run("C,Front Desk", 15), End::Stopped);
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    EXPECT_EQ(h.Setting("MSconnect"), " ");
    EXPECT_EQ(h.Setting("cSesId"), " ");
    EXPECT_EQ(h.Setting("NSesDly"), " ");
    EXPECT_TRUE(h.Showed(status::kAttachDevice));
    EXPECT_NE(std::find(h.HostStatus().begin(), h.HostStatus().end(), status::kAttachDevice),
              h.HostStatus().end());
    // The host is still watched: its end ends the program.
    h.processes.End(h.hostPid);
    ProgramHarness other;
    other.At(6, [&] { other.desktop.Events()->OnMenu(MenuItem::Attach); });
    other.At(9, [&] { other.processes.End(other.hostPid); });
    EXPECT_EQ(other.Run("C,Front Desk", 15), End::Ended);
}

TEST_F(ProgramLifecycleTest, ClearAndReattachWithOnlyAnotherMakersDeviceNeverPromptsForASwipe) {
    // The reader is pulled out; the till's keyboard, mouse and touchpad stay, which are no
    // reader: the host is told to attach one, never prompted for a swipe, until it is back.
    h.At(8, [&] { h.hid.Unplug(h.readerId); });
    size_t statusesBefore = 0;
    h.At(10, [&] {
        statusesBefore = h.desktop.statusHistory.size();
        h.desktop.Events()->OnMenu(MenuItem::Attach);
    });
    std::vector<std::string> afterAttach;
    ReaderPhase state = ReaderPhase::NoDevice;
    h.At(16, [&] {
        afterAttach.assign(h.desktop.statusHistory.begin() + statusesBefore,
                           h.desktop.statusHistory.end());
        state = h.Form().ReaderState;
    });
    // The next request is told the same, and served once the reader is back.
    h.SecondStartAt(16.5, "C,Front Desk");
    std::string hostToldThen;
    h.At(19, [&] { hostToldThen = h.HostStatus().back(); });
    h.At(19.5, [&] { h.readerId = h.hid.Plug(sim::ReaderDevice(2)); });
    h.SwipeAt(22, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 25), End::Stopped);
    EXPECT_EQ(std::count(afterAttach.begin(), afterAttach.end(), status::kPleaseSwipe), 0);
    EXPECT_NE(std::find(afterAttach.begin(), afterAttach.end(), status::kAttachDevice),
              afterAttach.end());
    EXPECT_EQ(state, ReaderPhase::NoDevice);
    EXPECT_EQ(hostToldThen, status::kAttachDevice);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
}

TEST_F(ProgramLifecycleTest, ClearAndReattachDuringATicksWaitTakesEffectAfterTheSwipeIsDelivered) {
    // The menu is chosen while the tick waits its 100 ms between the report and its decoding.
    h.SwipeAt(8, kVisaTrack);
    bool chosen = false;
    h.desktop.onDoEvents = [&] {
        if (!chosen && h.desktop.labels[Label::Status] == status::kProcessing) {
            chosen = true;
            h.desktop.Events()->OnMenu(MenuItem::Attach);
        }
    };
    EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    // and then the command did what it does
    EXPECT_EQ(h.Setting("MSconnect"), " ");
    EXPECT_GT(h.StatusPut(status::kAttachDevice), h.StatusPut(status::kSent));
}

TEST_F(ProgramLifecycleTest, ExitResetsTheSharedValuesAndRemovesTheIcon) {
    h.At(6, [&] { h.desktop.Events()->OnMenu(MenuItem::End); });
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_LT(h.desktop.nowMicros, Micros(7));
    EXPECT_FALSE(h.desktop.iconPresent);
    // Once at start, twice at the end (the Exit entry and the unload).
    EXPECT_EQ(Count(h.registry.writes, "MSconnect", " "), 3);
    EXPECT_EQ(Count(h.registry.writes, "Logging", " "), 2);
    const auto& icon = h.desktop.iconCalls.front();
    EXPECT_EQ(icon.message, kNimAdd);
    EXPECT_EQ(icon.record.cbSize, kNotifyIconRecordSize);
    EXPECT_EQ(icon.record.uID, 1u);
    EXPECT_EQ(icon.record.uFlags, 7u);
    EXPECT_EQ(icon.record.uCallbackMessage, 0x8001u);  // WM_APP + 1, no mouse message
    EXPECT_EQ(icon.record.hWnd, sim::SimDesktop::kWindow);
    EXPECT_EQ(icon.record.hIcon, sim::SimDesktop::kIcon);
    EXPECT_EQ(std::string(icon.record.szTip, 7), std::string("Ostrel\0", 7));
    EXPECT_EQ(std::string(icon.record.szTip + 7, 57), std::string(57, ' '));
}

// Log-off, shutdown or an installer's request: the same end as Exit's at the same moment, but
// with no call to the host's control, which refuses calls inside the message Windows sends
// (and in any host call that lets it through, would be a call within a call), and no dialog.
TEST_F(ProgramLifecycleTest, TheSessionsEndLeavesAsExitDoesWithoutCallingTheHost) {
    h.At(6, [&] { h.desktop.Events()->OnMenu(MenuItem::End); });
    EXPECT_EQ(h.Run(), End::Ended);
    ASSERT_EQ(h.host.calls.back(), (sim::SimHostScreen::Call{dispid::kDetachSession, {}}));
    for (const bool inHostCall : {false, true}) {
        SCOPED_TRACE(inHostCall ? "inside a host call" : "between passes");
        ProgramHarness session;
        // Answered once what the next start relies on is done: Windows may end the process then.
        bool doneByAnswer = false;
        session.desktop.onSentAnswered = [&] {
            doneByAnswer = session.Setting("MSconnect") == " " && session.hid.OpenResources() == 0;
        };
        size_t sentAt = 0;
        if (inHostCall) {
            session.host.AnswerTakes(session.desktop, 20 * 1000, true);
            session.host.onCall = [&](const sim::SimHostScreen::Call& call) {
                if (sentAt || call.dispId != dispid::kGetSessionInfo ||
                    !session.copy->ScannerActive)
                    return;
                sentAt = session.host.calls.size();
                session.desktop.SendEndSession(session.desktop.nowMicros);
            };
        } else {
            session.At(6, [&] {
                sentAt = session.host.calls.size();
                session.desktop.SendEndSession(session.desktop.nowMicros);
            });
        }
        EXPECT_EQ(session.Run(), End::Ended);
        ASSERT_GT(sentAt, 0u);
        EXPECT_EQ(session.host.calls.size(), sentAt);
        EXPECT_EQ(session.host.callsInsideCalls, 0);
        EXPECT_EQ(session.desktop.sentAnswered, 1);
        EXPECT_TRUE(doneByAnswer);
        EXPECT_FALSE(session.desktop.iconPresent);
        EXPECT_TRUE(session.desktop.messageBoxes.empty());
        EXPECT_EQ(Count(session.registry.writes, "Logging", " "), 2);
        if (!inHostCall) {
            EXPECT_EQ(session.desktop.nowMicros, h.desktop.nowMicros);
            EXPECT_EQ(session.registry.writes, h.registry.writes);
            EXPECT_EQ(session.host.calls.size() + 1, h.host.calls.size());
            EXPECT_EQ(session.desktop.iconCalls.size(), h.desktop.iconCalls.size());
        }
    }
}

TEST_F(ProgramLifecycleTest, ASecondCopyLeavesTheSharedValuesAlone) {
    h.SecondStartAt(7, "C,Front Desk");
    EXPECT_EQ(h.Run("C,Front Desk", 7.1), End::Stopped);
    EXPECT_EQ(Count(h.registry.writes, "Logging", " "), 0);
}

TEST_F(ProgramLifecycleTest, TheIconBringsTheWindowBackAndOpensTheMenu) {
    h.At(5, [&] {
        EXPECT_FALSE(h.desktop.visible);
        h.desktop.Events()->OnIconMessage(kWmMouseMove);  // the mouse passing over the icon
        EXPECT_FALSE(h.desktop.visible);
        h.desktop.Events()->OnClick();
        h.desktop.Events()->OnIconMessage(kWmLButtonDblClk);
        EXPECT_TRUE(h.desktop.visible);
        EXPECT_FALSE(h.desktop.minimized);
        EXPECT_EQ(h.desktop.foregroundCalls, 1);
        h.desktop.Events()->OnClick();  // minimised, which hides it
        EXPECT_FALSE(h.desktop.visible);
        h.desktop.popupChoice = MenuItem::End;
        h.desktop.Events()->OnIconMessage(kWmRButtonUp);
    });
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_EQ(h.desktop.popups, 1);
    EXPECT_EQ(h.desktop.foregroundCalls, 2);
}

TEST_F(ProgramLifecycleTest, NoArgumentShowsTheResetDialogAndCancelEndsWithoutAWindow) {
    h.desktop.answers = {kIdCancel};
    EXPECT_EQ(h.Run(""), End::Ended);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
    const auto& box = h.desktop.messageBoxes[0];
    EXPECT_EQ(box.caption, "Ostrel error...");
    EXPECT_EQ(box.style, kMbOkCancel | kMbIconCritical);
    EXPECT_EQ(box.text, ResetText(5, "Invalid procedure call or argument"));
    EXPECT_EQ(h.desktop.Events(), nullptr);
    EXPECT_TRUE(h.desktop.iconCalls.empty());
    EXPECT_TRUE(h.registry.writes.empty());
}

TEST_F(ProgramLifecycleTest, NoArgumentAndOkStartsSessionZero) {
    h.host.sessionInfo[0] = "";
    EXPECT_EQ(h.Run("", 6), End::Stopped);
    EXPECT_EQ(h.Setting("MSconnect"), "0Y~");
    EXPECT_EQ(h.host.Field(0, "CCSTATUS"), status::kPleaseSwipe);
}

TEST_F(ProgramLifecycleTest, AWindowThatCouldNotBeCreatedIsCreatedAgainAfterOk) {
    h.desktop.failWindowCreations = 1;
    h.desktop.answers = {kIdOk};
    EXPECT_EQ(h.Run("C,Front Desk", 8), End::Stopped);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
    EXPECT_EQ(h.desktop.messageBoxes[0].text,
              ResetText(errnum::kOutOfMemory, "The main window could not be created"));
    // The second try made the window, and the program runs as usual.
    EXPECT_TRUE(h.desktop.iconPresent);
    EXPECT_TRUE(h.desktop.timerEnabled);
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
}

TEST_F(ProgramLifecycleTest, AnErrorInTheLoopOffersAResetAgainAndAgain) {
    h.At(5, [&] { h.host.failNext[dispid::kGetSessionInfo] = {-2147023174, "RPC failed"}; });
    h.At(8, [&] { h.host.failNext[dispid::kGetSessionInfo] = {-2147418113, "Catastrophic"}; });
    h.desktop.answers = {kIdOk, kIdCancel};
    EXPECT_EQ(h.Run(), End::Ended);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 2u);
    EXPECT_EQ(h.desktop.messageBoxes[0].text, ResetText(-2147023174, "RPC failed"));
    EXPECT_EQ(h.desktop.messageBoxes[1].text, ResetText(-2147418113, "Catastrophic"));
    // OK let go of the host and went on without loading the window again.
    EXPECT_EQ(Count(h.registry.writes, "MSconnect", " "), 2);
    EXPECT_EQ(h.desktop.iconCalls.size(), 2u);  // added once, removed at the end
    EXPECT_FALSE(h.desktop.iconPresent);
}

TEST_F(ProgramLifecycleTest, AnErrorInTheTimerIsOfferedAsAResetAndOkCarriesOn) {
    // The timer's "Processing data..." fails to reach the host: that swipe is lost, the
    // next one is delivered. The failure is set as the card is swiped, before the read that
    // gets it can complete.
    h.desktop.AtOutside(Micros(9), [&] {
        h.host.failNext[dispid::kPutScreenField] = {-2147467259, "Unspecified"};
    });
    h.SwipeAt(9, kVisaTrack);
    h.SwipeAt(12, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 15), End::Stopped);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
    EXPECT_EQ(h.desktop.messageBoxes[0].text, ResetText(-2147467259, "Unspecified"));
    EXPECT_EQ(h.desktop.messageBoxes[0].caption, "Ostrel error...");
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
}

TEST_F(ProgramLifecycleTest, AnErrorOnceTheHostHasEndedEndsTheProgramWithoutADialog) {
    // The host's control goes with the host. In the loop and in a window event alike, such an
    // error ends the program as the loop's host check would, not in a dialog nobody answers.
    constexpr int32_t kDisconnected = -2147417848;
    h.processes.End(h.hostPid);
    h.host.failNext[dispid::kGetSessionInfo] = {kDisconnected, "The host is not running"};
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    EXPECT_FALSE(h.desktop.iconPresent);
    EXPECT_EQ(h.Setting("MSconnect"), " ");

    ProgramHarness other;
    other.At(9, [&] {
        other.processes.End(other.hostPid);
        other.host.failNext[dispid::kPutScreenField] = {kDisconnected, "The host is not running"};
        other.desktop.Events()->OnMenu(MenuItem::Attach);
    });
    EXPECT_EQ(other.Run(), End::Ended);
    EXPECT_TRUE(other.desktop.messageBoxes.empty());
    EXPECT_LT(other.desktop.nowMicros, Micros(12));
}

TEST_F(ProgramLifecycleTest, AnErrorInAMenuCommandAndCancelEndsTheNormalWay) {
    h.At(6, [&] {
        h.host.failNext[dispid::kPutScreenField] = {-2147467259, "Unspecified"};
        h.desktop.answers = {kIdCancel};
        h.desktop.Events()->OnMenu(MenuItem::Attach);
    });
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_EQ(h.desktop.messageBoxes.size(), 1u);
    EXPECT_EQ(h.Setting("Logging"), " ");
    EXPECT_FALSE(h.desktop.iconPresent);
}

TEST_F(ProgramLifecycleTest, OneDeviceSearchAtATimeAndNothingOpenedIsDropped) {
    // A delivery leaves the entry "N"; a failed read closes the reader; a second start then
    // leaves "R", whose search waits a second before it opens the reader, long enough for the
    // timer's tick to fall due and want to search too.
    h.SwipeAt(8, kVisaTrack);
    h.At(10.2, [&] { h.hid.FailNextRead(h.readerId, winerr::kDeviceNotConnected); });
    h.SecondStartAt(11.1, "C,Front Desk");
    EXPECT_EQ(h.Run("C,Front Desk", 16), End::Stopped);
    EXPECT_TRUE(h.Showed(status::kReactivated));
    // The reader open once: its handle, its preparsed data and the read event.
    EXPECT_EQ(h.hid.OpenResources(), 3u);
    int depth = 0;
    int deepest = 0;
    for (const std::string& call : h.hid.calls) {
        if (call == "GetClassDevs") deepest = std::max(deepest, ++depth);
        if (call == "DestroyDeviceInfoList") --depth;
    }
    EXPECT_EQ(deepest, 1);
}

TEST_F(ProgramLifecycleTest, ATickDuringAnotherTicksWaitIsSkipped) {
    // Three devices of the reader's vendor that are no reader: each costs a 1 s wait inside
    // the timer's search, long enough for more ticks to fall due.
    h.hid.Unplug(h.readerId);
    for (int i = 0; i < 3; ++i) {
        sim::SimHidDevice device = sim::ReaderDevice(4);
        device.path = sim::SimHid::DevicePath(kReaderVendorId, 4, i);
        h.hid.Plug(device);
    }
    EXPECT_EQ(h.Run(), End::Ended);
    int depth = 0;
    int deepest = 0;
    for (const std::string& call : h.hid.calls) {
        if (call == "GetClassDevs") deepest = std::max(deepest, ++depth);
        if (call == "DestroyDeviceInfoList") --depth;
    }
    EXPECT_EQ(deepest, 1);
}

}  // namespace
}  // namespace ostrel
