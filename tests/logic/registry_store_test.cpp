#include "support/registry_store.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_registry.h"

namespace ostrel {
namespace {

using sim::SimRegistry;
using Write = SimRegistry::Write;

constexpr const char* kPath = "Software\\TOVAN\\RODazedur";

class RegistryStoreTest : public ::testing::Test {
  protected:
    std::string Read(const std::string& name, const std::string& root = "HKCU") {
        return store.RegistryValue(root, kPath, name, "");
    }
    std::optional<std::string> Stored(const std::string& name, RegKey root = kHkeyCurrentUser) {
        return registry.Text(root, kPath, name);
    }

    SimRegistry registry;
    sim::SimDesktop desktop;
    RegistryStore store{registry, desktop};
};

// Copies share the values unlocked: a read that wrote could undo what another copy has just
// written.
TEST(RegistryStoreReads, NeverWrite) {
    const std::function<void(SimRegistry&)> given[] = {
        [](SimRegistry&) {},  // no key
        [](SimRegistry& r) { r.PutText(kHkeyCurrentUser, kPath, "Other", "x"); },
        [](SimRegistry& r) { r.PutText(kHkeyCurrentUser, kPath, "Logging", ""); },
        [](SimRegistry& r) {
            r.Put(kHkeyCurrentUser, kPath, "Logging", {kRegDword, {1, 0}});
        },
    };
    for (size_t i = 0; i < std::size(given); ++i) {
        SCOPED_TRACE(i);
        SimRegistry registry;
        sim::SimDesktop desktop;
        RegistryStore store(registry, desktop);
        given[i](registry);
        const bool keyBefore = registry.KeyExists(kHkeyCurrentUser, kPath);
        const auto before = registry.Get(kHkeyCurrentUser, kPath, "Logging");
        for (int read = 0; read < 2; ++read) {
            EXPECT_EQ(store.RegistryValue("HKCU", kPath, "Logging", ""), "");
            EXPECT_EQ(store.ReadSetting("Logging"), "");
        }
        EXPECT_TRUE(registry.writes.empty());
        EXPECT_EQ(registry.KeyExists(kHkeyCurrentUser, kPath), keyBefore);
        const auto after = registry.Get(kHkeyCurrentUser, kPath, "Logging");
        EXPECT_EQ(after ? after->data : std::vector<uint8_t>{9},
                  before ? before->data : std::vector<uint8_t>{9});
    }
}

TEST_F(RegistryStoreTest, WritesRoundTripIncludingASingleBlank) {
    EXPECT_EQ(store.RegistryValue("HKCU", kPath, "MSconnect", " "), " ");
    const auto value = registry.Get(kHkeyCurrentUser, kPath, "MSconnect");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, (std::vector<uint8_t>{' ', 0}));
    EXPECT_EQ(Read("MSconnect"), " ");
    EXPECT_EQ(store.Setting("cSesId", "12"), "12");
    EXPECT_EQ(store.Setting("cSesId"), "12");
    EXPECT_EQ(registry.writes, (std::vector<Write>{{"MSconnect", " "}, {"cSesId", "12"}}));
}

TEST_F(RegistryStoreTest, ReadsWhatIsStoredUpToItsFirstNul) {
    const std::string withNul("AB\0CD", 6);
    registry.Put(kHkeyCurrentUser, kPath, "MSconnect",
                 {kRegSz, std::vector<uint8_t>(withNul.begin(), withNul.end())});
    EXPECT_EQ(Read("MSconnect"), "AB");
    // Stored without a terminating NUL: all of it.
    registry.Put(kHkeyCurrentUser, kPath, "cSesId", {kRegSz, {'1', '2'}});
    EXPECT_EQ(Read("cSesId"), "12");
    // A text that happens to read "NoJoy" is an ordinary text.
    registry.PutText(kHkeyCurrentUser, kPath, "NSesDly", "NoJoy");
    EXPECT_EQ(Read("NSesDly"), "NoJoy");
    EXPECT_TRUE(registry.writes.empty());
}

TEST_F(RegistryStoreTest, AValueOfAnotherTypeReadsEmptyAndIsLeftAlone) {
    registry.Put(kHkeyCurrentUser, kPath, "Logging", {kRegDword, {1, 0, 0, 0}});
    EXPECT_EQ(Read("Logging"), "");
    const auto value = registry.Get(kHkeyCurrentUser, kPath, "Logging");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegDword);
    EXPECT_EQ(value->data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_TRUE(registry.writes.empty());
}

TEST_F(RegistryStoreTest, RootIsCaseBlindAndSelectsTheMachineOrTheUser) {
    EXPECT_EQ(store.RegistryValue("hkcu", kPath, "A", "user"), "user");
    EXPECT_EQ(Stored("A"), "user");
    EXPECT_EQ(store.RegistryValue("HkLm", kPath, "B", "machine"), "machine");
    EXPECT_EQ(Stored("B", kHkeyLocalMachine), "machine");
    EXPECT_EQ(Stored("B"), std::nullopt);
    EXPECT_EQ(store.RegistryValue("hklm", kPath, "B", ""), "machine");
    EXPECT_TRUE(desktop.messageBoxes.empty());
}

TEST_F(RegistryStoreTest, ArgumentErrorsShowTheirTextAndTouchNothing) {
    struct Case {
        const char* root;
        const char* path;
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"", kPath, "A", "Missing HKey Value"},     {"", "", "", "Missing HKey Value"},
        {"HKCR", kPath, "A", "Invalid HKey Value"}, {"HKCU ", kPath, "A", "Invalid HKey Value"},
        {"HKCU", "", "A", "Missing Path"},          {"HKCU", "", "", "Missing Path"},
        {"HKCU", kPath, "", "Value Name Missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.root) + "|" + c.path + "|" + c.name);
        desktop.messageBoxes.clear();
        EXPECT_EQ(store.RegistryValue(c.root, c.path, c.name, "x"), "");
        EXPECT_EQ(store.RegistryValue(c.root, c.path, c.name, ""), "");
        ASSERT_EQ(desktop.messageBoxes.size(), 2u);
        EXPECT_EQ(desktop.messageBoxes[0].text, c.text);
        EXPECT_EQ(desktop.messageBoxes[0].caption, "Tovan Regestery Function Error");
        EXPECT_EQ(desktop.messageBoxes[0].style, 64u);
    }
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_FALSE(registry.KeyExists(kHkeyCurrentUser, "Software"));
}

TEST_F(RegistryStoreTest, RegistryFailuresAreNotReported) {
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "3YABC~");
    registry.DenyWrites(kHkeyCurrentUser, kPath);
    // A failed write still answers with the value and leaves the old one.
    EXPECT_EQ(store.Setting("MSconnect", "4NXYZ~"), "4NXYZ~");
    EXPECT_EQ(Stored("MSconnect"), "3YABC~");
    // A key that cannot be created reads as a missing value.
    registry.DenyWrites(kHkeyCurrentUser, "Software\\Elsewhere");
    EXPECT_EQ(store.RegistryValue("HKCU", "Software\\Elsewhere", "A", ""), "");
    EXPECT_TRUE(desktop.messageBoxes.empty());
}

TEST_F(RegistryStoreTest, AValueThatGrowsWhileBeingReadIsReadWhole) {
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "3YABC~");
    int growths = 0;
    registry.afterSizeQuery = [&](const std::string&) {
        if (growths++ == 0) registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "3YABC~4NXYZ~");
    };
    EXPECT_EQ(Read("MSconnect"), "3YABC~4NXYZ~");
}

TEST_F(RegistryStoreTest, AValueRewrittenAtEveryAttemptIsNotReadAndNotWritten) {
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "3YABC~");
    std::string grown = "3YABC~";
    registry.afterSizeQuery = [&](const std::string&) {
        grown += "4NXYZ~";
        registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", grown);
    };
    EXPECT_EQ(Read("MSconnect"), "");
    // Said as such to a caller that must tell it from an empty value.
    EXPECT_EQ(store.ReadSetting("MSconnect"), std::nullopt);
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_EQ(Stored("MSconnect"), grown);
    // Still there for the next read once the value holds still.
    registry.afterSizeQuery = nullptr;
    EXPECT_EQ(store.ReadSetting("MSconnect"), grown);
}

// Text when its size was asked, something else when it is read: read as a value of another
// type is, never as text made of its bytes.
TEST_F(RegistryStoreTest, AValueWhoseTypeChangesWhileBeingReadIsNoText) {
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "3YABC~");
    registry.afterSizeQuery = [&](const std::string&) {
        registry.Put(kHkeyCurrentUser, kPath, "MSconnect",
                     {3 /* REG_BINARY */, {'4', 'N', 'X', '~'}});
        registry.afterSizeQuery = nullptr;
    };
    EXPECT_EQ(Read("MSconnect"), "");
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_EQ(registry.Get(kHkeyCurrentUser, kPath, "MSconnect")->type, 3u);
}

TEST_F(RegistryStoreTest, EveryKeyOpenedIsClosedTheWatchedOneWithTheStore) {
    {
        RegistryStore other(registry, desktop);
        const auto read = [&](const char* name) { return other.Setting(name); };
        read("Logging");
        other.Setting("Logging", "Y");
        read("Logging");
        read("Logging");
        registry.Put(kHkeyCurrentUser, kPath, "Other", {kRegDword, {0, 0, 0, 0}});
        read("Other");
        registry.DenyWrites(kHkeyCurrentUser, kPath);
        other.Setting("Logging", "N");
        read("Missing");
        EXPECT_LE(registry.OpenHandles(), 1u);
    }
    EXPECT_EQ(registry.OpenHandles(), 0u);
    EXPECT_EQ(registry.OpenEvents(), 0u);
}

TEST_F(RegistryStoreTest, AnUnchangedKeyIsReadFromMemoryAndAnyChangeIsReadAtOnce) {
    int realReads = 0;
    registry.afterSizeQuery = [&](const std::string&) { ++realReads; };
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "2YFront Desk~");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Read("MSconnect"), "2YFront Desk~");
    EXPECT_EQ(realReads, 1);

    // Another copy writes: the next read sees it.
    registry.PutText(kHkeyCurrentUser, kPath, "MSconnect", "2DFront Desk~");
    EXPECT_EQ(Read("MSconnect"), "2DFront Desk~");
    // A write of this store's own, to any value, is read back from the registry too.
    store.Setting("cSesId", "2");
    EXPECT_EQ(Read("MSconnect"), "2DFront Desk~");
    EXPECT_EQ(realReads, 3);
    // Other keys and roots are always read.
    registry.PutText(kHkeyLocalMachine, kPath, "MSconnect", "9");
    EXPECT_EQ(Read("MSconnect", "HKLM"), "9");
    EXPECT_EQ(Read("MSconnect", "HKLM"), "9");
    EXPECT_EQ(realReads, 5);
}

// The loop's sleep ends for what another copy writes: a value that now reads other than this
// store last read or wrote it. Its own writes, and another's that change nothing, are no news.
TEST_F(RegistryStoreTest, AValueChangedByAnotherWriterIsNewsOnce) {
    const auto put = [&](const char* name, const char* text) {
        registry.PutText(kHkeyCurrentUser, kPath, name, text);
    };
    const auto news = [&] { return store.ChangedElsewhere({"MSconnect", "NSesDly"}); };
    put("MSconnect", "2YFront Desk~");
    put("NSesDly", "OFF");
    EXPECT_FALSE(news());
    ASSERT_NE(store.ChangeEvent(), 0u);
    const struct {
        const char* what;
        std::function<void()> change;
        bool news;
    } changes[] = {
        {"own write", [&] { store.Setting("MSconnect", "2NFront Desk~"); }, false},
        {"the same text again", [&] { put("NSesDly", "OFF"); }, false},
        {"another's request", [&] { put("MSconnect", "2RFront Desk~"); }, true},
        {"another value", [&] { put("Logging", "Y"); }, false},
        {"the hold", [&] { put("NSesDly", "ON"); }, true},
        {"own write refused",
         [&] {
             registry.DenyWrites(kHkeyCurrentUser, kPath);
             store.Setting("MSconnect", "2PFront Desk~");
         },
         false},
        {"own write refused again", [&] { store.Setting("NSesDly", "ON"); }, false},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_EQ(news(), c.news);
        EXPECT_FALSE(news());
        // Watched again, its event clear until the next change, by one notification only: a
        // watch that has not fired (this copy's write refused) is not asked for again.
        ASSERT_NE(store.ChangeEvent(), 0u);
        EXPECT_FALSE(registry.IsEventSet(store.ChangeEvent()));
        EXPECT_EQ(registry.Watches(), 1u);
    }
}

}  // namespace
}  // namespace ostrel
