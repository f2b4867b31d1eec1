// The settings store against the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_registry.h"
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

TEST_F(RegistryWin32Test, AMissingValueReadsEmptyAndIsLeftPresentAndEmpty) {
    EXPECT_EQ(Read("Logging"), "");
    EXPECT_EQ(Raw("Logging"), (std::pair<DWORD, std::string>{REG_SZ, std::string(1, '\0')}));
    EXPECT_EQ(Read("Logging"), "");
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
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(store.Setting("MSconnect"), "2DOther~");
    store.Setting("MSconnect", " ");
}

}  // namespace
}  // namespace ostrel::win32
