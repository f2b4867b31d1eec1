// The host emulator kt4r.exe and kt4r_remote.exe as separate processes under Wine: requests
// reaching the window, one emulator at a time, starting the program, the remote's exit codes and
// output, its screenshot, and quitting. Also the screenshot's PNG encoding.
#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/win32/unique_handle.h"
#include "tests/win32/console_run.h"
#include "tests/win32/dialog_presser.h"
#include "tests/win32/windows_under_test.h"
#include "training/emulator_core.h"
#include "training/win32/pipe.h"
#include "training/win32/png_encode.h"

namespace ostrel::training::win32 {
namespace {

using ostrel::win32::ConsoleRun;
using ostrel::win32::DialogPresser;
using ostrel::win32::RunConsoleProgram;
using ostrel::win32::UniqueHandle;
using ostrel::win32::WaitFor;
using ostrel::win32::WindowOf;

std::string TrainingDirectory() {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // <build>\tests
    return dir + "\\..\\training\\";
}

const std::string kEmulator = TrainingDirectory() + "kt4r.exe";
const std::string kRemote = TrainingDirectory() + "kt4r_remote.exe";

std::string BigEndian(uint32_t value) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

// A process the test started or was told of; ended on every way out of the test.
struct Child {
    UniqueHandle handle;
    DWORD id = 0;

    ~Child() {
        if (handle && WaitForSingleObject(handle.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(handle.Get(), 99);
            WaitForSingleObject(handle.Get(), 5000);
        }
    }
    bool Ends(DWORD ms) const { return WaitForSingleObject(handle.Get(), ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle.Get(), &code);
        return code;
    }
};

void Start(Child& child, const std::string& command) {
    std::string line = command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        child.handle = UniqueHandle(info.hProcess);
        child.id = info.dwProcessId;
    }
}

Message Call(const Message& request) {
    return CallEmulator(request).value_or(Message{"<no emulator>"});
}

ConsoleRun RunRemote(const std::string& arguments) {
    return RunConsoleProgram("\"" + kRemote + "\" " + arguments, 15000);
}

// The command line as the process received it, from its process parameters.
std::string CommandLineOf(HANDLE process) {
    using Query = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters,
                           nullptr)) {
        return "<unreadable>";
    }
    std::wstring wide(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, wide.data(),
                           parameters.CommandLine.Length, nullptr)) {
        return "<unreadable>";
    }
    std::string text;
    for (const wchar_t c : wide)
        text += static_cast<char>(c);  // the test's paths and texts are plain ASCII
    return text;
}

// A child control of the window by its class and (when given) its text.
HWND ChildOf(HWND window, const char* windowClass, const std::string* text = nullptr) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        char shown[512] = {};
        SendMessageTimeoutA(child, WM_GETTEXT, sizeof shown, reinterpret_cast<LPARAM>(shown),
                            SMTO_ABORTIFHUNG, 2000, nullptr);
        if (lstrcmpiA(name, windowClass) == 0 && (!text || *text == shown)) return child;
    }
    return nullptr;
}

class EmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(CallEmulator({"pending"}, 500)) << "another host emulator is running";
    }
    void StartEmulator() {
        Start(emulator, "\"" + kEmulator + "\"");
        ASSERT_TRUE(emulator.handle) << GetLastError();
        ASSERT_TRUE(WaitFor([] { return Call({"pending"}) == OkReply({"0"}); }, 15000));
    }

    Child emulator;
};

TEST_F(EmulatorTest, RequestsReachTheSessionTheWindowShowsThemAndClosingItEnds) {
    StartEmulator();
    HWND window = WindowOf(emulator.id, "Kt4rHostEmulator");
    ASSERT_TRUE(window);
    ASSERT_EQ(Call({"show", "C"}), OkReply());
    ASSERT_EQ(Call({"screen", "C", "Back Office"}), OkReply());
    ASSERT_EQ(Call(ControlCall(49, {ControlArg::Long(2), ControlArg::Long(0)})), OkReply({""}));
    const Message session = Call({"session", "C"});
    ASSERT_EQ(session.size(), 3 + 2 * kCardFields.size());
    EXPECT_EQ(session[1], "Back Office");
    EXPECT_EQ(session[2], "attached");
    EXPECT_EQ(session[3], "WFNAM");

    // Requests are handled on the window's thread, which shows what changed a moment later.
    const std::string screen = "Back Office", attached = "Control: attached to this session";
    HWND calls = ChildOf(window, "ListBox");
    ASSERT_TRUE(calls);
    EXPECT_TRUE(WaitFor(
        [&] {
            return ChildOf(window, "Edit", &screen) && ChildOf(window, "Static", &attached) &&
                   SendMessageA(calls, LB_GETCOUNT, 0, 0) == 1;
        },
        2000));

    // Closing the window ends the host.
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(emulator.Ends(10000));
    EXPECT_EQ(emulator.ExitCode(), 0u);
}

TEST_F(EmulatorTest, ASecondEmulatorSaysSoAndEndsWhileTheFirstServesOn) {
    StartEmulator();
    DialogPresser presser("kt4r host emulator", IDOK);
    Child second;
    Start(second, "\"" + kEmulator + "\"");
    ASSERT_TRUE(second.handle);
    EXPECT_TRUE(presser.Join());
    EXPECT_NE(presser.Text().find("running already"), std::string::npos) << presser.Text();
    ASSERT_TRUE(second.Ends(10000));
    EXPECT_EQ(second.ExitCode(), 1u);
    EXPECT_EQ(Call({"pending"}), OkReply({"0"}));
}

// On a terminal server each trainee runs an emulator in a session of their own: the one
// serving another session neither keeps this session's emulator out nor takes its calls.
TEST_F(EmulatorTest, AnotherSessionsEmulatorNeitherKeepsThisOneOutNorTakesItsCalls) {
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(EmulatorPipeName(), EmulatorPipeName(session));
    std::atomic<int> otherCalls = 0;
    PipeServer otherSession(
        [&otherCalls](const Message&) {
            ++otherCalls;
            return OkReply({"another session"});
        },
        EmulatorPipeName(session + 1));
    ASSERT_TRUE(otherSession.Started());
    StartEmulator();
    EXPECT_EQ(Call({"pending"}), OkReply({"0"}));
    EXPECT_EQ(otherCalls, 0);
    EXPECT_EQ(CallEmulator({"pending"}, 1000, EmulatorPipeName(session + 1)),
              OkReply({"another session"}));
}

// Through the computer's network name a client comes as a remote one, which the emulator's
// pipe refuses; a pipe that admits remote clients shows whether this machine has that path.
TEST(EmulatorPipe, RefusesRemoteClients) {
    const std::string name = "kt4r-remote-client-test";
    const std::string local = "\\\\.\\pipe\\" + name;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &length));
    const std::string remote = std::string("\\\\") + computer + "\\pipe\\" + name;
    {
        UniqueHandle admitting(CreateNamedPipeA((local + "-open").c_str(), PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr));
        ASSERT_TRUE(admitting);
        UniqueHandle client(CreateFileA((remote + "-open").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        if (!client)
            GTEST_SKIP() << "no client reaches this machine's pipes by its network name (error "
                         << GetLastError() << "), as under Wine";
    }
    PipeServer server([](const Message&) { return OkReply(); }, local);
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(CallEmulator({"pending"}, 1000, local), OkReply());
    EXPECT_FALSE(CallEmulator({"pending"}, 1000, remote));
}

TEST_F(EmulatorTest, ScanStartsTheProgramWithTheSessionsArgumentOrSaysWhyNot) {
    StartEmulator();
    const std::string missing = TrainingDirectory() + "no-such-program.exe";
    ASSERT_EQ(Call({"program", missing}), OkReply());
    const Message refused = Call({"scan", "C"});
    ASSERT_EQ(refused.size(), 3u);
    EXPECT_EQ(refused[0], kError);
    EXPECT_EQ(refused[1], std::to_string(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(refused[2].find(missing), std::string::npos) << refused[2];
    EXPECT_EQ(Call({"pending"}), OkReply({"0"}));

    // kt4r.exe itself as the program: it does not know the argument and waits with its usage
    // shown, long enough to read the command line it was given.
    ASSERT_EQ(Call({"program", kEmulator}), OkReply());
    ASSERT_EQ(Call({"screen", "C", "Back Office"}), OkReply());
    ASSERT_EQ(Call({"screen", "D", "Say \"hi\""}), OkReply());
    for (const auto& [letter, expected] :
         {std::pair<std::string, std::string>{"C", "\"C,Back Office\""},
          {"D", "D,Say \"hi\""}}) {  // with a quote of its own, the text goes unquoted
        const Message started = Call({"scan", letter});
        ASSERT_EQ(started.size(), 2u) << started[0];
        Child program;
        program.id = std::stoul(started[1]);
        program.handle = UniqueHandle(OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
            program.id));
        ASSERT_TRUE(program.handle) << GetLastError();
        WaitForInputIdle(program.handle.Get(), 10000);
        EXPECT_EQ(CommandLineOf(program.handle.Get()), "\"" + kEmulator + "\" " + expected);
    }
}

TEST_F(EmulatorTest, TheRemotesOutputAndExitCodesScreenshotAndQuit) {
    const ConsoleRun none = RunRemote("pending");
    EXPECT_EQ(none.exitCode, 2u);
    EXPECT_EQ(none.output, "the host emulator kt4r.exe is not running\n");
    EXPECT_EQ(RunRemote("").exitCode, 2u);
    StartEmulator();

    EXPECT_EQ(RunRemote("swipe visa").exitCode, 0u);
    const ConsoleRun pending = RunRemote("pending");
    EXPECT_EQ(pending.exitCode, 0u);
    EXPECT_EQ(pending.output, "1\n");
    const ConsoleRun session = RunRemote("session C");
    EXPECT_EQ(session.exitCode, 0u);
    EXPECT_TRUE(session.output.starts_with("Front Desk\ndetached\nWFNAM\t\nWMNAM\t\n"))
        << session.output;
    EXPECT_EQ(std::count(session.output.begin(), session.output.end(), '\n'), 14);
    const ConsoleRun refused = RunRemote("session Z");
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_EQ(refused.output, "name a session by its letter, A to Y\n");

    char temp[MAX_PATH];
    const std::string file = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "kt4r-test.png";
    const ConsoleRun shot = RunRemote("screenshot \"" + file + "\"");
    EXPECT_EQ(shot.exitCode, 0u) << shot.output;
    std::ifstream in(file, std::ios::binary);
    const std::string png{std::istreambuf_iterator<char>(in), {}};
    in.close();
    std::remove(file.c_str());
    RECT frame = {};
    GetWindowRect(WindowOf(emulator.id, "Kt4rHostEmulator"), &frame);
    const std::string header = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) +
                               BigEndian(frame.right - frame.left) +
                               BigEndian(frame.bottom - frame.top);
    EXPECT_EQ(png.substr(0, header.size()), header);

    EXPECT_EQ(RunRemote("quit").exitCode, 0u);
    ASSERT_TRUE(emulator.Ends(10000));
    EXPECT_EQ(emulator.ExitCode(), 0u);
    EXPECT_EQ(RunRemote("pending").exitCode, 2u);
}

// The stored blocks of a zlib stream, joined; "" when the stream is not as EncodePng makes it.
std::string Unstore(const std::string& zlib) {
    if (zlib.size() < 6 || zlib.substr(0, 2) != "\x78\x01") return {};
    std::string data;
    for (size_t at = 2; at + 5 <= zlib.size() - 4;) {
        const auto byte = [&](size_t i) { return static_cast<unsigned>(zlib[i]) & 0xFF; };
        const unsigned length = byte(at + 1) | byte(at + 2) << 8;
        if ((length ^ (byte(at + 3) | byte(at + 4) << 8)) != 0xFFFF) return {};
        data += zlib.substr(at + 5, length);
        const bool final = byte(at) == 1;
        at += 5 + length;
        if (final != (at == zlib.size() - 4)) return {};
    }
    return data;
}

TEST(PngEncode, ChecksumsMatchTheirReferenceValues) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32("IEND"), 0xAE426082u);
    EXPECT_EQ(Adler32("Wikipedia"), 0x11E60398u);
    EXPECT_EQ(Adler32(""), 1u);
}

TEST(PngEncode, RowsGoIntoStoredBlocksAndEveryChunkCarriesItsCrc) {
    // 200 x 120 pixels: 72,120 bytes of rows, more than one stored block holds.
    constexpr uint32_t kWidth = 200, kHeight = 120;
    std::string rgb, rows;
    for (uint32_t y = 0; y < kHeight; ++y) {
        rows += '\0';
        for (uint32_t x = 0; x < kWidth * 3; ++x) {
            rgb += static_cast<char>((x * 7 + y * 13) & 0xFF);
            rows += rgb.back();
        }
    }
    const std::string png = EncodePng(kWidth, kHeight, rgb);
    ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    std::string types, idat;
    for (size_t at = 8; at + 12 <= png.size();) {
        const auto word = [&](size_t i) {
            uint32_t value = 0;
            for (size_t k = 0; k < 4; ++k)
                value = value << 8 | (static_cast<unsigned>(png[i + k]) & 0xFF);
            return value;
        };
        const uint32_t length = word(at);
        ASSERT_LE(at + 12 + length, png.size());
        const std::string typed = png.substr(at + 4, 4 + length);
        EXPECT_EQ(word(at + 8 + length), Crc32(typed)) << typed.substr(0, 4);
        types += typed.substr(0, 4) + " ";
        if (typed.starts_with("IHDR")) {
            EXPECT_EQ(typed.substr(4), std::string("\0\0\0\xc8\0\0\0\x78\x08\x02\0\0\0", 13));
        }
        if (typed.starts_with("IDAT")) idat += typed.substr(4);
        at += 12 + length;
    }
    EXPECT_EQ(types, "IHDR IDAT IEND ");
    EXPECT_EQ(Unstore(idat), rows);
    ASSERT_GE(idat.size(), 4u);
    EXPECT_EQ(idat.substr(idat.size() - 4), BigEndian(Adler32(rows)));
}

}  // namespace
}  // namespace ostrel::training::win32
