// Track 1 read into card fields, straight on the card-data functions. The input is the track
// text. Beyond not crashing: every card field comes from this track and nowhere else (a field
// either holds what the track gave or what the caller passed in), and the brand fits the number.
#include <set>

#include "carddata/card_type.h"
#include "carddata/track1.h"
#include "fuzz/fuzz_input.h"
#include "support/text_util.h"

namespace ostrel::fuzz {
namespace {

// What a caller might still hold from the card before: none of it may turn up as this card's.
CardFields Leftover() {
    return CardFields{"5500000000000004", "OLD/CARD X", "OLDFIRST", "OLDMID",
                      "OLDLAST",          "0199",       "Diners",   "Q"};
}

bool IsSubstring(std::string_view part, std::string_view whole) {
    return whole.find(part) != std::string_view::npos;
}

// Every character of part appears in whole, in the same order.
bool IsSubsequence(std::string_view part, std::string_view whole) {
    size_t at = 0;
    for (const char c : part) {
        at = whole.find(c, at);
        if (at == std::string_view::npos) return false;
        ++at;
    }
    return true;
}

void CheckBrand(std::string_view number, std::string_view nameText, std::string_view code) {
    const std::string name(nameText);
    static const std::set<std::string> kNames = {
        "American Express", "Diners Club", "Carte Blanche",        "Master Card", "JCB",
        "EnRoute",          "Discover",    "American Diners Club", "Visa",        "Unknown"};
    Check(kNames.count(name) == 1, "unknown brand name " + Shown(name));
    const CardText plain = NormalizeCardNumber(number);
    if (name != "Unknown") {
        Check(IsAllDigits(plain) && plain.size() >= 14,
              "brand " + name + " for a number that is none: " + Shown(number));
    }
    Check(code.empty() || code == "A" || code == "M" || code == "D" || code == "V",
          "brand code " + Shown(code));
    Check(code.empty() || name != "Unknown", "a code for an unknown brand");
}

// A name part either kept from before or taken from the name.
void CheckPart(std::string_view part, std::string_view kept, std::string_view name,
               const char* what) {
    Check(part == kept || IsSubstring(part, name),
          std::string(what) + " " + Shown(part) + " is not from the name " + Shown(name));
}

void CheckSplits(const std::string& name) {
    const NameParts keep{"KEPTFIRST", "KEPTMIDDLE", "KEPTLAST"};
    for (const NameParts& parts : {SplitSpacedName(name, keep), SplitSlashedName(name, keep)}) {
        CheckPart(parts.first, keep.first, name, "first name");
        CheckPart(parts.middle, keep.middle, name, "middle name");
        CheckPart(parts.last, keep.last, name, "last name");
    }
}

void CheckReading(std::string_view track) {
    const Track1Reading fresh = ReadTrack1(track, CardFields{});
    const CardFields before = Leftover();
    const Track1Reading reused = ReadTrack1(track, before);
    Check(fresh.failed == reused.failed && fresh.reached == reused.reached,
          "the outcome depends on the fields held before");
    Check(!fresh.failed || *fresh.failed == fresh.reached, "failed at a step not reached");

    const CardFields& card = reused.card;
    const auto steps = static_cast<int>(reused.reached);
    if (steps <= static_cast<int>(Track1Step::FormatCode)) {
        Check(card == before, "a track refused before its number changed the card's fields");
        return;
    }
    // Number and brand: taken from this track, the same whatever was held before.
    if (card.CardNumber != before.CardNumber || steps > static_cast<int>(Track1Step::CardNumber)) {
        Check(card.CardNumber == fresh.card.CardNumber, "the number depends on the card before");
        Check(IsSubsequence(card.CardNumber, track), "number not from the track");
        Check(card.CardNumber.view().find_first_of(" -") == std::string_view::npos,
              "number keeps blanks or dashes: " + Shown(card.CardNumber));
    }
    if (steps >= static_cast<int>(Track1Step::Brand)) {
        Check(card.CardTypeName == fresh.card.CardTypeName &&
                  card.CardTypeCode == fresh.card.CardTypeCode,
              "the brand depends on the card before: " + Shown(card.CardTypeCode));
        CheckBrand(card.CardNumber, card.CardTypeName, card.CardTypeCode);
    }
    if (card.HolderName != before.HolderName) {
        Check(IsSubstring(card.HolderName, track), "holder name not from the track");
        Check(card.HolderName == fresh.card.HolderName, "holder name depends on the card before");
    }
    if (!reused.failed) {
        Check(card.CardExpiry == fresh.card.CardExpiry && card.CardExpiry.size() <= 4,
              "expiry depends on the card before: " + Shown(card.CardExpiry));
        for (const char c : card.CardExpiry.view())
            Check(track.find(c) != std::string_view::npos, "expiry character not on the track");
        CheckPart(card.FirstName, before.FirstName, card.HolderName, "first name");
        CheckPart(card.MiddleName, before.MiddleName, card.HolderName, "middle name");
        CheckPart(card.LastName, before.LastName, card.HolderName, "last name");
    }
}

void CheckClearTrack(const std::string& hexPairs) {
    const int32_t length = static_cast<int32_t>(hexPairs.size() / 3);
    const std::optional<CardText> clear = ClearTrack1(hexPairs, length);
    if (!clear) return;
    Check(clear->size() == static_cast<size_t>(length), "clear track of another length");
    Check(!clear->empty() && (*clear)[0] == '%', "clear track without its start sentinel");
    for (const char c : clear->view())
        Check(c >= ' ' && c <= '_', "clear track with a character outside track 1's alphabet");
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel::fuzz;
    const std::string track(reinterpret_cast<const char*>(data), size);
    CheckReading(track);
    CheckSplits(track);
    const ostrel::Brand brand = ostrel::IdentifyBrand(track);
    CheckBrand(track, brand.name, brand.code);
    CheckClearTrack(track);
    return 0;
}
