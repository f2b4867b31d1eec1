// The training reader: the program's own reader code reads the emulator's swipes from it as
// from a real reader of the chosen model.
#include "training/training_reader.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/sim/sim_desktop.h"
#include "reader/card_reader.h"

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

}  // namespace
}  // namespace ostrel::training
