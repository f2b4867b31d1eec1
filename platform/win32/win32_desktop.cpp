#include "platform/win32/win32_desktop.h"

#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/quiet_handles.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/utf8_path.h"
#include "platform/win32/win32_window.h"

namespace ostrel::win32 {

int Win32Desktop::ShowMessageBox(const std::string& text, const std::string& caption,
                                 uint32_t style) {
    // The owner is hidden and the clerk works in the host, often maximised. Windows may refuse a
    // background program the foreground; topmost, the box comes up above the host all the same.
    return MessageBoxA(reinterpret_cast<HWND>(WindowHandle()), text.c_str(), caption.c_str(),
                       style | MB_SETFOREGROUND | MB_TOPMOST);
}

void PumpMessages() {
    MSG msg;
    // No yield of the processor when the queue is empty (Wine's default): this is a yield to
    // the program's own windows, not to other programs.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

namespace {

HANDLE WakeHandleOf(WindowEvents* events) {
    return events ? reinterpret_cast<HANDLE>(events->WakeHandle()) : nullptr;
}

}  // namespace

// The loop yields several times in a pass, within a millisecond when there is nothing to do;
// under Wine each look at an empty queue also reads the display's connection. A queue seen
// empty as recently as a handle's note holds counts as still empty: the next yield or wait
// for a message takes what came meanwhile.
void Win32Desktop::DoEvents() {
    if (WindowEvents* events = window_->events) {
        events->OnYield();
        if (HANDLE wake = WakeHandleOf(events); wake && IsHandleSet(wake)) events->OnWake();
    }
    const int64_t now = PerformanceMicros();
    if (queueSeenEmptyMicros_ != 0 && now - queueSeenEmptyMicros_ < kUnsetNoteMicros) return;
    PumpMessages();
    queueSeenEmptyMicros_ = PerformanceMicros();
}

void Win32Desktop::DispatchCommands() {
    HWND hwnd = window_->hwnd;
    if (!hwnd) return;
    MSG msg;
    for (const UINT message : {WM_COMMAND, WM_CLOSE}) {
        while (PeekMessageA(&msg, hwnd, message, message, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

bool WaitForThreadMessage(uint32_t ms, HANDLE wake) {
    // A 1 ms timer resolution for the wait, so that its end is not late by a whole clock tick
    // (15.6 ms by default); the input flag wakes for messages an earlier peek already saw.
    timeBeginPeriod(1);
    const DWORD count = wake ? 1 : 0;
    DWORD woken = MsgWaitForMultipleObjectsEx(count, &wake, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // A handle that cannot be waited on would end every wait at once: wait for messages alone.
    if (woken == WAIT_FAILED && wake) {
        woken = MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    timeEndPeriod(1);
    if (woken == WAIT_TIMEOUT && wake) NoteUnset(&wake, 1);
    if (woken == WAIT_OBJECT_0 && wake) ForgetUnsetNotes();
    return woken != WAIT_TIMEOUT && woken != WAIT_FAILED;
}

bool Win32Desktop::WaitForMessage(uint32_t ms) {
    const bool woken = WaitForThreadMessage(ms, WakeHandleOf(window_->events));
    if (woken) queueSeenEmptyMicros_ = 0;
    return woken;
}

void Win32Desktop::Sleep(uint32_t ms) {
    ::Sleep(ms);
}

int WaitForHandles(uint32_t ms, const std::vector<std::uintptr_t>& handles) {
    std::vector<HANDLE> waited;
    std::vector<int> index;  // each waited handle's place in the list given
    for (size_t i = 0; i < handles.size() && waited.size() < MAXIMUM_WAIT_OBJECTS; ++i) {
        if (!handles[i]) continue;
        waited.push_back(reinterpret_cast<HANDLE>(handles[i]));
        index.push_back(static_cast<int>(i));
    }
    if (waited.empty()) {
        ::Sleep(ms);
        return -1;
    }
    const DWORD woken =
        WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), FALSE, ms);
    if (woken < WAIT_OBJECT_0 + waited.size()) {
        // A handle found set is news that the looks after this wait must see.
        ForgetUnsetNotes();
        return index[woken - WAIT_OBJECT_0];
    }
    // The looks that follow a quiet sleep need not ask again at once.
    if (woken == WAIT_TIMEOUT) NoteUnset(waited.data(), waited.size());
    // A handle that cannot be waited on would end every wait at once: the time is slept out.
    if (woken == WAIT_FAILED) ::Sleep(ms);
    return -1;
}

int Win32Desktop::SleepUntilSet(uint32_t ms, const std::vector<std::uintptr_t>& handles) {
    return WaitForHandles(ms, handles);
}

double LocalSecondsSinceMidnight() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0;
}

int64_t PerformanceMicros() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

std::string LocalTimeOfDayText() {
    char text[64] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text) == 0) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wsprintfA(text, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    }
    return text;
}

std::string LocalDateText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    wsprintfA(text, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

bool Win32Desktop::PreviousInstance() {
    return previousInstance_;
}

double Win32Desktop::SecondsSinceMidnight() {
    return LocalSecondsSinceMidnight();
}

int64_t Win32Desktop::MonotonicMicros() {
    return PerformanceMicros();
}

std::string Win32Desktop::TimeOfDayText() {
    return LocalTimeOfDayText();
}

std::string Win32Desktop::DateText() {
    return LocalDateText();
}

std::string ModulePath() {
    // A path longer than the buffer comes back cut to its size: the buffer grows until it fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return Utf8Path(std::wstring_view(path.data(), length));
        path.resize(path.size() * 2);
    }
}

std::string ModuleDirectory() {
    std::string dir = ModulePath();
    const auto slash = dir.rfind('\\');
    return slash == std::string::npos ? dir : dir.substr(0, slash);
}

std::string Win32Desktop::ExeDirectory() {
    return ModuleDirectory();
}

VersionInfo Win32Desktop::Version() {
    VersionInfo info;
    const std::wstring path = WidePath(ModulePath());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return info;
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return info;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        // Major.minor.0.revision: the revision is the fourth number.
        info.major = HIWORD(fixed->dwFileVersionMS);
        info.minor = LOWORD(fixed->dwFileVersionMS);
        info.revision = LOWORD(fixed->dwFileVersionLS);
    }
    wchar_t* name = nullptr;
    if (VerQueryValueW(data.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                       reinterpret_cast<void**>(&name), &length) &&
        name && length > 0) {
        // The caption is one of the program's texts: in the ANSI code page.
        info.productName = Narrow(name, static_cast<UINT>(wcsnlen(name, length)));
    }
    return info;
}

uint32_t AppendBytesToFile(const std::string& path, const std::string& bytes) {
    UniqueHandle file(CreateFileW(ReachablePath(WidePath(path)).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return GetLastError();
    }
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

uint32_t Win32Desktop::AppendToFile(const std::string& path, const std::string& bytes) {
    return AppendBytesToFile(path, bytes);
}

std::string ShownPathText(const std::string& path) {
    return AnsiText(path, Unmappable::Question);
}

std::string Win32Desktop::ShownPath(const std::string& path) {
    return ShownPathText(path);
}

void Win32Desktop::AnswerSentMessage() {
    if (InSendMessage()) ReplyMessage(0);
}

void Win32Desktop::EndProcess() {
    ExitProcess(0);
}

}  // namespace ostrel::win32
