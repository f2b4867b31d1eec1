#include "platform/win32/quiet_handles.h"

#include "platform/win32/win32_desktop.h"

namespace ostrel::win32 {

namespace {

struct Note {
    HANDLE handle = nullptr;
    long long micros = 0;
};

// Per thread: a note says what this thread saw. The loop looks at no more than a few.
constexpr size_t kNotes = 8;
thread_local Note t_notes[kNotes];
thread_local size_t t_next = 0;

void Remember(HANDLE handle, long long now) {
    for (Note& note : t_notes) {
        if (note.handle == handle) {
            note.micros = now;
            return;
        }
    }
    t_notes[t_next] = {handle, now};
    t_next = (t_next + 1) % kNotes;
}

}  // namespace

void NoteUnset(const HANDLE* handles, size_t count) {
    const long long now = PerformanceMicros();
    for (size_t i = 0; i < count; ++i)
        if (handles[i]) Remember(handles[i], now);
}

DWORD LookAtHandle(HANDLE handle) {
    const long long now = PerformanceMicros();
    for (const Note& note : t_notes) {
        if (note.handle == handle && now - note.micros < kUnsetNoteMicros) return WAIT_TIMEOUT;
    }
    const DWORD seen = WaitForSingleObject(handle, 0);
    if (seen == WAIT_TIMEOUT) Remember(handle, now);
    return seen;
}

void ForgetUnsetNotes() {
    for (Note& note : t_notes)
        note = {};
}

}  // namespace ostrel::win32
