#pragma once
// Track 1 read into a card's fields: the checks in the order a swipe is checked, the card
// number and its brand, the holder's name and its parts, the expiry. Nothing here has a side
// effect; the window shows, reports and hands on what comes back. The track is read in place:
// every piece of it that is kept is a CardText, in the card data store.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "carddata/card_fields.h"

namespace ostrel {

// The steps of reading track 1, in order. Each of the first eight is a check that may fail.
enum class Track1Step {
    Length,         // the trimmed track is shorter than 4 characters: nothing was read
    MinimumLength,  // shorter than 10
    FormatCode,     // the second character is not "B"
    CardNumber,     // no first "^", one at position 3 or less, or no card number before it:
                    // anything but digits, blanks and dashes, or not 8 to 19 digits
    Brand,          // never fails
    SecondCaret,    // no "^" after the first
    HolderName,     // the name between the carets is empty or blank, or holds card digits
    Expiry,         // no room for the expiry after the second "^"
    NameSplit,      // never fails
    MiddleInitial,  // never fails; reached in the LAST/FIRST form only
};

struct Track1Reading {
    // The fields as far as the reading got: a later check failing leaves what the earlier
    // steps took.
    CardFields card;
    std::optional<Track1Step> failed;  // nothing when every check passed
    Track1Step reached = Track1Step::Length;
};

// Reads track starting from card: a field the track does not give (a name part the split
// does not reach) keeps the value it has there.
Track1Reading ReadTrack1(std::string_view track, CardFields card);

// The parts of a holder's name. A part a split does not reach keeps its value in keep.
struct NameParts {
    CardText first;
    CardText middle;
    CardText last;
    bool operator==(const NameParts&) const = default;
};
// The holder label's text: first, middle and last name joined by "*".
CardText HolderLabel(const NameParts& parts);
// "FIRST M LAST " and the like, by blanks, the name as read.
NameParts SplitSpacedName(std::string_view holderName, NameParts keep);
// "LAST/FIRST M", the name trimmed.
NameParts SplitSlashedName(std::string_view holderName, NameParts keep);

// The first length bytes of a track given as hex pairs ("25 42 34 "), when they are a track 1
// in the clear: the start sentinel, then characters of the track 1 alphabet (blank to "_")
// only. Encrypted bytes practically never are.
std::optional<CardText> ClearTrack1(std::string_view hexPairs, int32_t length);

}  // namespace ostrel
