#pragma once
// The USB card reader: finding and opening it, reading its input reports without blocking, and
// decoding a report into the swipe record. One reader at a time; its state is kept here under
// the names the rest of the program knows it by.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/hid.h"
#include "reader/reader_identity.h"
#include "reader/reader_models.h"
#include "support/card_store.h"
#include "support/card_text.h"

namespace ostrel {

constexpr uint16_t kReaderVendorId = 0x0801;

// The decoded content of the last input report. The tracks, clear and masked, are card data
// and live in the card data store.
struct SwipeRecord {
    int32_t Tk1DcdSts = 0, Tk2DcdSts = 0, Tk3DcdSts = 0;
    int32_t Tk1Len = 0, Tk2Len = 0, Tk3Len = 0;
    CardText Tk1Data, Tk2Data, Tk3Data;
    int32_t CrdEcdTyp = 0;
    int32_t CardSts = 0;
    int32_t StripePrintSts = 0;
    int32_t StripePrintLen = 0;
    std::string StripePrintData;
    std::string DeviceSerialNumberData;
    std::string DUKPTData;
    int32_t SequenceCounter = 0;
    int32_t Tk1MLen = 0, Tk2MLen = 0, Tk3MLen = 0;
    CardText MTk1Data, MTk2Data, MTk3Data;
    std::string EncSessionIDData;

    // Overwrite the track texts and leave them empty: the clear ones, the masked ones, or both.
    void WipeClearTracks();
    void WipeMaskedTracks();
    void WipeTracks();
};

// The window's registration for arriving HID devices, undone when it goes.
class ArrivalNotice {
  public:
    explicit ArrivalNotice(Hid& hid) : hid_(hid) {}
    ~ArrivalNotice() {
        if (notification_) hid_.UnregisterInterfaceNotification(notification_);
    }
    ArrivalNotice(const ArrivalNotice&) = delete;
    ArrivalNotice& operator=(const ArrivalNotice&) = delete;
    // Registers the window once; a registration that failed is tried again at the next call.
    void Register(std::uintptr_t window) {
        if (!notification_)
            notification_ = hid_.RegisterInterfaceNotification(window, hid_.GetHidGuid());
    }

  private:
    Hid& hid_;
    std::uintptr_t notification_ = 0;
};

class CardReader {
  public:
    // The track texts start blank: a fresh buffer holds whatever its memory held before.
    CardReader(Hid& hid, Desktop& desktop) : hid_(hid), desktop_(desktop), arrivals_(hid) {
        swipe_.WipeTracks();
    }
    ~CardReader();
    CardReader(const CardReader&) = delete;
    CardReader& operator=(const CardReader&) = delete;

    // Discovery, open and close.
    void InitReader();
    void OpenReader();
    void CloseReader();
    void CloseReadEvent();
    // Whether a HID interface that may be the reader is listed (CheckPath).
    bool ReaderPresent();

    // The desktop's window is told when a HID device arrives (OnDeviceArrival), so that the
    // search need not wait for the timer to find it.
    void WatchArrivals() { arrivals_.Register(desktop_.WindowHandle()); }

    // True when InputReport holds a report that arrived since the previous true result.
    bool ReadReport();
    bool IsReadPending() const { return ReadPending; }
    // How many reads have been left pending so far: tells one pending read from the next.
    uint64_t ReadsStarted() const { return readsStarted_; }
    // While a read is pending: a handle that is set once it may have completed. 0 otherwise.
    std::uintptr_t ReadWaitHandle() const {
        return ReadPending ? hid_.ReadWaitHandle(ReadEvent) : 0;
    }
    // Throws away, unread, every report that has arrived so far: a completed or pending read
    // and what the HID stack holds for the reader. Failures are ignored.
    void DiscardReports();

    // Sizes the report buffers from the reader's capabilities; a failure leaves its reason in
    // ReaderError.
    void LoadReportLayout();
    // True when every value the reader's model delivers was decoded into Swipe.
    bool DecodeReport();
    // Whether the layout loaded last fits the reader open now: one plugged in for another may
    // be of another model, whose reports the old layout would misread.
    bool LayoutFitsReader() const {
        return layoutProductId_ == ReaderProductId() &&
               InputReport.size() == ReaderCaps.InputReportByteLength;
    }

    // The layout loaded last: the input report's length and each usage's value count.
    size_t InputReportLength() const { return InputReport.size(); }
    std::map<uint16_t, size_t> LayoutSizes() const {
        std::map<uint16_t, size_t> sizes;
        for (const auto& [usage, buffer] : UsageBuffer)
            sizes[usage] = buffer.size();
        return sizes;
    }

    // A reader counts as open exactly while it holds a handle.
    bool IsOpen() const { return ReaderHandle != kInvalidFileHandle; }
    // The ids of the reader, or after a search that found none, of the last candidate opened.
    uint16_t ReaderProductId() const { return ReaderAttributes.ProductID; }
    const ReaderModel& Model() const { return ReaderModelFor(ReaderProductId()); }
    // The reader open now as it names itself, its strings asked of it once per open; with none
    // open, the ids of the last candidate and no strings.
    ReaderIdentity Identity();
    // The product id of the last device of the reader's maker the last search listed (by its
    // attributes when it opened, by its path otherwise); nothing when it listed none. A till's
    // keyboard, mouse or touchpad is no reader that cannot be used: there is no reader.
    std::optional<uint16_t> MakersDeviceListed() const { return makersDevice_; }
    // The last failure's text, "" when none; shown nowhere.
    const std::string& Error() const { return ReaderError; }

    // The last decoded report.
    const SwipeRecord& Swipe() const { return swipe_; }
    // For the program's own marks on it: tracks cleared once used, an unreadable track 1.
    SwipeRecord& EditSwipe() { return swipe_; }
    // Overwrites what a swipe left in the reader once it has been used: the report buffer, the
    // usage buffers and the swipe record's track texts. The buffers keep their sizes.
    void WipeSwipeData();

  private:
    friend struct CardReaderTestAccess;  // tests/card_reader_test_access.h

    bool DecodeValue(uint16_t usage, int32_t& field, const char* failure);
    bool DecodeArray(uint16_t usage, const char* failure);
    void WipeBuffers();

    FileHandle ReaderHandle = kInvalidFileHandle;
    HiddAttributes ReaderAttributes;
    ::ostrel::PreparsedData PreparsedData = 0;
    HidpCaps ReaderCaps;
    EventHandle ReadEvent = 0;
    bool eventCreationFailed_ = false;  // ReadEvent is 0 because creating it failed
    bool ReadPending = false;
    std::string ReaderError;

    // While a read is pending the system writes into InputReport and ReadOverlapped: neither
    // may move or be resized until it has finished. The report and the usages' values hold a
    // swipe's tracks: both are in the card data store.
    CardBytes InputReport;
    Overlapped ReadOverlapped;
    std::map<uint16_t, CardBytes> UsageBuffer;  // by usage
    uint16_t layoutProductId_ = 0;              // the model the layout is for
    std::optional<uint16_t> makersDevice_;
    std::optional<ReaderIdentity> identity_;  // of the reader open now, once asked
    SwipeRecord swipe_;

    uint64_t readsStarted_ = 0;

    Hid& hid_;
    Desktop& desktop_;
    ArrivalNotice arrivals_;
    bool searching_ = false;
};

// Two upper-case hex digits.
std::string ByteToHex(uint8_t value);

}  // namespace ostrel
