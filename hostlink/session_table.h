#pragma once
// The session table shared by every running copy: the registry value "MSconnect", with the id
// of the last caller in "cSesId" and the start-up hold flag in "NSesDly".
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/session_id.h"
#include "platform/desktop.h"
#include "support/process_log.h"
#include "support/registry_store.h"

namespace ostrel {

// The state letters an entry is stored with. Every letter but "N" counts as active.
enum class EntryLetter : char {
    Filed = ' ',       // a session filed, no request yet
    Requested = 'P',   // a swipe requested
    Armed = 'Y',       // the request armed
    NotActive = 'N',   // served, timed out or deactivated
    Deactivate = 'D',  // left by a second start while armed
    Reactivate = 'R',  // left by a second start while idle, or by a failed swipe
};
// The letter as the table stores it.
std::string LetterText(EntryLetter letter);

// What a handshake read of the caller's entry, and whether it was refused.
struct HandshakeReading {
    // Another session is active: shown in a message box, nothing further read or written.
    bool refused = false;
    // A shared value could not be read stably (another copy rewriting it at every attempt):
    // the table and "cSesId" were left as they are, and the caller keeps what it had.
    bool unreadable = false;
    // The entry as it stood, when the table had one for the session: its letter (whatever the
    // table holds) and its text (after a Filed command, the text just filed).
    std::optional<std::string> state;
    std::optional<std::string> text;
    // The caller's delay mode after the call: "RTV" comes back as the stored flag.
    std::optional<std::string> delayMode;
};

// One entry of a stored table, as it stands there (the session text still escaped).
struct TableEntry {
    std::string raw;  // the whole entry, its closing "~" included
    std::string id;
    std::string state;
    std::string text;
    // Entries shorter than an id and a state letter are never written by the program; they
    // belong to no session and are dropped at the next rewrite.
    bool IsSession() const { return raw.size() >= 3; }
};

// The entries of a table; text after the last "~" is no entry.
std::vector<TableEntry> ParseSessionTable(std::string_view table);
// The one-character id field of a session's entry; nothing for an id that names no session.
std::optional<std::string> EntryIdOf(const HostSessionId& sessionId);
// The host session an id field stands for; nothing for a field no session's entry has.
inline std::optional<int32_t> SessionOfEntryId(std::string_view id) {
    if (id.size() != 1) return std::nullopt;
    const char c = id[0];
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'O') return c - 'A' + 10;
    return std::nullopt;
}
std::string EscapeSessionText(std::string_view text);
std::string UnescapeSessionText(std::string_view text);

class SessionTable {
  public:
    SessionTable(RegistryStore& store, Desktop& desktop, ProcessLog& log)
        : store_(store), desktop_(desktop), log_(log) {}

    // Reads this session's entry and records command (Filed keeps the entry's letter and only
    // files sessionText). delayMode "ON" and "OFF" are stored, "RTV" reads the stored flag. A
    // sessionId that is no number raises type mismatch before anything is written; one outside
    // 0 to 24 names no session: nothing is read or filed for it.
    HandshakeReading SessionHandshake(const HostSessionId& sessionId,
                                      std::optional<EntryLetter> command = std::nullopt,
                                      const std::optional<std::string>& sessionText = std::nullopt,
                                      std::optional<std::string> delayMode = std::nullopt);

  private:
    void Trace(const std::string& line);

    RegistryStore& store_;
    Desktop& desktop_;
    ProcessLog& log_;
};

}  // namespace ostrel
