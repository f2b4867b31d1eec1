#pragma once
// Names a card's brand from its number's prefix.
#include <string>

namespace ostrel {

// Removes blanks and dashes from number in place, then returns the brand name ("Unknown" when
// the number is shorter than 14 characters, holds anything but digits, or matches no brand).
// code receives the brand's one-letter code for the four brands that have one and is left
// untouched otherwise.
std::string IdentifyCardType(std::string& number, std::string& code);

}  // namespace ostrel
