// The diagnostics tool itself under Wine: a machine with no reader, the stand-in host control
// registered and not, a registration for the other build only, a log folder of its own, and the
// JSON form.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "platform/host_control.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_system_probe.h"
#include "tests/win32/console_run.h"
#include "tests/win32/made_key.h"
#include "tests/win32/scratch_folder.h"
#include "tests/logic/json_check.h"

namespace ostrel::win32 {
namespace {

std::string BuildDir() {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // .../tests
    GetFullPathNameA((dir + "\\..").c_str(), MAX_PATH, path, nullptr);
    return path;
}

// Runs the tool to its end.
ConsoleRun RunDiag(const std::string& args) {
    return RunConsoleProgram("\"" + BuildDir() + "\\ostrel-diag.exe\" " + args, 30000);
}

// The stand-in control, registered for the user by its own registration entry, as regsvr32
// would, and taken back at the end.
class StandinRegistration {
  public:
    StandinRegistration()
        : module_(LoadLibraryA((BuildDir() + "\\training\\kt4r_control.dll").c_str())) {}
    ~StandinRegistration() {
        if (registered_) Call("DllUnregisterServer");
        if (module_) FreeLibrary(module_);
    }
    StandinRegistration(const StandinRegistration&) = delete;
    StandinRegistration& operator=(const StandinRegistration&) = delete;
    bool Register() { return registered_ = Call("DllRegisterServer") == S_OK; }

  private:
    HRESULT Call(const char* name) {
        const auto entry = reinterpret_cast<HRESULT(__stdcall*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
        return entry ? entry() : E_FAIL;
    }
    HMODULE module_;
    bool registered_ = false;
};

// A log folder of the test's own, with a log that quotes a card number.
struct LogFolder {
    LogFolder() {
        char temp[MAX_PATH];
        path = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "ostrel-diag-test";
        CreateDirectoryA(path.c_str(), nullptr);
        UniqueHandle file(CreateFileA((path + "\\CCProcess.log").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string line = "16:45:12 Card 4111111111111111 refused\r\n";
        DWORD written = 0;
        WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    ~LogFolder() {
        DeleteFileA((path + "\\CCProcess.log").c_str());
        RemoveDirectoryA(path.c_str());
    }
    std::string path;
};

TEST(DiagTool, NoReaderAndNoControlStopTheProgram) {
    LogFolder folder;
    const ConsoleRun run = RunDiag("--dir \"" + folder.path + "\"");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("Card reader: FAIL - no reader"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Host control: FAIL - the control is not registered"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Log folder: OK - the log can be written"), std::string::npos);
    EXPECT_NE(run.output.find("line=16:45:12 Card 4111************ refused"), std::string::npos)
        << run.output;
    // Opened for appending, the log is left as it was.
    EXPECT_EQ(FileText(folder.path + "\\CCProcess.log"),
              "16:45:12 Card 4111111111111111 refused\r\n");
}

TEST(DiagTool, RegisteredStandinIsCreatableAndJsonParses) {
    StandinRegistration standin;
    ASSERT_TRUE(standin.Register());
    const ConsoleRun run = RunDiag("--json");
    EXPECT_EQ(run.exitCode, 1u);  // still no reader
    EXPECT_TRUE(json_check::IsDocument(run.output)) << run.output;
    EXPECT_NE(run.output.find("\"reason\": \"registered and creatable"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\"per user\": \"registered, CLSID {B1C5317A-2A98-4912-84D2-"
                              "BC37EC6E35FF}\""),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("kt4r_control.dll (file exists)"), std::string::npos) << run.output;
}

// The control registered in-process for the other bitness only: this build cannot load it, and
// the tool names the build that can. Per machine, as Wine keeps one per-user class key for both
// views. Written only where nothing of the control is registered.
TEST(DiagTool, NamesTheOtherBuildForAnInProcessControlOfItsBitness) {
    const bool tool64 = sizeof(void*) == 8;
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    if (!tool64 && system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL)
        GTEST_SKIP() << "32-bit Windows has one registry view: no other build to name";
    const REGSAM otherView = tool64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::string clsid = "{0E57AE10-B175-4D1A-9C33-5E0DB17AE5E1}";  // made up for the test
    const std::string progId = std::string("Software\\Classes\\") + kHostControlProgId;
    if (KeyExists(HKEY_CURRENT_USER, progId, 0) || KeyExists(HKEY_LOCAL_MACHINE, progId, 0) ||
        KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + clsid, otherView))
        GTEST_SKIP() << "the host control is registered here: its registration is left alone";
    char self[MAX_PATH];
    const std::string server(self, GetModuleFileNameA(nullptr, self, MAX_PATH));  // it exists
    {
        MadeKey progIdKey(HKEY_LOCAL_MACHINE, "Software\\Classes", kHostControlProgId, 0);
        MadeKey classKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", clsid, otherView);
        if (!classKey.SetText("\\InprocServer32", server))
            GTEST_SKIP() << "the machine's classes (of the other view) cannot be written here";
        ASSERT_TRUE(progIdKey.SetText("\\CLSID", clsid));
        const std::string output = RunDiag("").output;
        const std::string other = tool64 ? "32-bit" : "64-bit";
        const std::string otherBuild = tool64 ? "32-bit (x86) build" : "64-bit (x64) build";
        EXPECT_NE(output.find("Host control: FAIL - the control is registered only as a " + other +
                              " in-process server"),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find("install the " + otherBuild +
                              " in this one's place (its package keeps this folder)\n"),
                  std::string::npos);
        EXPECT_NE(output.find("build to use: the " + otherBuild + "\n"), std::string::npos);
        EXPECT_NE(output.find("per machine " + other + " view: in-process server " + server),
                  std::string::npos);
    }
    // What the test wrote is gone again.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, progId, 0));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + clsid, otherView));
}

// The log folder of a user profile named in a script the ANSI code page lacks, given on the
// command line: checked where it is, and named in the report as the code page can.
TEST(DiagTool, ALogFolderNamedOutsideTheCodePageIsChecked) {
    if (AnsiCodePageHolds(kCyrillicName))
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " holds the folder's name";
    ScratchFolder folder(std::string("ostrel-diag-") + kCyrillicName);
    UniqueHandle file(CreateFileW(WidePath(folder.path + "\\CCProcess.log").c_str(), GENERIC_WRITE,
                                  0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string line = "16:45:12 Card 4111111111111111 refused\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    file.Reset();
    const ConsoleRun run = RunConsoleProgram(
        WidePath("\"" + BuildDir() + "\\ostrel-diag.exe\" --dir \"" + folder.path + "\""), 30000);
    EXPECT_NE(run.output.find("Log folder: OK - the log can be written"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("line=16:45:12 Card 4111************ refused"), std::string::npos);
    const std::string shown = folder.path.substr(0, folder.path.find(kCyrillicName)) + "?????";
    EXPECT_NE(run.output.find("folder: " + shown + "-"), std::string::npos) << run.output;
}

// The tool's file calls take the program's paths (UTF-8), and also a path read from the
// registry as ANSI text, such as a control's server.
TEST(DiagProbe, FileCallsTakeUtf8PathsAndAnsiTexts) {
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
    ScratchFolder folder("ostrel-probe-Caf\xC3\xA9");
    std::string ansi = folder.path;
    ansi.replace(ansi.find("\xC3\xA9"), 2, "\xE9");
    Win32SystemProbe probe;
    for (const std::string& path : {folder.path, ansi}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(probe.FileAttributes(path) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
        // A missing log is not made, whoever asks; whether this user could make it is told.
        EXPECT_EQ(probe.OpenForAppend(path + "\\CCProcess.log"), DWORD{ERROR_FILE_NOT_FOUND});
        EXPECT_EQ(probe.MayCreateFileIn(path), 0u);
        EXPECT_NE(probe.MayCreateFileIn(path + "\\none"), 0u);
    }
    EXPECT_EQ(probe.FileAttributes(folder.path + "\\CCProcess.log"), INVALID_FILE_ATTRIBUTES);
    // One there is opened for appending as the program opens its log, and never written.
    std::ofstream(std::filesystem::path(WidePath(folder.path + "\\CCProcess.log"))) << "x";
    for (const std::string& path : {folder.path, ansi})
        EXPECT_EQ(probe.OpenForAppend(path + "\\CCProcess.log"), 0u) << path;
    EXPECT_EQ(FileText(folder.path + "\\CCProcess.log"), "x");
    EXPECT_EQ(probe.AnsiToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

// What a fleet's report is filed under comes from the system.
TEST(DiagProbe, NamesTheComputerTheUserAndTheTime) {
    Win32SystemProbe probe;
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(probe.ComputerName(), name);
    EXPECT_FALSE(probe.UserName().empty());
    SYSTEMTIME now;
    GetSystemTime(&now);
    const UtcTime probed = probe.SystemTimeUtc();
    EXPECT_EQ(probed.year, now.wYear);
    EXPECT_GE(probed.month, 1);
    EXPECT_LE(probed.month, 12);
}

TEST(DiagTool, BadArgumentsGiveTheUsage) {
    const ConsoleRun run = RunDiag("--count 3");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("Usage: ostrel-diag"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace ostrel::win32
