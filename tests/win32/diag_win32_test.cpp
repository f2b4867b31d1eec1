// The diagnostics tool itself under Wine: a machine with no reader, the stand-in host control
// registered and not, a log folder of its own, and the JSON form.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/unique_handle.h"
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

struct DiagRun {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
};

// Runs the tool with its standard output on a pipe, to its end.
DiagRun RunDiag(const std::string& args) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string line = "\"" + BuildDir() + "\\ostrel-diag.exe\" " + args;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return {};
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    writer.Reset();  // the child's copy is the only writer left: its end ends the reads
    DiagRun run;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.out.append(buffer, got);
    WaitForSingleObject(process.Get(), 30000);
    GetExitCodeProcess(process.Get(), &run.exitCode);
    return run;
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
    const DiagRun run = RunDiag("--dir \"" + folder.path + "\"");
    EXPECT_EQ(run.exitCode, 1u) << run.out;
    EXPECT_NE(run.out.find("Card reader: FAIL - no reader"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Host control: FAIL - the control is not registered"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Log folder: OK - the log can be written"), std::string::npos);
    EXPECT_NE(run.out.find("line=16:45:12 Card 4111************ refused"), std::string::npos)
        << run.out;
    // The scratch file went as it was closed; only the log is left.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder.path + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST(DiagTool, RegisteredStandinIsCreatableAndJsonParses) {
    StandinRegistration standin;
    ASSERT_TRUE(standin.Register());
    const DiagRun run = RunDiag("--json");
    EXPECT_EQ(run.exitCode, 1u);  // still no reader
    EXPECT_TRUE(json_check::IsDocument(run.out)) << run.out;
    EXPECT_NE(run.out.find("\"reason\": \"registered and creatable\""), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"per user\": \"registered, CLSID {B1C5317A-2A98-4912-84D2-"
                           "BC37EC6E35FF}\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("kt4r_control.dll (file exists)"), std::string::npos) << run.out;
}

TEST(DiagTool, BadArgumentsGiveTheUsage) {
    const DiagRun run = RunDiag("--count 3");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.out.find("Usage: ostrel-diag"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace ostrel::win32
