// Reading a setting while other copies rewrite it: the value changes, in size, content or type,
// between the read's size query and its data query, as often as the input says.
// Input: a flags byte (1: the program's own key, whose reads are remembered; 2: read twice);
// the value as it starts; then one value after another, each put in place right after a size
// query. A value is a kind byte (0: none or no change, 1: text, 2: number, 3: binary) and its
// bytes (a length byte, then the bytes).
// Properties: a read returns a text the value held as a text during the read, or ""; it never
// changes what the value holds; it leaves no handle open.
#include <set>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_registry.h"
#include "support/registry_store.h"

namespace ostrel::fuzz {
namespace {

using Value = sim::SimRegistry::Value;

std::optional<Value> DecodeValue(Input& in) {
    const uint8_t kind = in.Byte() % 4;
    const std::string bytes = in.Text();
    if (kind == 0) return std::nullopt;
    const uint32_t type = kind == 1 ? kRegSz : kind == 2 ? kRegDword : 3;
    return Value{type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

// What the value says as a text: its bytes up to the first NUL.
std::string TextOf(const Value& value) {
    const std::string bytes(value.data.begin(), value.data.end());
    return bytes.substr(0, bytes.find('\0'));
}

void Run(Input& in) {
    const uint8_t flags = in.Byte();
    const std::string path = (flags & 1) ? kSettingsPath : "Software\\Another";
    const std::optional<Value> start = DecodeValue(in);
    std::vector<Value> changes;
    while (!in.Done()) {
        if (auto value = DecodeValue(in)) changes.push_back(std::move(*value));
    }

    sim::SimRegistry registry;
    sim::SimDesktop desktop;
    if (start) registry.Put(kHkeyCurrentUser, path, "MSconnect", *start);
    // The texts the value held so far, and what it holds after the last change.
    std::set<std::string> texts;
    std::optional<Value> current = start;
    if (start && start->type == kRegSz) texts.insert(TextOf(*start));
    size_t next = 0;
    bool changedInRead = false;
    registry.afterSizeQuery = [&](const std::string&) {
        if (next == changes.size()) return;
        current = changes[next++];
        if (current->type == kRegSz) texts.insert(TextOf(*current));
        registry.Put(kHkeyCurrentUser, path, "MSconnect", *current);
        changedInRead = true;
    };

    {
        RegistryStore store(registry, desktop);
        for (int read = 0; read < ((flags & 2) ? 2 : 1); ++read) {
            changedInRead = false;
            const std::string text = store.RegistryValue("HKCU", path, "MSconnect", "");
            Check(text.empty() || texts.count(text) == 1,
                  "read " + Shown(text) + ", which the value never held as a text");
            const auto now = registry.Get(kHkeyCurrentUser, path, "MSconnect");
            if (current) {
                Check(now && now->type == current->type && TextOf(*now) == TextOf(*current),
                      "the read changed the value it read: " + Shown(TextOf(*current)) +
                          " became " + (now ? Shown(TextOf(*now)) : "missing"));
            } else {
                Check(!now || (now->type == kRegSz && TextOf(*now).empty()),
                      "a missing value was read into something");
            }
            if (!changedInRead && current) {
                const std::string held = current->type == kRegSz ? TextOf(*current) : "";
                Check(text == held,
                      "a read of a value left alone gave " + Shown(text) + ", not " + Shown(held));
            }
        }
    }
    Check(registry.OpenHandles() == 0 && registry.OpenEvents() == 0, "registry handles left open");
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrel::fuzz::Input in(data, size);
    ostrel::fuzz::Run(in);
    return 0;
}
