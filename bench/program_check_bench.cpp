// How long one host program check takes over a process list of 300 entries, the host last.
#include <benchmark/benchmark.h>

#include "hostlink/program_check.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_processes.h"

namespace {

void FillProcesses(ostrel::sim::SimProcesses& processes, int count) {
    for (int i = 0; i + 1 < count; ++i) {
        processes.Start("C:\\Program Files\\Vendor " + std::to_string(i) + "\\service" +
                        std::to_string(i) + ".exe");
    }
    processes.Start("C:\\Apps\\Host\\kt4r.exe");
}

void BM_isPgmActive_HostLastOf300(benchmark::State& state) {
    ostrel::sim::SimProcesses processes;
    ostrel::sim::SimDesktop desktop;
    FillProcesses(processes, 300);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrel::isPgmActive(processes, desktop, "kt4r.exe"));
    }
}
BENCHMARK(BM_isPgmActive_HostLastOf300)->Unit(benchmark::kMicrosecond);

void BM_isPgmActive_HostAbsentAmong300(benchmark::State& state) {
    ostrel::sim::SimProcesses processes;
    ostrel::sim::SimDesktop desktop;
    FillProcesses(processes, 300);
    processes.processes.back().path = "C:\\Apps\\Host\\other.exe";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrel::isPgmActive(processes, desktop, "kt4r.exe"));
    }
}
BENCHMARK(BM_isPgmActive_HostAbsentAmong300)->Unit(benchmark::kMicrosecond);

}  // namespace
