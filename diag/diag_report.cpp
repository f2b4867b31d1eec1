#include "diag/diag_report.h"

#include <cstdio>

namespace ostrel::diag {

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return "OK";
        case Verdict::Warning:
            return "WARNING";
        case Verdict::Fail:
            return "FAIL";
    }
    return "FAIL";
}

void Item::Judge(Verdict raised, std::string why) {
    // The first reason of the worst verdict stands: it names what to mend first.
    if (raised <= verdict && !reason.empty()) return;
    verdict = raised;
    reason = std::move(why);
}

int ExitCodeOf(const Report& report) {
    for (const Item& item : report.items) {
        if (item.verdict == Verdict::Fail) return 1;
    }
    return 0;
}

std::string Hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string HexCode(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string FormatText(const Report& report) {
    std::string out;
    for (const Item& item : report.items) {
        out += item.title + ": " + VerdictName(item.verdict) + " - " + item.reason + "\n";
        for (const Fact& fact : item.facts)
            out += "    " + fact.key + ": " + fact.value + "\n";
        if (!item.rows.empty()) out += "    " + item.rowsName + ":\n";
        for (size_t i = 0; i < item.rows.size(); ++i) {
            std::string line = "      " + std::to_string(i + 1) + ".";
            for (const Fact& fact : item.rows[i])
                line += " " + fact.key + "=" + fact.value + ";";
            line.pop_back();
            out += line + "\n";
        }
    }
    const int code = ExitCodeOf(report);
    out += code == 0 ? "Result: nothing found that stops the program (exit code 0)\n"
                     : "Result: something stops the program (exit code 1)\n";
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    // Bytes of the system's ANSI code page are not UTF-8: each goes as its own
                    // code point so that the document stays valid whatever they are.
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

namespace {
std::string JsonObject(const std::vector<Fact>& facts, const std::string& indent) {
    if (facts.empty()) return "{}";
    std::string out = "{";
    for (size_t i = 0; i < facts.size(); ++i) {
        out += (i ? ",\n" : "\n") + indent + "  " + JsonString(facts[i].key) + ": " +
               JsonString(facts[i].value);
    }
    return out + "\n" + indent + "}";
}
}  // namespace

std::string FormatJson(const Report& report) {
    std::string out = "{\n  \"items\": [";
    for (size_t i = 0; i < report.items.size(); ++i) {
        const Item& item = report.items[i];
        out += i ? ",\n    {\n" : "\n    {\n";
        out += "      \"item\": " + JsonString(item.id) + ",\n";
        out += "      \"title\": " + JsonString(item.title) + ",\n";
        out += "      \"verdict\": " + JsonString(VerdictName(item.verdict)) + ",\n";
        out += "      \"reason\": " + JsonString(item.reason) + ",\n";
        out += "      \"facts\": " + JsonObject(item.facts, "      ");
        if (!item.rowsName.empty()) {
            out += ",\n      " + JsonString(item.rowsName) + ": [";
            for (size_t r = 0; r < item.rows.size(); ++r)
                out += (r ? ", " : "") + JsonObject(item.rows[r], "        ");
            out += "]";
        }
        out += "\n    }";
    }
    out += "\n  ],\n  \"exitCode\": " + std::to_string(ExitCodeOf(report)) + "\n}\n";
    return out;
}

}  // namespace ostrel::diag
