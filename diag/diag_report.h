#pragma once
// The diagnostics tool's findings as plain values: per item its facts, a verdict and a one-line
// reason, and their text and JSON forms. Nothing here asks the system anything.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::diag {

enum class Verdict : uint8_t {
    Ok,
    Warning,  // the program runs, but not as well as it could
    Fail,     // something that stops the program
};
const char* VerdictName(Verdict verdict);  // "OK", "WARNING", "FAIL"

struct Fact {
    std::string key;
    std::string value;
};
using Row = std::vector<Fact>;

struct Item {
    Item(std::string itemId, std::string itemTitle)
        : id(std::move(itemId)), title(std::move(itemTitle)) {}

    std::string id;     // "reader", for JSON
    std::string title;  // "Card reader", for text
    Verdict verdict = Verdict::Ok;
    std::string reason;
    std::vector<Fact> facts;
    std::string rowsName;  // what the rows are ("interfaces"), when there are any
    std::vector<Row> rows;

    void Add(std::string key, std::string value) {
        facts.push_back({std::move(key), std::move(value)});
    }
    // Raises the verdict to at least verdict, with its reason when it raises it.
    void Judge(Verdict verdict, std::string reason);
};

struct Report {
    std::vector<Item> items;
};

// What a fleet's collector files a report under: which tool, where, for whom and when.
struct RunFacts {
    std::string version;   // "5.1.1"
    std::string build;     // "x86" or "x64"
    std::string computer;  // UTF-8
    std::string user;      // UTF-8
    std::string time;      // UTC, ISO 8601: "2026-03-04T05:06:07Z"
};

// The items' texts are in the ANSI code page, as the system gave them; JSON wants UTF-8.
using ToUtf8 = std::function<std::string(const std::string&)>;

// 1 when some item fails, else 0.
int ExitCodeOf(const Report& report);

std::string FormatText(const Report& report);
std::string FormatJson(const Report& report, const RunFacts& run, const ToUtf8& toUtf8);
// A JSON string literal, quotes included, of a UTF-8 text, all in ASCII: every other character
// goes as "\u00fc" (a surrogate pair beyond U+FFFF), so that a collector reads the names right
// whatever code page it decodes the tool's output with (Windows PowerShell 5.1 takes the
// console's). A byte that is not part of a UTF-8 character becomes U+FFFD, so that the document
// stays valid whatever it is given.
std::string JsonString(std::string_view text);
// "2026-03-04T05:06:07Z".
std::string IsoUtcText(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                       uint16_t second);

// Small formatting helpers shared by the items.
std::string Hex4(uint32_t value);     // "0x0801"
std::string HexCode(uint32_t value);  // "0x80040154"

}  // namespace ostrel::diag
