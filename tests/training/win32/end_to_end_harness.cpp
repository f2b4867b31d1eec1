#include "tests/training/win32/end_to_end_harness.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "training/win32/pipe.h"

namespace ostrel::training::e2e {

std::string BuildDirectory() {
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    dir.resize(dir.rfind('\\'));  // <build>\tests
    dir.resize(dir.rfind('\\'));
    return dir;
}

std::string NewFolder(const std::string& prefix) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int counter = 0;
    const std::string folder = std::string(temp) + prefix + "-" +
                               std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++counter);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void ClearSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    for (const char* name : {"MSconnect", "cSesId", "NSesDly", "Logging"})
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::optional<DWORD> RunToEnd(const std::string& commandLine, DWORD timeoutMs) {
    Process process = Process::Start(commandLine);
    if (!process.Valid()) return std::nullopt;
    return process.WaitForEnd(timeoutMs);
}

Process::Process(DWORD pid)
    : handle_(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid)),
      id_(pid) {}

Process::~Process() {
    Terminate();
    if (handle_) CloseHandle(handle_);
}

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(other.id_) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Terminate();
        if (handle_) CloseHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = other.id_;
    }
    return *this;
}

Process Process::Start(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process process;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        process.handle_ = info.hProcess;
        process.id_ = info.dwProcessId;
    }
    return process;
}

bool Process::Running() const {
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForEnd(DWORD ms) const {
    if (!handle_ || WaitForSingleObject(handle_, ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void Process::Terminate() {
    if (Running()) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
    }
}

namespace {

struct Search {
    DWORD pid;
    std::string windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (pid == search->pid && search->windowClass == name) search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD pid, const char* windowClass) {
    Search search{pid, windowClass, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

std::string WindowText(HWND window) {
    // WM_GETTEXT rather than GetWindowText: it reads controls of another process too.
    char text[1024] = {};
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string LabelText(HWND programWindow, Label label) {
    HWND control = GetDlgItem(programWindow, static_cast<int>(label));
    return control ? WindowText(control) : "<no label>";
}

std::vector<std::string> MessageBoxTexts(DWORD pid) {
    std::vector<std::string> texts;
    for (HWND box : WindowsOf(pid, "#32770")) {
        if (!IsWindowVisible(box)) continue;
        char text[2048] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        texts.push_back(WindowText(box) + ": " + text);
    }
    return texts;
}

EmulatorRun::EmulatorRun(const std::string& program) : folder_(NewFolder("ostrel-e2e")) {
    const std::string build = BuildDirectory();
    const std::string name = program == "real" ? "ostrel.exe" : "ostrel-" + program + ".exe";
    const std::string source =
        program == "real" ? build + "\\" + name : build + "\\training\\" + name;
    program_ = folder_ + "\\" + name;
    CopyFileA(source.c_str(), program_.c_str(), FALSE);
    ClearSettings();
    emulator_ =
        Process::Start(Quoted(build + "\\training\\kt4r.exe") + " /program " + Quoted(program_));
    if (!emulator_.Valid() ||
        !WaitFor([] { return win32::CallEmulator({"pending"}, 1000).has_value(); }, 15000)) {
        emulator_ = Process();
    }
}

EmulatorRun::~EmulatorRun() {
    if (emulator_.Running()) {
        win32::CallEmulator({"quit"}, 2000);
        emulator_.WaitForEnd(3000);
    }
    programs_.clear();  // ends any that still run
    emulator_ = Process();
    DeleteFileA(LogPath().c_str());
    DeleteFileA(program_.c_str());
    RemoveDirectoryA(folder_.c_str());
}

Message EmulatorRun::Call(const Message& request) {
    const auto reply = win32::CallEmulator(request, 5000);
    return reply ? *reply : Message{kError, "0", "the emulator did not answer"};
}

Process& EmulatorRun::Scan(const std::string& letter) {
    const Message reply = Call({"scan", letter});
    DWORD pid = 0;
    if (reply.size() == 2 && reply[0] == kOk) pid = std::stoul(reply[1]);
    programs_.emplace_back(pid);
    return programs_.back();
}

std::string EmulatorRun::Field(const std::string& letter, const std::string& name) {
    const Message reply = Call({"field", letter, name});
    return reply.size() == 2 && reply[0] == kOk ? reply[1] : "<" + reply.back() + ">";
}

std::vector<std::string> EmulatorRun::Statuses(const std::string& letter) {
    Message reply = Call({"statuses", letter});
    if (reply.empty() || reply[0] != kOk) return {"<" + reply.back() + ">"};
    reply.erase(reply.begin());
    return reply;
}

HWND EmulatorRun::ProgramWindow() {
    return programs_.empty() ? nullptr : WindowOf(programs_.back().Id(), kProgramWindowClass);
}

std::string EmulatorRun::Label(e2e::Label label) {
    HWND window = ProgramWindow();
    return window ? LabelText(window, label) : "<no window>";
}

std::string EmulatorRun::Dialogs() {
    std::string all;
    for (const Process& program : programs_) {
        for (const std::string& text : MessageBoxTexts(program.Id()))
            all += "\n  message box: " + text;
    }
    return all;
}

void RegisteredControl::SetUp() {
    const std::string dll = BuildDirectory() + "\\training\\kt4r_control.dll";
    ASSERT_EQ(RunToEnd("regsvr32 /s " + Quoted(dll), 30000), std::optional<DWORD>(0));
}

void RegisteredControl::TearDown() {
    const std::string dll = BuildDirectory() + "\\training\\kt4r_control.dll";
    RunToEnd("regsvr32 /u /s " + Quoted(dll), 30000);
}

}  // namespace ostrel::training::e2e
