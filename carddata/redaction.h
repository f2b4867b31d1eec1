#pragma once
// Keeping card numbers out of everything the program writes or shows about a failed swipe, and
// holder names out of what every user of the machine may read.
#include <initializer_list>
#include <string>
#include <string_view>

namespace ostrel {

// The failure line's excerpt of a track 1 text: its first six characters with no more than
// four digits, "**...*", and the name field from the first "^" through the second with every
// digit masked ("" when there are not two carets).
std::string Track1Excerpt(std::string_view track);
// The same without the name field, for texts every user of the machine may read (the Windows
// event log): "%B4111**...*".
std::string Track1Head(std::string_view track);
// Masks, letter by letter, every word of text (a run of two or more letters, any case) that is
// a word of the holder's name: of track 1's name field (between its first two carets) or of the
// name parts given (those split from it, or those a reader model carried over).
std::string MaskHolderNames(std::string_view text, std::string_view track,
                            std::initializer_list<std::string_view> nameParts);

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
