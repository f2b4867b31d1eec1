// The settings store against the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "platform/sim/sim_desktop.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_registry.h"
#include "reader/reader_statistics.h"
#include "support/registry_store.h"
#include "tests/win32/dialog_presser.h"

namespace ostrel::win32 {
namespace {

class RegistryWin32Test : public ::testing::Test {
  protected:
    RegistryWin32Test() : path("Software\\OstrelTests\\" + std::to_string(GetCurrentProcessId())) {}
    ~RegistryWin32Test() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OstrelTests");
    }

    std::string Read(const std::string& name) {
        return store.RegistryValue("HKCU", path, name, "");
    }
    // Type and bytes as the registry holds them; type 0 when the value is missing.
    std::pair<DWORD, std::string> Raw(const std::string& name) {
        char data[256] = {};
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                         &type, data, &size) != ERROR_SUCCESS) {
            return {0, ""};
        }
        return {type, std::string(data, size)};
    }
    void PutRaw(const std::string& name, DWORD type, const std::string& bytes) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }

    std::string path;
    Win32Registry registry;
    sim::SimDesktop desktop;
    RegistryStore store{registry, desktop};
};

// Wine compares only the low half of a predefined key; Windows takes the SDK's whole value.
TEST(RegistryWin32Keys, ThePredefinedKeysAreTheSdksValues) {
    EXPECT_EQ(kHkeyCurrentUser, reinterpret_cast<RegKey>(HKEY_CURRENT_USER));
    EXPECT_EQ(kHkeyLocalMachine, reinterpret_cast<RegKey>(HKEY_LOCAL_MACHINE));
}

// Reads never write: a missing key is not created, a missing value stays missing.
TEST_F(RegistryWin32Test, AMissingKeyOrValueReadsEmptyAndIsLeftMissing) {
    EXPECT_EQ(store.ReadValue("HKCU", path, "Logging"), "");
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    PutRaw("Other", REG_SZ, std::string("x\0", 2));
    EXPECT_EQ(store.ReadValue("HKCU", path, "Logging"), "");
    EXPECT_EQ(Raw("Logging").first, 0u);
}

TEST_F(RegistryWin32Test, ABlankRoundTrips) {
    EXPECT_EQ(store.RegistryValue("HKCU", path, "MSconnect", " "), " ");
    EXPECT_EQ(Raw("MSconnect"), (std::pair<DWORD, std::string>{REG_SZ, std::string(" \0", 2)}));
    EXPECT_EQ(Read("MSconnect"), " ");
    EXPECT_EQ(store.RegistryValue("hkcu", path, "MSconnect", "3YABC~"), "3YABC~");
    EXPECT_EQ(store.RegistryValue("hkcu", path, "MSconnect", ""), "3YABC~");
}

TEST_F(RegistryWin32Test, AnEmbeddedNulCutsTheText) {
    PutRaw("MSconnect", REG_SZ, std::string("AB\0CD\0", 6));
    EXPECT_EQ(Read("MSconnect"), "AB");
}

TEST_F(RegistryWin32Test, ADwordValueReadsEmptyAndKeepsItsValue) {
    PutRaw("Logging", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(Read("Logging"), "");
    EXPECT_EQ(Raw("Logging"),
              (std::pair<DWORD, std::string>{REG_DWORD, std::string("\x01\x00\x00\x00", 4)}));
}

TEST_F(RegistryWin32Test, AWrongRootShowsTheErrorBoxAndTouchesNothing) {
    Win32Desktop realDesktop;
    RegistryStore realStore(registry, realDesktop);
    DialogPresser presser("Tovan Regestery Function Error", IDOK);
    EXPECT_EQ(realStore.RegistryValue("HKCR", path, "Logging", "Y"), "");
    ASSERT_TRUE(presser.Join());
    EXPECT_EQ(presser.Text(), "Invalid HKey Value");
    EXPECT_EQ(Raw("Logging").first, 0u);
}

// The real registry, with another writer that strikes between a size query and the read.
class InterruptedRegistry : public Win32Registry {
  public:
    long QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                    uint32_t* size) override {
        const long rc = Win32Registry::QueryValue(key, name, type, data, size);
        if (!data && strikes > 0) {
            --strikes;
            strike();
        }
        return rc;
    }
    std::function<void()> strike;
    int strikes = 0;
};

// What the store relies on when a value changes under it: a buffer sized before the change
// gets ERROR_MORE_DATA, and the read after it reports the value's new type.
TEST_F(RegistryWin32Test, AValueChangedBetweenSizeAndReadIsReadAgainOrSaidUnreadable) {
    InterruptedRegistry interrupted;
    RegistryStore own(interrupted, desktop);
    std::string table = "2YFront Desk~";
    PutRaw("MSconnect", REG_SZ, table + '\0');
    interrupted.strike = [&] {
        table += "5NBack~";
        PutRaw("MSconnect", REG_SZ, table + '\0');
    };
    // Once: read again, whole.
    interrupted.strikes = 1;
    EXPECT_EQ(own.ReadValue("HKCU", path, "MSconnect"), "2YFront Desk~5NBack~");
    // At every attempt: unreadable, and nothing written over it.
    interrupted.strikes = 100;
    EXPECT_EQ(own.ReadValue("HKCU", path, "MSconnect"), std::nullopt);
    EXPECT_EQ(own.RegistryValue("HKCU", path, "MSconnect", ""), "");
    const int strikesTaken = 100 - interrupted.strikes;
    EXPECT_EQ(strikesTaken, 6);
    EXPECT_EQ(Raw("MSconnect"), (std::pair<DWORD, std::string>{REG_SZ, table + '\0'}));

    // Text when sized, four bytes of another type when read: no text.
    PutRaw("MSconnect", REG_SZ, std::string("2YFront Desk~\0", 14));
    interrupted.strike = [&] { PutRaw("MSconnect", REG_BINARY, "4NX~"); };
    interrupted.strikes = 1;
    EXPECT_EQ(own.ReadValue("HKCU", path, "MSconnect"), "");
    EXPECT_EQ(Raw("MSconnect"), (std::pair<DWORD, std::string>{REG_BINARY, "4NX~"}));
}

}  // namespace
}  // namespace ostrel::win32

namespace ostrel::win32 {
namespace {

// The store remembers the program's own values until the registry reports a change to its
// key; what it relies on is that a write by another process is reported at once.
TEST(RegistryWin32Watch, AValueAnotherProcessWritesIsReadAtOnce) {
    Win32Registry registry;
    sim::SimDesktop desktop;
    RegistryStore store(registry, desktop);
    store.Setting("MSconnect", "2YFront Desk~");
    EXPECT_EQ(store.Setting("MSconnect"), "2YFront Desk~");
    EXPECT_EQ(store.Setting("MSconnect"), "2YFront Desk~");

    char command[] =
        "reg add \"HKCU\\Software\\TOVAN\\RODazedur\" /v MSconnect /t REG_SZ /d 2DOther~ /f";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(store.Setting("MSconnect"), "2DOther~");
    // This copy's own writes read back at once, each right after the key was looked at.
    for (const char* text : {"2YFront Desk~", "2AGuest Folio~", " "}) {
        store.Setting("MSconnect", text);
        EXPECT_EQ(store.Setting("MSconnect"), text);
    }
}

// The read statistics in the real registry: counts as DWORDs, each reader's key listed by
// RegEnumKeyExA under the name it was made with, and read back as they were counted.
TEST(RegistryWin32Statistics, CountsRoundTripAndEachReaderIsListed) {
    const std::string root = "Software\\OstrelTests\\" + std::to_string(GetCurrentProcessId());
    Win32Registry registry;
    sim::SimDesktop desktop;
    ReaderStatistics statistics(registry, desktop);
    statistics.SetPath(root + "\\Readers");
    ReaderIdentity reader;
    reader.productId = 2;
    for (const char* serial : {"Sr9-b", "SR02-0417"}) {
        reader.serialNumber = serial;
        statistics.ReaderTaken(reader);
        statistics.CountSwipe(SwipeOutcome::Read, true);
    }
    statistics.CountSwipe(SwipeOutcome::Undecodable, false);
    const StatisticsView view = ReadStatistics(registry, root + "\\Readers");
    RegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());
    EXPECT_TRUE(view.readable);
    EXPECT_EQ(view.lastReader, "SR02-0417");
    ASSERT_EQ(view.readers.size(), 2u);
    EXPECT_EQ(view.readers[0].name, "SR02-0417");
    EXPECT_EQ(view.readers[0].undecodable, 1u);
    EXPECT_EQ(view.readers[0].recent, "RF");
    EXPECT_EQ(view.readers[1].name, "Sr9-b");
    EXPECT_EQ(view.readers[1].delivered, 1u);
    EXPECT_EQ(LocalDateText().size(), 10u);  // "2026-03-04"
}

}  // namespace
}  // namespace ostrel::win32
