// The host emulator's screens and commands: what the stand-in control's operations do, how
// a caller's mistake shows, and the commands that drive the emulator.
#include "training/host_screens.h"

#include <gtest/gtest.h>

#include "training/emulator_core.h"

namespace ostrel::training {
namespace {

using Outcome = ControlReply::Outcome;
using A = ControlArg;

constexpr int kC = 2;

TEST(HostScreens, PutsSetTheSessionsFieldsAndGetsReadThemBack) {
    HostScreens screens;
    EXPECT_EQ(screens.Apply(49, {A::Long(kC), A::Long(3)}).outcome, Outcome::Done);
    EXPECT_TRUE(screens.Session(kC).attached);
    screens.Apply(39, {A::Text("W1AC#"), A::Long(0), A::TextRef("4111111111111111"), A::Long(kC)});
    screens.Apply(18, {A::Text("ZEXPMM"), A::Long(0), A::Text("12"), A::Long(kC)});
    screens.Apply(45, {A::Text("CCScanCard"), A::Text("Y"), A::Long(1), A::Long(kC)});
    screens.Apply(39, {A::Text("CCSTATUS"), A::Long(0), A::Text("one"), A::Long(kC)});
    screens.Apply(39, {A::Text("CCSTATUS"), A::Long(0), A::Text("two "), A::Long(kC)});

    EXPECT_EQ(screens.Field(kC, "ZEXPMM"), "12");
    EXPECT_EQ(screens.Field(kC, "CCScanCard"), "Y");
    EXPECT_EQ(screens.Field(kC + 1, "W1AC#"), "");  // other sessions untouched
    EXPECT_EQ(screens.Apply(36, {A::Text("W1AC#"), A::Long(kC)}).result, "4111111111111111");
    EXPECT_EQ(screens.Session(kC).statuses, (std::vector<std::string>{"one", "two "}));

    screens.SetScreenText(kC, "Guest Folio");
    EXPECT_EQ(screens.Apply(40, {A::Long(4), A::Long(kC)}).result, "Guest Folio");
    EXPECT_EQ(screens.Apply(24, {}).outcome, Outcome::Done);
    EXPECT_FALSE(screens.Session(kC).attached);
}

TEST(HostScreens, ACallersWrongShapeIsRefusedAndChangesNothing) {
    HostScreens screens;
    const auto put = [&](std::vector<ControlArg> args) { return screens.Apply(18, args); };
    // PutScreenValue takes its text by value only; PutScreenField takes either.
    const ControlReply byRef = put({A::Text("ZEXPMM"), A::Long(0), A::TextRef("12"), A::Long(kC)});
    EXPECT_EQ(byRef.outcome, Outcome::TypeMismatch);
    EXPECT_EQ(byRef.argIndex, 2u);
    const ControlReply textSession =
        put({A::Text("ZEXPMM"), A::Long(0), A::Text("12"), A::Text("2")});
    EXPECT_EQ(textSession.outcome, Outcome::TypeMismatch);
    EXPECT_EQ(textSession.argIndex, 3u);
    EXPECT_EQ(put({A::Text("ZEXPMM"), A::Long(0), A::Text("12")}).outcome, Outcome::BadParamCount);
    EXPECT_EQ(screens.Apply(50, {}).outcome, Outcome::UnknownMember);
    EXPECT_EQ(screens.Field(kC, "ZEXPMM"), "");

    // Well formed, but naming what the host does not have.
    const ControlReply noField = put({A::Text("ZEXP"), A::Long(0), A::Text("12"), A::Long(kC)});
    EXPECT_EQ(noField.outcome, Outcome::Failed);
    EXPECT_NE(noField.description.find("\"ZEXP\""), std::string::npos);
    EXPECT_EQ(put({A::Text("ZEXPMM"), A::Long(0), A::Text("12"), A::Long(25)}).outcome,
              Outcome::Failed);
    EXPECT_EQ(screens.Apply(40, {A::Long(3), A::Long(kC)}).outcome, Outcome::Failed);
    EXPECT_EQ(screens.Calls().size(), 7u);  // refused calls are listed too
}

TEST(HostScreens, TheCallListShowsNoMoreThanFourDigitsOfANumber) {
    HostScreens screens;
    screens.Apply(39, {A::Text("W1AC#"), A::Long(0), A::TextRef("4111111111111111"), A::Long(kC)});
    screens.Apply(36, {A::Text("W1AC#"), A::Long(kC)});
    for (const std::string& line : screens.Calls()) {
        EXPECT_EQ(line.find("41111"), std::string::npos) << line;
        EXPECT_NE(line.find("4111************"), std::string::npos) << line;
    }
    EXPECT_EQ(MaskDigitRuns("1225 at 10:42, 123456"), "1225 at 10:42, 1234**");
}

TEST(HostScreens, ARepeatedCallIsCountedOnOneLine) {
    HostScreens screens;
    for (int i = 0; i < 3; ++i)
        screens.Apply(40, {A::Long(4), A::Long(kC)});
    screens.Apply(24, {});
    screens.Apply(40, {A::Long(4), A::Long(kC)});
    EXPECT_EQ(screens.Calls(), (std::vector<std::string>{
                                   "GetSessionInfo(4, 2) -> \"Front Desk\" (3 times)",
                                   "DetachSession()", "GetSessionInfo(4, 2) -> \"Front Desk\""}));
}

TEST(HostScreens, EachStatusIsTimedWhenItArrivesAndOtherFieldsAreNot) {
    int64_t now = 1000;
    HostScreens screens([&] { return now; });
    screens.Apply(39, {A::Text("CCSTATUS"), A::Long(0), A::Text("one"), A::Long(kC)});
    now = 1250;
    screens.Apply(39, {A::Text("W1AC#"), A::Long(0), A::Text("4111111111111111"), A::Long(kC)});
    now = 1400;
    screens.Apply(18, {A::Text("CCSTATUS"), A::Long(0), A::Text("two"), A::Long(kC)});
    EXPECT_EQ(screens.Session(kC).statuses, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(screens.Session(kC).statusTimesMs, (std::vector<int64_t>{1000, 1400}));
    EXPECT_TRUE(screens.Session(0).statusTimesMs.empty());
}

TEST(EmulatorCore, AScanStartsTheProgramWithTheSessionsLetterAndScreenText) {
    EmulatorCore core;
    EXPECT_EQ(core.Handle({"screen", "c", "Guest Folio"}).reply, OkReply());
    const EmulatorReply scan = core.Handle({"scan", "C"});
    EXPECT_EQ(scan.action.kind, EmulatorAction::Kind::StartProgram);
    EXPECT_EQ(scan.action.argument, "C,Guest Folio");
    for (const Message& bad : {Message{"scan", "Z"}, Message{"scan"}, Message{"bogus"}}) {
        EXPECT_EQ(core.Handle(bad).reply[0], kError);
        EXPECT_EQ(core.Handle(bad).action.kind, EmulatorAction::Kind::None);
    }
}

TEST(EmulatorCore, ASwipeIsHandedToTheReaderOnceAndThenForgotten) {
    EmulatorCore core;
    EXPECT_EQ(core.Handle({kTakeSwipe}).reply, OkReply());
    EXPECT_EQ(core.Handle({"swipe", "visa"}).reply, OkReply());
    EXPECT_EQ(core.Handle({"swipe-tracks", "%B1^A/B^2812", ";1=2812"}).reply, OkReply());
    EXPECT_EQ(core.Handle({"swipe", "no-such-card"}).reply[0], kError);

    EXPECT_EQ(SwipeOfReply(core.Handle({kTakeSwipe}).reply), TestCardSwipe("visa"));
    const auto typed = SwipeOfReply(core.Handle({kTakeSwipe}).reply);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->tracks, (std::array<std::string, 3>{"%B1^A/B^2812", ";1=2812", ""}));
    EXPECT_FALSE(SwipeOfReply(core.Handle({kTakeSwipe}).reply));

    // Nobody swipes 32 cards ahead of the reader.
    for (int i = 0; i < 32; ++i)
        core.Handle({"swipe", "visa"});
    EXPECT_EQ(core.Handle({"swipe", "visa"}).reply[0], kError);
    EXPECT_EQ(core.PendingSwipes(), 32u);
}

TEST(EmulatorCore, ControlCallsReachTheScreensAndTheirFailuresComeBackAsErrors) {
    EmulatorCore core;
    const Message put = ControlCall(
        39, {A::Text("CCSTATUS"), A::Long(0), A::Text("Send Card information ..."), A::Long(kC)});
    EXPECT_EQ(core.Handle(put).reply, OkReply({""}));
    EXPECT_EQ(core.Handle({"field", "C", "CCSTATUS"}).reply,
              OkReply({"Send Card information ..."}));
    EXPECT_EQ(core.Handle(ControlCall(36, {A::Text("NOPE"), A::Long(kC)})).reply[0], kError);
    const Message calls = core.Handle({"calls", "1"}).reply;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[1].find("NOPE"), std::string::npos);
    // A refusal asked for: the next call naming that field only, the value not taken.
    EXPECT_EQ(core.Handle({"fail", "PutScreenField", "W1AC#"}).reply, OkReply());
    EXPECT_EQ(core.Handle({"fail", "NoSuchCall"}).reply[0], kError);
    const auto account = [&](const char* number) {
        return core.Handle(
            ControlCall(39, {A::Text("W1AC#"), A::Long(0), A::TextRef(number), A::Long(kC)}));
    };
    EXPECT_EQ(core.Handle(put).reply, OkReply({""}));
    EXPECT_EQ(account("4111111111111111").reply[0], kError);
    EXPECT_EQ(core.Handle({"field", "C", "W1AC#"}).reply, OkReply({""}));
    EXPECT_EQ(account("4111111111111111").reply, OkReply({""}));
}

TEST(EmulatorCore, NestedCallsAreKeptByNameApartFromTheCallList) {
    EmulatorCore core;
    EXPECT_EQ(core.Handle({"nested-calls"}).reply, OkReply());
    EXPECT_EQ(core.Handle(NestedCallReport(40, 39)).reply, OkReply());
    EXPECT_EQ(core.Handle(NestedCallReport(7, 36)).reply, OkReply());
    EXPECT_EQ(core.Handle({"nested-call", "40"}).reply[0], kError);
    EXPECT_EQ(core.Handle({"nested-calls"}).reply,
              OkReply({"GetSessionInfo inside PutScreenField", "call 7 inside GetScreenField"}));
    // A report is no control call: the host's call list stays as it was.
    EXPECT_EQ(core.Handle({"calls"}).reply, OkReply());
}

TEST(EmulatorCore, SwipesAndStatusesAreTimedOnOneClock) {
    int64_t now = 5000;
    EmulatorCore core([&] { return now; });
    core.Handle({"swipe", "visa"});
    now = 5300;
    core.Handle({"swipe", "amex"});
    EXPECT_EQ(core.Handle({"swipe-times"}).reply, OkReply({"5000\t-", "5300\t-"}));
    now = 5900;
    ASSERT_TRUE(core.TakeSwipe());
    now = 6100;
    core.Handle(ControlCall(
        39, {A::Text("CCSTATUS"), A::Long(0), A::Text("Send Card information ..."), A::Long(kC)}));
    // The times stay after the swipe has gone; a refused swipe has none.
    core.Handle({"swipe", "no-such-card"});
    EXPECT_EQ(core.Handle({"swipe-times"}).reply, OkReply({"5000\t5900", "5300\t-"}));
    now = 7000;
    ASSERT_TRUE(core.TakeSwipe());
    EXPECT_EQ(core.Handle({"swipe-times"}).reply, OkReply({"5000\t5900", "5300\t7000"}));
    EXPECT_EQ(core.Handle({"status-times", "c"}).reply,
              OkReply({"6100\tSend Card information ..."}));
    EXPECT_EQ(core.Handle({"status-times", "A"}).reply, OkReply());
    EXPECT_EQ(core.Handle({"status-times"}).reply[0], kError);
    // The host's requests on the same clock; one for no session is none.
    EXPECT_EQ(core.Handle({"scan-times"}).reply, OkReply());
    now = 7400;
    EXPECT_EQ(core.Handle({"scan", "C"}).action.kind, EmulatorAction::Kind::StartProgram);
    core.Handle({"scan", "?"});
    EXPECT_EQ(core.Handle({"scan-times"}).reply, OkReply({"7400"}));
}

}  // namespace
}  // namespace ostrel::training
