#pragma once
// The diagnostics tool's findings as plain values: per item its facts, a verdict and a one-line
// reason, and their text and JSON forms. Nothing here asks the system anything.
#include <cstdint>
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

// 1 when some item fails, else 0.
int ExitCodeOf(const Report& report);

std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);
// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// Small formatting helpers shared by the items.
std::string Hex4(uint32_t value);     // "0x0801"
std::string HexCode(uint32_t value);  // "0x80040154"

}  // namespace ostrel::diag
