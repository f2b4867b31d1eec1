// Whole-program scenarios of when a swipe is taken up: a read that completes while a request is
// served is handled in the waits the program makes anyway, about 100 ms after the card, instead
// of at the reader timer's next tick; with tick-only reads, as before, at that tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using Call = sim::SimHostScreen::Call;

constexpr const char* kMastercardTrack = "%B5500000000000004^ROE/RICHARD^27011010000000000000";
constexpr int64_t kMs = 1000;

// The positions of the delivered card numbers' puts: by reference, unlike the fields' clearing.
std::vector<size_t> CardPuts(const ProgramHarness& h) {
    std::vector<size_t> puts;
    for (size_t i = 0; i < h.host.calls.size(); ++i) {
        const Call& call = h.host.calls[i];
        if (call.dispId == dispid::kPutScreenField && call.args[0].text == "W1AC#" &&
            call.args[2].type == DispArg::Type::TextRef)
            puts.push_back(i);
    }
    return puts;
}

TEST(ProgramReads, ASwipeJustAfterATickIsDeliveredAbout100MsLaterUnlessReadsWaitForTicks) {
    const struct {
        bool tickOnly;
        int64_t soonest, latest;  // from the card to its number's put
    } cases[] = {
        {false, 100 * kMs, 110 * kMs},
        {true, 900 * kMs, 1600 * kMs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tickOnly ? "tick-only reads" : "reads taken up at once");
        ProgramHarness h;
        h.copy->form.TickOnlyReads = c.tickOnly;
        std::vector<int64_t> made;
        h.host.onCall = [&](const Call&) { made.push_back(h.desktop.nowMicros); };
        // The card 20 ms after the first tick from 8 s on, once the request is armed.
        int64_t swiped = -1;
        h.desktop.afterTick = [&] {
            if (swiped >= 0 || h.desktop.nowMicros < Micros(8)) return;
            swiped = h.desktop.nowMicros + 20 * kMs;
            h.SwipeAt(static_cast<double>(swiped) / 1e6, kVisaTrack);
        };
        h.Run("C,Front Desk", 12);
        ASSERT_GE(swiped, 0);
        const std::vector<size_t> puts = CardPuts(h);
        ASSERT_EQ(puts.size(), 1u);
        const int64_t delivered = made[puts[0]];
        EXPECT_GE(delivered - swiped, c.soonest);
        EXPECT_LE(delivered - swiped, c.latest);
        // The tick's steps all the same: "Processing data..." mirrored, 100 ms, the card, its
        // read-back and confirmation.
        EXPECT_GE(delivered - made[h.StatusPut(status::kProcessing)], 100 * kMs);
        EXPECT_EQ(h.HostStatus().back(), status::kSent);
        EXPECT_EQ(h.Setting("MSconnect"), "2NFront Desk~");
        EXPECT_TRUE(h.hid.misuses.empty());
    }
}

// After a card has been taken up the next read starts at once, not at the next tick: a card
// that follows soon after is delivered 100 ms after it however soon it comes.
TEST(ProgramReads, ACardRightAfterADeliveryIsTakenUpAsItComes) {
    for (const int64_t gap : {5 * kMs, 60 * kMs, 300 * kMs, 700 * kMs}) {
        SCOPED_TRACE(gap);
        ProgramHarness h;
        h.copy->form.TickOnlyReads = false;
        int64_t second = -1;
        std::vector<int64_t> made;
        h.host.onCall = [&](const Call& call) {
            made.push_back(h.desktop.nowMicros);
            // The first card's confirmation: the next comes gap later.
            if (second < 0 && call.dispId == dispid::kPutScreenField &&
                call.args[2].text == status::kSent) {
                second = h.desktop.nowMicros + gap;
                h.SwipeAt(static_cast<double>(second) / 1e6, kMastercardTrack);
            }
        };
        h.SwipeAt(8.2, kVisaTrack);
        h.Run("C,Front Desk", 11);
        const std::vector<size_t> puts = CardPuts(h);
        ASSERT_EQ(puts.size(), 2u);
        EXPECT_GE(made[puts[1]] - second, 100 * kMs);
        EXPECT_LE(made[puts[1]] - second, 110 * kMs);
    }
}

TEST(ProgramReads, TwoSwipesInOneSecondAreBothDeliveredInOrderEachOnce) {
    for (const bool tickOnly : {false, true}) {
        SCOPED_TRACE(tickOnly ? "tick-only reads" : "reads taken up at once");
        ProgramHarness h;
        h.copy->form.TickOnlyReads = tickOnly;
        h.SwipeAt(9.1, kVisaTrack);
        h.SwipeAt(9.5, kMastercardTrack);
        h.Run("C,Front Desk", 14);
        std::vector<std::string> numbers;
        for (const size_t put : CardPuts(h))
            numbers.push_back(h.host.calls[put].args[2].text);
        EXPECT_EQ(numbers, (std::vector<std::string>{"4111111111111111", "5500000000000004"}));
        EXPECT_TRUE(h.desktop.messageBoxes.empty());
    }
}

// The clerk chooses from the menu, or closes the window, in the pass's sleep, and the card comes
// a moment later: the command runs first, as when reads waited for the timer's message, which
// comes only once no other is queued; the read then goes as the command decides.
TEST(ProgramReads, ACommandChosenBeforeTheCardRunsFirst) {
    using End = ProgramHarness::End;
    const struct {
        const char* what;
        std::optional<MenuItem> item;  // none: the close box
        End end;
        bool delivered;
        // Sent instead, as Windows sends it: a look for the commands alone delivers it too.
        bool sessionEnds = false;
    } cases[] = {
        {"Set logging on", MenuItem::Logging, End::Stopped, true},
        {"Clear/re&Attach", MenuItem::Attach, End::Stopped, false},
        {"E&xit", MenuItem::End, End::Ended, false},
        {"the close box", std::nullopt, End::Ended, false},
        {"the session's end", std::nullopt, End::Ended, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramHarness h;
        h.copy->form.TickOnlyReads = false;
        // In the first armed pass from 8 s on: chosen 20 ms into its sleep, the card 20 ms later.
        bool chosen = false;
        h.host.onCall = [&](const Call& call) {
            if (chosen || call.dispId != dispid::kGetSessionInfo || !h.copy->ScannerActive ||
                h.desktop.nowMicros < Micros(8))
                return;
            chosen = true;
            const int64_t at = h.desktop.nowMicros + 20 * kMs;
            if (c.sessionEnds) {
                h.desktop.SendEndSession(at);
            } else {
                c.item ? h.desktop.PostMenu(at, *c.item) : h.desktop.PostClose(at);
            }
            h.SwipeAt(static_cast<double>(at + 20 * kMs) / 1e6, kVisaTrack);
        };
        EXPECT_EQ(h.Run("C,Front Desk", 12), c.end);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(CardPuts(h).size(), c.delivered ? 1u : 0u);
        EXPECT_EQ(h.Showed(status::kProcessing), c.delivered);
        if (c.item == MenuItem::Logging) {
            EXPECT_EQ(h.Setting("Logging"), "Y");
        } else if (c.item == MenuItem::Attach) {
            const std::vector<std::string> statuses = h.HostStatus();
            EXPECT_NE(std::find(statuses.begin(), statuses.end(), status::kAttachDevice),
                      statuses.end());
        }
        EXPECT_TRUE(h.hid.misuses.empty());
    }
}

// The card comes while the loop waits for the host's answer: it is taken up once the call has
// returned, not inside it and not a tick later.
TEST(ProgramReads, ASwipeDuringAHostCallIsTakenUpWhenTheCallReturns) {
    for (const bool dispatching : {false, true}) {
        SCOPED_TRACE(dispatching ? "control in another process" : "control in process");
        ProgramHarness h;
        h.copy->form.TickOnlyReads = false;
        constexpr int64_t kAnswer = 300 * kMs;
        h.host.AnswerTakes(h.desktop, kAnswer, dispatching);
        int64_t returned = -1;
        std::vector<int64_t> made;  // when each call was made
        h.host.onCall = [&](const Call& call) {
            made.push_back(h.desktop.nowMicros);
            if (returned >= 0 || call.dispId != dispid::kGetSessionInfo) return;
            if (!h.copy->ScannerActive || h.desktop.nowMicros < Micros(8)) return;
            returned = h.desktop.nowMicros + kAnswer;
            h.SwipeAt(static_cast<double>(h.desktop.nowMicros + 50 * kMs) / 1e6, kVisaTrack);
        };
        h.Run("C,Front Desk", 14);
        ASSERT_GE(returned, 0);
        EXPECT_EQ(h.host.callsInsideCalls, 0);
        EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
        const size_t processing = h.StatusPut(status::kProcessing);
        ASSERT_LT(processing, made.size());
        EXPECT_GE(made[processing], returned);
        EXPECT_LE(made[processing], returned + 10 * kMs);
    }
}

// Armed with no card: the waits sleep as long as they did. A handle that stays set without
// a read completing (a swipe announced but not to be had) wakes them at most once per tick.
TEST(ProgramReads, WaitingArmedCostsNoMoreWakeUpsThanTickOnlyReads) {
    const auto run = [](bool tickOnly, bool stuckHandle) {
        ProgramHarness h;
        h.copy->form.TickOnlyReads = tickOnly;
        if (stuckHandle) {
            const EventHandle stuck = h.hid.NewEvent(true, true);
            h.hid.readWaitHandle = [stuck](EventHandle) { return stuck; };
        }
        h.Run("C,Front Desk", 14);
        EXPECT_EQ(h.Setting("MSconnect"), "2YFront Desk~");
        return std::make_tuple(h.desktop.doEventsCount + h.desktop.messageWaits, h.desktop.wakes,
                               h.desktop.timerTicks);
    };
    const auto [tickOnlyWaits, tickOnlyWakes, tickOnlyTicks] = run(true, false);
    const auto [waits, wakes, ticks] = run(false, false);
    EXPECT_EQ(tickOnlyWakes, 0);
    EXPECT_EQ(wakes, 0);
    EXPECT_EQ(waits, tickOnlyWaits);
    const auto [stuckWaits, stuckWakes, stuckTicks] = run(false, true);
    EXPECT_GT(stuckWakes, 0);
    EXPECT_LE(stuckWakes, stuckTicks);
    EXPECT_LE(stuckWaits, tickOnlyWaits + 2 * stuckTicks);
    EXPECT_EQ(ticks, tickOnlyTicks);
}

}  // namespace
}  // namespace ostrel
