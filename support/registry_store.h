#pragma once
// The one settings operation: RegistryValue reads a text value when given the empty text and
// writes it otherwise, creating keys on the way. A read never writes: copies share the values
// unlocked, and a read that wrote could undo what another copy has just written.
#include <initializer_list>
#include <map>
#include <optional>
#include <string>

#include "platform/desktop.h"
#include "platform/registry.h"

namespace ostrel {

// Where every setting of the program lives.
constexpr const char* kSettingsRoot = "HKCU";
constexpr const char* kSettingsPath = "Software\\TOVAN\\RODazedur";

// Reads of the program's own key are answered from what was read before for as long as the
// registry reports no change to the key since: the loop reads three values twice a second, and
// each real read costs several calls into the system.
class RegistryStore {
  public:
    RegistryStore(Registry& registry, Desktop& desktop) : registry_(registry), desktop_(desktop) {}
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Returns the text read, the text written, or "" after an argument error (shown in a
    // message box). A read that gets no stable value gives "" too: callers that must tell
    // use ReadValue.
    std::string RegistryValue(const std::string& root, const std::string& path,
                              const std::string& name, const std::string& value);

    // A read: the text, "" for a missing value or one that is no text, or nothing when no
    // stable value could be had (another copy rewrote it at every attempt, or the registry
    // refused the read), so that the caller keeps what it had.
    std::optional<std::string> ReadValue(const std::string& root, const std::string& path,
                                         const std::string& name);

    // RegistryValue and ReadValue under the program's own key.
    std::string Setting(const std::string& name, const std::string& value = "") {
        return RegistryValue(kSettingsRoot, kSettingsPath, name, value);
    }
    std::optional<std::string> ReadSetting(const std::string& name) {
        return ReadValue(kSettingsRoot, kSettingsPath, name);
    }

    // While the program's key is watched, the event its next change sets; 0 otherwise.
    RegEvent ChangeEvent() const { return watching_ ? keyChanged_ : 0; }
    // Whether one of these values of the program's key now reads other than this copy last
    // read or wrote it: another copy has written there. The key is watched again on the way.
    bool ChangedElsewhere(std::initializer_list<const char*> names);

  private:
    // Remembers the root and checks the arguments, showing what is wrong.
    bool Arguments(const std::string& root, const std::string& path, const std::string& name);
    std::optional<std::string> Read(const std::string& path, const std::string& name);
    RegKey RootKey() const;
    void CreateKey(const std::string& path);
    bool SetValue(const std::string& path, const std::string& name, const std::string& value);
    struct Query;
    Query QueryValue(const std::string& path, const std::string& name);
    void ShowError(const std::string& text);

    // The change watch on the program's key and what was read under it.
    std::optional<std::string> Remembered(const std::string& name);
    // True while the key is watched and has not changed since what is remembered was read;
    // otherwise forgets everything and watches the key afresh when it can.
    bool KeyUnchanged();
    void Forget();

    Registry& registry_;
    Desktop& desktop_;
    std::string lastRoot_;
    RegKey watchedKey_ = 0;
    RegEvent keyChanged_ = 0;
    // A change notification is outstanding on watchedKey_ (asked for and not yet fired): asking
    // again before it fires would add a second wait to the key.
    bool armed_ = false;
    bool watching_ = false;
    std::map<std::string, std::string> remembered_;  // by upper-case value name
    // The program's own values as this copy last read or wrote them, by upper-case name.
    std::map<std::string, std::string> known_;
};

}  // namespace ostrel
