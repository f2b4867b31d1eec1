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

// The same with knowledge of the card's number, for texts that may quote it (a host's error
// description): every run of digits that holds five or more consecutive digits of number keeps
// its first four digits and has the rest masked. Digits belong to one run while no letter and
// at most three other characters stand between them, so "4111.1111", "4 1 1 1 1" and a run
// inside a longer one are all found.
std::string MaskCardDigits(std::string_view text, std::string_view number);
// Masks every run of five or more digits (runs as above) after its first four digits: for
// texts whose card numbers, if any, are not known (the lines of an existing log).
std::string MaskDigitRuns(std::string_view text);
// Whether text holds such a run: a holder name that does was cut from a misread card number.
bool HoldsDigitRun(std::string_view text);

// The number as the window shows it: its first six and last four digits, the rest masked
// ("411111******1111"); a number of fewer than 13 digits shows only its last four.
std::string MaskedCardNumber(std::string_view number);

}  // namespace ostrel
