#pragma once
// The card-digit rule, for tests and fuzz targets: apart from the card number's own places (the
// host's "W1AC#" field and the window's number label), nothing the program writes or shows
// holds five or more consecutive digits of the swiped number, whatever separates or surrounds
// them, while its own error numbers and times of day stay as they are.
//
// Digits count as consecutive when no letter and at most kMostSeparators other characters
// stand between them ("4111-1111", "4 1 1 1 1", "41111111111*11111"); a letter or a longer gap
// ends the run. A run may be part of a longer one ("0041111" holds "41111").
//
// Header only, so that a fuzz target can take it without a test framework.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/logic/program_harness.h"

namespace ostrel::oracle {

constexpr size_t kLeakDigits = 5;
constexpr size_t kMostSeparators = 3;

inline bool IsDigitChar(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsLetterChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The digits of a number as swiped, without its blanks, dashes or anything else.
inline std::string DigitsOf(std::string_view number) {
    std::string digits;
    for (char c : number) {
        if (IsDigitChar(c)) digits += c;
    }
    return digits;
}

// Where the first digit of a run of kLeakDigits or more consecutive digits of number stands in
// text; nothing when there is none (or the number has fewer than kLeakDigits digits).
inline std::optional<size_t> FindCardDigits(std::string_view text, std::string_view number) {
    const std::string digits = DigitsOf(number);
    if (digits.size() < kLeakDigits) return std::nullopt;
    size_t i = 0;
    while (i < text.size()) {
        if (!IsDigitChar(text[i])) {
            ++i;
            continue;
        }
        // One run: its digits and where each stands.
        std::string run;
        std::vector<size_t> at;
        size_t j = i;
        for (;;) {
            run += text[j];
            at.push_back(j);
            size_t k = j + 1;
            while (k < text.size() && !IsDigitChar(text[k]) && !IsLetterChar(text[k]))
                ++k;
            if (k >= text.size() || !IsDigitChar(text[k]) || k - j - 1 > kMostSeparators) {
                j = k;
                break;
            }
            j = k;
        }
        for (size_t s = 0; s + kLeakDigits <= run.size(); ++s) {
            if (digits.find(run.substr(s, kLeakDigits)) != std::string::npos) return at[s];
        }
        i = j;
    }
    return std::nullopt;
}

// The program's own numbers in a text, each replaced by a letter so that they neither count
// nor join a run: the time of day that starts a log line ("09:00:08 ") and the error number
// that follows the first "Error: " of a message or of a log line ("Error: -2147221503, ",
// "Error: 5' "). A log is a series of lines that each start with a time; a line's text may
// itself hold line breaks.
inline std::string WithoutOwnNumbers(std::string_view text, bool log) {
    const auto timeAt = [](std::string_view t, size_t p) {
        static constexpr std::string_view kShape = "dd:dd:dd ";
        if (p + kShape.size() > t.size()) return false;
        for (size_t k = 0; k < kShape.size(); ++k) {
            if (kShape[k] == 'd' ? !IsDigitChar(t[p + k]) : t[p + k] != kShape[k]) return false;
        }
        return true;
    };
    const auto ownErrorNumber = [](std::string line) {
        const size_t e = line.find("Error: ");
        if (e == std::string::npos) return line;
        size_t p = e + 7;
        if (p < line.size() && line[p] == '-') ++p;
        size_t q = p;
        while (q < line.size() && IsDigitChar(line[q]))
            ++q;
        if (q > p && q < line.size() && (line[q] == ',' || line[q] == '\'')) {
            line.replace(e + 7, q - (e + 7), "N");
        }
        return line;
    };
    if (!log) return ownErrorNumber(std::string(text));
    // Where each log line starts: the text's start, and every line break followed by a time.
    std::vector<size_t> starts{0};
    for (size_t p = text.find("\r\n"); p != std::string_view::npos; p = text.find("\r\n", p + 2)) {
        if (timeAt(text, p + 2)) starts.push_back(p + 2);
    }
    starts.push_back(text.size());
    std::string out;
    for (size_t k = 0; k + 1 < starts.size(); ++k) {
        std::string line(text.substr(starts[k], starts[k + 1] - starts[k]));
        if (timeAt(line, 0)) line.replace(0, 8, "T");
        out += ownErrorNumber(line);
    }
    return out;
}

// One output that breaks the rule: where it went and what it held.
struct CardDigitLeak {
    std::string where;
    std::string text;
};

// Every output of a harness run that the rule covers, checked against number: log lines
// (failures and the handshake's trace lines) of each copy, message boxes, every status the
// window showed, every text of the window's labels but the number's, the window caption and
// icon tip, every registry value written, and every text handed to the host but the number's
// own field (the "CCSTATUS" mirror included).
inline std::vector<CardDigitLeak> CardDigitLeaks(const ProgramHarness& h, std::string_view number) {
    std::vector<CardDigitLeak> leaks;
    const auto check = [&](const std::string& where, const std::string& text, bool own,
                           bool logLines = false) {
        const std::string checked = own ? WithoutOwnNumbers(text, logLines) : text;
        if (FindCardDigits(checked, number)) leaks.push_back({where, text});
    };
    for (const sim::SimDesktop* d : {&h.desktop, &h.secondDesktop}) {
        for (const auto& [path, content] : d->files)
            check("file " + path, content, true, true);
        for (const auto& box : d->messageBoxes) {
            check("message box", box.text, true);
            check("message box caption", box.caption, false);
        }
        for (const auto& status : d->statusHistory)
            check("status", status, false);
        for (const auto& [label, text] : d->labelHistory) {
            if (label != Label::CCno) check("label", text, false);
        }
        check("caption", d->caption, false);
        for (const auto& icon : d->iconCalls)
            check("icon tip", icon.record.szTip, false);
    }
    for (const auto& write : h.registry.writes)
        check("registry " + write.name, write.text, false);
    for (const auto& call : h.host.calls) {
        const bool numberField = !call.args.empty() && call.args[0].text == "W1AC#";
        if (numberField) continue;
        const std::string name = call.args.empty() ? "" : call.args[0].text;
        for (size_t a = 1; a < call.args.size(); ++a) {
            check("host call " + std::to_string(call.dispId) + " " + name, call.args[a].text,
                  false);
        }
    }
    return leaks;
}

// The holder-name rule for what every user of the machine may read (the event log): no word of
// two or more letters of the holder's name (as track 1's name field has it, "DOE/JOHN Q")
// stands as a word in text, in any letter case. The word found, if any.
inline std::optional<std::string> FindHolderName(std::string_view text, std::string_view name) {
    const auto words = [](std::string_view t) {
        std::vector<std::string> found;
        std::string word;
        for (size_t i = 0; i <= t.size(); ++i) {
            if (i < t.size() && IsLetterChar(t[i])) {
                word += static_cast<char>(t[i] & ~0x20);  // upper case
            } else {
                if (word.size() >= 2) found.push_back(word);
                word.clear();
            }
        }
        return found;
    };
    const std::vector<std::string> names = words(name);
    for (const std::string& word : words(text)) {
        for (const std::string& n : names) {
            if (word == n) return word;
        }
    }
    return std::nullopt;
}

// The leaks as lines, for a failure message.
inline std::string Describe(const std::vector<CardDigitLeak>& leaks) {
    std::string out;
    for (const auto& leak : leaks)
        out += leak.where + ": \"" + leak.text + "\"\n";
    return out;
}

}  // namespace ostrel::oracle
