#pragma once
// A console program run to its end, its standard output and error read through one pipe.
#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32/unique_handle.h"

namespace ostrel::win32 {

struct ConsoleRun {
    DWORD exitCode = STILL_ACTIVE;  // still so when it did not start or end in time
    std::string output;             // without carriage returns
};

// The command line in UTF-16, for paths that the ANSI code page may not hold.
inline ConsoleRun RunConsoleProgram(std::wstring commandLine, DWORD endWithinMs) {
    ConsoleRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
        return run;
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    writer.Reset();
    // Read while the child runs, and what it left once it has ended. The pipe's end is not
    // awaited: a process the child starts (Wine's desktop process, on the first window of a
    // session) may hold the write end long after, and the time limit holds either way.
    const ULONGLONG deadline = GetTickCount64() + endWithinMs;
    char buffer[4096];
    for (;;) {
        const bool ended = WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0;
        DWORD available = 0;
        DWORD got = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available &&
               ReadFile(readEnd, buffer, available < sizeof buffer ? available : sizeof buffer,
                        &got, nullptr) &&
               got > 0) {
            for (DWORD i = 0; i < got; ++i)
                if (buffer[i] != '\r') run.output += buffer[i];
        }
        if (ended) {
            GetExitCodeProcess(process.Get(), &run.exitCode);
            break;
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(process.Get(), 1);  // a run that overstays is ended, not left behind
            break;
        }
    }
    return run;
}

// The command line in the ANSI code page.
inline ConsoleRun RunConsoleProgram(const std::string& commandLine, DWORD endWithinMs) {
    std::wstring wide(commandLine.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, commandLine.data(),
                                    static_cast<int>(commandLine.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return RunConsoleProgram(std::move(wide), endWithinMs);
}

}  // namespace ostrel::win32
