#include "hostlink/session_table.h"

#include "support/product.h"

namespace ostrel {

namespace {

constexpr char kEntryEnd = '~';
// A "~" in a session text would end its entry, so it is stored as DEL "-", and DEL itself as
// DEL DEL. A NUL would end the whole stored value, and every entry after it would be lost: it
// is stored as DEL "0". Texts without these characters are stored exactly as they are.
constexpr char kEscape = '\x7F';
constexpr char kEscapedEnd = '-';
constexpr char kEscapedNul = '0';

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
// has no field: written whole, "25" would read back as session 2 in state "5".
std::optional<std::string> EntryIdOf(const HostSessionId& sessionId) {
    if (!sessionId.IsHostSession()) return std::nullopt;
    const int32_t n = sessionId.ToLong();
    return std::string(1, static_cast<char>(n <= 9 ? '0' + n : 'A' + (n - 10)));
}

std::string EscapeSessionText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == kEntryEnd) {
            out += {kEscape, kEscapedEnd};
        } else if (c == '\0') {
            out += {kEscape, kEscapedNul};
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
            const char escaped = text[i + 1];
            out += escaped == kEscapedEnd ? kEntryEnd : escaped == kEscapedNul ? '\0' : escaped;
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
        const std::optional<std::string> hold = store_.ReadSetting("NSesDly");
        if (!hold) {
            reading.unreadable = true;
            return reading;
        }
        delayMode = hold;
    }
    reading.delayMode = delayMode;

    // The hold a start put on is taken off whatever became of its entry: a hold left on would
    // stop every copy from serving.
    const auto finish = [&] {
        if (releaseHold) store_.Setting("NSesDly", "OFF");
        return reading;
    };
    sessionId.ToLong();  // raises for an id that is no number
    const std::optional<std::string> entryId = EntryIdOf(sessionId);
    if (!entryId) return finish();
    const std::string& id = *entryId;
    const std::string idText = sessionId.AsText();

    const std::optional<std::string> stored = store_.ReadSetting("MSconnect");
    if (!stored) {
        reading.unreadable = true;
        return finish();
    }
    const std::string& oldTable = *stored;
    const std::vector<TableEntry> entries = ParseSessionTable(oldTable);

    for (const TableEntry& entry : entries) {
        if (entry.IsSession() && entry.id != id &&
            entry.state != LetterText(EntryLetter::NotActive)) {
            desktop_.ShowMessageBox(kRefusal, kAppTitle, kMbOk);
            reading.refused = true;
            return reading;
        }
    }

    const std::optional<std::string> command =
        commandLetter ? std::optional<std::string>(LetterText(*commandLetter)) : std::nullopt;
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
    if (oldTable.empty()) newTable = id + newCommand + newText + kEntryEnd;

    // A read (the loop's, twice a second) that leaves the table as it is writes nothing: a
    // rewrite could only undo what another copy wrote meanwhile, a request letter or the id of
    // its session, and the copy would never serve that request.
    const bool readOnly = !command && !sessionText && newTable == oldTable;
    if (!readOnly) {
        if (!newTable.empty()) store_.Setting("MSconnect", newTable);
        store_.Setting("cSesId", idText);
    }
    return finish();
}

void SessionTable::Trace(const std::string& line) {
    if (log_.LoggingOn) log_.WriteProcessLog(line);
}

}  // namespace ostrel
