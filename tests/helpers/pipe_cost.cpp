// What one call over the emulator's pipe costs: the wall time of a number of calls to a pipe
// server in this process whose handler answers at once (the pipe alone), and of calls to the
// running host emulator: "pending", which changes nothing, and control calls that it lists.
//   pipe_cost [calls, default 200]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "training/emulator_core.h"
#include "training/win32/pipe.h"

namespace {

using ostrel::training::Message;
using ostrel::training::win32::CallEmulator;

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The i-th request of a run.
using Request = Message (*)(int i);

Message Pending(int) {
    return {"pending"};
}

// A control call the emulator lists as a new line of its calls (a member it does not know, with
// a text of its own), so that its window has something to show after each.
Message ListedCall(int i) {
    const std::string text = {static_cast<char>('a' + i % 26),
                              static_cast<char>('a' + i / 26 % 26)};
    return ostrel::training::ControlCall(9999, {ostrel::training::ControlArg::Text(text)});
}

// Times calls; prints median, 95th percentile and maximum in ms. False when a call failed.
bool Time(const char* label, int calls, const std::string& pipe, Request request = Pending) {
    std::vector<double> times;
    for (int i = 0; i < calls; ++i) {
        const double start = Now();
        if (!CallEmulator(request(i), 5000, pipe)) {
            std::printf("%-22s call %d failed\n", label, i + 1);
            return false;
        }
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times[std::min(times.size() - 1, size_t(q * times.size()))];
    };
    std::printf("%-22s %5d calls  median %7.3f  p95 %7.3f  max %7.3f ms\n", label, calls, at(0.5),
                at(0.95), times.back());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    bool ok = true;
    {
        const std::string name =
            "\\\\.\\pipe\\kt4r-pipe-cost-" + std::to_string(GetCurrentProcessId());
        ostrel::training::win32::PipeServer server(
            [](const Message&) {
                return Message{"ok", "0"};
            },
            name);
        ok = server.Started() && Time("pipe alone", calls, name);
    }
    if (CallEmulator({"pending"}, 1000)) {
        const std::string emulator = ostrel::training::win32::EmulatorPipeName();
        ok = Time("emulator \"pending\"", calls, emulator) && ok;
        ok = Time("emulator listed call", calls, emulator, ListedCall) && ok;
    } else {
        std::printf("no host emulator is running: its calls are not timed\n");
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
