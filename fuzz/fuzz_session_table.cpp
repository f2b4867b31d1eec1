// The session table's handshake with any stored table, session id, command and session text.
// Input: a flags byte (1: the id is a text, 2: a command, 4: a session text, 8: trace lines
// on); the id (a signed byte, or a text); the command (a byte choosing the letter); the delay
// mode (a byte: none, "ON", "RTV", "OFF"); the session text; then the stored table, all of
// what is left (nothing: no table stored). Texts are a length byte and that many bytes.
// Properties: another session's entry is never changed, lost or reordered; a refused or failed
// call writes no table; a written table is whole entries only, and this session's entries hold
// exactly the letter and text asked for.
#include <vector>

#include "fuzz/fuzz_input.h"
#include "hostlink/session_table.h"
#include "platform/app_error.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_registry.h"

namespace ostrel::fuzz {
namespace {

constexpr const char* kPath = "Software\\TOVAN\\RODazedur";
constexpr EntryLetter kLetters[] = {EntryLetter::Filed,      EntryLetter::Requested,
                                    EntryLetter::Armed,      EntryLetter::NotActive,
                                    EntryLetter::Deactivate, EntryLetter::Reactivate};
const char* const kDelayModes[] = {nullptr, "ON", "RTV", "OFF"};

struct Call {
    HostSessionId id;
    std::optional<EntryLetter> command;
    std::optional<std::string> text;
    std::optional<std::string> delayMode;
    bool logging = false;
    std::optional<std::string> table;
};

Call Decode(Input& in) {
    Call call;
    const uint8_t flags = in.Byte();
    if (flags & 1) {
        call.id = HostSessionId::Text(in.Text());
    } else {
        call.id = HostSessionId::Number(static_cast<int8_t>(in.Byte()));
    }
    const EntryLetter letter = kLetters[in.Byte() % 6];
    if (flags & 2) call.command = letter;
    if (const char* mode = kDelayModes[in.Byte() % 4]) call.delayMode = mode;
    const std::string text = in.Text();
    if (flags & 4) call.text = text;
    call.logging = (flags & 8) != 0;
    if (!in.Done()) call.table = in.Rest();
    return call;
}

std::vector<TableEntry> Sessions(const std::string& table) {
    std::vector<TableEntry> entries;
    for (TableEntry& entry : ParseSessionTable(table)) {
        if (entry.IsSession()) entries.push_back(std::move(entry));
    }
    return entries;
}

void Run(const Call& call) {
    sim::SimRegistry registry;
    sim::SimDesktop desktop;
    if (call.table) registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", *call.table);
    const std::string old = registry.Text(kHkeyCurrentUser, kPath, "MSconnect").value_or("");
    registry.writes.clear();

    HandshakeReading reading;
    bool failed = false;
    {
        RegistryStore store(registry, desktop);
        ProcessLog log(desktop);
        log.LoggingOn = call.logging;
        SessionTable table(store, desktop, log);
        try {
            reading = table.SessionHandshake(call.id, call.command, call.text, call.delayMode);
        } catch (const AppError&) {
            failed = true;
        }
    }
    Check(registry.OpenHandles() == 0 && registry.OpenEvents() == 0, "registry handles left open");

    // A read of a missing table may leave it stored empty: that changes nothing it says.
    const std::string now = registry.Text(kHkeyCurrentUser, kPath, "MSconnect").value_or("");
    if (failed || reading.refused) {
        Check(now == old, "a refused or failed handshake changed the table");
        return;
    }
    if (now == old) return;

    // The id field of this session's entries; an id that names no session may file nothing.
    const std::optional<std::string> mine = EntryIdOf(call.id);
    Check(mine.has_value(), "a table written for an id that names no session");
    std::vector<std::string> othersBefore, othersAfter;
    std::vector<TableEntry> mineBefore, mineAfter;
    for (TableEntry& e : Sessions(old))
        (e.id == *mine ? mineBefore.push_back(e) : othersBefore.push_back(e.raw));

    if (!mineBefore.empty() && (!call.command || !call.text)) {
        Check(now == old, "a handshake without a command changed the table");
        return;
    }
    std::string whole;
    for (const TableEntry& e : ParseSessionTable(now)) {
        whole += e.raw;
        Check(e.IsSession(), "the table holds an entry of no session: " + Shown(e.raw));
        (e.id == *mine ? mineAfter.push_back(e) : othersAfter.push_back(e.raw));
    }
    Check(whole == now, "the table does not end with a whole entry: " + Shown(now));
    Check(othersAfter == othersBefore, "another session's entries changed: \"" + Shown(old) +
                                           "\" became \"" + Shown(now) + "\"");

    const auto checkEntry = [&](const TableEntry& e, const std::string& letter) {
        Check(e.state == letter, "entry " + Shown(e.raw) + " holds another letter than " + letter);
        const std::string text = call.text.value_or(" ");
        Check(UnescapeSessionText(e.text) == text,
              "entry " + Shown(e.raw) + " does not read back as the text " + Shown(text));
    };
    if (mineBefore.empty()) {
        Check(mineAfter.size() == 1, "not exactly one entry filed for the session " +
                                         Shown(call.id.AsText()) + ": " + Shown(now));
        checkEntry(mineAfter[0], LetterText(call.command.value_or(EntryLetter::Filed)));
        return;
    }
    Check(mineAfter.size() == mineBefore.size(), "the session's entries were added or lost");
    for (size_t i = 0; i < mineAfter.size(); ++i) {
        checkEntry(mineAfter[i], *call.command == EntryLetter::Filed ? mineBefore[i].state
                                                                     : LetterText(*call.command));
    }
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrel::fuzz::Input in(data, size);
    ostrel::fuzz::Run(ostrel::fuzz::Decode(in));
    return 0;
}
