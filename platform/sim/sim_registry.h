#pragma once
// An in-memory registry: keys and typed values, open handles counted, every value written
// recorded in order.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace ostrel::sim {

class SimRegistry : public Registry {
  public:
    struct Value {
        uint32_t type = kRegSz;
        std::vector<uint8_t> data;
    };
    struct Write {
        std::string name;
        std::string text;  // the data without its terminating NUL
        bool operator==(const Write&) const = default;
    };

    long CreateKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override;
    long OpenKey(RegKey root, const std::string& path, uint32_t access, RegKey* key) override;
    long OpenKeyDefault(RegKey root, const std::string& path, RegKey* key) override;
    long QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                    uint32_t* size) override;
    long SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                  uint32_t size) override;
    long EnumKey(RegKey key, uint32_t index, std::string* name) override;
    long CloseKey(RegKey key) override;
    long NotifyChangeKeyValue(RegKey key, uint32_t filter, RegEvent event) override;
    RegEvent NewEvent() override;
    bool IsEventSet(RegEvent event) override;
    bool ResetEvent(RegEvent event) override;
    bool CloseEvent(RegEvent event) override;

    // Test side.
    void Put(RegKey root, const std::string& path, const std::string& name, Value value);
    void PutText(RegKey root, const std::string& path, const std::string& name,
                 const std::string& text);
    std::optional<Value> Get(RegKey root, const std::string& path, const std::string& name) const;
    // The stored text cut at its first NUL; nothing when the value is missing.
    std::optional<std::string> Text(RegKey root, const std::string& path,
                                    const std::string& name) const;
    bool KeyExists(RegKey root, const std::string& path) const;
    void DenyWrites(RegKey root, const std::string& path);
    size_t OpenHandles() const { return handles_.size(); }
    size_t OpenEvents() const { return events_.size(); }
    // Change notifications waiting for their key to change.
    size_t Watches() const { return watches_.size(); }

    std::vector<Write> writes;
    // Calls Windows would take but that leak or misbehave there: a change notification asked
    // for again while its wait is pending.
    std::vector<std::string> misuses;
    // Another writer between a reader's two queries: runs after every size-only query (the
    // value's type and size already answered), before the caller reads the data, with the
    // value's name as the caller spelled it. It may change any value with Put or PutText; a
    // reader that retries calls it again at each attempt. Changes made here are not recorded
    // in writes, as another process's are not.
    std::function<void(const std::string& name)> afterSizeQuery;

  private:
    struct Handle {
        std::string key;
        uint32_t access;
    };
    using Key = std::map<std::string, Value>;  // by upper-case value name
    static std::string KeyName(RegKey root, const std::string& path);
    long Open(RegKey root, const std::string& path, uint32_t access, bool create, RegKey* key);
    // Sets the events of the notifications waiting on the key, which are then done.
    void Changed(const std::string& key);
    void SetEvent(RegEvent event);

    std::map<std::string, Key> keys_;             // by upper-case "ROOT\PATH"
    std::map<std::string, std::string> spelled_;  // each key's path as it was created
    std::set<std::string> denied_;
    std::map<RegKey, Handle> handles_;
    // Apart from the other simulated handles, so that one wait can watch handles of each.
    RegKey nextHandle_ = 0x50000000;
    std::map<RegEvent, bool> events_;  // set or not
    struct Watch {
        RegEvent event;
        RegKey through;  // the handle it was asked for on: closing it ends the wait
    };
    std::multimap<std::string, Watch> watches_;  // by key
};

}  // namespace ostrel::sim
