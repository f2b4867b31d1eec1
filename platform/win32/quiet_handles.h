#pragma once
// Zero-time looks at a handle, taken at their word for a moment. The loop looks at the same
// few handles (the read's event, the key's change event, the host process) right after a wait
// on them ended with none set, and under Wine every look is a round trip to the server. A
// handle seen unset this recently counts as still unset: the waits that follow the looks wait
// on the same handles, so whatever was set meanwhile still ends them.
#include <windows.h>

#include <cstddef>

namespace ostrel::win32 {

// How long a look stays good.
constexpr long long kUnsetNoteMicros = 2000;

// These handles were just seen unset (a wait on them timed out).
void NoteUnset(const HANDLE* handles, size_t count);
// WaitForSingleObject(handle, 0), or WAIT_TIMEOUT while a note younger than
// kUnsetNoteMicros says so.
DWORD LookAtHandle(HANDLE handle);
inline bool IsHandleSet(HANDLE handle) {
    return LookAtHandle(handle) == WAIT_OBJECT_0;
}
// Forgets every note: this thread has done what may set a handle (written a registry value,
// closed a handle whose number may come again).
void ForgetUnsetNotes();

}  // namespace ostrel::win32
