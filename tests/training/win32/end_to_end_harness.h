#pragma once
// The real programs beside the host emulator, driven as a person would: the emulator's
// buttons through its command pipe, the program's window through Win32 (its labels read, its
// message boxes found), the registry and the log file read as they stand.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/win32/windows_under_test.h"
#include "training/wire.h"

namespace ostrel::training::e2e {

constexpr const char* kSettingsKey = "Software\\TOVAN\\RODazedur";
constexpr const char* kProgramWindowClass = "OstrelInterfaceWindow";
constexpr const char* kEmulatorWindowClass = "Kt4rHostEmulator";

// The program window's labels by control id.
enum class Label { CompName = 1, Status, CCHolder, CCno, CCType, Exp };

// <build>/tests/x.exe gives <build>.
std::string BuildDirectory();
// A new empty folder of its own under the temporary folder.
std::string NewFolder(const std::string& prefix);
std::string ReadFileText(const std::string& path);

using ostrel::win32::WaitFor;
using ostrel::win32::WindowOf;
inline std::string Setting(const char* name) {
    return ostrel::win32::ProgramSetting(name);
}
void ClearSettings();

// Runs a program to its end; its exit code, or nothing when it could not start or took
// longer than timeoutMs.
std::optional<DWORD> RunToEnd(const std::string& commandLine, DWORD timeoutMs);

class Process {
  public:
    Process() = default;
    explicit Process(DWORD pid);
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    static Process Start(const std::string& commandLine);
    DWORD Id() const { return id_; }
    bool Valid() const { return handle_ != nullptr; }
    bool Running() const;
    // Waits for the end; the exit code, or nothing when it did not end in time.
    std::optional<DWORD> WaitForEnd(DWORD ms) const;
    void Terminate();

  private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

std::string WindowText(HWND window);
std::string LabelText(HWND programWindow, Label label);
// The text of every message box the process shows.
std::vector<std::string> MessageBoxTexts(DWORD pid);

// The host emulator with a program to start, each test with its own copies so that each has
// its own log file. Everything it started is ended when it goes.
class EmulatorRun {
  public:
    // program: "training" for ostrel-training.exe, "training-unwiped" for the same program
    // without the card data store's wipe, "real" for ostrel.exe.
    explicit EmulatorRun(const std::string& program = "training");
    ~EmulatorRun();

    bool Started() const { return emulator_.Valid(); }
    // One command; the reply, or {"error", ...} when the emulator did not answer.
    Message Call(const Message& request);
    // Presses "Credit Card Scan" for the session; the started program's process.
    Process& Scan(const std::string& letter);
    std::string Field(const std::string& letter, const std::string& name);
    std::vector<std::string> Statuses(const std::string& letter);
    // The program's window (of the last program started), or nullptr.
    HWND ProgramWindow();
    std::string Label(e2e::Label label);
    std::string LogPath() const { return folder_ + "\\CCProcess.log"; }
    Process& Emulator() { return emulator_; }
    // What the programs show in message boxes right now, for failure messages.
    std::string Dialogs();

  private:
    std::string folder_;
    std::string program_;
    Process emulator_;
    std::vector<Process> programs_;
};

// The stand-in control, registered for the whole run of the test program.
class RegisteredControl : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace ostrel::training::e2e
