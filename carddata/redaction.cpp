#include "carddata/redaction.h"

#include <vector>

namespace ostrel {

namespace {
constexpr size_t kShownDigits = 4;
constexpr size_t kCardNumberDigits = 13;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::string Track1Excerpt(std::string_view track) {
    std::string head(track.substr(0, 6));
    size_t digits = 0;
    for (char& c : head) {
        if (IsDigit(c) && ++digits > kShownDigits) c = '*';
    }
    std::string name;
    const auto first = track.find('^');
    const auto second = first == std::string_view::npos ? first : track.find('^', first + 1);
    if (second != std::string_view::npos) {
        name = std::string(track.substr(first, second - first + 1));
        for (char& c : name) {
            if (IsDigit(c)) c = '*';
        }
    }
    return head + "**...*" + name;
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

}  // namespace ostrel
