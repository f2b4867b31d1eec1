// Whole-program scenarios: swipes that cannot be used, what the program writes about them, and
// the read statistics it keeps of every swipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "diag/diag_items.h"
#include "shell/status_texts.h"
#include "tests/card_digit_oracle.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;

constexpr const char* kDeactivated = "Ostrel deactivated, type Credit Card information.";

// A log's text without the time of day that starts its line.
std::string WithoutTime(const std::string& log) {
    return log.substr(log.find(' ') + 1);
}

struct FailedSwipe {
    const char* track;
    const char* status;
    bool pause;  // the status stays 2 s before the failure exit
    const char* excerpt;
};

// Every check of track 1 that fails, with what the log line may show of the card.
const FailedSwipe kFailures[] = {
    {"%B1", status::kCardReadError, false, "%B1**...*"},
    {"%B12345", status::kInvalidCardData, true, "%B1234**...*"},
    {"%A4111111111111111^DOE/JOHN^2512", status::kInvalidCard, true, "%A4111**...*^DOE/JOHN^"},
    {"%B^4111111111111111^DOE^2512", status::kNoCardNumber, true, "%B^411**...*^****************^"},
    {"%B4111111111111111^DOE JOHN 2512", status::kNoHolderName, true, "%B4111**...*"},
    {"%B4111111111111111^   ^2512", status::kNoHolderName, true, "%B4111**...*^   ^"},
    {"%B4111111111111111^DOE/JOHN^", status::kNoExpiry, true, "%B4111**...*^DOE/JOHN^"},
};

TEST(ProgramSwipes, EachFailedCheckShowsItsStatusLogsAndEndsTheProgram) {
    for (const FailedSwipe& failure : kFailures) {
        SCOPED_TRACE(failure.track);
        ProgramHarness h;
        h.SwipeAt(8, failure.track);
        EXPECT_EQ(h.Run(), End::Ended);
        const std::vector<std::string> statuses = h.HostStatus();
        ASSERT_GE(statuses.size(), 2u);
        EXPECT_EQ(statuses[statuses.size() - 2], failure.status);
        EXPECT_EQ(statuses.back(), kDeactivated);
        EXPECT_EQ(WithoutTime(h.Log()),
                  std::string("Card data err**2**\r\n\r\n") + failure.excerpt + "***\r\n");
        if (failure.pause) {
            EXPECT_GE(h.desktop.nowMicros, Micros(10.1));
        } else {
            EXPECT_LT(h.desktop.nowMicros, Micros(9.5));
        }
        // The failure exit left "R" for the session before the ending first copy blanked it.
        bool reactivation = false;
        for (const auto& write : h.registry.writes)
            reactivation |= write.text == "2RFront Desk~";
        EXPECT_TRUE(reactivation);
        EXPECT_TRUE(h.desktop.messageBoxes.empty());
    }
}

TEST(ProgramSwipes, ATrack1DecodeErrorEndsTheProgramWhateverTheReader) {
    for (uint16_t model : {2, 15}) {
        SCOPED_TRACE(model);
        ProgramHarness h;
        h.UseReaderModel(model);
        sim::Swipe swipe;
        swipe.tracks[0] = kVisaTrack;
        swipe.decodeStatus[0] = 1;
        h.SwipeAt(8, swipe);
        // The reader is let go before the process ends, its next read pending or not.
        size_t heldAtEnd = 0;
        h.desktop.onEnd = [&h, &heldAtEnd] { heldAtEnd = h.hid.OpenResources(); };
        EXPECT_EQ(h.Run(), End::Ended);
        EXPECT_EQ(heldAtEnd, 0u);
        EXPECT_TRUE(h.Showed(status::kCardReadError));
        EXPECT_EQ(h.HostStatus().back(), kDeactivated);
        EXPECT_EQ(WithoutTime(h.Log()), "Card data err**2**\r\n\r\nError**...****\r\n");
    }
}

TEST(ProgramSwipes, ACardWithTrack2OnlyAsksForAnotherSwipeAndCarriesOn) {
    ProgramHarness h;
    sim::Swipe swipe;
    swipe.tracks[1] = ";4111111111111111=2512101?";
    h.SwipeAt(8, swipe);
    EXPECT_EQ(h.Run("C,Front Desk", 12), End::Stopped);
    const std::vector<std::string> statuses = h.HostStatus();
    const auto failed = std::find(statuses.begin(), statuses.end(), status::kCardReadError);
    ASSERT_LE(failed + 4, statuses.end());
    EXPECT_EQ(std::vector<std::string>(failed, failed + 4),
              (std::vector<std::string>{status::kCardReadError, kDeactivated,
                                        "Attach Device... then Re-click Credit Card Scan button.",
                                        status::kReactivated}));
    // The "R" it left is served by the next pass: re-activated, then prompting again.
    EXPECT_EQ(h.desktop.labels[Label::Status], status::kPleaseSwipe);
    EXPECT_EQ(WithoutTime(h.Log()),
              "Card data err**2**Could not read Credit Card, Swipe it again!***\r\n");
}

TEST(ProgramSwipes, TheMaskedModelOnlyShowsAFailedCheck) {
    const struct {
        sim::Bytes track;
        const char* status;
    } cases[] = {
        {sim::Bytes{}, status::kCardReadError},
        {sim::Bytes{0x25, 0x42, 0x34}, status::kCardReadError},  // "%B4" in the clear
        {sim::Bytes{0x9F, 0x42, 0x34}, status::kInvalidCard},    // "9F 42 34 ..."
        {sim::Bytes{0x1B, 0x42, 0x34}, status::kNoCardNumber},   // "1B 42 34 ..."
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        ProgramHarness h;
        h.UseReaderModel(15);
        sim::Swipe swipe;
        swipe.tracks[0] = c.track;
        swipe.tracks[1] = {0x3B, 0x34};
        h.SwipeAt(8, swipe);
        EXPECT_EQ(h.Run("C,Front Desk", 13), End::Stopped);
        EXPECT_EQ(h.HostStatus().back(), c.status);
        EXPECT_EQ(h.Log(), "");
        EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
    }
}

// Models 14 and 15 send their tracks' raw bytes, kept as hex pairs; with the reader's
// encryption off those bytes are the card's track 1.
TEST(ProgramSwipes, ATrackFromModel14Or15InTheClearIsReadAsTheOthersAre) {
    for (uint16_t model : {14, 15}) {
        SCOPED_TRACE(model);
        ProgramHarness h;
        h.UseReaderModel(model);
        h.SwipeAt(8, kVisaTrack);
        // The swipe record keeps the reader's form while the card is handed on (and not after).
        std::string kept;
        h.host.onCall = [&h, &kept](const sim::SimHostScreen::Call& call) {
            if (call.args.size() > 2 && call.args[0].text == "W1AC#")
                kept = h.copy->reader.Swipe().Tk1Data;
        };
        EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
        EXPECT_EQ(h.host.Field(2, "W1CEXP"), "1225");
        EXPECT_EQ(h.desktop.labels[Label::CCHolder], "JOHN*Q*DOE");
        EXPECT_EQ(h.HostStatus().back(), status::kSent);
        EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
        // 37 bytes as 40 hex pairs.
        EXPECT_EQ(kept.size(), 40u * 3);
        EXPECT_EQ(kept.substr(0, 12), "25 42 34 31 ");
        EXPECT_EQ(kept.substr(37 * 3), "00 00 00 ");
    }
}

// A clear track that fails a check fails as the model's path has it; a track that is not
// clear (encrypted) fails on its hex text as before.
TEST(ProgramSwipes, Model14And15FailTheirTracksAsTheirPathsDo) {
    const struct {
        uint16_t model;
        sim::Bytes track;
        const char* status;
        const char* excerpt;  // of the log line; nullptr: no line, the program stays armed
    } cases[] = {
        {14, "%B4111111111111111^DOE/JOHN^", status::kNoExpiry, "%B4111**...*^DOE/JOHN^"},
        {14, "%A4111111111111111^DOE/JOHN^2512", status::kInvalidCard, "%A4111**...*^DOE/JOHN^"},
        {14, sim::Bytes{0x9F, 0x25, 0x42, 0x34, 0x31, 0x5E, 0x44, 0x5E, 0x32, 0x35, 0x31, 0x32},
         status::kInvalidCard, "9F 25 **...*"},
        {14,
         "%B4111 1111\x7F"
         "1111^DOE/JOHN^2512",
         status::kInvalidCard, "25 42 **...*"},
        {15, "%B4111111111111111^DOE/JOHN^", status::kNoExpiry, nullptr},
        {15, sim::Bytes{0x9F, 0x25, 0x42, 0x34, 0x31, 0x5E, 0x44, 0x5E, 0x32, 0x35, 0x31, 0x32},
         status::kInvalidCard, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + " " + c.status);
        ProgramHarness h;
        h.UseReaderModel(c.model);
        sim::Swipe swipe;
        swipe.tracks[0] = c.track;
        h.SwipeAt(8, swipe);
        const End end = h.Run("C,Front Desk", 13);
        const std::vector<std::string> statuses = h.HostStatus();
        ASSERT_GE(statuses.size(), 2u);
        if (c.excerpt) {
            EXPECT_EQ(end, End::Ended);
            EXPECT_EQ(statuses[statuses.size() - 2], c.status);
            EXPECT_EQ(statuses.back(), kDeactivated);
            EXPECT_EQ(WithoutTime(h.Log()),
                      std::string("Card data err**2**\r\n\r\n") + c.excerpt + "***\r\n");
        } else {
            EXPECT_EQ(end, End::Stopped);
            EXPECT_EQ(statuses.back(), c.status);
            EXPECT_EQ(h.Log(), "");
            EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
        }
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "");
    }
}

TEST(ProgramSwipes, AnUnexpectedFailureIsShownLoggedWithoutTheNumberAndEndsTheProgram) {
    ProgramHarness h;
    h.At(8, [&] {
        h.host.failNext[dispid::kPutScreenValue] = {static_cast<int32_t>(0x80040201),
                                                    "Field rejected: 4111111111111111"};
    });
    h.SwipeAt(8, kVisaTrack);
    EXPECT_EQ(h.Run(), End::Ended);
    ASSERT_EQ(h.desktop.messageBoxes.size(), 1u);
    const auto& box = h.desktop.messageBoxes[0];
    EXPECT_EQ(box.caption, "Credit Card Scanning Error");
    EXPECT_EQ(box.style, kMbOk | kMbIconCritical);
    EXPECT_EQ(box.text, "Error: " + std::to_string(static_cast<int32_t>(0x80040201)) +
                            ", Field rejected: 4111************\r\n\r\nStp: DMSR-G10\r\n" +
                            std::string(status::kProcessing));
    EXPECT_EQ(WithoutTime(h.Log()),
              "Card data err**2**" + box.text + "\r\n\r\n%B4111**...*^DOE/JOHN Q^***\r\n");
    EXPECT_EQ(h.Log().find("41111111"), std::string::npos);
}

TEST(ProgramSwipes, ANameWithoutASlashIsSplitAtItsBlanksForTheLabelAndTheHost) {
    ProgramHarness h;
    h.SwipeAt(8, "%B4111111111111111^JOHN Q SMITH ^2512101");
    EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
    EXPECT_EQ(h.desktop.labels[Label::CCHolder], "JOHN *Q*SMITH");
    EXPECT_EQ(h.host.Field(2, "WFNAM"), "JOHN ");
    EXPECT_EQ(h.host.Field(2, "WLNAM"), "SMITH");
}

TEST(ProgramSwipes, ANumberWithBlanksOrDashesReachesTheHostWithout) {
    ProgramHarness h;
    h.SwipeAt(8, "%B4111-1111 1111-1111^DOE/JOHN^2512101");
    EXPECT_EQ(h.Run("C,Front Desk", 10), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.desktop.labels[Label::CCno], "411111******1111");
}

// --- Read statistics ---------------------------------------------------------------------------

const std::string kReaderKey = std::string(kStatisticsPath) + "\\SR02-0417";

// A swipe the reader fails: track 2 alone (M), track 1 misread (S), or a report that does not
// decode (U: a track longer than its value).
sim::Swipe Failed(char how) {
    sim::Swipe swipe;
    swipe.tracks[1] = ";4111111111111111=2512101?";
    if (how != 'M') swipe.tracks[0] = kVisaTrack;
    if (how == 'S') swipe.decodeStatus[0] = 1;
    if (how == 'U') swipe.lengths[0] = 5000;
    return swipe;
}

// Runs copies of the program until the time given, each the host starts again once the
// program has ended itself (after a swipe it could not use).
void RunRestarting(ProgramHarness& h, double until) {
    h.At(until, [] { throw StopRun{}; });
    for (;;) {
        try {
            h.copy->Main("C,Front Desk");
        } catch (const sim::ProcessEnded&) {
            h.copy = h.NewCopy(h.desktop);
        } catch (const StopRun&) {
            return;
        }
    }
}

void PutNumber(ProgramHarness& h, const std::string& key, const char* name, uint8_t n) {
    h.registry.Put(kHkeyCurrentUser, key, name, {kRegDword, {n, 0, 0, 0}});
}
// A stored count; nothing when the value is missing or no count.
std::optional<uint32_t> Number(const ProgramHarness& h, const std::string& key, const char* name) {
    const auto value = h.registry.Get(kHkeyCurrentUser, key, name);
    if (!value || value->type != kRegDword || value->data.size() != 4) return std::nullopt;
    return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | value->data[3] << 24;
}

TEST(ProgramReadStatistics, CountEachSwipeOnceItIsHandled) {
    const char* kCounts[] = {"SwipesRead",         "NotReadTrack1Missing", "NotReadTrackStatus",
                             "NotReadUndecodable", "CardsDelivered",       "RequestsTimedOut"};
    struct Case {
        const char* name;
        std::function<void(ProgramHarness&)> setUp;
        double until;
        bool byModel;                  // a reader without a serial number
        std::vector<uint32_t> counts;  // as kCounts; 0 where none is stored
        const char* recent;
    };
    const Case cases[] = {
        {"good, track 1 missing, not decoded, good, misread; good after the restart",
         [](ProgramHarness& h) {
             for (const auto& [at, how] : {std::pair{11, 'M'}, {14, 'U'}, {20, 'S'}})
                 h.SwipeAt(at, Failed(how));
             for (const double at : {8, 17, 26})
                 h.SwipeAt(at, kVisaTrack);
         },
         30,
         false,
         {3, 1, 1, 1, 3, 0},
         "RFFRFR"},
        {"a request that times out", [](ProgramHarness&) {}, 25, false, {0, 0, 0, 0, 0, 1}, ""},
        {"a value that cannot be read leaves the reader uncounted, not counted from 0",
         [](ProgramHarness& h) {
             PutNumber(h, kReaderKey, "SwipesRead", 41);
             h.registry.PutText(kHkeyCurrentUser, kReaderKey, "Reader", "before");
             // Rewritten longer between each size query and read: never read.
             h.registry.afterSizeQuery = [&h](const std::string& name) {
                 if (name != "Reader") return;
                 const auto now = h.registry.Text(kHkeyCurrentUser, kReaderKey, name);
                 h.registry.PutText(kHkeyCurrentUser, kReaderKey, name, now.value_or("") + "x");
             };
             h.SwipeAt(8, kVisaTrack);
         },
         12,
         false,
         {41, 0, 0, 0, 0, 0},
         ""},
        {"a reader that gives no strings, counted by its model",
         [](ProgramHarness& h) {
             sim::SimHidDevice reader = sim::ReaderDevice(2);
             reader.manufacturer.reset();  // each call fails, as for a reader without them
             reader.product.reset();
             reader.serialNumber.reset();
             h.hid.Unplug(h.readerId);
             h.readerId = h.hid.Plug(reader);
             h.SwipeAt(8, kVisaTrack);
         },
         12,
         true,
         {1, 0, 0, 0, 1, 0},
         "R"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramHarness h;
        c.setUp(h);
        RunRestarting(h, c.until);
        const std::string key =
            c.byModel ? std::string(kStatisticsPath) + "\\model 2, no serial number" : kReaderKey;
        for (size_t i = 0; i < std::size(kCounts); ++i)
            EXPECT_EQ(Number(h, key, kCounts[i]).value_or(0), c.counts[i]) << kCounts[i];
        const auto text = [&](const char* name) {
            return h.registry.Text(kHkeyCurrentUser, key, name).value_or("");
        };
        EXPECT_EQ(text("RecentSwipes"), c.recent);
        EXPECT_EQ(text("FirstCount"), *c.recent || c.counts[5] ? "2026-03-04" : "");
        EXPECT_EQ(text("LastGoodRead"),
                  std::string(c.recent).find('R') != std::string::npos ? "2026-03-04" : "");
        // Nothing of the card in a count, an event, the session table's key or the tool's JSON.
        EXPECT_EQ(h.registry.Text(kHkeyCurrentUser, kSettingsKey, "SwipesRead"), std::nullopt);
        EXPECT_EQ(oracle::Describe(oracle::CardDigitLeaks(h, "4111111111111111")), "");
        diag::Report report;
        report.items.push_back(diag::GatherStatistics(h.registry));
        std::string texts = diag::FormatJson(report, {}, [](const std::string& t) { return t; });
        for (const auto& entry : h.events.entries) {
            for (const std::string& text : entry.strings)
                texts += text;
        }
        EXPECT_EQ(oracle::FindCardDigits(texts, "4111111111111111"), std::nullopt) << texts;
    }
}

// A count that cannot be written is skipped: the swipe goes as it would, to the microsecond.
TEST(ProgramReadStatistics, ACountThatCannotBeWrittenCostsTheSwipeNothing) {
    const auto run = [](const std::function<void(ProgramHarness&)>& refuse, ProgramHarness& h) {
        refuse(h);
        h.SwipeAt(8, kVisaTrack);
        h.SwipeAt(11, Failed('M'));
        h.SwipeAt(14, Failed('S'));
        EXPECT_EQ(h.Run("C,Front Desk", 20), End::Ended);
    };
    ProgramHarness counted;
    run([](ProgramHarness&) {}, counted);
    EXPECT_EQ(Number(counted, kReaderKey, "SwipesRead"), 1u);
    const std::function<void(ProgramHarness&)> refusals[] = {
        [](ProgramHarness& h) { h.registry.DenyWrites(kHkeyCurrentUser, kReaderKey); },
        [](ProgramHarness& h) {
            PutNumber(h, kReaderKey, "SwipesRead", 41);
            h.registry.DenyWrites(kHkeyCurrentUser, kReaderKey);
        },
    };
    for (const auto& refuse : refusals) {
        ProgramHarness h;
        run(refuse, h);
        EXPECT_EQ(Number(h, kReaderKey, "SwipesRead").value_or(0),
                  h.registry.KeyExists(kHkeyCurrentUser, kReaderKey) ? 41u : 0u);
        EXPECT_EQ(h.host.calls, counted.host.calls);
        EXPECT_EQ(h.desktop.statusHistory, counted.desktop.statusHistory);
        EXPECT_EQ(h.desktop.nowMicros, counted.desktop.nowMicros);
        EXPECT_TRUE(h.desktop.messageBoxes.empty());
        EXPECT_EQ(h.events.entries.size(), counted.events.entries.size());
    }
}

// Five of the last ten failed: warned once; not again while the rate stays bad, nor while it
// hovers near the threshold, but again once it has recovered (two of ten) and fails anew.
TEST(ProgramReadStatistics, AFailingReaderIsWarnedOfOnceUntilItRecovers) {
    ProgramHarness h;
    h.registry.PutText(kHkeyCurrentUser, kReaderKey, "RecentSwipes", "RRRRRRRRRR");
    const std::string swipes =
        "FFFFFF"
        "RRRRRRRR"
        "FFFFF";
    for (size_t i = 0; i < swipes.size(); ++i) {
        const double at = 8 + 3.0 * static_cast<double>(i);
        if (swipes[i] == 'F') {
            h.SwipeAt(at, Failed('M'));  // the program stays: one run holds them all
        } else {
            h.SwipeAt(at, kVisaTrack);
        }
    }
    EXPECT_EQ(h.Run("C,Front Desk", 8 + 3.0 * static_cast<double>(swipes.size())), End::Stopped);
    std::vector<uint32_t> ids;
    for (const auto& entry : h.events.entries) {
        ids.push_back(entry.eventId);
        if (entry.eventId == 7) {
            EXPECT_EQ(entry.strings,
                      (std::vector<std::string>{"manufacturer \"Stripe Devices\", product \"USB "
                                                "Swipe Reader 2\", serial number \"SR02-0417\", "
                                                "release 1.00, product id 2 (model 2)",
                                                "5", "10"}));
        }
    }
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 1, 1, 1, 1, 7, 1, 1, 1, 1, 1, 1, 7}));
    EXPECT_EQ(h.registry.Text(kHkeyCurrentUser, kReaderKey, "RecentSwipes"), "RRRRRFFFFF");
    EXPECT_EQ(Number(h, kReaderKey, "FailingWarned"), 1u);
    EXPECT_EQ(Number(h, kReaderKey, "CardsDelivered"), 8u);
}

}  // namespace
}  // namespace ostrel
