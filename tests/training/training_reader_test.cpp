// The training reader: the program's own reader code reads the emulator's swipes from it as
// from a real reader of the chosen model.
#include "training/training_reader.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/sim/sim_desktop.h"
#include "reader/card_reader.h"
#include "training/virtual_reader.h"

namespace ostrel::training {
namespace {

class QueuedSwipes : public SwipeSource {
  public:
    std::optional<TrainingSwipe> Take() override {
        ++asked;
        if (swipes.empty()) return std::nullopt;
        TrainingSwipe swipe = swipes.front();
        swipes.pop_front();
        return swipe;
    }
    std::deque<TrainingSwipe> swipes;
    int asked = 0;
};

TEST(TrainingReader, TheProgramsReaderReadsEachSwipeOnceAsTheModelReportsIt) {
    QueuedSwipes source;
    TrainingReaderHid hid(source, 2);
    sim::SimDesktop desktop;
    CardReader reader(hid, desktop);
    reader.InitReader();
    reader.OpenReader();
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.ReaderProductId(), 2);
    reader.LoadReportLayout();

    EXPECT_FALSE(reader.ReadReport());  // nothing swiped: the read waits
    EXPECT_FALSE(reader.ReadReport());
    source.swipes.push_back(*TestCardSwipe("visa"));
    source.swipes.push_back(*TestCardSwipe("read-error"));
    ASSERT_TRUE(reader.ReadReport());
    ASSERT_TRUE(reader.DecodeReport());
    EXPECT_EQ(reader.Swipe().Tk1Data, TestCardSwipe("visa")->tracks[0]);
    EXPECT_EQ(reader.Swipe().Tk2Data, TestCardSwipe("visa")->tracks[1]);
    EXPECT_EQ(reader.Swipe().Tk1DcdSts, 0);

    ASSERT_TRUE(reader.ReadReport());
    ASSERT_TRUE(reader.DecodeReport());
    EXPECT_EQ(reader.Swipe().Tk1DcdSts, 1);
    EXPECT_FALSE(reader.ReadReport());
    EXPECT_GE(source.asked, 5);

    reader.CloseReader();
    reader.CloseReadEvent();
    EXPECT_EQ(hid.OpenResources(), 0u);
    EXPECT_TRUE(hid.misuses.empty());
    // It runs for days: nothing is kept per call.
    EXPECT_TRUE(hid.calls.empty());
}

TEST(TrainingReader, TheModelComesFromTheSettingOrIsTheUsualOne) {
    EXPECT_EQ(TrainingReaderModel(nullptr), 2);
    EXPECT_EQ(TrainingReaderModel(""), 2);
    EXPECT_EQ(TrainingReaderModel("15"), 15);
    EXPECT_EQ(TrainingReaderModel("4"), std::nullopt);
    EXPECT_EQ(TrainingReaderModel("2x"), std::nullopt);
}

// The virtual reader's devices, described as the kernel gets them, send reports that the
// program's reader code decodes; the report id byte goes out only where ids are declared.
TEST(VirtualReader, EachReaderSendsSwipesThatTheProgramDecodes) {
    const struct {
        const char* name;
        uint8_t reportId;
    } cases[] = {{"reader:2", 0},         {"reader:3", 0},  {"reader:9", 0},
                 {"reader:14", 1},        {"reader:15", 1}, {"keyboard-first:2", 1},
                 {"keyboard-first:15", 1}};
    std::string error;
    const auto swipe = ParseVirtualCommand("card visa", &error);
    ASSERT_TRUE(swipe);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto device = VirtualDeviceFrom(c.name, &error);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->vendorId, 0x0801);
        // The strings of its model, the same for each plug: its statistics stay its own.
        EXPECT_EQ(device->serialNumber, "SR" + std::string(device->productId < 10 ? "0" : "") +
                                            std::to_string(device->productId) + "-0417");
        EXPECT_EQ(device->product, "USB Swipe Reader " + std::to_string(device->productId));
        std::vector<uint8_t> report = VirtualReport(*device, swipe->swipe);
        // What ReadFile gives the program: a report id byte always, 0 where none is declared.
        if (c.reportId == 0) report.insert(report.begin(), 0);
        EXPECT_EQ(report[0], c.reportId);

        sim::SimHid hid;
        sim::SimHidDevice plugged;
        plugged.vendorId = device->vendorId;
        plugged.productId = device->productId;
        plugged.descriptor = device->descriptor;
        // Windows lists each top-level collection on its own: the reader's follows the
        // keyboard's (and the report id item given to it).
        if (std::string_view(c.name).starts_with("keyboard-first"))
            plugged.descriptor.erase(
                plugged.descriptor.begin(),
                plugged.descriptor.begin() + sim::KeyboardDescriptor().size() + 2);
        const auto id = hid.Plug(plugged);
        sim::SimDesktop desktop;
        CardReader reader(hid, desktop);
        reader.InitReader();
        reader.OpenReader();
        ASSERT_TRUE(reader.IsOpen());
        reader.LoadReportLayout();
        EXPECT_EQ(reader.InputReportLength(), report.size());
        hid.QueueReport(id, report);
        ASSERT_TRUE(reader.ReadReport());
        ASSERT_TRUE(reader.DecodeReport());
        EXPECT_EQ(reader.Swipe().Tk1Len, static_cast<int32_t>(swipe->swipe.tracks[0].size()));
        EXPECT_EQ(reader.Swipe().Tk1DcdSts, 0);
    }
}

TEST(VirtualReader, TakesTheCommandsAndDevicesItKnowsAndRefusesOthers) {
    std::string error;
    const auto tracks = ParseVirtualCommand("tracks %B4^A B^28|;4=28", &error);
    ASSERT_TRUE(tracks);
    EXPECT_EQ(tracks->swipe.tracks[0], sim::Bytes("%B4^A B^28"));
    EXPECT_EQ(tracks->swipe.tracks[1], sim::Bytes(";4=28"));
    EXPECT_TRUE(tracks->swipe.tracks[2].empty());
    const auto unreadable = ParseVirtualCommand("error 1", &error);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->swipe.decodeStatus, (std::array<uint32_t, 3>{1, 0, 0}));
    EXPECT_TRUE(unreadable->swipe.tracks[0].empty());
    EXPECT_FALSE(unreadable->swipe.tracks[1].empty());
    EXPECT_EQ(ParseVirtualCommand("unplug", &error)->kind, VirtualCommandKind::Unplug);
    for (const char* line : {"card gold", "tracks a|b|c|d", "error 4", "error", "plug now", ""}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(ParseVirtualCommand(line, &error));
        EXPECT_FALSE(error.empty());
    }

    const auto other = VirtualDeviceFrom("other-maker", &error);
    ASSERT_TRUE(other);
    EXPECT_NE(other->vendorId, 0x0801);
    EXPECT_FALSE(other->model);
    EXPECT_EQ(other->serialNumber, "");
    for (const char* name : {"reader:5", "reader:", "keyboard-first:4", "reader:2x", "mouse"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(VirtualDeviceFrom(name, &error));
    }
}

}  // namespace
}  // namespace ostrel::training
