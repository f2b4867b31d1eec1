#pragma once
// The one settings operation: RegistryValue reads a text value when given the empty text and
// writes it otherwise, creating keys and missing values on the way.
#include <string>

#include "platform/desktop.h"
#include "platform/registry.h"

namespace ostrel {

// Where every setting of the program lives.
constexpr const char* kSettingsRoot = "HKCU";
constexpr const char* kSettingsPath = "Software\\TOVAN\\RODazedur";

class RegistryStore {
  public:
    RegistryStore(Registry& registry, Desktop& desktop) : registry_(registry), desktop_(desktop) {}

    // Returns the text read, the text written, or "" after an argument error (shown in a
    // message box).
    std::string RegistryValue(const std::string& root, const std::string& path,
                              const std::string& name, const std::string& value);

    // RegistryValue under the program's own key.
    std::string Setting(const std::string& name, const std::string& value = "") {
        return RegistryValue(kSettingsRoot, kSettingsPath, name, value);
    }

  private:
    RegKey RootKey() const;
    void CreateKey(const std::string& path);
    void SetValue(const std::string& path, const std::string& name, const std::string& value);
    struct Query;
    Query QueryValue(const std::string& path, const std::string& name);
    void ShowError(const std::string& text);

    Registry& registry_;
    Desktop& desktop_;
    std::string lastRoot_;
};

}  // namespace ostrel
