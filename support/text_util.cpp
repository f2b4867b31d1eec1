#include "support/text_util.h"

#include <algorithm>

namespace ostrel {

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
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
