#include "carddata/track1.h"

#include "carddata/card_type.h"
#include "carddata/redaction.h"
#include "support/text_util.h"

namespace ostrel {

namespace {

constexpr size_t kMinNumberDigits = 8;
constexpr size_t kMaxNumberDigits = 19;

// 1-based positions as the checks count them; 0 is "not found".
size_t Pos(std::string_view text, char c, size_t from = 1) {
    if (from == 0 || from > text.size()) return 0;
    const auto at = text.find(c, from - 1);
    return at == std::string_view::npos ? 0 : at + 1;
}

// Characters start to start + count - 1 (1-based), cut at the text's end.
std::string_view Mid(std::string_view text, size_t start, size_t count = std::string_view::npos) {
    if (start == 0 || start > text.size()) return {};
    return text.substr(start - 1, count);
}

std::string_view TrimRight(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Without blanks at either end; a view of the same text, so that no copy of it is made.
std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : TrimRight(text.substr(first));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsCardNumber(std::string_view number) {
    return number.size() >= kMinNumberDigits && number.size() <= kMaxNumberDigits &&
           IsAllDigits(number);
}

struct HolderSplit {
    NameParts parts;
    bool slashed = false;  // the LAST/FIRST form
};

// A slash that is neither missing nor the name's last character makes the LAST/FIRST form;
// any other name is split at its blanks.
HolderSplit SplitHolderName(std::string_view holderName, const NameParts& keep) {
    const size_t slash = Pos(holderName, '/');
    if (slash == 0 || slash == holderName.size()) return {SplitSpacedName(holderName, keep), false};
    return {SplitSlashedName(Trimmed(holderName), keep), true};
}

}  // namespace

Track1Reading ReadTrack1(std::string_view track, CardFields card) {
    Track1Reading r{std::move(card), std::nullopt, Track1Step::Length};
    const auto fail = [&](Track1Step step) {
        r.reached = step;
        r.failed = step;
        return r;
    };
    const size_t length = Trimmed(track).size();
    if (length < 4) return fail(Track1Step::Length);
    if (length < 10) return fail(Track1Step::MinimumLength);
    if (track[1] != 'B') return fail(Track1Step::FormatCode);
    const size_t p1 = Pos(track, '^');
    if (p1 <= 3) return fail(Track1Step::CardNumber);
    // What the host receives and the window shows: the number without blanks and dashes. Only
    // a whole card number is taken: a misread character would hand the host part of one, and
    // a stray caret would leave the number to be taken for the holder's name.
    const CardText number = NormalizeCardNumber(Mid(track, 3, p1 - 3));
    if (!IsCardNumber(number)) return fail(Track1Step::CardNumber);
    r.card.CardNumber = number;

    r.reached = Track1Step::Brand;
    const Brand brand = IdentifyBrand(r.card.CardNumber);
    r.card.CardTypeName = brand.name;
    // A brand without a code must not pass on the code of the card before it.
    r.card.CardTypeCode = brand.code;

    const size_t p2 = Pos(track, '^', p1 + 1);
    if (p2 <= p1) return fail(Track1Step::SecondCaret);
    r.card.HolderName = Mid(track, p1 + 1, p2 - p1 - 1);
    if (Trimmed(r.card.HolderName).empty()) return fail(Track1Step::HolderName);
    // The name goes to the host's name fields and the window's name label: a run of five or
    // more digits there, in the name or in the parts as the label joins them, is no name but
    // part of a card number (a misread caret cuts the number, and its tail is not in the number
    // as read, so the check cannot ask the number).
    const HolderSplit split =
        SplitHolderName(r.card.HolderName, {r.card.FirstName, r.card.MiddleName, r.card.LastName});
    // The name alone decides (parts kept from an earlier swipe may join its digits in the
    // label, or part them); the label as shown is checked too.
    if (HoldsDigitRun(r.card.HolderName) ||
        HoldsDigitRun(HolderLabel(SplitHolderName(r.card.HolderName, {}).parts)) ||
        HoldsDigitRun(HolderLabel(split.parts))) {
        return fail(Track1Step::HolderName);
    }
    // Against the trimmed length, though p2 counts in the track as read.
    if (p2 + 1 >= length) return fail(Track1Step::Expiry);
    const std::string_view yymm = Mid(track, p2 + 1, 4);
    r.card.CardExpiry = yymm.substr(yymm.size() >= 2 ? yymm.size() - 2 : 0);
    r.card.CardExpiry += yymm.substr(0, 2);

    r.reached = split.slashed ? Track1Step::MiddleInitial : Track1Step::NameSplit;
    if (split.slashed) r.card.HolderName = Trimmed(r.card.HolderName);  // it stays trimmed
    r.card.FirstName = split.parts.first;
    r.card.MiddleName = split.parts.middle;
    r.card.LastName = split.parts.last;
    return r;
}

CardText HolderLabel(const NameParts& parts) {
    CardText label;
    label.reserve(parts.first.size() + parts.middle.size() + parts.last.size() + 2);
    label += parts.first;
    label += '*';
    label += parts.middle;
    label += '*';
    label += parts.last;
    return label;
}

NameParts SplitSlashedName(std::string_view name, NameParts keep) {
    // The slash is looked for again in the trimmed name, so blanks before the name cannot
    // shift the split into the middle of a word.
    const size_t slash = Pos(name, '/');
    keep.last = Mid(name, 1, slash - 1);
    const auto lastBlank = name.rfind(' ');
    const size_t b = lastBlank == std::string_view::npos ? 0 : lastBlank + 1;
    if (name.size() - b == 1) {
        keep.middle = name.substr(name.size() - 1);
        keep.first = b > slash + 1 ? Mid(name, slash + 1, b - 1 - slash) : std::string_view();
    } else {
        keep.first = Mid(name, slash + 1);
    }
    return keep;
}

NameParts SplitSpacedName(std::string_view name, NameParts keep) {
    const size_t b1 = Pos(name, ' ');
    keep.first = name.substr(0, b1);
    const size_t b2 = Pos(name, ' ', b1 + 1);
    if (b1 == 0 || b2 == 0) return keep;
    if (b1 + 2 <= name.size() && name[b1 + 1] != ' ') {
        keep.last = Mid(name, b1 + 1, b2 - b1 - 1);
        if (Pos(name, ' ', b2 + 1) == 0) return keep;
        keep.middle = Trimmed(Mid(name, b2 + 1, 1));
        return keep;
    }
    keep.middle = TrimRight(Mid(name, b1 + 1, 1));
    // The last name runs to the next blank, or to the end when none follows.
    const size_t b3 = Pos(name, ' ', b1 + 3);
    keep.last = Trimmed(b3 == 0 ? Mid(name, b1 + 3) : Mid(name, b1 + 3, b3 - (b1 + 3)));
    return keep;
}

std::optional<CardText> ClearTrack1(std::string_view hexPairs, int32_t length) {
    if (length <= 0 || hexPairs.size() / 3 < static_cast<size_t>(length)) return std::nullopt;
    // The room is taken once and a text given up on is overwritten: no part of a card's track
    // is left behind in memory let go.
    CardText clear;
    clear.reserve(static_cast<size_t>(length));
    for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
        const int high = HexDigit(hexPairs[3 * i]);
        const int low = HexDigit(hexPairs[3 * i + 1]);
        const int c = high * 16 + low;
        if (high < 0 || low < 0 || hexPairs[3 * i + 2] != ' ' || c < ' ' || c > '_' ||
            (i == 0 && c != '%')) {
            Wipe(clear);
            return std::nullopt;
        }
        clear.push_back(static_cast<char>(c));
    }
    return clear;
}

}  // namespace ostrel
