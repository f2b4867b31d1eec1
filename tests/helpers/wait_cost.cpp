// What the program's wait costs: the wall time and the process's CPU time of WaitMs(1000),
// a few times over, on the real desktop. "waiting" and "done" are printed while the helper is
// idle, so that a script can read the CPU counters of it and of the Wine server around the
// waits (bench/wine_wait_cost).
//   wait_cost [number of waits, default 5]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/win32_desktop.h"
#include "reader/wait.h"

namespace {

double Millis(FILETIME t) {
    return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 1e4;
}

double ProcessCpuMillis() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Millis(kernel) + Millis(user);
}

void Say(const char* line) {
    std::puts(line);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int waits = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ostrel::win32::Win32Desktop desktop;
    Say("waiting");
    Sleep(500);
    double wallTotal = 0;
    double cpuTotal = 0;
    for (int i = 1; i <= waits; ++i) {
        const double cpu = ProcessCpuMillis();
        const int64_t start = desktop.MonotonicMicros();
        ostrel::WaitMs(desktop, 1000);
        wallTotal += static_cast<double>(desktop.MonotonicMicros() - start) / 1000;
        cpuTotal += ProcessCpuMillis() - cpu;
    }
    Say("done");
    Sleep(500);
    std::printf("WaitMs(1000) x %d: %.1f ms each, process CPU %.1f ms each (GetProcessTimes)\n",
                waits, wallTotal / waits, cpuTotal / waits);
    return 0;
}
