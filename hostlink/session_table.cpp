#include "hostlink/session_table.h"

#include "support/product.h"

namespace ostrel {

namespace {

constexpr char kEntryEnd = '~';
// A "~" in a session text would end its entry, so it is stored as DEL "-", and DEL itself as
// DEL DEL. Texts without either character are stored exactly as they are.
constexpr char kEscape = '\x7F';
constexpr char kEscapedEnd = '-';

constexpr const char* kRefusal =
    "Alternate Credit Card session is active, close alternate session and then try again.";

}  // namespace

std::vector<TableEntry> ParseSessionTable(std::string_view table) {
    std::vector<TableEntry> entries;
    size_t start = 0;
    for (size_t end = table.find(kEntryEnd); end != std::string_view::npos;
         end = table.find(kEntryEnd, start)) {
        TableEntry entry;
        entry.raw = std::string(table.substr(start, end - start + 1));
        const std::string_view body = table.substr(start, end - start);
        entry.id = std::string(body.substr(0, 1));
        entry.state = std::string(body.substr(std::min<size_t>(1, body.size()), 1));
        entry.text = std::string(body.substr(std::min<size_t>(2, body.size())));
        entries.push_back(std::move(entry));
        start = end + 1;
    }
    return entries;
}

// Sessions 0 to 9 keep their digit. Sessions 10 to 24 would need two characters, which the
// field does not have, so they are written as the letters "A" (10) to "O" (24). Any other id
// keeps its text and, being longer than the field, matches no entry.
std::string EntryIdOf(const HostSessionId& sessionId) {
    if (sessionId.IsNumeric()) {
        const int32_t n = sessionId.ToLong();
        if (n >= 0 && n <= 9) return std::string(1, static_cast<char>('0' + n));
        if (n >= 10 && n <= 24) return std::string(1, static_cast<char>('A' + (n - 10)));
    }
    return sessionId.AsText();
}

std::string EscapeSessionText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == kEntryEnd) {
            out += {kEscape, kEscapedEnd};
        } else if (c == kEscape) {
            out += {kEscape, kEscape};
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeSessionText(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kEscape && i + 1 < text.size()) {
            out += text[i + 1] == kEscapedEnd ? kEntryEnd : text[i + 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string LetterText(EntryLetter letter) {
    return std::string(1, static_cast<char>(letter));
}

HandshakeReading SessionTable::SessionHandshake(const HostSessionId& sessionId,
                                                std::optional<EntryLetter> commandLetter,
                                                const std::optional<std::string>& sessionText,
                                                std::optional<std::string> delayMode) {
    HandshakeReading reading;
    // "OFF" as the caller asked for it, not as a read ("RTV") found it: storing back what was
    // read could only undo another copy's "ON" written in between.
    const bool releaseHold = delayMode && *delayMode == "OFF";
    if (delayMode && *delayMode == "ON") {
        store_.Setting("NSesDly", "ON");
    } else if (delayMode && *delayMode == "RTV") {
        delayMode = store_.Setting("NSesDly");
    }
    reading.delayMode = delayMode;
    const std::optional<std::string> command =
        commandLetter ? std::optional<std::string>(LetterText(*commandLetter)) : std::nullopt;

    const std::string oldTable = store_.Setting("MSconnect");
    const std::vector<TableEntry> entries = ParseSessionTable(oldTable);
    const std::string id = EntryIdOf(sessionId);
    const std::string idText = sessionId.AsText();

    for (const TableEntry& entry : entries) {
        if (entry.IsSession() && entry.id != id &&
            entry.state != LetterText(EntryLetter::NotActive)) {
            desktop_.ShowMessageBox(kRefusal, kAppTitle, kMbOk);
            reading.refused = true;
            return reading;
        }
    }

    const std::string newCommand = command.value_or(" ");
    const std::string newText = EscapeSessionText(sessionText.value_or(" "));
    const std::string delay = delayMode ? *delayMode : "";
    std::string newTable;
    bool found = false;
    for (const TableEntry& entry : entries) {
        if (!entry.IsSession()) continue;
        if (entry.id != id) {
            newTable += entry.raw;
            continue;
        }
        found = true;
        const std::string oldText = UnescapeSessionText(entry.text);
        reading.state = entry.state;
        reading.text = oldText;
        if (!command || !sessionText) {
            newTable = oldTable;
            break;
        }
        if (*command == " ") {
            reading.text = *sessionText;
            newTable += id + entry.state + newText + kEntryEnd;
            Trace("PKT 1**" + idText + "*" + oldText + "**" + entry.state + "-" + *command + "*" +
                  *sessionText + "*" + delay + "*-" + newTable);
        } else {
            newTable += id + *command + newText + kEntryEnd;
            Trace("PKT 2**" + idText + "*" + oldText + "**" + *command + "*" + oldText + "*" +
                  delay + "*-" + newTable);
        }
    }
    if (!oldTable.empty() && !found) newTable += id + newCommand + newText + kEntryEnd;

    const int32_t number = sessionId.ToLong();
    if (number >= 0 && oldTable.empty()) newTable = id + newCommand + newText + kEntryEnd;

    // A read (the loop's, twice a second) that leaves the table as it is writes nothing: a
    // rewrite could only undo what another copy wrote meanwhile, a request letter or the id of
    // its session, and the copy would never serve that request.
    const bool readOnly = !command && !sessionText && newTable == oldTable;
    if (!readOnly) {
        if (!newTable.empty()) store_.Setting("MSconnect", newTable);
        store_.Setting("cSesId", idText);
    }

    if (releaseHold) store_.Setting("NSesDly", "OFF");
    return reading;
}

void SessionTable::Trace(const std::string& line) {
    if (log_.LoggingOn) log_.WriteProcessLog(line);
}

}  // namespace ostrel
