// Stands in for the host program in process-list tests: a process named kt4r.exe that runs
// until the named event given as its argument is set (or a minute has passed).
#include <windows.h>

int main(int argc, char** argv) {
    HANDLE quit = argc > 1 ? OpenEventA(SYNCHRONIZE, FALSE, argv[1]) : nullptr;
    if (quit) {
        WaitForSingleObject(quit, 60000);
        CloseHandle(quit);
    } else {
        Sleep(60000);
    }
    return 0;
}
