// Whole-program scenarios: the reader and its HID stack failing while a request is served. Each
// ends with the reader open once more, the next card delivered, and nothing left open twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "shell/status_texts.h"
#include "tests/logic/program_harness.h"

namespace ostrel {
namespace {

using End = ProgramHarness::End;

constexpr const char* kMastercardTrack = "%B5500000000000004^ROE/RICHARD^27011010000000000000";
// The reader's handle, its preparsed data and the read event.
constexpr size_t kOpenReaderResources = 3;

// The calls that reached the HID stack from position from on.
std::vector<std::string> HidCallsFrom(const ProgramHarness& h, size_t from) {
    return {h.hid.calls.begin() + static_cast<long>(std::min(from, h.hid.calls.size())),
            h.hid.calls.end()};
}

bool Called(const std::vector<std::string>& calls, const std::string& prefix) {
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

class ProgramReaderFaultsTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(h.hid.misuses.empty()); }
    ProgramHarness h;
};

struct ReadFault {
    const char* name;
    // Done at 7 s, armed with a read pending, or during the first card's delivery.
    std::function<void(ProgramHarness&)> fault;
    bool duringDelivery;
    const char* failedCall;  // the call that met the fault
};

// Every way a read can end badly: the read closes the reader, the next tick opens it again,
// and the next card is delivered as if nothing had happened.
TEST_F(ProgramReaderFaultsTest, AReadThatFailsClosesTheReaderAndTheNextTickOpensItAgain) {
    const auto failRead = [](uint32_t error) {
        return [error](ProgramHarness& p) { p.hid.FailNextRead(p.readerId, error); };
    };
    const ReadFault cases[] = {
        {"pending read, device gone", failRead(winerr::kDeviceNotConnected), false,
         "GetOverlappedResult"},
        {"pending read, general failure", failRead(31), false, "GetOverlappedResult"},
        {"pending read, aborted", failRead(winerr::kOperationAborted), false,
         "GetOverlappedResult"},
        {"read not started, device gone", failRead(winerr::kDeviceNotConnected), true, "ReadFile"},
        {"read not started, general failure", failRead(31), true, "ReadFile"},
        {"read not started, bad handle", failRead(winerr::kInvalidHandle), true, "ReadFile"},
    };
    for (const ReadFault& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramHarness run;
        size_t faultAt = 0;
        // Outlives the host's call hook, which runs after this block has been left.
        bool done = false;
        if (c.duringDelivery) {
            // While the first card is delivered its read has been collected: the next read
            // that starts is the one to fail.
            run.SwipeAt(7, kVisaTrack);
            run.host.onCall = [&](const sim::SimHostScreen::Call& call) {
                if (!done && call.dispId == dispid::kGetScreenField) {
                    done = true;
                    faultAt = run.hid.calls.size();
                    c.fault(run);
                }
            };
        } else {
            run.At(7, [&] {
                faultAt = run.hid.calls.size();
                c.fault(run);
            });
        }
        run.SwipeAt(11, kMastercardTrack);
        EXPECT_EQ(run.Run("C,Front Desk", 13), End::Stopped);
        const std::vector<std::string> after = HidCallsFrom(run, faultAt);
        // The failed read closed the reader, and a search opened it again.
        const auto failed = std::find_if(after.begin(), after.end(), [&](const std::string& s) {
            return s.rfind(c.failedCall, 0) == 0;
        });
        ASSERT_NE(failed, after.end());
        EXPECT_TRUE(Called({failed, after.end()}, "CloseHandle"));
        EXPECT_EQ(run.hid.Opens(run.readerId), 2);
        EXPECT_EQ(run.host.Field(2, "W1AC#"), "5500000000000004");
        EXPECT_EQ(run.Setting("MSconnect"), "2NFront Desk~");
        EXPECT_EQ(run.hid.OpenResources(), kOpenReaderResources);
        EXPECT_TRUE(run.hid.misuses.empty());
        EXPECT_TRUE(run.desktop.messageBoxes.empty());
    }
}

// ResetEvent failing leaves the reader open and starts no read; the card waits in the HID stack
// and is read once ResetEvent works again.
TEST_F(ProgramReaderFaultsTest, AResetEventThatFailsStartsNoReadAndTheCardWaits) {
    for (int failures : {1, 3}) {
        SCOPED_TRACE(failures);
        ProgramHarness run;
        // The card comes while no read is pending: right after the first card's delivery.
        run.SwipeAt(7, kVisaTrack);
        bool done = false;
        run.host.onCall = [&](const sim::SimHostScreen::Call& call) {
            if (!done && call.dispId == dispid::kGetScreenField) {
                done = true;
                run.hid.failResetEvents = failures;
                sim::Swipe next;
                next.tracks[0] = kMastercardTrack;
                run.hid.QueueReport(run.readerId, sim::SwipeReport(2, next));
            }
        };
        EXPECT_EQ(run.Run("C,Front Desk", 8 + failures + 2), End::Stopped);
        EXPECT_EQ(run.copy->reader.Error(), "ResetEvent Failed");
        EXPECT_EQ(run.hid.failResetEvents, 0);
        EXPECT_EQ(run.host.Field(2, "W1AC#"), "5500000000000004");
        EXPECT_EQ(run.hid.Opens(run.readerId), 1);
        EXPECT_EQ(run.hid.OpenResources(), kOpenReaderResources);
        EXPECT_TRUE(run.hid.misuses.empty());
    }
}

// A reader pulled out while its read is pending, beside a keyboard that keeps a HID device
// listed: the read ends with the device gone, the reader is closed, and a reader plugged in
// again (another model too) is opened and read like the first.
TEST_F(ProgramReaderFaultsTest, AReaderPulledOutWhileReadingIsReadAgainOncePluggedIn) {
    for (uint16_t model : {2, 9, 15}) {
        SCOPED_TRACE(model);
        ProgramHarness run;
        run.hid.Plug(sim::KeyboardDevice());
        size_t resourcesWhileOut = 99;
        run.At(7, [&] { run.hid.Unplug(run.readerId); });
        run.At(9.5, [&] { resourcesWhileOut = run.hid.OpenResources(); });
        run.At(10, [&] { run.readerId = run.hid.Plug(sim::ReaderDevice(model)); });
        run.SwipeAt(13, kMastercardTrack);
        EXPECT_EQ(run.Run("C,Front Desk", 15), End::Stopped);
        EXPECT_EQ(resourcesWhileOut, 1u);  // the read event alone
        EXPECT_EQ(run.host.Field(2, "W1AC#"), "5500000000000004");
        EXPECT_EQ(run.Setting("MSconnect"), "2NFront Desk~");
        EXPECT_EQ(run.hid.OpenResources(), kOpenReaderResources);
        EXPECT_TRUE(run.hid.misuses.empty());
    }
}

// Without its event no read can start; a failed creation is no reason to stop reading for the
// rest of the run.
TEST_F(ProgramReaderFaultsTest, AReadEventThatCouldNotBeCreatedIsCreatedForTheNextRead) {
    h.hid.failEventCreation = true;
    h.At(6, [&] { h.hid.failEventCreation = false; });
    h.SwipeAt(8, kVisaTrack);
    EXPECT_EQ(h.Run("C,Front Desk", 11), End::Stopped);
    EXPECT_EQ(h.host.Field(2, "W1AC#"), "4111111111111111");
    EXPECT_EQ(h.hid.OpenResources(), kOpenReaderResources);
}

}  // namespace
}  // namespace ostrel
