#include "hostlink/host_link.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_host_screen.h"
#include "tests/logic/host_calls.h"
#include "tests/app_error_matchers.h"

namespace ostrel {
namespace {

using sim::SimHostScreen;
using Arg = SimHostScreen::Arg;
using Call = SimHostScreen::Call;

class HostLinkTest : public ::testing::Test {
  protected:
    SimHostScreen screen;
    HostLinkControl link{screen};
    HostSessionId session = HostSessionId::Number(2);
};

TEST_F(HostLinkTest, OpenAttachesOnceAndCloseDetaches) {
    link.OpenHostLink(session);
    link.OpenHostLink(session);
    EXPECT_TRUE(link.HostLinkOpen());
    EXPECT_EQ(screen.attachedSession, 2);
    link.CloseHostLink();
    link.CloseHostLink();
    EXPECT_FALSE(link.HostLinkOpen());
    EXPECT_EQ(screen.calls, (std::vector<Call>{{49, {Long(2), Long(3)}}, {24, {}}}));
}

TEST_F(HostLinkTest, AFailedAttachLeavesTheLinkClosed) {
    screen.failNext[49] = {static_cast<int32_t>(0x80004005), "Session not available"};
    const AppError e = CaughtError([&] { link.OpenHostLink(session); });
    EXPECT_EQ(e.Number(), static_cast<int32_t>(0x80004005));
    EXPECT_EQ(e.Description(), "Session not available");
    EXPECT_FALSE(link.HostLinkOpen());
    link.OpenHostLink(session);
    EXPECT_TRUE(link.HostLinkOpen());
}

TEST_F(HostLinkTest, CloseIgnoresAFailingDetach) {
    link.OpenHostLink(session);
    screen.failNext[24] = {static_cast<int32_t>(0x800706BA), "The RPC server is unavailable."};
    link.CloseHostLink();
    EXPECT_FALSE(link.HostLinkOpen());
}

TEST_F(HostLinkTest, PutOperationsPassTheirArgumentsInOrder) {
    link.OpenHostLink(session);
    screen.calls.clear();
    CardText first = "JOHN";
    link.PutScreenField("WFNAM", DispArg::TextRef(first), session);
    link.PutScreenField("CCSTATUS", DispArg::Text("Please"), session);
    link.PutScreenValue("ZEXPMM", DispArg::Text("12"), session);
    link.PutScreenFlag("CCScanCard", "Y", session);
    EXPECT_EQ(screen.calls, (std::vector<Call>{
                                {39, {Text("WFNAM"), Long(0), Ref("JOHN"), Long(2)}},
                                {39, {Text("CCSTATUS"), Long(0), Text("Please"), Long(2)}},
                                {18, {Text("ZEXPMM"), Long(0), Text("12"), Long(2)}},
                                {45, {Text("CCScanCard"), Text("Y"), Long(1), Long(2)}},
                            }));
    EXPECT_EQ(screen.Field(2, "WFNAM"), "JOHN");
    EXPECT_EQ(screen.Field(2, "CCScanCard"), "Y");
}

TEST_F(HostLinkTest, ReadsGoToTheControlItselfOpenOrNot) {
    screen.fields[{2, "W1AC#"}] = "4111111111111111";
    screen.sessionInfo[2] = "Front Desk";
    EXPECT_EQ(link.GetScreenField("W1AC#", session), "4111111111111111");
    EXPECT_EQ(link.GetSessionInfo(session), "Front Desk");
    EXPECT_EQ(screen.calls,
              (std::vector<Call>{{36, {Text("W1AC#"), Long(2)}}, {40, {Long(4), Long(2)}}}));
}

TEST_F(HostLinkTest, PutsWithoutALinkRaiseObjectNotSet) {
    EXPECT_EQ(
        CaughtError([&] { link.PutScreenField("CCSTATUS", DispArg::Text("x"), session); }).Number(),
        91);
    EXPECT_EQ(
        CaughtError([&] { link.PutScreenValue("ZEXPMM", DispArg::Text(""), session); }).Number(),
        91);
    EXPECT_EQ(CaughtError([&] { link.PutScreenFlag("CCScanCard", "", session); }).Number(), 91);
    EXPECT_TRUE(screen.calls.empty());
}

TEST_F(HostLinkTest, TheSessionIsConvertedAtEachCall) {
    link.OpenHostLink(HostSessionId::Text("12"));
    link.PutScreenField("CCSTATUS", DispArg::Text("x"), HostSessionId::Text("12"));
    EXPECT_EQ(screen.Field(12, "CCSTATUS"), "x");
    screen.calls.clear();
    const HostSessionId blank = HostSessionId::Text(" ");
    EXPECT_EQ(
        CaughtError([&] { link.PutScreenField("CCSTATUS", DispArg::Text("x"), blank); }).Number(),
        13);
    EXPECT_EQ(CaughtError([&] { link.GetSessionInfo(blank); }).Number(), 13);
    EXPECT_TRUE(screen.calls.empty());
}

TEST_F(HostLinkTest, AnAttachThatCannotConvertTheSessionLeavesTheLinkClosed) {
    EXPECT_EQ(CaughtError([&] { link.OpenHostLink(HostSessionId::Text(" ")); }).Number(), 13);
    EXPECT_FALSE(link.HostLinkOpen());
    EXPECT_TRUE(screen.calls.empty());
}

}  // namespace
}  // namespace ostrel
