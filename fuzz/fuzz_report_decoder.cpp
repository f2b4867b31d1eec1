// One input report of each reader model, through the simulated HID stack, the report layout
// and the decoder into the swipe record.
// Input: a byte choosing the model (product id 1, 2, 3, 9, 14 or 15), a byte choosing the form,
// then either (odd form) the report's raw bytes, cut or filled with zeros to its length, or
// (even form) a swipe as the reader would send it: for each track its decode status, its
// length (255: the size of its data) and its data; encode type, card status, StripePrint
// status, length and data, serial number, DUKPT key serial number, sequence counter (two
// bytes), for each masked track its length and data, and the encrypted session id. Data are
// a length byte and that many bytes.
// Properties: no read outside a buffer; a decoded text has the length its value gives and the
// reader's bytes; a failure says why; a good swipe after any report still decodes whole; every
// handle is given back.
#include <algorithm>
#include <map>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_readers.h"
#include "reader/card_reader.h"

namespace ostrel::fuzz {
namespace {

constexpr uint16_t kModels[] = {1, 2, 3, 9, 14, 15};
constexpr const char* kGoodTrack = "%B4111111111111111^DOE/JOHN Q^2512101";

std::optional<uint32_t> Length(uint8_t byte) {
    if (byte == 0xFF) return std::nullopt;
    return byte;
}

sim::Swipe DecodeSwipe(Input& in) {
    sim::Swipe s;
    for (int i = 0; i < 3; ++i) {
        s.decodeStatus[i] = in.Byte();
        s.lengths[i] = Length(in.Byte());
        s.tracks[i] = sim::Bytes(std::string_view(in.Text()));
    }
    s.encodeType = in.Byte();
    s.cardStatus = in.Byte();
    s.stripePrintStatus = in.Byte();
    s.stripePrintLength = Length(in.Byte());
    s.stripePrint = sim::Bytes(std::string_view(in.Text()));
    s.serialNumber = sim::Bytes(std::string_view(in.Text()));
    s.dukptKsn = sim::Bytes(std::string_view(in.Text()));
    s.sequenceCounter = in.Byte() | uint32_t{in.Byte()} << 8;
    for (int i = 0; i < 3; ++i) {
        s.maskedLengths[i] = Length(in.Byte());
        s.maskedTracks[i] = sim::Bytes(std::string_view(in.Text()));
    }
    s.encryptedSessionId = sim::Bytes(std::string_view(in.Text()));
    return s;
}

// A model's report of a swipe, made once: making one writes it bit by bit.
const std::vector<uint8_t>& MadeOnce(uint16_t productId, bool good) {
    static std::map<std::pair<uint16_t, bool>, std::vector<uint8_t>> made;
    auto& report = made[{productId, good}];
    if (report.empty()) {
        sim::Swipe swipe;
        if (good) swipe.tracks[0] = kGoodTrack;
        report = sim::SwipeReport(productId, swipe);
    }
    return report;
}

size_t Rounded(int32_t n) {
    return static_cast<size_t>((n + 7) / 8 * 8);
}

void CheckRecord(const SwipeRecord& r, const ReaderModel& model,
                 const std::vector<uint8_t>& report) {
    const std::string bytes(report.begin(), report.end());
    const int32_t lengths[] = {r.Tk1Len, r.Tk2Len, r.Tk3Len};
    const CardText* tracks[] = {&r.Tk1Data, &r.Tk2Data, &r.Tk3Data};
    for (int i = 0; i < 3; ++i) {
        if (model.tracks == TrackForm::Characters) {
            Check(tracks[i]->size() == static_cast<size_t>(lengths[i]),
                  "track " + std::to_string(i + 1) + " of another length than its value");
            Check(bytes.find(tracks[i]->view()) != std::string::npos, "a track not from the report");
        } else {
            Check(tracks[i]->size() == 3 * Rounded(lengths[i]),
                  "hex track " + std::to_string(i + 1) + " of another length than its value");
        }
    }
    if (model.Delivers(ReaderValue::DukptKsn)) Check(r.DUKPTData.size() == 20, "DUKPT length");
    if (model.Delivers(ReaderValue::EncryptedSessionId))
        Check(r.EncSessionIDData.size() == 24, "encrypted session id length");
    if (model.Delivers(ReaderValue::MaskedTracks)) {
        Check(r.MTk1Data.size() == static_cast<size_t>(r.Tk1MLen) &&
                  r.MTk2Data.size() == static_cast<size_t>(r.Tk2MLen) &&
                  r.MTk3Data.size() == static_cast<size_t>(r.Tk3MLen),
              "a masked track of another length than its value");
    }
    Check(r.DeviceSerialNumberData.size() <= 16, "serial number longer than its value");
}

void Run(Input& in) {
    const uint16_t productId = kModels[in.Byte() % 6];
    const bool raw = in.Byte() & 1;
    sim::SimHid hid;
    hid.recordCalls = false;
    sim::SimDesktop desktop;
    const auto device = hid.Plug(sim::ReaderDevice(productId));
    {
        CardReader reader(hid, desktop);
        reader.InitReader();
        reader.OpenReader();
        Check(reader.IsOpen(), "the reader did not open");
        reader.LoadReportLayout();
        Check(reader.Error().empty(), "the layout failed: " + reader.Error());

        std::vector<uint8_t> report;
        if (raw) {
            const std::string bytes = in.Rest();
            report = MadeOnce(productId, false);
            std::copy_n(bytes.begin(), std::min(bytes.size(), report.size()), report.begin());
        } else {
            report = sim::SwipeReport(productId, DecodeSwipe(in));
        }
        hid.QueueReport(device, report);
        Check(reader.ReadReport(), "a report sent was not read");
        if (reader.DecodeReport()) {
            CheckRecord(reader.Swipe(), reader.Model(), report);
        } else {
            Check(!reader.Error().empty(), "a report refused without a reason");
        }

        const std::vector<uint8_t>& good = MadeOnce(productId, true);
        hid.QueueReport(device, good);
        Check(reader.ReadReport(), "the good swipe was not read");
        Check(reader.DecodeReport(), "the good swipe after it failed: " + reader.Error());
        CheckRecord(reader.Swipe(), reader.Model(), good);
        if (reader.Model().tracks == TrackForm::Characters)
            Check(reader.Swipe().Tk1Data == kGoodTrack, "the good swipe's track came out wrong");
    }
    Check(hid.misuses.empty(), "HID misuse: " + (hid.misuses.empty() ? "" : hid.misuses[0]));
    Check(hid.OpenResources() == 0, "HID resources left open");
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrel::fuzz::Input in(data, size);
    ostrel::fuzz::Run(in);
    return 0;
}
