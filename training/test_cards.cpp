#include "training/test_cards.h"

namespace ostrel::training {

namespace {
constexpr uint32_t kUnreadable = 1;
}

const std::vector<TestCard>& TestCards() {
    static const std::vector<TestCard> cards = {
        {"visa",
         "Visa 4111 (DOE/JOHN Q)",
         {{"%B4111111111111111^DOE/JOHN Q^2812101100000000000?",
           ";4111111111111111=28121011000000000?", ""}}},
        {"mastercard",
         "MasterCard 5500 (SMITH/ANNA)",
         {{"%B5500000000000004^SMITH/ANNA^2905101100000000000?",
           ";5500000000000004=29051011000000000?", ""}}},
        {"amex",
         "American Express 3782 (BROWN/ROBERT L)",
         {{"%B378282246310005^BROWN/ROBERT L^2711101100000000000?",
           ";378282246310005=27111011000000000?", ""}}},
        {"discover",
         "Discover 6011 (GARCIA/MARIA)",
         {{"%B6011111111111117^GARCIA/MARIA^2803101100000000000?",
           ";6011111111111117=28031011000000000?", ""}}},
        {"spaced-name",
         "Visa 4012, name without a slash (JOHN Q SMITH)",
         {{"%B4012888888881881^JOHN Q SMITH ^2906101100000000000?",
           ";4012888888881881=29061011000000000?", ""}}},
        {"track2-only",
         "Track 2 only (track 1 blank)",
         {{"", ";4111111111111111=28121011000000000?", ""}}},
        {"no-carets",
         "Track 1 without carets",
         {{"%B4111111111111111 DOE JOHN Q 2812101100000000000?",
           ";4111111111111111=28121011000000000?", ""}}},
        {"read-error",
         "Read error (track 1 unreadable)",
         {{"%B41111111", ";4111111111111111=28121011000000000?", ""}, {kUnreadable, 0, 0}}},
    };
    return cards;
}

std::optional<TrainingSwipe> TestCardSwipe(std::string_view name) {
    for (const TestCard& card : TestCards()) {
        if (card.name == name) return card.swipe;
    }
    return std::nullopt;
}

}  // namespace ostrel::training
