// The emulator's wire format: any text survives the trip, whatever bytes it holds.
#include "training/wire.h"

#include <gtest/gtest.h>

namespace ostrel::training {
namespace {

TEST(Wire, EveryByteAndEveryEmptyFieldSurvivesTheTrip) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const Message message{"call", "", all, "ends in a backslash\\", "\t\\t\n\\", ""};
    EXPECT_EQ(Decode(Encode(message)), message);
    // Separators inside a field never split it.
    EXPECT_EQ(Decode(Encode({"a\tb"})).size(), 1u);
}

TEST(Wire, RepliesCarryTheirResultsOrTheError) {
    EXPECT_EQ(OkReply({"x", ""}), (Message{"ok", "x", ""}));
    EXPECT_EQ(ErrorReply(-2147417848, "gone"), (Message{"error", "-2147417848", "gone"}));
}

}  // namespace
}  // namespace ostrel::training
