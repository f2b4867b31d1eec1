#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>

#include "support/text_util.h"

namespace ostrel::sim {

std::string SimRegistry::KeyName(RegKey root, const std::string& path) {
    std::string name = root == kHkeyLocalMachine ? "HKLM" : "HKCU";
    if (!path.empty()) name += "\\" + path;
    return ToUpper(name);
}

long SimRegistry::Open(RegKey root, const std::string& path, uint32_t access, bool create,
                       RegKey* key) {
    if (root != kHkeyCurrentUser && root != kHkeyLocalMachine) return kErrorInvalidHandle;
    const std::string name = KeyName(root, path);
    if (!keys_.count(name)) {
        if (!create) return kErrorFileNotFound;
        if (denied_.count(name)) return kErrorAccessDenied;
        // Creating a key creates every key above it.
        const std::string spelled = KeyName(root, "") + "\\" + path;
        for (size_t cut = name.find('\\'); cut != std::string::npos;
             cut = name.find('\\', cut + 1)) {
            keys_[name.substr(0, cut)];
            spelled_.emplace(name.substr(0, cut), spelled.substr(0, cut));
        }
        keys_[name];
        spelled_.emplace(name, spelled);
    }
    *key = nextHandle_++;
    handles_[*key] = Handle{name, access};
    return kErrorSuccess;
}

long SimRegistry::CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) {
    return Open(root, path, access, true, key);
}

long SimRegistry::OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) {
    return Open(root, path, access, false, key);
}

long SimRegistry::OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) {
    return Open(root, path, kKeyCreateAccess, false, key);
}

long SimRegistry::QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                             uint32_t* size) {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    const Key& values = keys_[handle->second.key];
    const auto value = values.find(ToUpper(name));
    if (value == values.end()) return kErrorFileNotFound;
    const Value found = value->second;
    if (type) *type = found.type;
    const auto bytes = static_cast<uint32_t>(found.data.size());
    if (!data) {
        if (size) *size = bytes;
        if (afterSizeQuery) afterSizeQuery(name);
        return kErrorSuccess;
    }
    if (*size < bytes) {
        *size = bytes;
        return kErrorMoreData;
    }
    std::copy(found.data.begin(), found.data.end(), data);
    *size = bytes;
    return kErrorSuccess;
}

long SimRegistry::SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                           uint32_t size) {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    if (!(handle->second.access & kKeySetValue) || denied_.count(handle->second.key)) {
        return kErrorAccessDenied;
    }
    Value value{type, std::vector<uint8_t>(data, data + size)};
    keys_[handle->second.key][ToUpper(name)] = value;
    Changed(handle->second.key);
    std::string text(value.data.begin(), value.data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    writes.push_back(Write{name, text});
    return kErrorSuccess;
}

long SimRegistry::EnumKey(RegKey key, uint32_t index, std::string* name) {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    // The subkeys in the order of their upper-case names, as Windows lists them.
    const std::string prefix = handle->second.key + "\\";
    uint32_t at = 0;
    for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
        if (at++ != index) continue;
        const auto spelled = spelled_.find(it->first);
        const std::string& path = spelled == spelled_.end() ? it->first : spelled->second;
        *name = path.substr(prefix.size());
        return kErrorSuccess;
    }
    return kErrorNoMoreItems;
}

long SimRegistry::CloseKey(RegKey key) {
    if (!handles_.erase(key)) return kErrorInvalidHandle;
    // Closing the key ends its waits with their events set (RegNotifyChangeKeyValue, Remarks).
    std::erase_if(watches_, [this, key](const auto& watch) {
        if (watch.second.through != key) return false;
        SetEvent(watch.second.event);
        return true;
    });
    return kErrorSuccess;
}

void SimRegistry::Put(RegKey root, const std::string& path, const std::string& name, Value value) {
    RegKey key = 0;
    Open(root, path, kKeyCreateAccess, true, &key);
    handles_.erase(key);
    keys_[KeyName(root, path)][ToUpper(name)] = std::move(value);
    Changed(KeyName(root, path));
}

void SimRegistry::PutText(RegKey root, const std::string& path, const std::string& name,
                          const std::string& text) {
    const std::string data = text + '\0';
    Put(root, path, name, Value{kRegSz, std::vector<uint8_t>(data.begin(), data.end())});
}

std::optional<SimRegistry::Value> SimRegistry::Get(RegKey root, const std::string& path,
                                                   const std::string& name) const {
    const auto key = keys_.find(KeyName(root, path));
    if (key == keys_.end()) return std::nullopt;
    const auto value = key->second.find(ToUpper(name));
    if (value == key->second.end()) return std::nullopt;
    return value->second;
}

std::optional<std::string> SimRegistry::Text(RegKey root, const std::string& path,
                                             const std::string& name) const {
    const auto value = Get(root, path, name);
    if (!value) return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

bool SimRegistry::KeyExists(RegKey root, const std::string& path) const {
    return keys_.count(KeyName(root, path)) > 0;
}

void SimRegistry::DenyWrites(RegKey root, const std::string& path) {
    denied_.insert(KeyName(root, path));
}

long SimRegistry::NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) {
    const auto handle = handles_.find(key);
    if (handle == handles_.end() || !events_.count(event)) return kErrorInvalidHandle;
    if (!(handle->second.access & kKeyNotify)) return kErrorAccessDenied;
    // "Each time a process calls RegNotifyChangeKeyValue with the same set of parameters, it
    // establishes another wait operation, creating a resource leak."
    for (const auto& [name, watch] : watches_) {
        if (watch.through == key && watch.event == event)
            misuses.push_back("NotifyChangeKeyValue again while its wait is pending: " + name);
    }
    // Values are all this registry changes; a filter that does not ask for them waits forever.
    if (filter & kRegNotifyChangeLastSet) watches_.emplace(handle->second.key, Watch{event, key});
    return kErrorSuccess;
}

RegEvent SimRegistry::NewEvent() {
    const RegEvent event = nextHandle_++;
    events_[event] = false;
    return event;
}

bool SimRegistry::IsEventSet(RegEvent event) {
    const auto it = events_.find(event);
    return it != events_.end() && it->second;
}

bool SimRegistry::ResetEvent(RegEvent event) {
    const auto it = events_.find(event);
    if (it == events_.end()) return false;
    it->second = false;
    return true;
}

bool SimRegistry::CloseEvent(RegEvent event) {
    std::erase_if(watches_, [event](const auto& watch) { return watch.second.event == event; });
    return events_.erase(event) > 0;
}

void SimRegistry::Changed(const std::string& key) {
    const auto [first, last] = watches_.equal_range(key);
    for (auto it = first; it != last; ++it)
        SetEvent(it->second.event);
    watches_.erase(first, last);
}

void SimRegistry::SetEvent(RegEvent event) {
    if (const auto it = events_.find(event); it != events_.end()) it->second = true;
}

}  // namespace ostrel::sim
