#include "training/training_reader.h"

#include <string>

#include "support/wipe.h"

namespace ostrel::training {

namespace {
constexpr uint16_t kDefaultModel = 2;
}

TrainingReaderHid::TrainingReaderHid(SwipeSource& source, uint16_t productId)
    : source_(source), productId_(productId), reader_(Plug(sim::ReaderDevice(productId))) {
    // The program reads every second for as long as it runs: a record of each call would grow
    // without end.
    recordCalls = false;
}

void TrainingReaderHid::Fetch() {
    auto swipe = source_.Take();
    if (!swipe) return;
    sim::Swipe tracks = ReaderSwipe(*swipe);
    std::vector<uint8_t> report = sim::SwipeReport(productId_, tracks);
    // With no handle open for reading the report is lost, as a real reader's would be.
    QueueReport(reader_, report);
    // The reader holds the report until it is read; these copies are done with.
    Wipe(report);
    for (size_t i = 0; i < 3; ++i) {
        Wipe(tracks.tracks[i]);
        Wipe(swipe->tracks[i]);
    }
}

bool TrainingReaderHid::ReadFile(FileHandle device, uint8_t* buffer, uint32_t length,
                                 uint32_t* read, Overlapped* overlapped) {
    Fetch();
    return SimHid::ReadFile(device, buffer, length, read, overlapped);
}

bool TrainingReaderHid::GetOverlappedResult(FileHandle device, Overlapped* overlapped,
                                            uint32_t* transferred, bool wait) {
    Fetch();
    return SimHid::GetOverlappedResult(device, overlapped, transferred, wait);
}

sim::Swipe ReaderSwipe(const TrainingSwipe& swipe) {
    sim::Swipe read;
    for (size_t i = 0; i < 3; ++i) {
        read.tracks[i] = sim::Bytes(swipe.tracks[i]);
        read.decodeStatus[i] = swipe.decodeStatus[i];
    }
    return read;
}

std::optional<uint16_t> TrainingReaderModel(const char* setting) {
    if (!setting || !*setting) return kDefaultModel;
    const std::string text(setting);
    for (const uint16_t model : {1, 2, 3, 9, 14, 15}) {
        if (text == std::to_string(model)) return model;
    }
    return std::nullopt;
}

}  // namespace ostrel::training
