#pragma once
// The cards of the host emulator's swipe panel: what a reader reads from each, for trying the
// program without a till. The numbers are the card brands' published test numbers.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::training {

// One swipe as the training reader hands it on: the three track texts and their decode
// statuses (bit 0 set: the track could not be read).
struct TrainingSwipe {
    std::array<std::string, 3> tracks;
    std::array<uint32_t, 3> decodeStatus{};
    bool operator==(const TrainingSwipe&) const = default;
};

struct TestCard {
    std::string_view name;   // what tests and the run command call it
    std::string_view label;  // what the swipe panel shows
    TrainingSwipe swipe;
};

const std::vector<TestCard>& TestCards();
std::optional<TrainingSwipe> TestCardSwipe(std::string_view name);

}  // namespace ostrel::training
