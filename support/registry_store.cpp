#include "support/registry_store.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "support/text_util.h"

namespace ostrel {

namespace {
constexpr const char* kErrorCaption = "Tovan Regestery Function Error";
// A value may change between the size query and the read (copies share values unlocked).
constexpr int kQueryAttempts = 3;
}  // namespace

// What a query found.
struct RegistryStore::Query {
    enum class Found { Text, Missing, NotText, Unreadable } found = Found::Unreadable;
    std::string text;
};

bool RegistryStore::Arguments(const std::string& root, const std::string& path,
                              const std::string& name) {
    lastRoot_ = root;
    const std::string upperRoot = ToUpper(root);
    if (root.empty()) {
        ShowError("Missing HKey Value");
        return false;
    }
    if (upperRoot != "HKLM" && upperRoot != "HKCU") {
        ShowError("Invalid HKey Value");
        return false;
    }
    if (path.empty()) {
        ShowError("Missing Path");
        return false;
    }
    if (name.empty()) {
        ShowError("Value Name Missing");
        return false;
    }
    return true;
}

std::string RegistryStore::RegistryValue(const std::string& root, const std::string& path,
                                         const std::string& name, const std::string& value) {
    if (!Arguments(root, path, name)) return "";
    if (value.empty()) return Read(path, name).value_or("");
    // Our own writes do not wait for the registry's notice.
    const bool ownKey = ToUpper(root) == "HKCU" && ToUpper(path) == ToUpper(kSettingsPath);
    if (ownKey) Forget();
    CreateKey(path);
    if (SetValue(path, name, value) && ownKey) known_[ToUpper(name)] = value;
    return value;
}

std::optional<std::string> RegistryStore::ReadValue(const std::string& root,
                                                    const std::string& path,
                                                    const std::string& name) {
    if (!Arguments(root, path, name)) return "";
    return Read(path, name);
}

std::optional<std::string> RegistryStore::Read(const std::string& path, const std::string& name) {
    const bool ownKey = ToUpper(lastRoot_) == "HKCU" && ToUpper(path) == ToUpper(kSettingsPath);
    if (ownKey) {
        if (auto text = Remembered(name)) return *text;
    }
    const Query query = QueryValue(path, name);
    switch (query.found) {
        case Query::Found::Text:
            if (ownKey && watching_) remembered_[ToUpper(name)] = query.text;
            if (ownKey) known_[ToUpper(name)] = query.text;
            return query.text;
        case Query::Found::Missing:
        case Query::Found::NotText:
            // Not a text value: none of ours. It reads as empty and is left as it is.
            if (ownKey) known_[ToUpper(name)] = "";
            return "";
        case Query::Found::Unreadable:
            break;
    }
    return std::nullopt;
}

RegistryStore::~RegistryStore() {
    if (keyChanged_) registry_.CloseEvent(keyChanged_);
    if (watchedKey_) registry_.CloseKey(watchedKey_);
}

std::optional<std::string> RegistryStore::Remembered(const std::string& name) {
    if (!KeyUnchanged()) return std::nullopt;
    const auto it = remembered_.find(ToUpper(name));
    if (it == remembered_.end()) return std::nullopt;
    return it->second;
}

bool RegistryStore::KeyUnchanged() {
    if (watching_ && !registry_.IsEventSet(keyChanged_)) return true;
    Forget();
    if (!keyChanged_) keyChanged_ = registry_.NewEvent();
    if (!keyChanged_) return false;
    if (!watchedKey_ && registry_.OpenKey(kHkeyCurrentUser, kSettingsPath, kKeyNotify,
                                          &watchedKey_) != kErrorSuccess) {
        watchedKey_ = 0;  // not there yet: every read is a real one until it is
        return false;
    }
    // Armed only when the last notification has fired: each call "establishes another wait
    // operation, creating a resource leak" (RegNotifyChangeKeyValue, Remarks). One that has not
    // fired after this copy's own write (refused, say) still watches the key.
    if (!armed_ || registry_.IsEventSet(keyChanged_)) {
        armed_ = false;
        registry_.ResetEvent(keyChanged_);
        if (registry_.NotifyChangeKeyValue(watchedKey_,
                                           kRegNotifyChangeName | kRegNotifyChangeLastSet,
                                           keyChanged_) != kErrorSuccess) {
            // The key was deleted under the handle, say: open it afresh next time.
            registry_.CloseKey(watchedKey_);
            watchedKey_ = 0;
            return false;
        }
        armed_ = true;
    }
    // Watched from here on: what is read next may be remembered.
    watching_ = true;
    return false;
}

bool RegistryStore::ChangedElsewhere(std::initializer_list<const char*> names) {
    if (watching_ && !registry_.IsEventSet(keyChanged_)) return false;
    bool changed = false;
    for (const char* name : names) {
        // A value never read before is taken as it stands: nothing to compare it with.
        const auto known = known_.find(ToUpper(name));
        const std::optional<std::string> was =
            known == known_.end() ? std::nullopt : std::optional(known->second);
        const std::optional<std::string> now = ReadSetting(name);
        if (was && now && *now != *was) changed = true;
    }
    return changed;
}

void RegistryStore::Forget() {
    remembered_.clear();
    watching_ = false;
}

RegKey RegistryStore::RootKey() const {
    return ToUpper(lastRoot_) == "HKLM" ? kHkeyLocalMachine : kHkeyCurrentUser;
}

void RegistryStore::CreateKey(const std::string& path) {
    RegKey key = 0;
    if (registry_.CreateKey(RootKey(), path, kKeyCreateAccess, &key) == kErrorSuccess) {
        registry_.CloseKey(key);
    }
}

bool RegistryStore::SetValue(const std::string& path, const std::string& name,
                             const std::string& value) {
    RegKey key = 0;
    if (registry_.OpenKey(RootKey(), path, kKeySetValue, &key) != kErrorSuccess) return false;
    // The text and its terminating NUL.
    const std::string data = value + '\0';
    const long rc =
        registry_.SetValue(key, name, kRegSz, reinterpret_cast<const uint8_t*>(data.data()),
                           static_cast<uint32_t>(data.size()));
    registry_.CloseKey(key);
    return rc == kErrorSuccess;
}

RegistryStore::Query RegistryStore::QueryValue(const std::string& path, const std::string& name) {
    using Found = Query::Found;
    RegKey key = 0;
    if (const long rc = registry_.OpenKeyDefault(RootKey(), path, &key); rc != kErrorSuccess) {
        return Query{rc == kErrorFileNotFound ? Found::Missing : Found::Unreadable, ""};
    }
    // Unreadable unless a size and the data read after it agree within the attempts.
    Query result;
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        uint32_t type = 0;
        uint32_t size = 0;
        long rc = registry_.QueryValue(key, name, &type, nullptr, &size);
        if (rc == kErrorFileNotFound) result.found = Found::Missing;
        if (rc != kErrorSuccess) break;
        if (type != kRegSz) {
            result.found = Found::NotText;
            break;
        }
        // Never a null buffer: that would be a size query again.
        std::vector<uint8_t> buffer(std::max<uint32_t>(size, 1), ' ');
        uint32_t filled = static_cast<uint32_t>(buffer.size());
        rc = registry_.QueryValue(key, name, &type, buffer.data(), &filled);
        if (rc == kErrorMoreData) continue;
        if (rc == kErrorFileNotFound) result.found = Found::Missing;
        if (rc != kErrorSuccess) break;
        // Rewritten as another type between the two queries: no text either.
        if (type != kRegSz) {
            result.found = Found::NotText;
            break;
        }
        std::string text(buffer.begin(), buffer.begin() + std::min<size_t>(filled, buffer.size()));
        const auto nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        result = Query{Found::Text, std::move(text)};
        break;
    }
    registry_.CloseKey(key);
    return result;
}

void RegistryStore::ShowError(const std::string& text) {
    desktop_.ShowMessageBox(text, kErrorCaption, kMbOk | kMbIconInformation);
}

}  // namespace ostrel
