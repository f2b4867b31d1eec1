// Registering the stand-in host control as a trainer does, with regsvr32: per user, taken back
// by regsvr32 /u, and refused with nothing written where another server has the host control's
// name or the stand-in's class anywhere COM looks.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/com_ref.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_host_control.h"
#include "tests/training/win32/standin_dll.h"
#include "tests/win32/dialog_presser.h"
#include "tests/win32/made_key.h"

namespace ostrel::training {
namespace {

using ::ostrel::win32::ComApartment;
using ::ostrel::win32::ComRef;
using ::ostrel::win32::DialogPresser;

const std::string kClasses = "Software\\Classes";
const std::string kClassKey = kClasses + "\\CLSID\\" + kStandinClsidText;
const std::string kProgIdKey = kClasses + "\\" + kHostProgId;
const std::string kStandinDescription =
    "Ostrel training stand-in for the host control (forwards to the host emulator kt4r.exe)";
// Another server's class, made up for the tests.
const std::string kOtherClsid = "{0D2C48A1-5E7B-4C1F-9A63-2B8E4F1D7C50}";

// A key's text value; "<missing>" when the key or the value is not there.
std::string RegText(HKEY root, const std::string& key, const char* name = nullptr) {
    char data[512] = {};
    DWORD size = sizeof data;
    const LSTATUS s = RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size);
    return s == ERROR_SUCCESS ? data : "<missing>";
}

using ::ostrel::win32::KeyExists;

DWORD Regsvr32(const std::string& options, const std::string& dll = StandinDllPath()) {
    std::string line = "regsvr32.exe " + options + " \"" + dll + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return GetLastError();
    }
    CloseHandle(info.hThread);
    ::ostrel::win32::UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.Get(), 30000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

bool OnWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

bool ProgIdFindsUs() {
    CLSID clsid = {};
    return SUCCEEDED(CLSIDFromProgID(L"VEQSERVERLib.VEQServer", &clsid)) &&
           IsEqualCLSID(clsid, kStandinClsid);
}

// Where COM looks for a class: the user's and the machine's classes, each in both views.
struct Place {
    HKEY root;
    REGSAM view;
    const char* name;
};
const Place kUser64 = {HKEY_CURRENT_USER, KEY_WOW64_64KEY, "per user, 64-bit view"};
const Place kUser32 = {HKEY_CURRENT_USER, KEY_WOW64_32KEY, "per user, 32-bit view"};
const Place kMachine64 = {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "per machine, 64-bit view"};
const Place kMachine32 = {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "per machine, 32-bit view"};

// A key and everything under it as text: each key's path, then its values.
void Dump(const Place& place, const std::string& path, std::string& out) {
    std::vector<std::string> subkeys;
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(place.root, path.c_str(), 0, KEY_READ | place.view, &key)) return;
        out += path + "\n";
        char name[256];
        char data[1024];
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, dataSize = sizeof data;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS) {
                break;
            }
            out += "  " + std::string(name, nameSize) + "=" + std::string(data, dataSize) + "\n";
        }
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name;
            if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr)) break;
            subkeys.emplace_back(name, nameSize);
        }
        RegCloseKey(key);
    }
    for (const std::string& subkey : subkeys)
        Dump(place, path + "\\" + subkey, out);
}

// Every key a registration writes, as it stands in every place COM looks.
std::string Registrations() {
    std::string out;
    for (const Place* place : {&kUser64, &kUser32, &kMachine64, &kMachine32}) {
        out += std::string("[") + place->name + "]\n";
        Dump(*place, kClassKey, out);
        Dump(*place, kProgIdKey, out);
    }
    return out;
}

// Another server's registration, written by the test under parent\name in one place and
// deleted with everything under it on every way out.
class ForeignKey : public ::ostrel::win32::MadeKey {
  public:
    ForeignKey(const Place& place, const std::string& parent, std::string name,
               const std::string& under, const std::string& text)
        : MadeKey(place.root, parent, std::move(name), place.view), made_(SetText(under, text)) {}
    bool Made() const { return made_; }
    // One more text of the same registration, under its key.
    bool Add(const std::string& under, const std::string& text) {
        return made_ && SetText(under, text);
    }

  private:
    bool made_ = false;
};

// The text the last failing call left for its caller (SetErrorInfo), in ASCII.
std::string ErrorDescription() {
    ComRef<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) return "<no error info>";
    BSTR description = nullptr;
    info->GetDescription(&description);
    std::string text;
    for (UINT i = 0; i < SysStringLen(description); ++i)
        text += static_cast<char>(description[i]);
    SysFreeString(description);
    return text;
}

// Each test writes and deletes keys under the host control's name: not where the real control
// is registered.
class HostControlStandinRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string real = RealHostControlRegistered();
        if (!real.empty()) GTEST_SKIP() << real;
    }
};

TEST_F(HostControlStandinRegistration, Regsvr32RegistersForTheUserAndTakesItAllBack) {
    ComApartment com;
    // Registered from another folder first: the later registration is the one COM loads.
    char temp[MAX_PATH];
    const std::string copy = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "kt4r_control.dll";
    ASSERT_TRUE(CopyFileA(StandinDllPath().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(Regsvr32("/s", copy), 0u);
    ASSERT_EQ(Regsvr32("/s"), 0u);
    DeleteFileA(copy.c_str());
    EXPECT_EQ(
        lstrcmpiA(
            RegText(HKEY_CLASSES_ROOT, "CLSID\\" + kStandinClsidText + "\\InprocServer32").c_str(),
            StandinDllPath().c_str()),
        0);
    EXPECT_NE(RegText(HKEY_CURRENT_USER, kClassKey).find("stand-in"), std::string::npos);
    EXPECT_EQ(lstrcmpiA(RegText(HKEY_CURRENT_USER, kClassKey + "\\InprocServer32").c_str(),
                        StandinDllPath().c_str()),
              0);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kClassKey + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kClassKey + "\\ProgID"), kHostProgId);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProgIdKey + "\\CLSID"), kStandinClsidText);
    EXPECT_TRUE(ProgIdFindsUs());
    EXPECT_NO_THROW(::ostrel::win32::CreateHostControl());

    ASSERT_EQ(Regsvr32("/u /s"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProgIdKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStandinClsidText));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHostProgId));
}

TEST_F(HostControlStandinRegistration, AnotherServersProgIdIsNeverTouched) {
    ComApartment com;
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHostProgId)) << "the prefix has the ProgID already";
    struct Cleanup {
        ~Cleanup() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kHostProgId.c_str()); }
    } cleanup;

    // The real control installed after ours: unregistering leaves its ProgID alone.
    ASSERT_EQ(Regsvr32("/s"), 0u);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, (kHostProgId + "\\CLSID").c_str(), REG_SZ,
                           kOtherClsid.c_str(), 0),
              ERROR_SUCCESS);
    EXPECT_EQ(Regsvr32("/u /s"), 0u);
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, kHostProgId + "\\CLSID"), kOtherClsid);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));

    // Installed before: registering does not take it over. Where the user's own registration
    // is not found by the ProgID (Wine), it fails and leaves nothing of ours.
    const DWORD registered = Regsvr32("/s");
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, kHostProgId + "\\CLSID"), kOtherClsid);
    EXPECT_EQ(registered == 0, ProgIdFindsUs());
    EXPECT_TRUE(registered == 0 || !KeyExists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_EQ(Regsvr32("/u /s"), 0u);
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, kHostProgId + "\\CLSID"), kOtherClsid);
}

// A registration per user outranks the machine's, so another server's registration anywhere
// COM looks would be overridden: registering refuses, says why and writes nothing, and
// unregistering takes nothing of the other server's.
TEST_F(HostControlStandinRegistration, AnotherServerAnywhereComLooksIsRefusedWithNothingWritten) {
    ComApartment com;
    StandinDll dll;
    ASSERT_EQ(Registrations().find(kClasses), std::string::npos) << "something is registered";
    const std::string clsids = kClasses + "\\CLSID";
    const std::string otherDll = "C:\\Other\\veqserver.dll";
    const struct {
        const Place& place;
        const std::string& parent;
        std::string name, under, text;
        std::string says;  // in the refusal's text
    } cases[] = {
        {kMachine64, kClasses, kHostProgId, "\\CLSID", kOtherClsid, "HKEY_LOCAL_MACHINE"},
        {kMachine32, kClasses, kHostProgId, "\\CLSID", kOtherClsid, "HKEY_LOCAL_MACHINE"},
        {kUser64, kClasses, kHostProgId, "\\CurVer", kHostProgId + ".2", "names no class"},
        {kMachine32, clsids, kStandinClsidText, "\\InprocServer32", otherDll, otherDll},
        {kUser32, clsids, kStandinClsidText, "\\LocalServer32", "C:\\Other\\veq.exe", "veq.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.place.name) + ": " + c.name + c.under);
        ForeignKey foreign(c.place, c.parent, c.name, c.under, c.text);
        ASSERT_TRUE(foreign.Made());
        const std::string before = Registrations();

        EXPECT_NE(Regsvr32("/s"), 0u);
        EXPECT_EQ(Registrations(), before);
        EXPECT_EQ(dll.Call("DllRegisterServer"), SELFREG_E_CLASS);
        const std::string why = ErrorDescription();
        EXPECT_NE(why.find("registered for another server"), std::string::npos) << why;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_NE(why.find("Nothing was changed"), std::string::npos) << why;
        EXPECT_EQ(Registrations(), before);

        EXPECT_EQ(Regsvr32("/u /s"), 0u);
        EXPECT_EQ(Registrations(), before);
    }
}

// The stand-in's other build, registered beside it in the other view, is no other server; and
// unregistering this one, or a registration of it that failed, leaves that one whole, its name
// (ProgID) too: Windows keeps one ProgID key for both views and only the classes apart. Wine
// (8.0) keeps a machine's ProgIDs apart and a user's classes in one view, a case it skips.
TEST_F(HostControlStandinRegistration, TheOtherBuildBesideItIsNoOtherServerAndKeepsItsName) {
    ComApartment com;
    constexpr bool k64 = sizeof(void*) == 8;
    const REGSAM ownView = k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const std::string otherBuild = "C:\\Training\\other\\kt4r_control.dll";
    int viewsApart = 0;
    for (const Place* place : {k64 ? &kMachine32 : &kMachine64, k64 ? &kUser32 : &kUser64}) {
        SCOPED_TRACE(place->name);
        ForeignKey build(*place, kClasses + "\\CLSID", kStandinClsidText, "", kStandinDescription);
        ASSERT_TRUE(build.Add("\\InprocServer32", otherBuild) &&
                    build.Add("\\ProgID", kHostProgId));
        if (KeyExists(place->root, kClassKey, ownView)) continue;  // one view
        ++viewsApart;
        ForeignKey name(*place, kClasses, kHostProgId, "\\CLSID", kStandinClsidText);
        EXPECT_EQ(Regsvr32("/s"), 0u);
        EXPECT_TRUE(ProgIdFindsUs());
        EXPECT_EQ(Regsvr32("/u /s"), 0u);
        std::string left;
        Dump(*place, kClassKey, left);
        Dump(*place, kProgIdKey, left);
        EXPECT_NE(left.find(otherBuild), std::string::npos) << left;
        EXPECT_NE(left.find("=" + kStandinClsidText), std::string::npos) << left;
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, ownView));
    }
    if (viewsApart == 0) GTEST_SKIP() << "this registry shows one view of the classes";
}

// Unregistering takes back only what points at the DLL unregistered: a copy elsewhere leaves
// this one's registration as it is.
TEST_F(HostControlStandinRegistration, UnregisteringAnotherCopyLeavesThisOnesRegistration) {
    ComApartment com;
    char temp[MAX_PATH];
    const std::string copy = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "kt4r_control.dll";
    ASSERT_TRUE(CopyFileA(StandinDllPath().c_str(), copy.c_str(), FALSE));
    ASSERT_EQ(Regsvr32("/s"), 0u);
    const std::string registered = Registrations();
    EXPECT_EQ(Regsvr32("/u /s", copy), 0u);
    DeleteFileA(copy.c_str());
    EXPECT_EQ(Registrations(), registered);
    EXPECT_TRUE(ProgIdFindsUs());
    EXPECT_EQ(Regsvr32("/u /s"), 0u);
    EXPECT_EQ(Registrations().find(kClasses), std::string::npos) << Registrations();
}

TEST_F(HostControlStandinRegistration, Regsvr32ShowsWhyItRefused) {
    ForeignKey foreign(kMachine64, kClasses, kHostProgId, "\\CLSID", kOtherClsid);
    ASSERT_TRUE(foreign.Made());
    DialogPresser reason("kt4r_control", IDOK);
    // Then Windows' regsvr32 reports the failure's code in a box of its own; Wine's writes it
    // to the console.
    std::optional<DialogPresser> failed;
    if (!OnWine()) failed.emplace("RegSvr32", IDOK);
    EXPECT_NE(Regsvr32(""), 0u);
    ASSERT_TRUE(reason.Join());
    EXPECT_NE(reason.Text().find("VEQSERVERLib.VEQServer is registered for another server"),
              std::string::npos)
        << reason.Text();
    EXPECT_NE(reason.Text().find(kOtherClsid), std::string::npos) << reason.Text();
    EXPECT_TRUE(!failed || failed->Join());
}

// An elevated process does not see per-user classes: Windows only, run as administrator.
TEST(HostControlStandinElevated, RegistrationIsRefusedWithNothingWritten) {
    if (OnWine())
        GTEST_SKIP() << "Wine runs every program elevated, and its COM reads only the machine's "
                        "classes";
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        CloseHandle(token);
    }
    if (!elevation.TokenIsElevated) GTEST_SKIP() << "the tests do not run elevated";
    ComApartment com;
    StandinDll dll;
    const std::string before = Registrations();
    EXPECT_EQ(dll.Call("DllRegisterServer"), SELFREG_E_CLASS);
    EXPECT_NE(ErrorDescription().find("elevated"), std::string::npos) << ErrorDescription();
    EXPECT_EQ(Registrations(), before);
}

}  // namespace
}  // namespace ostrel::training
