// Waits until Windows lists the HID devices named and no longer lists those named gone. Wine
// takes a uhid device in, and lets it go, a moment after the kernel: the virtual machine tier
// waits for that before it plugs in or swipes.
//   hid_listed <seconds> [+|-]<vvvv:pppp>...   + listed (the default), - not listed
// Prints the paths listed at the end; exit 0 when all hold, 1 when the time runs out first.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win32/windows_under_test.h"

namespace {

struct Wanted {
    std::string ids;  // "vid_0801&pid_0002"
    bool listed;
};

bool Holds(const std::vector<Wanted>& wanted, const std::vector<std::string>& paths) {
    for (const Wanted& w : wanted) {
        bool found = false;
        for (const std::string& path : paths)
            found |= path.find(w.ids) != std::string::npos;
        if (found != w.listed) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    std::vector<Wanted> wanted;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        const bool listed = arg[0] != '-';
        if (arg[0] == '-' || arg[0] == '+') arg.erase(0, 1);
        if (arg.size() != 9 || arg[4] != ':') {
            std::fprintf(stderr, "usage: hid_listed <seconds> [+|-]<vvvv:pppp>...\n");
            return 2;
        }
        CharLowerBuffA(arg.data(), static_cast<DWORD>(arg.size()));
        wanted.push_back({"vid_" + arg.substr(0, 4) + "&pid_" + arg.substr(5), listed});
    }
    if (seconds <= 0 || wanted.empty()) {
        std::fprintf(stderr, "usage: hid_listed <seconds> [+|-]<vvvv:pppp>...\n");
        return 2;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<std::string> paths = ostrel::win32::ListedHidPaths();
        const bool holds = Holds(wanted, paths);
        if (holds || GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) {
            for (const std::string& path : paths)
                std::printf("%s\n", path.c_str());
            return holds ? 0 : 1;
        }
        Sleep(100);
    }
}
