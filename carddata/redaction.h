#pragma once
// Keeping card numbers out of everything the program writes or shows about a failed swipe.
#include <string>
#include <string_view>

namespace ostrel {

// The failure line's excerpt of a track 1 text: its first six characters with no more than
// four digits, "**...*", and the name field from the first "^" through the second with every
// digit masked ("" when there are not two carets).
std::string Track1Excerpt(std::string_view track);

// Masks, in any text, every digit after the first four of a run of 13 or more digits (blanks
// and dashes between digits do not break a run): what a card number looks like.
std::string MaskCardNumbers(std::string_view text);

}  // namespace ostrel
