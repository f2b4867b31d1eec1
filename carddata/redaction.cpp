#include "carddata/redaction.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "support/card_text.h"

namespace ostrel {

namespace {
constexpr size_t kShownDigits = 4;
constexpr size_t kCardNumberDigits = 13;
constexpr size_t kLeakDigits = 5;
constexpr size_t kMostBetween = 3;
constexpr size_t kLabelHead = 6;
constexpr size_t kLabelTail = 4;
// A name's initial alone is no name: words of fewer letters are left.
constexpr size_t kNameLetters = 2;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The positions of the digits of each run in text, run by run.
std::vector<std::vector<size_t>> DigitRuns(std::string_view text) {
    std::vector<std::vector<size_t>> runs;
    std::optional<size_t> lastDigit;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsLetter(c)) {
            lastDigit.reset();
        } else if (IsDigit(c)) {
            if (!lastDigit || i - *lastDigit - 1 > kMostBetween) runs.emplace_back();
            runs.back().push_back(i);
            lastDigit = i;
        }
    }
    return runs;
}

// A card's digits, in the card data store.
CardText OnlyDigits(std::string_view text) {
    CardText digits;
    for (char c : text) {
        if (IsDigit(c)) digits += c;
    }
    return digits;
}

// Whether the run's digits hold kLeakDigits consecutive digits of the number's.
bool RunHoldsNumber(std::string_view text, const std::vector<size_t>& run,
                    const CardText& numberDigits) {
    if (run.size() < kLeakDigits || numberDigits.size() < kLeakDigits) return false;
    CardText digits;
    for (size_t at : run)
        digits += text[at];
    for (size_t s = 0; s + kLeakDigits <= digits.size(); ++s) {
        if (numberDigits.find(digits.view().substr(s, kLeakDigits)) != CardText::npos) {
            return true;
        }
    }
    return false;
}

// Track 1's name field, both carets included; "" when there are not two.
std::string_view NameField(std::string_view track) {
    const auto first = track.find('^');
    const auto second = first == std::string_view::npos ? first : track.find('^', first + 1);
    if (second == std::string_view::npos) return {};
    return track.substr(first, second - first + 1);
}

// Where each word of text (a run of kNameLetters or more letters) begins, and its length.
std::vector<std::pair<size_t, size_t>> Words(std::string_view text) {
    std::vector<std::pair<size_t, size_t>> words;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && IsLetter(text[end]))
            ++end;
        if (end - i >= kNameLetters) words.emplace_back(i, end - i);
        i = end == i ? i + 1 : end;
    }
    return words;
}

void AddWords(std::string_view text, std::vector<std::string_view>& words) {
    for (const auto& [at, length] : Words(text))
        words.push_back(text.substr(at, length));
}

bool SameLetters(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}
}  // namespace

std::string Track1Head(std::string_view track) {
    std::string head(track.substr(0, 6));
    size_t digits = 0;
    for (char& c : head) {
        if (IsDigit(c) && ++digits > kShownDigits) c = '*';
    }
    return head + "**...*";
}

std::string Track1Excerpt(std::string_view track) {
    std::string name(NameField(track));
    for (char& c : name) {
        if (IsDigit(c)) c = '*';
    }
    return Track1Head(track) + name;
}

std::string MaskHolderNames(std::string_view text, std::string_view track,
                            std::initializer_list<std::string_view> nameParts) {
    std::vector<std::string_view> names;
    for (const std::string_view source : nameParts)
        AddWords(source, names);
    AddWords(NameField(track), names);
    std::string out(text);
    for (const auto& [at, length] : Words(text)) {
        const std::string_view word = text.substr(at, length);
        const auto same = [word](std::string_view name) { return SameLetters(word, name); };
        if (std::any_of(names.begin(), names.end(), same)) out.replace(at, length, length, '*');
    }
    return out;
}

std::string MaskCardNumbers(std::string_view text) {
    std::string out(text);
    size_t i = 0;
    while (i < out.size()) {
        if (!IsDigit(out[i])) {
            ++i;
            continue;
        }
        // A run: digits, with single blanks or dashes between them.
        std::vector<size_t> positions;
        size_t j = i;
        while (j < out.size()) {
            if (IsDigit(out[j])) {
                positions.push_back(j++);
            } else if ((out[j] == ' ' || out[j] == '-') && j + 1 < out.size() &&
                       IsDigit(out[j + 1])) {
                ++j;
            } else {
                break;
            }
        }
        if (positions.size() >= kCardNumberDigits) {
            for (size_t k = kShownDigits; k < positions.size(); ++k)
                out[positions[k]] = '*';
        }
        i = j;
    }
    return out;
}

std::string MaskCardDigits(std::string_view text, std::string_view number) {
    const CardText numberDigits = OnlyDigits(number);
    std::string out(text);
    for (const auto& run : DigitRuns(text)) {
        if (!RunHoldsNumber(text, run, numberDigits)) continue;
        for (size_t k = kShownDigits; k < run.size(); ++k)
            out[run[k]] = '*';
    }
    return out;
}

std::string MaskDigitRuns(std::string_view text) {
    std::string out(text);
    for (const auto& run : DigitRuns(text)) {
        if (run.size() < kLeakDigits) continue;
        for (size_t k = kShownDigits; k < run.size(); ++k)
            out[run[k]] = '*';
    }
    return out;
}

bool HoldsDigitRun(std::string_view text) {
    const auto runs = DigitRuns(text);
    return std::any_of(runs.begin(), runs.end(),
                       [](const std::vector<size_t>& run) { return run.size() >= kLeakDigits; });
}

std::string MaskedCardNumber(std::string_view number) {
    std::string out(number);
    const size_t head = out.size() >= kCardNumberDigits ? kLabelHead : 0;
    const size_t tail = std::min(kLabelTail, out.size());
    for (size_t i = head; i + tail < out.size(); ++i)
        out[i] = '*';
    return out;
}

}  // namespace ostrel
