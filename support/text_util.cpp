#include "support/text_util.h"

#include <algorithm>

namespace ostrel {

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

namespace {

// The capital of a Windows-1252 letter. a to z and 0xE0 to 0xFE lie 0x20 above theirs (0xF7
// is the division sign); four more have theirs in the 0x80 row; sharp s (0xDF) and micro
// (0xB5) have none in the code page.
unsigned char UpperCase(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    switch (c) {
        case 0x9A:  // s caron
        case 0x9C:  // oe
        case 0x9E:  // z caron
            return c - 0x10;
        case 0xFF:  // y diaeresis
            return 0x9F;
        default:
            return c;
    }
}

}  // namespace

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(UpperCase(static_cast<unsigned char>(c)));
    return out;
}

bool IsAllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string RemoveAll(std::string_view s, char what) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != what) out.push_back(c);
    }
    return out;
}

std::optional<int64_t> ParseWholeNumber(std::string_view s) {
    const std::string t = Trim(s);
    std::string_view digits = t;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (!IsAllDigits(digits) || digits.size() > 18) return std::nullopt;
    int64_t value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return negative ? -value : value;
}

}  // namespace ostrel
