// The values every copy of the program shares under its registry key, and the session table
// decoded with the program's own parsing.
#include "diag/diag_items.h"
#include "hostlink/session_table.h"
#include "support/registry_store.h"

namespace ostrel::diag {

namespace {

constexpr const char* kValueNames[] = {"Logging", "MSconnect", "cSesId", "NSesDly"};

const char* LetterMeaning(const std::string& state) {
    if (state.size() != 1) return "no letter";
    switch (static_cast<EntryLetter>(state[0])) {
        case EntryLetter::Filed:
            return "filed, no request yet";
        case EntryLetter::Requested:
            return "swipe requested";
        case EntryLetter::Armed:
            return "request armed";
        case EntryLetter::NotActive:
            return "not active";
        case EntryLetter::Deactivate:
            return "deactivation requested";
        case EntryLetter::Reactivate:
            return "re-activation requested, or left by a failed swipe";
    }
    return "unknown letter";
}

std::string Shown(const std::string& text) {
    return text.empty() ? "(empty or missing)" : "\"" + text + "\"";
}

}  // namespace

Item GatherSettings(Registry& registry, Desktop& desktop) {
    Item item("settings", "Shared registry values");
    item.Add("key", std::string(kSettingsRoot) + "\\" + kSettingsPath);
    RegistryStore store(registry, desktop);
    std::vector<TableEntry> entries;
    std::string hold;
    for (const std::string name : kValueNames) {
        const std::optional<std::string> value = store.ReadSetting(name);
        if (!value) {
            item.Add(name, "cannot be read");
            item.Judge(Verdict::Warning, name + " cannot be read: copies keep what they had");
        } else if (name == "MSconnect") {
            // The table's texts come from the host's screens; the rows below show them decoded.
            entries = ParseSessionTable(*value);
            item.Add(name, std::to_string(entries.size()) + " entries");
        } else {
            item.Add(name, Shown(*value));
            if (name == "NSesDly") hold = *value;
        }
    }

    item.rowsName = "sessions";
    std::vector<std::string> active;
    for (const TableEntry& entry : entries) {
        const std::optional<int32_t> session =
            entry.IsSession() ? SessionOfEntryId(entry.id) : std::nullopt;
        Row row;
        row.push_back({"session", session
                                      ? std::to_string(*session) + " (" +
                                            std::string(1, static_cast<char>('A' + *session)) + ")"
                                      : "none (\"" + entry.id + "\")"});
        row.push_back({"state", "\"" + entry.state + "\" " + LetterMeaning(entry.state)});
        row.push_back({"text", UnescapeSessionText(entry.text)});
        item.rows.push_back(std::move(row));
        if (!session) {
            item.Judge(Verdict::Warning, "the table holds an entry of no session");
        } else if (entry.state != LetterText(EntryLetter::NotActive)) {
            active.push_back(std::to_string(*session));
        }
    }
    if (active.size() > 1) {
        item.Judge(Verdict::Warning, std::to_string(active.size()) +
                                         " sessions are active at once: each refuses the "
                                         "others' requests");
    } else if (active.size() == 1) {
        item.Judge(Verdict::Warning, "session " + active[0] +
                                         " is active: requests of other sessions are refused "
                                         "until it ends");
    }
    if (hold == "ON") {
        item.Judge(Verdict::Warning, "NSesDly is \"ON\": copies hold off serving while it is");
    }
    item.Judge(Verdict::Ok, "readable, no session active");
    return item;
}

}  // namespace ostrel::diag
