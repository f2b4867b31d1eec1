// The reader over simulated HID devices: discovery, overlapped reading and decoding.
#include "reader/card_reader.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_readers.h"
#include "reader/wait.h"
#include "tests/card_reader_test_access.h"

namespace ostrel {
namespace {

using sim::Swipe;
using Access = CardReaderTestAccess;

// A device path of no form the search knows: nothing in it tells what the device is.
constexpr const char* kUnknownFormPath =
    "\\\\?\\hid#virtual_input&col01#1&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class CardReaderTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(hid.misuses.empty()) << hid.misuses.front(); }

    sim::SimHid::DeviceId Plug(uint16_t productId) {
        return hid.Plug(sim::ReaderDevice(productId));
    }
    sim::SimHid::DeviceId PlugForeign(int instance) {
        sim::SimHidDevice keyboard = sim::KeyboardDevice();
        keyboard.path = sim::SimHid::DevicePath(keyboard.vendorId, keyboard.productId, instance);
        return hid.Plug(keyboard);
    }
    // Opens the reader and readies its layout, as the polling timer does.
    void Open() {
        reader.InitReader();
        reader.OpenReader();
        ASSERT_TRUE(reader.IsOpen());
        reader.LoadReportLayout();
        ASSERT_EQ(reader.Error(), "");
    }
    // One swipe sent and read.
    bool Read(sim::SimHid::DeviceId device, const Swipe& swipe) {
        hid.QueueReport(device, sim::SwipeReport(reader.ReaderProductId(), swipe));
        return reader.ReadReport();
    }
    int64_t Seconds() const { return desktop.nowMicros / 1000000; }

    sim::SimHid hid;
    sim::SimDesktop desktop;
    CardReader reader{hid, desktop};
};

// --- Discovery -----------------------------------------------------------------------------

TEST_F(CardReaderTest, FindsTheReaderAmongOtherDevicesWithoutOpeningThem) {
    std::vector<sim::SimHid::DeviceId> others;
    for (int i = 0; i < 5; ++i)
        others.push_back(PlugForeign(i));
    Plug(2);
    reader.InitReader();
    reader.OpenReader();
    EXPECT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.ReaderProductId(), 2);
    EXPECT_EQ(Access::InputReportByteLength(reader), 1 + 3 + 3 + 3 * 110 + 1);
    for (auto other : others)
        EXPECT_EQ(hid.OpenAttempts(other), 0);
    // No wait: the reader took its open at once.
    EXPECT_EQ(desktop.nowMicros, 0);
}

// A device listed but still starting refuses to open: it is given a second and tried once more.
TEST_F(CardReaderTest, ADeviceThatRefusesToOpenIsTriedOnceMoreASecondLater) {
    const struct {
        int refusedTries;  // each asks for read/write access, then for access 0
        bool opened;
        int attempts;
        int64_t seconds;
    } cases[] = {{0, true, 1, 0}, {1, true, 3, 1}, {2, false, 4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusedTries);
        sim::SimHid devices;
        sim::SimDesktop clock;
        sim::SimHidDevice device = sim::ReaderDevice(2);
        device.refuseOpens = 2 * c.refusedTries;
        const auto id = devices.Plug(device);
        CardReader search(devices, clock);
        search.InitReader();
        search.OpenReader();
        EXPECT_EQ(search.IsOpen(), c.opened);
        EXPECT_EQ(devices.OpenAttempts(id), c.attempts);
        EXPECT_EQ(clock.nowMicros / 1000000, c.seconds);
        search.CloseReader();
        search.CloseReadEvent();
    }
}

TEST_F(CardReaderTest, ADeviceOfTheVendorThatIsNoReaderIsOpenedRejectedAndClosed) {
    const auto wrong = Plug(4);
    const auto right = Plug(9);
    reader.InitReader();
    reader.OpenReader();
    EXPECT_EQ(hid.Opens(wrong), 1);
    EXPECT_EQ(hid.Opens(right), 1);
    EXPECT_EQ(reader.ReaderProductId(), 9);
    reader.CloseReader();
    reader.CloseReadEvent();
    EXPECT_EQ(hid.OpenResources(), 0u);
}

TEST_F(CardReaderTest, AReaderThatRefusesReadWriteOpensWithAccessZeroAndFailsItsFirstRead) {
    sim::SimHidDevice device = sim::ReaderDevice(2);
    device.refuseReadWrite = true;
    const auto id = hid.Plug(device);
    Open();
    EXPECT_EQ(hid.OpenAttempts(id), 2);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_FALSE(reader.IsOpen());
}

// A device ahead of the reader, by its path's form: passed by unopened when the path shows
// another maker's vendor id or a device not on USB, waited for and opened otherwise.
TEST(CardReaderSearch, APathThatShowsTheDeviceIsNoReaderCostsTheSearchNothing) {
    const std::string guid = "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    struct Case {
        const char* name;
        std::string path;
        uint16_t vendorId;
        bool opened;
    };
    const Case cases[] = {
        {"USB, another maker", sim::SimHid::DevicePath(0x1234, 1, 3), 0x1234, false},
        {"Bluetooth, another maker", sim::BluetoothPath(0x046d, 0xb00d, 3), 0x046d, false},
        {"Bluetooth, a Bluetooth SIG company id",
         "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&00011915_pid&0040&col01#8&1&0&"
         "0000" +
             guid,
         0x1915, false},
        {"Bluetooth LE, another maker",
         "\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02045e_pid&0b13_rev&0509_"
         "c83f26f7d6cd&col01#9&3a4b5c6d&0&0000" +
             guid,
         0x045e, false},
        {"Bluetooth, no maker named",
         "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_localmfg&000f#8&1&0&0000", 0x1234,
         false},
        {"built in, ACPI id", sim::BuiltInPath("elan0732", 3), 0x04f3, false},
        {"built in, PNP id", sim::BuiltInPath("int33d5", 3), 0x8087, false},
        {"built in, I2C vendor form", "\\\\?\\hid#ven_msft&dev_0010&col01#5&1&0&0000" + guid,
         0x045e, false},
        {"Bluetooth, the reader's maker", sim::BluetoothPath(0x0801, 4, 3), 0x0801, true},
        {"a form the search does not know", kUnknownFormPath, 0x1234, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimHid hid;
        sim::SimDesktop desktop;
        sim::SimHidDevice device = sim::KeyboardDevice();
        device.vendorId = c.vendorId;
        device.productId = 4;  // of no reader model: opened, it is turned away
        device.refuseReadWrite = false;
        device.path = c.path;
        const auto ahead = hid.Plug(device);
        const auto readerId = hid.Plug(sim::ReaderDevice(2));
        CardReader reader(hid, desktop);
        reader.InitReader();
        reader.OpenReader();
        EXPECT_TRUE(reader.IsOpen());
        EXPECT_EQ(hid.Opens(readerId), 1);
        EXPECT_EQ(hid.OpenAttempts(ahead), c.opened ? 1 : 0);
        // Each device that takes its open costs no wait.
        EXPECT_EQ(desktop.nowMicros, 0);
    }
}

TEST_F(CardReaderTest, APathOfAFormTheSearchDoesNotKnowIsOpened) {
    sim::SimHidDevice keyboard = sim::KeyboardDevice();
    keyboard.path = kUnknownFormPath;
    const auto id = hid.Plug(keyboard);
    reader.InitReader();
    EXPECT_TRUE(reader.ReaderPresent());
    reader.OpenReader();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(hid.Opens(id), 1);
    EXPECT_EQ(Seconds(), 0);
    // The keyboard's product id stays behind, as the polling timer then sees it.
    EXPECT_EQ(reader.ReaderProductId(), keyboard.productId);
}

// With no collection that opens for reading, the first that opened with access 0 is the reader,
// with its own ids and caps, whatever the search opened after it.
TEST_F(CardReaderTest, AReaderThatOpensOnlyWithAccessZeroIsTakenWhenNothingBetterFollows) {
    sim::SimHidDevice improper = sim::ReaderDevice(1);
    improper.refuseReadWrite = true;
    const auto id = hid.Plug(improper);
    sim::SimHidDevice second = sim::ReaderDevice(9);
    second.refuseReadWrite = true;
    hid.Plug(second);
    sim::SimHidDevice unknown = sim::KeyboardDevice();
    unknown.path = kUnknownFormPath;
    hid.Plug(unknown);
    reader.InitReader();
    reader.OpenReader();
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.ReaderProductId(), 1);
    EXPECT_EQ(reader.Model().support, ReaderSupport::Improper);
    reader.LoadReportLayout();
    EXPECT_EQ(reader.InputReportLength(), 1u + 3 + 3 + 3 * 110 + 1);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(hid.OpenAttempts(id), 2);
    reader.CloseReadEvent();
    EXPECT_EQ(hid.OpenResources(), 0u);
}

TEST_F(CardReaderTest, AnOpenReaderIsKeptWhileAnyDeviceIsListedAndDroppedWhenNoneIs) {
    const auto id = Plug(2);
    Open();
    const int64_t before = desktop.nowMicros;
    reader.OpenReader();
    EXPECT_EQ(desktop.nowMicros, before);
    EXPECT_EQ(hid.OpenAttempts(id), 1);
    EXPECT_FALSE(reader.ReadReport());  // a read is pending when the reader goes
    hid.Unplug(id);
    EXPECT_FALSE(reader.ReaderPresent());
    reader.OpenReader();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(Access::HeldPreparsedData(reader), 0u);
    reader.CloseReadEvent();
    EXPECT_EQ(hid.OpenResources(), 0u);
}

TEST_F(CardReaderTest, InterfacesWhoseDetailsMisbehaveAreSkipped) {
    sim::SimHidDevice odd = sim::ReaderDevice(2);
    odd.path = sim::SimHid::DevicePath(kReaderVendorId, 2, 7);
    odd.detailSizeQueryError = 0;
    const auto skipped = hid.Plug(odd);
    const auto good = Plug(3);
    reader.InitReader();
    reader.OpenReader();
    EXPECT_EQ(hid.OpenAttempts(skipped), 0);
    EXPECT_EQ(hid.Opens(good), 1);
}

TEST_F(CardReaderTest, NoDeviceListLeavesEverythingAsItWas) {
    Plug(2);
    hid.failClassDevs = true;
    reader.InitReader();
    EXPECT_FALSE(reader.ReaderPresent());
    reader.OpenReader();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(desktop.nowMicros, 0);
}

TEST_F(CardReaderTest, ClosingWithNothingOpenDoesNothing) {
    reader.CloseReader();
    reader.CloseReadEvent();
    EXPECT_TRUE(hid.calls.empty());
}

TEST_F(CardReaderTest, ThousandOpenAndCloseCyclesLeaveNothingBehind) {
    const auto id = Plug(14);
    PlugForeign(1);
    for (int i = 0; i < 1000; ++i) {
        reader.InitReader();
        reader.OpenReader();
        reader.LoadReportLayout();
        reader.ReadReport();
        if (i % 3 == 0) hid.QueueReport(id, sim::SwipeReport(14, Swipe{}));
        if (i % 2 == 0) reader.InitReader();  // a restart drops nothing
        reader.CloseReader();
        reader.CloseReadEvent();
    }
    EXPECT_EQ(hid.OpenResources(), 0u);
}

// --- Reading -------------------------------------------------------------------------------

TEST_F(CardReaderTest, AReportAlreadyQueuedArrivesOnTheStartingCall) {
    const auto id = Plug(2);
    Open();
    Swipe swipe;
    swipe.tracks[0] = "%B4111111111111111^DOE/JOHN Q^2512101";
    EXPECT_TRUE(Read(id, swipe));
    EXPECT_FALSE(Access::ReadPending(reader));
    // The next call starts a new read: one report never answers twice.
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_TRUE(Access::ReadPending(reader));
    EXPECT_FALSE(reader.ReadReport());
}

TEST_F(CardReaderTest, APendingReadCompletesOnTheCallAfterTheReportArrived) {
    const auto id = Plug(2);
    Open();
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_TRUE(Access::ReadPending(reader));
    hid.QueueReport(id, sim::SwipeReport(2, Swipe{}));
    EXPECT_TRUE(reader.ReadReport());
    EXPECT_FALSE(Access::ReadPending(reader));
    EXPECT_FALSE(reader.ReadReport());
}

TEST_F(CardReaderTest, UnpluggingWhileAReadIsPendingClosesTheReader) {
    const auto id = Plug(2);
    Open();
    EXPECT_FALSE(reader.ReadReport());
    hid.Unplug(id);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_FALSE(Access::ReadPending(reader));
}

TEST_F(CardReaderTest, AReadThatFailsToStartClosesTheReader) {
    const auto id = Plug(2);
    Open();
    hid.FailNextRead(id, 31);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(CardReaderTest, WithoutAnEventNoReadStartsAndTheReaderStaysOpen) {
    Plug(2);
    hid.failEventCreation = true;
    reader.InitReader();
    reader.OpenReader();
    reader.LoadReportLayout();
    EXPECT_EQ(Access::ReadEvent(reader), 0u);
    EXPECT_EQ(reader.Error(), "CreateEvent Failed");
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_EQ(reader.Error(), "ResetEvent Failed");
    EXPECT_FALSE(Access::ReadPending(reader));
    EXPECT_TRUE(reader.IsOpen());
}

TEST_F(CardReaderTest, EventCreationFailureIsReported) {
    hid.failEventCreation = true;
    reader.InitReader();
    EXPECT_EQ(reader.Error(), "CreateEvent Failed");
}

TEST_F(CardReaderTest, AClosedEventIsNotUsedAgain) {
    Plug(2);
    Open();
    reader.CloseReadEvent();
    EXPECT_EQ(Access::ReadEvent(reader), 0u);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_EQ(reader.Error(), "ResetEvent Failed");
}

// --- WaitMs --------------------------------------------------------------------------------

TEST_F(CardReaderTest, WaitMsLastsItsTimeAndEndsAcrossMidnight) {
    desktop.clockStartSeconds = 86400 - 0.05;
    int pumped = 0;
    desktop.onDoEvents = [&] { ++pumped; };
    WaitMs(desktop, 100);
    EXPECT_GT(desktop.nowMicros, 100000);
    EXPECT_LT(desktop.SecondsSinceMidnight(), 1.0);  // the day turned during the wait
    EXPECT_GT(pumped, 1);
    pumped = 0;
    WaitMs(desktop, 0);
    EXPECT_GE(pumped, 1);
}

// A window that notes when its timer ticks.
struct TickTimes : WindowEvents {
    explicit TickTimes(sim::SimDesktop& d) : desktop(d) {}
    void OnClick() override {}
    void OnResize() override {}
    void OnIconMessage(uint32_t) override {}
    void OnTimer() override { ticks.push_back(desktop.nowMicros); }
    void OnMenu(MenuItem) override {}
    void OnCloseRequest() override {}
    void OnEndSession() override {}
    sim::SimDesktop& desktop;
    std::vector<int64_t> ticks;
};

TEST_F(CardReaderTest, WaitMsSleepsBetweenMessagesAndHandlesEachAsItComes) {
    TickTimes window(desktop);
    desktop.CreateMainWindow(window);
    desktop.SetTimerEnabled(true);  // ticks at 1 s and 2 s
    int64_t ran = -1;
    desktop.At(1500000, [&] { ran = desktop.nowMicros; });
    WaitMs(desktop, 2500);
    EXPECT_GT(desktop.nowMicros, 2500000);
    EXPECT_LE(desktop.nowMicros, 2503000);
    ASSERT_EQ(window.ticks.size(), 2u);
    EXPECT_NEAR(window.ticks[0], 1000000, 2000);
    EXPECT_NEAR(window.ticks[1], 2000000, 2000);
    EXPECT_NEAR(ran, 1500000, 2000);
    // Woken for each of them, not pumping round after round in between.
    EXPECT_LE(desktop.doEventsCount, 8);
    EXPECT_GE(desktop.messageWaits, 3);
}

}  // namespace
}  // namespace ostrel
