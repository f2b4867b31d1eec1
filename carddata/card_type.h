#pragma once
// Names a card's brand from its number's prefix.
#include <string>
#include <string_view>

#include "support/card_text.h"

namespace ostrel {

struct Brand {
    std::string name;  // "Unknown" when no brand matches
    std::string code;  // the one-letter code of the four brands that have one, else ""
    bool operator==(const Brand&) const = default;
};

// The number without its blanks and dashes, as the host receives it.
CardText NormalizeCardNumber(std::string_view number);
// The brand of a number (normalized here first): "Unknown" when it is shorter than 14
// characters, holds anything but digits, or matches no brand.
Brand IdentifyBrand(std::string_view number);

// The same in the form the swipe interpretation has always called it: number is normalized in
// place, and code receives the brand's code when it has one and is left untouched otherwise.
std::string IdentifyCardType(std::string& number, std::string& code);

}  // namespace ostrel
