// Each reader model's report layout and its decoding into the swipe record.
#include <gtest/gtest.h>

#include "platform/sim/hid_descriptor.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_readers.h"
#include "reader/card_reader.h"
#include "tests/card_reader_test_access.h"

namespace ostrel {
namespace {

using sim::Swipe;
using Access = CardReaderTestAccess;

constexpr const char* kTrack1 = "%B4111111111111111^DOE/JOHN Q^2512101";
constexpr const char* kTrack2 = ";4111111111111111=2512101?";

// A vendor-page descriptor with just the given 8-bit values: (usage, report count).
std::vector<uint8_t> Descriptor(std::initializer_list<std::pair<uint8_t, uint8_t>> values) {
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                              0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08};
    for (const auto& [usage, count] : values) {
        d.insert(d.end(), {0x95, count, 0x09, usage, 0x81, 0x02});
    }
    d.push_back(0xC0);
    return d;
}

class ReportDecoderTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(hid.misuses.empty()); }

    void Attach(sim::SimHidDevice device) {
        id = hid.Plug(device);
        reader.InitReader();
        reader.OpenReader();
        ASSERT_TRUE(reader.IsOpen());
        reader.LoadReportLayout();
    }
    void Attach(uint16_t productId) {
        Attach(sim::ReaderDevice(productId));
        ASSERT_EQ(reader.Error(), "");
    }
    bool Decode(const Swipe& swipe) {
        hid.QueueReport(id, sim::SwipeReport(reader.ReaderProductId(), swipe));
        EXPECT_TRUE(reader.ReadReport());
        return reader.DecodeReport();
    }
    static Swipe CardSwipe() {
        Swipe s;
        s.tracks[0] = kTrack1;
        s.tracks[1] = kTrack2;
        s.decodeStatus = {0, 0, 1};
        s.encodeType = 2;
        return s;
    }
    const SwipeRecord& R() const { return reader.Swipe(); }

    sim::SimHid hid;
    sim::SimDesktop desktop;
    CardReader reader{hid, desktop};
    sim::SimHid::DeviceId id = 0;
};

TEST_F(ReportDecoderTest, CharacterModelsDeliverTheTracksAsText) {
    for (uint16_t model : {1, 2, 3, 9}) {
        SCOPED_TRACE(model);
        reader.CloseReader();
        hid = sim::SimHid();
        Attach(model);
        EXPECT_EQ(Access::UsageBufferSize(reader, 0x30), 110u);
        ASSERT_TRUE(Decode(CardSwipe())) << reader.Error();
        EXPECT_EQ(R().Tk1Data, kTrack1);
        EXPECT_EQ(R().Tk2Data, kTrack2);
        EXPECT_EQ(R().Tk3Data, "");
        EXPECT_EQ(R().Tk1Len, 37);
        EXPECT_EQ(R().Tk3DcdSts, 1);
        EXPECT_EQ(R().CrdEcdTyp, 2);
        EXPECT_EQ(R().DeviceSerialNumberData, "");
    }
}

TEST_F(ReportDecoderTest, OnlyModel3ReadsCardStatus) {
    Swipe swipe = CardSwipe();
    swipe.cardStatus = 7;
    Attach(3);
    ASSERT_TRUE(Decode(swipe));
    EXPECT_EQ(R().CardSts, 7);
    reader.CloseReader();
    hid.Unplug(id);
    Attach(2);
    swipe.cardStatus = 9;
    ASSERT_TRUE(Decode(swipe));
    EXPECT_EQ(R().CardSts, 7);  // not delivered: kept
}

TEST_F(ReportDecoderTest, Model9AddsStripePrintSerialAndCounter) {
    Attach(9);
    EXPECT_EQ(Access::UsageBufferSize(reader, 0x33), 128u);
    Swipe swipe = CardSwipe();
    swipe.stripePrint = {0x01, 0xAB, 0x00, 0xFF, 0x10};
    swipe.stripePrintStatus = 3;
    swipe.serialNumber = "B0C1234";
    swipe.sequenceCounter = 513;
    ASSERT_TRUE(Decode(swipe));
    EXPECT_EQ(R().StripePrintLen, 5);
    EXPECT_EQ(R().StripePrintSts, 3);
    EXPECT_EQ(R().StripePrintData, "01 AB 00 FF 10 ");
    EXPECT_EQ(R().DeviceSerialNumberData, "B0C1234");
    EXPECT_EQ(R().SequenceCounter, 513);
}

TEST_F(ReportDecoderTest, RawModelsGiveHexInBlocksOfEight) {
    Attach(14);
    Swipe swipe;
    swipe.tracks[0] = sim::Bytes(13, 0xA5);
    swipe.stripePrint = {1, 2, 3, 4, 5};
    swipe.dukptKsn = {0xFF, 0xFF, 0x98, 0x76, 0x54, 0x32, 0x10, 0xE0, 0x00, 0x01};
    swipe.serialNumber = sim::Bytes(16, 'S');
    swipe.sequenceCounter = 7;
    ASSERT_TRUE(Decode(swipe)) << reader.Error();
    EXPECT_EQ(R().Tk1Data.size(), 48u);
    EXPECT_EQ(R().Tk1Data.substr(0, 9), "A5 A5 A5 ");
    EXPECT_EQ(R().Tk1Data.substr(36), "A5 00 00 00 ");
    EXPECT_EQ(R().Tk2Data, "");
    EXPECT_EQ(R().StripePrintData, "01 02 03 04 05 00 00 00 ");
    EXPECT_EQ(R().DUKPTData, "FFFF9876543210E00001");
    EXPECT_EQ(R().DeviceSerialNumberData, std::string(16, 'S'));
    EXPECT_EQ(R().SequenceCounter, 7);
}

TEST_F(ReportDecoderTest, Model15DeliversMaskedTracksAndSessionIdButNoCounter) {
    reader.EditSwipe().SequenceCounter = 42;
    Attach(15);
    Swipe swipe;
    swipe.tracks[0] = sim::Bytes(40, 0x11);
    swipe.maskedTracks[0] = "%B4111********1111^DOE/JOHN Q^2512***";
    swipe.maskedTracks[1] = ";4111********1111=2512***?";
    swipe.encryptedSessionId = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4};
    swipe.sequenceCounter = 9;
    ASSERT_TRUE(Decode(swipe)) << reader.Error();
    EXPECT_EQ(R().Tk1Data.size(), 40u * 3);
    EXPECT_EQ(R().MTk1Data, "%B4111********1111^DOE/JOHN Q^2512***");
    EXPECT_EQ(R().Tk2MLen, 26);
    EXPECT_EQ(R().MTk3Data, "");
    EXPECT_EQ(R().EncSessionIDData, "DE AD BE EF 01 02 03 04 ");
    EXPECT_EQ(R().SequenceCounter, 42);
}

// Whether the simulated reader of this product id carries the vendor-page usage.
bool Carries(uint16_t productId, uint16_t usage) {
    const auto descriptor = sim::HidDescriptor::Parse(sim::ReaderDescriptor(productId));
    HidpValueCaps caps;
    uint16_t length = 1;
    return descriptor->GetSpecificValueCaps(HidpReportType::Input, 0xFF00, 0, usage, &caps,
                                            &length) == hidp::kSuccess;
}

// The model table against the readers' own report layouts, and the decoder against the table:
// each value is decoded exactly for the models whose report carries it.
TEST_F(ReportDecoderTest, EveryModelDecodesExactlyTheValuesItsReportCarries) {
    Swipe swipe = CardSwipe();
    swipe.cardStatus = 7;
    swipe.stripePrintStatus = 3;
    swipe.stripePrint = {1, 2, 3};
    swipe.serialNumber = "SERIAL";
    swipe.dukptKsn = sim::Bytes(10, 0x42);
    swipe.sequenceCounter = 513;
    swipe.maskedTracks[0] = "%B4111********1111^DOE/JOHN Q^2512***";
    swipe.encryptedSessionId = sim::Bytes(8, 0x99);
    for (const ReaderModel& model : reader_models::kAll) {
        const uint16_t id = model.productId;
        SCOPED_TRACE(id);
        reader.CloseReader();
        hid = sim::SimHid();
        Attach(id);
        SwipeRecord& r = reader.EditSwipe();
        r = SwipeRecord{};
        r.CardSts = r.StripePrintSts = r.SequenceCounter = r.Tk1MLen = -1;
        r.DUKPTData = r.EncSessionIDData = "kept";
        ASSERT_TRUE(Decode(swipe)) << reader.Error();
        using enum ReaderValue;
        EXPECT_EQ(R().Tk1Len, 37);
        EXPECT_EQ(model.Delivers(CardStatus), Carries(id, 0x39));
        EXPECT_EQ(R().CardSts != -1, Carries(id, 0x39));
        EXPECT_EQ(model.Delivers(StripePrint), Carries(id, 0x33));
        EXPECT_EQ(R().StripePrintSts != -1, Carries(id, 0x33));
        EXPECT_EQ(model.Delivers(SerialNumber), Carries(id, 0x40));
        EXPECT_EQ(R().DeviceSerialNumberData != "", Carries(id, 0x40));
        EXPECT_EQ(model.Delivers(DukptKsn), Carries(id, 0x46));
        EXPECT_EQ(R().DUKPTData != "kept", Carries(id, 0x46));
        EXPECT_EQ(model.Delivers(SequenceCounter), Carries(id, 0x41));
        EXPECT_EQ(R().SequenceCounter != -1, Carries(id, 0x41));
        EXPECT_EQ(model.Delivers(MaskedTracks), Carries(id, 0x4A));
        EXPECT_EQ(R().Tk1MLen != -1, Carries(id, 0x4A));
        EXPECT_EQ(model.Delivers(EncryptedSessionId), Carries(id, 0x50));
        EXPECT_EQ(R().EncSessionIDData != "kept", Carries(id, 0x50));
        EXPECT_EQ(R().Tk1Data == kTrack1, model.tracks == TrackForm::Characters);
    }
}

TEST_F(ReportDecoderTest, ASerialNumberEndsAtItsFirstZeroByte) {
    Attach(9);
    Swipe swipe;
    swipe.serialNumber = {0, 'A', 'B'};
    ASSERT_TRUE(Decode(swipe));
    EXPECT_EQ(R().DeviceSerialNumberData, "");
}

TEST_F(ReportDecoderTest, AFailedStepKeepsEarlierFieldsAndLeavesLaterOnes) {
    Attach(9);
    Swipe first = CardSwipe();
    first.serialNumber = "FIRST";
    ASSERT_TRUE(Decode(first));
    Swipe second;
    second.tracks[0] = "%B5500000000000004^ROE/RICHARD^2701";
    second.serialNumber = "SECOND";
    second.stripePrintLength = 129;  // beyond the StripePrint value's 128 bytes
    EXPECT_FALSE(Decode(second));
    EXPECT_EQ(reader.Error(), "StripePrintData length 129 exceeds its buffer of 128 bytes");
    EXPECT_EQ(R().Tk1Data, "%B5500000000000004^ROE/RICHARD^2701");
    EXPECT_EQ(R().Tk2Data, "");
    EXPECT_EQ(R().DeviceSerialNumberData, "FIRST");
}

TEST_F(ReportDecoderTest, LengthsBeyondTheirBuffersFailTheStep) {
    Attach(2);
    Swipe swipe = CardSwipe();
    swipe.lengths[0] = 111;
    EXPECT_FALSE(Decode(swipe));
    EXPECT_EQ(reader.Error(), "Tk1Data length 111 exceeds its buffer of 110 bytes");
    EXPECT_EQ(R().Tk1Len, 111);

    reader.CloseReader();
    hid.Unplug(id);
    Attach(14);
    swipe = Swipe{};
    swipe.lengths[2] = 105;  // rounds to 112: still inside
    EXPECT_TRUE(Decode(swipe));
    swipe.lengths[2] = 113;  // rounds to 120
    EXPECT_FALSE(Decode(swipe));
    EXPECT_EQ(reader.Error(), "Tk3Data length 120 exceeds its buffer of 112 bytes");
}

TEST_F(ReportDecoderTest, FixedCountsLargerThanTheirValuesFailTheStep) {
    sim::SimHidDevice device = sim::ReaderDevice(2);
    device.productId = 15;  // claims the masked model with a layout that has short values
    device.descriptor = Descriptor(
        {{0x20, 1}, {0x21, 1}, {0x22, 1}, {0x28, 1}, {0x29, 1}, {0x2A, 1}, {0x30, 8}, {0x31, 8},
         {0x32, 8}, {0x38, 1}, {0x23, 1}, {0x2B, 1}, {0x33, 8}, {0x40, 8}, {0x46, 4}, {0x47, 1},
         {0x48, 1}, {0x49, 1}, {0x4A, 8}, {0x4B, 8}, {0x4C, 8}, {0x50, 8}});
    Attach(device);
    ASSERT_EQ(reader.Error(), "");
    hid.QueueReport(id, std::vector<uint8_t>(Access::InputReportByteLength(reader), 0));
    ASSERT_TRUE(reader.ReadReport());
    EXPECT_FALSE(reader.DecodeReport());
    EXPECT_EQ(reader.Error(), "DUKPTData length 10 exceeds its buffer of 4 bytes");
}

TEST_F(ReportDecoderTest, ALayoutThatStoppedEarlyLeavesNoBufferToDecodeInto) {
    sim::SimHidDevice device = sim::ReaderDevice(2);
    device.descriptor = Descriptor({{0x20, 1},
                                    {0x21, 1},
                                    {0x22, 1},
                                    {0x28, 1},
                                    {0x29, 1},
                                    {0x2A, 1},
                                    {0x30, 110},
                                    {0x32, 110},
                                    {0x38, 1}});
    Attach(device);
    EXPECT_EQ(reader.Error(), "HidP_GetSpecificValueCaps Failed on Track 2 data usage");
    EXPECT_EQ(Access::InputReport(reader).size(), Access::InputReportByteLength(reader));
    EXPECT_EQ(Access::UsageBufferSize(reader, 0x30), 0u);
    hid.QueueReport(id, std::vector<uint8_t>(Access::InputReportByteLength(reader), 0));
    ASSERT_TRUE(reader.ReadReport());
    EXPECT_FALSE(reader.DecodeReport());
    EXPECT_EQ(reader.Error(),
              "HidP_GetUsageValueArray Failed on Tk1Data: its buffer was never sized");
}

TEST_F(ReportDecoderTest, TheFirstTrackRowsFailureTextLeadsWithTheStatus) {
    sim::SimHidDevice device = sim::ReaderDevice(2);
    device.descriptor = sim::KeyboardDescriptor();
    Attach(device);
    EXPECT_EQ(reader.Error(), "C0110004 HidP_GetSpecificValueCaps Failed on Track 1 data usage");
}

// A HID stack that finds a usage but hands back no capability for it.
class NoCapsHid : public sim::SimHid {
  public:
    NtStatus GetSpecificValueCaps(HidpReportType type, uint16_t page, uint16_t link, uint16_t usage,
                                  HidpValueCaps* caps, uint16_t* length,
                                  PreparsedData data) override {
        const NtStatus status =
            SimHid::GetSpecificValueCaps(type, page, link, usage, caps, length, data);
        if (usage == 0x4B) *length = 0;
        return status;
    }
};

TEST(ReportLayout, AUsageWithoutExactlyOneCapabilityIsNotFound) {
    NoCapsHid hid;
    sim::SimDesktop desktop;
    CardReader reader(hid, desktop);
    hid.Plug(sim::ReaderDevice(15));
    reader.InitReader();
    reader.OpenReader();
    reader.LoadReportLayout();
    EXPECT_EQ(reader.Error(), "HidP_GetSpecificValueCaps Failed to find Track 2 Masked data usage");
}

TEST(ByteToHex, IsTwoUpperCaseDigits) {
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(0x7F), "7F");
    EXPECT_EQ(ByteToHex(255), "FF");
}

}  // namespace
}  // namespace ostrel
