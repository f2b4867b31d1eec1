// Whole-program scenarios: the host's control failing with a COM error at each call of a
// delivery, its read-back and the clearing of the fields. A failure inside a swipe ends in the
// swipe's failure exit; one while a request is served ends in the reset dialog, after which the
// request is served as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;
using Call = sim::SimHostScreen::Call;
using Failure = sim::SimHostScreen::Failure;

constexpr int32_t kRefused = static_cast<int32_t>(0x80040201);

// One host call: its dispatch id and the field it names.
struct HostStep {
    int32_t dispId;
    const char* field;
};

bool Names(const Call& call, const HostStep& step) {
    return call.dispId == step.dispId && !call.args.empty() && call.args[0].text == step.field;
}

// Fails the first call that matches once armed is set; leaves every other call alone.
// armed must outlive h.
void FailOnce(ProgramHarness& h, const HostStep& step, const bool& armed) {
    auto failed = std::make_shared<bool>(false);
    h.host.failWhen = [step, &armed, failed](const Call& call) -> std::optional<Failure> {
        if (*failed || !armed || !Names(call, step)) return std::nullopt;
        *failed = true;
        return Failure{kRefused, "Field refused"};
    };
}

bool Wrote(const ProgramHarness& h, const std::string& name, const std::string& text) {
    return std::count(h.registry.writes.begin(), h.registry.writes.end(),
                      sim::SimRegistry::Write{name, text}) > 0;
}

// What a swipe's failure exit leaves after an unexpected failure: one message box naming the
// step, the session left for re-activation, the clerk told to type the card, one log line, and
// the program ended. The card's number is in none of them.
void ExpectSwipeFailureExit(const ProgramHarness& h, End end, const std::string& stepLabel) {
    EXPECT_EQ(end, End::Ended);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
    const auto& box = h.desktop.messageBoxes[0];
    EXPECT_EQ(box.caption, "Credit Card Scanning Error");
    EXPECT_EQ(box.text.rfind("Error: " + std::to_string(kRefused) + ", Field refused\r\n\r\n" +
                                 stepLabel + "\r\n",
                             0),
              0u)
        << box.text;
    EXPECT_TRUE(Wrote(h, "MSconnect", "2RFront Desk~"));
    EXPECT_EQ(h.HostStatus().back(), status::kDeactivated);
    const std::string log = h.desktop.files.count("C:\\Ostrel\\CCProcess.log")
                                ? h.desktop.files.at("C:\\Ostrel\\CCProcess.log")
                                : "";
    // One line, whose message keeps its line breaks.
    EXPECT_EQ(log.rfind("Card data err**2**Error: "), log.find("Card data err")) << log;
    EXPECT_NE(log.find("Card data err**2**Error: "), std::string::npos);
    EXPECT_EQ(log.find("41111111"), std::string::npos);
    EXPECT_EQ(box.text.find("41111111"), std::string::npos);
}

const HostStep kDeliverySteps[] = {
    {dispid::kPutScreenField, "WFNAM"},     {dispid::kPutScreenField, "WMNAM"},
    {dispid::kPutScreenField, "WLNAM"},     {dispid::kPutScreenField, "W1AC#"},
    {dispid::kPutScreenField, "W1CTYP"},    {dispid::kPutScreenField, "SCTYP"},
    {dispid::kPutScreenField, "SCDSC"},     {dispid::kPutScreenField, "W1CEXP"},
    {dispid::kPutScreenValue, "ZEXPMM"},    {dispid::kPutScreenValue, "ZEXPYY"},
    {dispid::kPutScreenFlag, "CCScanCard"},
};

// The host calls that empty the card's fields, in their order.
const HostStep kClearingSteps[] = {
    {dispid::kPutScreenField, "WFNAM"},     {dispid::kPutScreenField, "WMNAM"},
    {dispid::kPutScreenField, "WLNAM"},     {dispid::kPutScreenField, "W1AC#"},
    {dispid::kPutScreenField, "W1CTYP"},    {dispid::kPutScreenField, "W1CEXP"},
    {dispid::kPutScreenValue, "ZEXPMM"},    {dispid::kPutScreenValue, "ZEXPYY"},
    {dispid::kPutScreenField, "SCTYP"},     {dispid::kPutScreenField, "SCDSC"},
    {dispid::kPutScreenFlag, "CCScanCard"},
};

TEST(ProgramHostFaults, ACallOfTheDeliveryOrItsReadBackFailingEndsInTheFailureExit) {
    std::vector<std::pair<HostStep, const char*>> steps;
    for (const HostStep& step : kDeliverySteps)
        steps.push_back({step, "Stp: DMSR-G10"});
    steps.push_back({{dispid::kGetScreenField, "W1AC#"}, "Stp: DMSR-G11"});
    steps.push_back({{dispid::kPutScreenField, "CCSTATUS"}, "Stp: DMSR-G11"});
    for (const auto& [step, label] : steps) {
        SCOPED_TRACE(std::string(step.field) + " " + std::to_string(step.dispId));
        bool armed = false;
        ProgramHarness h;
        // From the delivery on: the status puts before it are not this step.
        h.host.onCall = [&](const Call& call) {
            if (call.dispId == dispid::kPutScreenField && call.args[0].text == "WFNAM" &&
                call.args[2].type == DispArg::Type::TextRef) {
                armed = true;
            }
        };
        FailOnce(h, step, armed);
        h.SwipeAt(8, kVisaTrack);
        ExpectSwipeFailureExit(h, h.Run(), label);
    }
}

TEST(ProgramHostFaults, AClearingCallAfterAReadBackThatDiffersEndsInTheFailureExit) {
    for (const HostStep& step : kClearingSteps) {
        SCOPED_TRACE(step.field);
        bool armed = false;
        ProgramHarness h;
        h.host.readBack = [](const std::string&, const std::string& stored) {
            return stored + " ";
        };
        h.host.onCall = [&](const Call& call) {
            if (call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
                call.args[2].text == status::kIncomplete) {
                armed = true;
            }
        };
        FailOnce(h, step, armed);
        h.SwipeAt(8, kVisaTrack);
        ExpectSwipeFailureExit(h, h.Run(), "Stp: DMSR-G11");
    }
}

// The host's detach is let go of quietly: a confirmed delivery stays confirmed.
TEST(ProgramHostFaults, ADetachThatFailsAfterAConfirmedDeliveryIsIgnored) {
    ProgramHarness h;
    h.At(8, [&] { h.host.failNext[dispid::kDetachSession] = {kRefused, "Detach failed"}; });
    h.SwipeAt(8, kVisaTrack);
    h.SwipeAt(11, "%B5500000000000004^ROE/RICHARD^27011010000000000000");
    EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    EXPECT_TRUE(h.host.failNext.empty());
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
}

struct RequestFault {
    const char* name;
    const char* request;  // the letter a second start leaves, or nullptr for the first request
    HostStep step;
    const char* table;  // the table once served again
    bool armed;
};

// A request's clearing of the fields, or its attach, failing: the reset dialog, and after OK the
// request is served as it would have been.
TEST(ProgramHostFaults, ARequestWhoseHostCallsFailIsServedAfterTheResetDialog) {
    std::vector<RequestFault> cases;
    for (const HostStep& step : kClearingSteps)
        cases.push_back({"swipe requested", nullptr, step, "2YFront Desk~", true});
    cases.push_back(
        {"swipe requested", nullptr, {dispid::kAttachSession, ""}, "2YFront Desk~", true});
    cases.push_back(
        {"re-activated", "R", {dispid::kPutScreenField, "W1AC#"}, "2YFront Desk~", true});
    cases.push_back(
        {"deactivated", "D", {dispid::kPutScreenField, "W1AC#"}, "2NFront Desk~", false});
    for (const RequestFault& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.step.field);
        bool armed = !c.request;
        ProgramHarness h;
        h.desktop.answers = {kIdOk};
        if (c.request) {
            // Served once; then a second start leaves its letter.
            h.SwipeAt(6, kVisaTrack);
            h.At(8, [&h, &armed, &c] {
                h.PutSetting("MSconnect", std::string("2") + c.request + "Front Desk~");
                armed = true;
            });
        }
        auto failed = std::make_shared<bool>(false);
        h.host.failWhen = [&armed, &c, failed](const Call& call) -> std::optional<Failure> {
            const bool match = c.step.dispId == dispid::kAttachSession
                                   ? call.dispId == dispid::kAttachSession
                                   : Names(call, c.step) && call.args[2].text.empty();
            if (*failed || !armed || !match) return std::nullopt;
            *failed = true;
            return Failure{kRefused, "Field refused"};
        };
        if (c.armed) h.SwipeAt(13, "%B5500000000000004^ROE/RICHARD^27011010000000000000");
        EXPECT_EQ(h.Run("C,Front Desk", 15), End::Stopped);
        EXPECT_TRUE(*failed);
        ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
        EXPECT_EQ(h.desktop.messageBoxes[0].caption, "Ostrel error...");
        if (c.armed) {
            EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
            EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
        } else {
            EXPECT_EQ(h.Setting("MSconnect"), c.table);
        }
        EXPECT_EQ(h.Log(), "");
    }
}

}  // namespace
}  // namespace ostrel
