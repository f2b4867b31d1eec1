// The program's own processing of one swipe: from the report's arrival through decoding,
// interpretation and the hand-off to the host to the read-back that confirms it, on the
// simulated platform. The polling timer's fixed 100 ms pause is passed in one round of the
// pump, so what is timed is the program's work.
#include <benchmark/benchmark.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_event_log.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_host_screen.h"
#include "platform/sim/sim_process_memory.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_readers.h"
#include "platform/sim/sim_registry.h"
#include "shell/scanner_form.h"

namespace {

using namespace ostrel;

void BM_SwipeToConfirmedDelivery(benchmark::State& state) {
    sim::SimRegistry registry;
    sim::SimProcesses processes;
    sim::SimDesktop desktop;
    sim::SimHid hid;
    sim::SimHostScreen host;
    sim::SimEventLog events;
    sim::SimProcessMemory memory;
    const auto readerId = hid.Plug(sim::ReaderDevice(2));
    OstrelCopy copy(Platform{registry, processes, desktop, hid, host, events, memory});
    ScannerForm& form = copy.form;

    // An armed request for session 2, its reader open and ready, as the scan loop leaves it.
    copy.session.SessionIndex = HostSessionId::Number(2);
    copy.table.SessionHandshake(copy.session.SessionIndex, ostrel::EntryLetter::Armed,
                                "Front Desk");
    form.EntryText = "Front Desk";
    copy.ScannerActive = true;
    copy.reader.InitReader();
    copy.reader.OpenReader();
    copy.reader.LoadReportLayout();
    form.ReaderState = ostrel::ReaderPhase::Reading;
    desktop.pumpStepMicros = 200000;

    sim::Swipe swipe;
    swipe.tracks[0] = "%B4111111111111111^DOE/JOHN Q^2512101";
    swipe.tracks[1] = ";4111111111111111=2512101?";
    const std::vector<uint8_t> report = sim::SwipeReport(2, swipe);

    for (auto _ : state) {
        hid.QueueReport(readerId, report);
        form.Timer1_Timer();
        state.PauseTiming();
        if (host.Field(2, "W1AC#") != "4111111111111111") state.SkipWithError("not delivered");
        host.calls.clear();
        hid.calls.clear();
        registry.writes.clear();
        desktop.statusHistory.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SwipeToConfirmedDelivery)->Unit(benchmark::kMicrosecond);

}  // namespace
