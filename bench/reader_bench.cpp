// How long the reader search takes, in the simulated platform's virtual time, when the reader
// is listed after other HID interfaces. The interfaces of other makers name their vendor in
// their device paths, as Windows lists them; the second case gives them paths of a form the
// search does not know, so each is waited for and opened as a possible reader.
#include <benchmark/benchmark.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_readers.h"
#include "reader/card_reader.h"

namespace {

void Search(benchmark::State& state, bool pathsNameTheirVendor) {
    ostrel::sim::SimHid hid;
    ostrel::sim::SimDesktop desktop;
    for (int i = 0; i < 20; ++i) {
        ostrel::sim::SimHidDevice other = ostrel::sim::KeyboardDevice();
        other.path = pathsNameTheirVendor
                         ? ostrel::sim::SimHid::DevicePath(other.vendorId, other.productId, i)
                         : "\\\\?\\hid#virtual_input&col01#" + std::to_string(i);
        hid.Plug(other);
    }
    hid.Plug(ostrel::sim::ReaderDevice(2));
    ostrel::CardReader reader(hid, desktop);
    double virtualSeconds = 0;
    for (auto _ : state) {
        reader.InitReader();
        const int64_t start = desktop.nowMicros;
        reader.OpenReader();
        virtualSeconds = static_cast<double>(desktop.nowMicros - start) / 1e6;
        if (!reader.IsOpen()) state.SkipWithError("no reader");
        reader.CloseReader();
        reader.CloseReadEvent();
        hid.calls.clear();
    }
    state.counters["virtual_s"] = virtualSeconds;
}

void BM_OpenReaderAfter20OtherInterfaces(benchmark::State& state) {
    Search(state, true);
}
BENCHMARK(BM_OpenReaderAfter20OtherInterfaces)->Unit(benchmark::kMillisecond);

void BM_OpenReaderAfter20InterfacesNamingNoVendor(benchmark::State& state) {
    Search(state, false);
}
BENCHMARK(BM_OpenReaderAfter20InterfacesNamingNoVendor)->Unit(benchmark::kMillisecond);

}  // namespace
