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

namespace {
// The length of the UTF-8 character at text[at], 0 when the bytes there are not one (a stray
// continuation byte, a cut or overlong sequence, a surrogate, past U+10FFFF).
size_t Utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// "\u00fc": one UTF-16 unit as a JSON escape.
std::string Escaped(uint32_t unit) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", unit);
    return escaped;
}

// The escapes of the UTF-8 character of length bytes at text[at] (checked by Utf8Length): a
// surrogate pair beyond U+FFFF.
std::string EscapedCharacter(std::string_view text, size_t at, size_t length) {
    static constexpr unsigned char kLeadBits[5] = {0, 0, 0x1F, 0x0F, 0x07};
    uint32_t code = static_cast<unsigned char>(text[at]) & kLeadBits[length];
    for (size_t i = 1; i < length; ++i)
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    if (code < 0x10000) return Escaped(code);
    code -= 0x10000;
    return Escaped(0xD800 + (code >> 10)) + Escaped(0xDC00 + (code & 0x3FF));
}
}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const size_t length = Utf8Length(text, at);
            out += length ? EscapedCharacter(text, at, length) : Escaped(0xFFFD);
            if (length) at += length - 1;
            continue;
        }
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
                if (byte < 0x20 || byte == 0x7F) {
                    out += Escaped(byte);
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string IsoUtcText(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                       uint16_t second) {
    char text[48];  // room for any numbers, though a date has only four and two digits
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{year},
                  unsigned{month}, unsigned{day}, unsigned{hour}, unsigned{minute},
                  unsigned{second});
    return text;
}

namespace {
std::string JsonObject(const std::vector<Fact>& facts, const std::string& indent,
                       const ToUtf8& toUtf8) {
    if (facts.empty()) return "{}";
    std::string out = "{";
    for (size_t i = 0; i < facts.size(); ++i) {
        out += (i ? ",\n" : "\n") + indent + "  " + JsonString(toUtf8(facts[i].key)) + ": " +
               JsonString(toUtf8(facts[i].value));
    }
    return out + "\n" + indent + "}";
}
}  // namespace

std::string FormatJson(const Report& report, const RunFacts& run, const ToUtf8& toUtf8) {
    std::string out = "{\n";
    out += "  \"tool\": \"ostrel-diag\",\n";
    out += "  \"version\": " + JsonString(run.version) + ",\n";
    out += "  \"build\": " + JsonString(run.build) + ",\n";
    out += "  \"computer\": " + JsonString(run.computer) + ",\n";
    out += "  \"user\": " + JsonString(run.user) + ",\n";
    out += "  \"time\": " + JsonString(run.time) + ",\n";
    out += "  \"items\": [";
    for (size_t i = 0; i < report.items.size(); ++i) {
        const Item& item = report.items[i];
        out += i ? ",\n    {\n" : "\n    {\n";
        out += "      \"item\": " + JsonString(item.id) + ",\n";
        out += "      \"title\": " + JsonString(item.title) + ",\n";
        out += "      \"verdict\": " + JsonString(VerdictName(item.verdict)) + ",\n";
        out += "      \"reason\": " + JsonString(toUtf8(item.reason)) + ",\n";
        out += "      \"facts\": " + JsonObject(item.facts, "      ", toUtf8);
        if (!item.rowsName.empty()) {
            out += ",\n      " + JsonString(item.rowsName) + ": [";
            for (size_t r = 0; r < item.rows.size(); ++r)
                out += (r ? ", " : "") + JsonObject(item.rows[r], "        ", toUtf8);
            out += "]";
        }
        out += "\n    }";
    }
    out += "\n  ],\n  \"exitCode\": " + std::to_string(ExitCodeOf(report)) + "\n}\n";
    return out;
}

}  // namespace ostrel::diag
