#pragma once
// The training build's card reader: a simulated reader of one of the real models, plugged in
// from the start, whose swipes come from a swipe source (the host emulator's swipe panel)
// instead of a magnetic stripe. Everything above the HID calls is the program as shipped.
#include <cstdint>
#include <optional>

#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_readers.h"
#include "training/test_cards.h"

namespace ostrel::training {

class SwipeSource {
  public:
    virtual ~SwipeSource() = default;
    // The next swipe waiting, taken from the source; nothing when none waits.
    virtual std::optional<TrainingSwipe> Take() = 0;
    // A handle that is set while a swipe waits, for the program's waits to wake on; 0 if none.
    virtual std::uintptr_t WaitHandle() { return 0; }
};

class TrainingReaderHid : public sim::SimHid {
  public:
    // A reader of productId (1, 2, 3, 9, 14 or 15). Throws std::invalid_argument for others.
    TrainingReaderHid(SwipeSource& source, uint16_t productId);

    // The program reads once per timer tick; that is when a waiting swipe is fetched, so the
    // source is asked about once a second and only while the program reads.
    bool ReadFile(FileHandle device, uint8_t* buffer, uint32_t length, uint32_t* read,
                  Overlapped* overlapped) override;
    bool GetOverlappedResult(FileHandle device, Overlapped* overlapped, uint32_t* transferred,
                             bool wait) override;
    // A pending read completes once a swipe waits at the source: its handle is the one to watch.
    std::uintptr_t ReadWaitHandle(EventHandle) override { return source_.WaitHandle(); }

  private:
    void Fetch();

    SwipeSource& source_;
    uint16_t productId_;
    DeviceId reader_;
};

// A training swipe as a reader reads it off the card.
sim::Swipe ReaderSwipe(const TrainingSwipe& swipe);

// The reader model the training build simulates: the product id in text (a setting), 2 when
// the text is empty; nothing for a text that names no model.
std::optional<uint16_t> TrainingReaderModel(const char* setting);

}  // namespace ostrel::training
