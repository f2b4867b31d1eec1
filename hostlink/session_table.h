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

// State letters of an entry.
namespace entry_state {
constexpr const char* kFiled = " ";
constexpr const char* kRequested = "P";
constexpr const char* kArmed = "Y";
constexpr const char* kNotActive = "N";
constexpr const char* kDeactivate = "D";
constexpr const char* kReactivate = "R";
}  // namespace entry_state

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
// The one-character id field of a session's entry.
std::string EntryIdOf(const HostSessionId& sessionId);
std::string EscapeSessionText(std::string_view text);
std::string UnescapeSessionText(std::string_view text);

class SessionTable {
  public:
    SessionTable(RegistryStore& store, Desktop& desktop, ProcessLog& log)
        : store_(store), desktop_(desktop), log_(log) {}

    // Reads this session's entry into state and text, and records command (" " keeps the
    // state and only files sessionText). delayMode "ON" and "OFF" are stored, "RTV" is
    // replaced by the stored flag. Returns false when refused because another session is
    // active: that is shown in a message box and nothing further is read or written. A
    // sessionId that is no number raises type mismatch before anything is written.
    bool SessionHandshake(const HostSessionId& sessionId,
                          const std::optional<std::string>& command = std::nullopt,
                          const std::optional<std::string>& sessionText = std::nullopt,
                          std::string* state = nullptr, std::string* text = nullptr,
                          std::string* delayMode = nullptr);

  private:
    void Trace(const std::string& line);

    RegistryStore& store_;
    Desktop& desktop_;
    ProcessLog& log_;
};

}  // namespace ostrel
