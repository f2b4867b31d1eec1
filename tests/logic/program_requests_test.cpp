// Whole-program scenarios: a host request served, swipes delivered, requests timing out.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "shell/status_texts.h"
#include "support/product.h"
#include "tests/card_digit_oracle.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using Call = sim::SimHostScreen::Call;
using Arg = sim::SimHostScreen::Arg;
using End = ProgramHarness::End;
using Failure = sim::SimHostScreen::Failure;

Call Put(const std::string& field, Arg text) {
    return {39, {Text(field), Long(0), text, Long(2)}};
}

sim::Swipe VisaSwipe() {
    sim::Swipe swipe;
    swipe.tracks[0] = kVisaTrack;
    return swipe;
}

// A mouse or touchpad of another maker, at that path.
class ProgramRequestsTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(h.hid.misuses.empty()); }
    ProgramHarness h;
};

TEST_F(ProgramRequestsTest, AReaderNeverAttachedEndsTheProgramWithTheAttachText) {
    h.hid.Unplug(h.readerId);
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_EQ(h.HostStatus(),
              std::vector<std::string>{"Attach Device... then Re-click Credit Card Scan button."});
    EXPECT_EQ(h.host.calls, (std::vector<Call>{
                                {49, {Long(2), Long(3)}},
                                Put("CCSTATUS", Text("Attach Device... then Re-click Credit Card "
                                                     "Scan button.")),
                                {24, {}},
                            }));
    // The reader wait's 11 s, after a load that waits for nothing.
    EXPECT_GE(h.desktop.nowMicros, Micros(11));
    EXPECT_LT(h.desktop.nowMicros, Micros(11.1));
    EXPECT_TRUE(h.Showed(status::kAttachDevice));
    EXPECT_EQ(h.desktop.labels[Label::Status], status::kSearching);
    // The first copy leaves the shared values blank when it ends.
    for (const char* name : {"MSconnect", "cSesId", "NSesDly", "Logging"}) {
        EXPECT_EQ(h.Setting(name), " ") << name;
    }
    EXPECT_FALSE(h.desktop.iconPresent);
}

TEST_F(ProgramRequestsTest, AReaderOfProductIdOneIsReportedOnceAndNeverRead) {
    h.UseReaderModel(1);
    h.SwipeAt(5, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 20), End::Stopped);
    const auto improper = [](const std::vector<std::string>& texts) {
        return std::count(texts.begin(), texts.end(), status::kImproperDevice);
    };
    EXPECT_EQ(improper(h.desktop.statusHistory), 1);
    EXPECT_EQ(improper(h.HostStatus()), 1);
    EXPECT_FALSE(h.Showed(status::kProcessing));
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
}

// What stops a cashier goes to the Windows event log, once, with at most the first four digits
// of a number, and so does a reader swapped; a good swipe writes nothing there.
TEST(ProgramEventLog, WhatStopsTheCashierIsReportedAndAGoodSwipeIsNot) {
    using Entry = std::tuple<EventType, uint32_t, std::vector<std::string>>;
    const std::string notCreated = "ActiveX component can't create object: VEQSERVERLib.VEQServer";
    const int32_t classNotRegistered = static_cast<int32_t>(0x80040154);
    constexpr const char* kUntaken = "its strings unknown: the search did not take it";
    constexpr const char* kModel2 =
        "manufacturer \"Stripe Devices\", product \"USB Swipe Reader 2\", serial number "
        "\"SR02-0417\", release 1.00, product id 2 (model 2)";
    // The line the program's log got for the swipe, without its time of day.
    const auto logLine = [](ProgramHarness& h) {
        const std::string log = h.Log();
        const size_t text = log.find("Card data err**");
        return text == std::string::npos ? log : log.substr(text, log.size() - text - 2);
    };
    struct Case {
        const char* name;
        std::function<void(ProgramHarness&)> setUp;
        std::function<std::vector<Entry>(ProgramHarness&)> expected;
    } cases[] = {
        {"a good swipe", [](ProgramHarness& h) { h.SwipeAt(8, kVisaTrack); },
         [](ProgramHarness&) { return std::vector<Entry>{}; }},
        {"no reader", [](ProgramHarness& h) { h.hid.Unplug(h.readerId); },
         [](ProgramHarness&) {
             return std::vector<Entry>{{EventType::Error, 2, {}}};
         }},
        {"a reader another program holds, which opens for none",
         [](ProgramHarness& h) {
             h.hid.Unplug(h.readerId);
             sim::SimHidDevice held = sim::ReaderDevice(2);
             held.refuseOpens = 1000;
             h.readerId = h.hid.Plug(held);
         },
         [](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Error, 3, {"2", "the program has ended", kUntaken}}};
         }},
        {"a reader of product id 1", [](ProgramHarness& h) { h.UseReaderModel(1); },
         [](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Error,
                  3,
                  {"1", "the program shows \"Improper Input Device.\"",
                   "manufacturer \"Stripe Devices\", product \"USB Swipe Reader 1\", serial number "
                   "\"SR01-0417\", release 1.00, product id 1 (model 1)"}}};
         }},
        {"a device of the reader's maker that is no reader",
         [](ProgramHarness& h) { h.UseReaderModel(4); },
         [](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Error, 3, {"4", "the program has ended", kUntaken}}};
         }},
        {"a swipe not read",
         [](ProgramHarness& h) {
             sim::Swipe misread;
             misread.tracks[0] = kVisaTrack;
             misread.decodeStatus[0] = 1;
             h.SwipeAt(8, misread);
         },
         [&](ProgramHarness& h) {
             return std::vector<Entry>{{EventType::Warning, 1, {logLine(h)}}};
         }},
        {"a swipe whose name holds the number",
         [](ProgramHarness& h) { h.SwipeAt(8, "%B4111111111111111^4111111111111111^2512101"); },
         [&](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Warning, 1, {"Card data err**2**\r\n\r\n%B4111**...****"}}};
         }},
        {"the host refuses a name, quoting it",
         [](ProgramHarness& h) {
             h.SwipeAt(8, kVisaTrack);
             // The last name delivered is refused; its clearing ("") is not.
             h.host.failWhen = [](const Call& call) -> std::optional<Failure> {
                 if (call.args.size() < 3 || call.args[0].text != "WLNAM" ||
                     call.args[2].text.empty())
                     return std::nullopt;
                 return Failure{int32_t(0x80004005),
                                "WLNAM: 'Doe' is not a last name (John Q Doe)"};
             };
         },
         [&](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Warning,
                  1,
                  {"Card data err**2**Error: -2147467259, WLNAM: '***' is not a last name (**** Q "
                   "***)\r\n\r\nStp: DMSR-G10\r\n" +
                   std::string(status::kProcessing) + "\r\n\r\n%B4111**...****"}}};
         }},
        {"a reader other than the one this user's program took last",
         [](ProgramHarness& h) {
             h.registry.PutText(kHkeyCurrentUser, kStatisticsPath, "LastReader", "SR09-7001");
             h.registry.PutText(kHkeyCurrentUser, std::string(kStatisticsPath) + "\\SR09-7001",
                                "Reader", "the reader before");
         },
         [](ProgramHarness&) {
             return std::vector<Entry>{{EventType::Information, 6, {kModel2, "the reader before"}}};
         }},
        {"the host's control not created",
         [&](ProgramHarness& h) {
             h.host.notCreated = sim::SimHostScreen::Failure{classNotRegistered, notCreated};
             h.desktop.answers = {kIdCancel};
         },
         [&](ProgramHarness&) {
             return std::vector<Entry>{
                 {EventType::Error, 4, {"VEQSERVERLib.VEQServer", "0x80040154", notCreated}},
                 {EventType::Error, 5, {std::to_string(classNotRegistered), notCreated}}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramHarness h;  // its till's keyboard, mouse and touchpad: none is a reader
        c.setUp(h);
        h.Run("C,Front Desk", 20);
        std::vector<Entry> entries;
        for (const auto& e : h.events.entries) {
            entries.emplace_back(e.type, e.eventId, e.strings);
            for (const std::string& text : e.strings) {
                EXPECT_EQ(oracle::FindCardDigits(text, "4111111111111111"), std::nullopt) << text;
                EXPECT_EQ(oracle::FindHolderName(text, "DOE/JOHN Q"), std::nullopt) << text;
            }
        }
        EXPECT_EQ(entries, c.expected(h));
    }
}

// When the swipe prompt first reached the host; -1 when it never did.
int64_t PromptTime(ProgramHarness& run) {
    int64_t at = -1;
    run.host.onCall = [&](const Call& call) {
        if (at < 0 && call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
            call.args[2].text == status::kPleaseSwipe) {
            at = run.desktop.nowMicros;
        }
    };
    run.SwipeAt(9, kVisaTrack);
    EXPECT_EQ(run.Run("C,Front Desk", 12), End::Stopped);
    EXPECT_EQ(run.host.Field(2, "W1AC#"), "4111111111111111");
    run.host.onCall = nullptr;
    return at;
}

TEST_F(ProgramRequestsTest, BluetoothAndBuiltInDevicesAheadOfTheReaderDoNotDelayThePrompt) {
    const int64_t alone = PromptTime(h);
    ASSERT_GT(alone, 0);
    ProgramHarness run;
    run.hid.Unplug(run.readerId);
    sim::SimHidDevice mouse = sim::KeyboardDevice();
    mouse.vendorId = 0x046d;
    mouse.path = sim::BluetoothPath(0x046d, 0xb00d, 0);
    run.hid.Plug(mouse);
    sim::SimHidDevice touchpad = sim::KeyboardDevice();
    touchpad.vendorId = 0x04f3;
    touchpad.path = sim::BuiltInPath("elan0732", 1);
    run.hid.Plug(touchpad);
    run.readerId = run.hid.Plug(sim::ReaderDevice(2));
    EXPECT_EQ(PromptTime(run), alone);
}

// The reader's keyboard collection comes first and opens only with access 0; the card is read
// from the reader's own collection, and the keyboard's handle is not left open.
TEST_F(ProgramRequestsTest, AReaderWhoseKeyboardCollectionComesFirstIsRead) {
    h.hid.Unplug(h.readerId);
    const std::vector<sim::SimHidDevice> collections = sim::ReaderWithKeyboard(2);
    const auto keyboard = h.hid.Plug(collections[0]);
    h.readerId = h.hid.Plug(collections[1]);
    h.SwipeAt(8, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 11), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    EXPECT_EQ(h.hid.Opens(keyboard), 1);
    EXPECT_EQ(h.hid.Opens(h.readerId), 1);
    // The reader's handle, its preparsed data and the read event.
    EXPECT_EQ(h.hid.OpenResources(), 3u);
}

TEST_F(ProgramRequestsTest, AnotherMakersDeviceWithAReadersProductIdIsNoReader) {
    // Its path is of a form that shows no vendor, so it is opened to read its ids, and then
    // turned away.
    h.hid.Unplug(h.readerId);
    sim::SimHidDevice device = sim::KeyboardDevice();
    device.productId = 2;
    device.path =
        "\\\\?\\hid#virtual_input&col01#1&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    h.hid.Plug(device);
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_EQ(h.HostStatus(),
              std::vector<std::string>{"Attach Device... then Re-click Credit Card Scan button."});
    EXPECT_FALSE(h.Showed(status::kPleaseSwipe));
}

// A reader plugged in during the wait is looked for as it arrives; one first seen in the wait's
// last second still counts as missing, as one seen in its eleventh round always has.
TEST_F(ProgramRequestsTest, AReaderPluggedInDuringTheWaitIsFoundAsItArrivesUnlessInItsLastSecond) {
    const struct {
        double pluggedAt;
        bool served;
    } cases[] = {{0.3, true}, {9.5, true}, {10.2, false}, {11.0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pluggedAt);
        ProgramHarness run;
        run.hid.Unplug(run.readerId);
        int64_t prompted = -1;
        run.host.onCall = [&](const Call& call) {
            if (prompted < 0 && call.dispId == dispid::kPutScreenField &&
                call.args[2].text == status::kPleaseSwipe)
                prompted = run.desktop.nowMicros;
        };
        run.desktop.AtOutside(Micros(c.pluggedAt),
                              [&] { run.readerId = run.hid.Plug(sim::ReaderDevice(2)); });
        EXPECT_EQ(run.Run("C,Front Desk", 12), c.served ? End::Stopped : End::Ended);
        if (c.served) {
            EXPECT_GE(prompted, Micros(c.pluggedAt));
            EXPECT_LT(prompted, Micros(c.pluggedAt + 0.05));
        } else {
            EXPECT_EQ(run.HostStatus(),
                      std::vector<std::string>{
                          "Attach Device... then Re-click Credit Card Scan button."});
            EXPECT_LT(run.desktop.nowMicros, Micros(11.1));
        }
    }
}

// The host's first request: prompted as soon as the program has started and found the reader,
// and a card swiped the moment the prompt shows is read as it comes.
TEST_F(ProgramRequestsTest, TheFirstRequestIsPromptedAndReadWithoutWaiting) {
    int64_t prompted = -1;
    int64_t numberPut = -1;
    h.host.onCall = [&](const Call& call) {
        if (call.dispId != dispid::kPutScreenField) return;
        if (prompted < 0 && call.args[2].text == status::kPleaseSwipe) {
            prompted = h.desktop.nowMicros;
            h.SwipeAt(static_cast<double>(prompted) / 1e6 + 0.01, kVisaTrack);
        }
        if (call.args[0].text == "W1AC#" && call.args[2].type == DispArg::Type::TextRef)
            numberPut = h.desktop.nowMicros;
    };
    EXPECT_EQ(h.Run("C,Front Desk", 3), End::Stopped);
    EXPECT_GE(prompted, 0);
    EXPECT_LT(prompted, Micros(0.05));
    // The card 10 ms after the prompt, then the reader's 100 ms to settle.
    EXPECT_GE(numberPut - prompted, Micros(0.11));
    EXPECT_LT(numberPut - prompted, Micros(0.13));
}

TEST_F(ProgramRequestsTest, AVisaSwipeIsDeliveredFieldByFieldAndConfirmed) {
    h.SwipeAt(8, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
    const std::vector<Call> delivery = h.CallsFromDelivery();
    ASSERT_GE(delivery.size(), 14u);
    EXPECT_EQ(std::vector<Call>(delivery.begin(), delivery.begin() + 14),
              (std::vector<Call>{
                  Put("WFNAM", Ref("JOHN")),
                  Put("WMNAM", Ref("Q")),
                  Put("WLNAM", Ref("DOE")),
                  Put("W1AC#", Ref("4111111111111111")),
                  Put("W1CTYP", Ref("V")),
                  Put("SCTYP", Ref("V")),
                  Put("SCDSC", Ref("Visa")),
                  Put("W1CEXP", Ref("1225")),
                  {18, {Text("ZEXPMM"), Long(0), Text("12"), Long(2)}},
                  {18, {Text("ZEXPYY"), Long(0), Text("25"), Long(2)}},
                  {45, {Text("CCScanCard"), Text("Y"), Long(1), Long(2)}},
                  {36, {Text("W1AC#"), Long(2)}},
                  Put("CCSTATUS", Text("Send Card information ...")),
                  {24, {}},
              }));
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    EXPECT_EQ(h.desktop.labels[Label::CCno], "411111******1111");
    EXPECT_EQ(h.desktop.labels[Label::CCHolder], "JOHN*Q*DOE");
    EXPECT_EQ(h.desktop.labels[Label::Exp], "1225");
    EXPECT_EQ(h.desktop.labels[Label::CCType], "Visa");
    const std::vector<std::string> statuses = h.HostStatus();
    EXPECT_EQ(std::vector<std::string>(statuses.end() - 2, statuses.end()),
              (std::vector<std::string>{status::kProcessing, status::kSent}));
    EXPECT_EQ(h.Log(), "");
}

TEST_F(ProgramRequestsTest, TheRequestIsArmedWithTheSwipePromptAndTheTable) {
    EXPECT_EQ(h.Run("C,Front Desk", 6), End::Stopped);
    EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    EXPECT_EQ(h.Setting("cSesId"), "2");
    EXPECT_EQ(h.Setting("NSesDly"), "OFF");
    EXPECT_TRUE(h.copy->ScannerActive);
    EXPECT_TRUE(h.desktop.timerEnabled);
    const std::vector<std::string> statuses = h.HostStatus();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), status::kPleaseSwipe);
    EXPECT_EQ(h.desktop.caption, std::string("Ostrel Interface v. ") + kVersionText);
    EXPECT_TRUE(h.desktop.iconPresent);
    EXPECT_FALSE(h.desktop.visible);
}

TEST_F(ProgramRequestsTest, AReadBackThatDiffersClearsTheFieldsAndAsksForANewSwipe) {
    int reads = 0;
    h.host.readBack = [&](const std::string&, const std::string& stored) {
        return ++reads == 1 ? stored + " " : stored;
    };
    h.SwipeAt(8, kVisaTrack);
    std::string trackAfterFailure = "-";
    std::string tableAfterFailure;
    h.At(9.6, [&] {
        // Re-armed by the next pass: its swipe data was emptied.
        trackAfterFailure = h.copy->reader.Swipe().Tk1Data;
        tableAfterFailure = h.Setting("MSconnect");
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
        EXPECT_EQ(h.host.Field(2, "CCScanCard"), "");
        EXPECT_EQ(h.desktop.labels[Label::CCno], "");
    });
    h.SwipeAt(11, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 14), End::Stopped);
    EXPECT_TRUE(h.Showed(status::kIncomplete));
    EXPECT_EQ(trackAfterFailure, "");
    EXPECT_EQ(tableAfterFailure, "2YFront Desk~");
    // The next swipe is confirmed; a confirmed delivery keeps the reader armed as it was.
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    // Used, and not kept.
    EXPECT_EQ(h.copy->reader.Swipe().Tk1Data, "");
}

TEST_F(ProgramRequestsTest, ARequestWithoutASwipeTimesOutInItsThirtyFirstPass) {
    int64_t prompted = -1;
    int64_t timedOutAt = -1;
    h.host.onCall = [&](const Call& call) {
        if (call.dispId != dispid::kPutScreenField) return;
        if (prompted < 0 && call.args[2].text == status::kPleaseSwipe)
            prompted = h.desktop.nowMicros;
        if (call.args[2].text == status::kTimedOut) timedOutAt = h.desktop.nowMicros;
    };
    EXPECT_EQ(h.Run("C,Front Desk", 22), End::Stopped);
    // Passes whose sleep can end early still time the request out no sooner than 31 full ones.
    EXPECT_GE(timedOutAt - prompted, Micros(15.5));
    EXPECT_LT(timedOutAt - prompted, Micros(15.6));
    const size_t armed = h.StatusPut(status::kPleaseSwipe);
    const size_t timedOut = h.StatusPut(status::kTimedOut);
    ASSERT_LT(timedOut, h.host.calls.size());
    // The arming pass, 30 active passes, and the 31st, each asking the host for the session.
    EXPECT_EQ(h.CountBetween(dispid::kGetSessionInfo, armed, timedOut), 32);
    EXPECT_EQ(h.host.calls[timedOut + 1], (Call{24, {}}));
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    const auto timedOutLabel = std::find(h.desktop.statusHistory.begin(),
                                         h.desktop.statusHistory.end(), status::kTimedOut);
    ASSERT_NE(timedOutLabel, h.desktop.statusHistory.end());
    EXPECT_EQ(*(timedOutLabel + 1), status::kSearching);
}

TEST_F(ProgramRequestsTest, AFurtherSwipeAfterADeliveryIsDeliveredToo) {
    h.SwipeAt(8, kVisaTrack);
    h.SwipeAt(14, "%B5500000000000004^ROE/RICHARD^27011010000000000000");
    EXPECT_EQ(h.Run("C,Front Desk", 17), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
    EXPECT_EQ(h.host.Field(2, "W1CTYP"), "M");
    EXPECT_EQ(h.host.Field(2, "WFNAM"), "RICHARD");
    EXPECT_EQ(h.host.Field(2, "WMNAM"), "");
    EXPECT_EQ(h.host.Field(2, "W1CEXP"), "0127");
    EXPECT_TRUE(h.copy->ScannerActive);
}

TEST_F(ProgramRequestsTest, ACodelessBrandAfterACodedOneSendsNoCode) {
    h.SwipeAt(8, kVisaTrack);
    h.SwipeAt(14, "%B36000000000000^ROE/RICHARD^2701");
    EXPECT_EQ(h.Run("C,Front Desk", 17), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "SCDSC"), "Diners Club");
    EXPECT_EQ(h.host.Field(2, "W1CTYP"), "");
    EXPECT_EQ(h.host.Field(2, "SCTYP"), "");
}

TEST_F(ProgramRequestsTest, AHeldPassServesNothingButStillChecksTheHost) {
    // From the end of the load on, before the first pass.
    h.At(0, [&] { h.PutSetting("NSesDly", "ON"); });
    std::string table;
    h.At(9.9, [&] { table = h.Setting("MSconnect"); });
    h.At(10, [&] { h.processes.End(h.hostPid); });
    EXPECT_EQ(h.Run(), End::Ended);
    EXPECT_TRUE(h.HostStatus().empty());
    EXPECT_EQ(table, "2PFront Desk~");
    EXPECT_EQ(h.Form().ActiveTicks, 0);
    EXPECT_LT(h.desktop.nowMicros, Micros(11));
}

TEST_F(ProgramRequestsTest, ARequestWhoseTextNoLongerMatchesEndsInTheSamePass) {
    h.host.sessionInfo[2] = "Another Screen";
    EXPECT_EQ(h.Run("C,Front Desk", 5.5), End::Stopped);
    EXPECT_EQ(h.HostStatus(), std::vector<std::string>{status::kPleaseSwipe});
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    EXPECT_EQ(h.desktop.labels[Label::Status], status::kSearching);
    EXPECT_FALSE(h.copy->ScannerActive);
}

TEST_F(ProgramRequestsTest, TheSessionTextIsComparedWithoutRegardToCase) {
    h.host.sessionInfo[2] = "FRONT desk";
    EXPECT_EQ(h.Run("C,Front Desk", 6), End::Stopped);
    EXPECT_TRUE(h.copy->ScannerActive);
}

TEST_F(ProgramRequestsTest, AccentedLettersOfTheHostsCodePageMatchTheirCapitals) {
    const struct {
        const char* filed;
        const char* shown;
        bool armed;
    } cases[] = {
        {"Caf\xE9", "CAF\xC9", true},              // Windows-1252
        {"\x9Cuvre \xFF", "\x8CUVRE \x9F", true},  // the letters of its 0x80 row
        {"Caf\xE9", "CAFE", false},                // an accent is no case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        ProgramHarness run;
        run.host.sessionInfo[2] = c.shown;
        EXPECT_EQ(run.Run(std::string("C,") + c.filed, 6), End::Stopped);
        EXPECT_EQ(run.copy->ScannerActive, c.armed);
        EXPECT_EQ(run.Setting("MSconnect"),
                  std::string("2") + (c.armed ? "Y" : "N") + c.filed + "~");
    }
}

TEST_F(ProgramRequestsTest, TheHostTurningToAnotherScreenDisarmsTheReader) {
    h.At(8, [&] { h.host.sessionInfo[2] = "Till 4"; });
    h.SwipeAt(10, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
    EXPECT_FALSE(h.copy->ScannerActive);
    EXPECT_FALSE(h.desktop.timerEnabled);
    EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
    EXPECT_EQ(h.desktop.labels[Label::Status], status::kSearching);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "");  // the swipe went nowhere
}

TEST_F(ProgramRequestsTest, AfterClearAndReattachASwipeReachesNoScreenUntilARequestIsFiled) {
    h.At(8, [&] { h.desktop.Events()->OnMenu(MenuItem::Attach); });
    h.At(10, [&] { h.host.sessionInfo[2] = "Guest Folio"; });
    h.SwipeAt(13, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 18), End::Stopped);
    EXPECT_TRUE(h.CallsFromDelivery().empty());
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
    // The reader was searched for and its state reported all the same.
    EXPECT_NE(h.StatusPut(status::kAttachDevice), h.host.calls.size());
}

TEST_F(ProgramRequestsTest, ACardSwipedBetweenRequestsNeverReachesTheNextOne) {
    h.At(8, [&] { h.host.sessionInfo[2] = "Guest Folio"; });  // the request ends
    h.SwipeAt(10, kVisaTrack);                                // the previous customer's card
    h.At(12, [&] { h.host.sessionInfo[2] = "Front Desk"; });
    h.SecondStartAt(12.5, "C,Front Desk");  // the next request
    bool earlyDelivery = false;
    h.At(17.5, [&] { earlyDelivery = !h.CallsFromDelivery().empty(); });
    h.SwipeAt(18, "%B5500000000000004^ROE/RICHARD^27011010000000000000");
    EXPECT_EQ(h.Run("C,Front Desk", 22), End::Stopped);
    EXPECT_FALSE(earlyDelivery);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "5500000000000004");
    for (const auto& call : h.host.calls) {
        for (const auto& arg : call.args)
            EXPECT_NE(arg.text, "4111111111111111");
    }
}

TEST_F(ProgramRequestsTest, ACardSwipedTheMomentThePromptShowsIsDelivered) {
    // The clerk swipes as soon as the host shows the prompt, before the copy has armed.
    bool swiped = false;
    h.host.onCall = [&](const sim::SimHostScreen::Call& call) {
        if (!swiped && call.dispId == dispid::kPutScreenField && call.args[0].text == "CCSTATUS" &&
            call.args[2].text == status::kPleaseSwipe) {
            swiped = true;
            h.hid.QueueReport(h.readerId, sim::SwipeReport(2, VisaSwipe()));
        }
    };
    EXPECT_EQ(h.Run("C,Front Desk", 8), End::Stopped);
    EXPECT_TRUE(swiped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
}

// Windows tells of the class's devices coming and going with a message it sends from another
// process (WM_DEVICECHANGE): the search it starts, and the statuses the search mirrors to the
// host, come after the message has been answered, without a dialog.
TEST_F(ProgramRequestsTest, AReaderPulledOutAndPluggedInAgainIsFoundAgain) {
    h.At(7, [&] {
        h.hid.Unplug(h.readerId);
        h.desktop.SendDeviceArrival(h.desktop.nowMicros);
    });
    h.At(10, [&] { h.readerId = h.hid.Plug(sim::ReaderDevice(2)); });
    h.SwipeAt(14, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 16), End::Stopped);
    EXPECT_TRUE(h.desktop.messageBoxes.empty());
    const std::vector<std::string> statuses = h.HostStatus();
    const auto attach = std::find(statuses.begin(), statuses.end(), status::kAttachDevice);
    ASSERT_NE(attach, statuses.end());
    EXPECT_NE(std::find(attach, statuses.end(), status::kPleaseSwipe), statuses.end());
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
}

// The host ending while armed ends the program in that pass: its sleep ends with the host, and
// no later pass asks the host for its session.
TEST_F(ProgramRequestsTest, TheHostProgramEndingWhileArmedEndsTheProgram) {
    for (const double endsAt : {7.0, 7.13, 7.37}) {
        SCOPED_TRACE(endsAt);
        ProgramHarness run;
        size_t callsBefore = 0;
        run.desktop.AtOutside(Micros(endsAt), [&] {
            callsBefore = run.host.calls.size();
            run.processes.End(run.hostPid);
        });
        EXPECT_EQ(run.Run(), End::Ended);
        EXPECT_LT(run.desktop.nowMicros, Micros(endsAt + 0.01));
        EXPECT_EQ(run.CountBetween(dispid::kGetSessionInfo, callsBefore, run.host.calls.size()), 0);
        EXPECT_EQ(run.host.calls.back(), (Call{24, {}}));
        EXPECT_EQ(run.Setting("MSconnect"), " ");
        EXPECT_FALSE(run.desktop.iconPresent);
    }
}

}  // namespace
}  // namespace ostrel
