#pragma once
// Registry keys that a Windows test writes for itself and takes back on every way out.
#include <windows.h>

#include <string>
#include <utility>

namespace ostrel::win32 {

inline bool KeyExists(HKEY root, const std::string& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key)) return false;
    RegCloseKey(key);
    return true;
}

// root\parent\name in one registry view, made by the test and deleted with everything under
// it. Never made over a key that is there already: the deletion would take it too.
class MadeKey {
  public:
    MadeKey(HKEY root, const std::string& parent, std::string name, REGSAM view)
        : name_(std::move(name)) {
        if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &parent_))
            parent_ = nullptr;
        HKEY existing = nullptr;
        if (parent_ && !RegOpenKeyExA(parent_, name_.c_str(), 0, KEY_QUERY_VALUE, &existing)) {
            RegCloseKey(existing);
            RegCloseKey(parent_);
            parent_ = nullptr;
        }
    }
    ~MadeKey() {
        if (!parent_) return;
        RegDeleteTreeA(parent_, name_.c_str());
        RegCloseKey(parent_);
    }
    MadeKey(const MadeKey&) = delete;
    MadeKey& operator=(const MadeKey&) = delete;
    // Sets the default text of the key, or of a key under it, creating them.
    bool SetText(const std::string& under, const std::string& text) {
        return parent_ && !RegSetKeyValueA(parent_, (name_ + under).c_str(), nullptr, REG_SZ,
                                           text.c_str(), static_cast<DWORD>(text.size() + 1));
    }

  private:
    HKEY parent_ = nullptr;
    std::string name_;
};

}  // namespace ostrel::win32
