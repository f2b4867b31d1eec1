// The swipe report's layout and its decoding into the swipe record.
#include <algorithm>
#include <cstdio>

#include "reader/card_reader.h"
#include "support/wipe.h"

namespace ostrel {

namespace {

constexpr uint16_t kVendorPage = 0xFF00;

struct LayoutRow {
    uint16_t usage;
    ReaderValue value;  // the row is read for the models that deliver it
    bool statusFirst;   // the failure text starts with the returned status in hex
    const char* failed;
    const char* missing;
};

constexpr LayoutRow kLayout[] = {
    {0x30, ReaderValue::Tracks, true, " HidP_GetSpecificValueCaps Failed on Track 1 data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 1 data usage"},
    {0x31, ReaderValue::Tracks, false, "HidP_GetSpecificValueCaps Failed on Track 2 data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 2 data usage"},
    {0x32, ReaderValue::Tracks, false, "HidP_GetSpecificValueCaps Failed on Track 3 data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 3 data usage"},
    {0x33, ReaderValue::StripePrint, false,
     "HidP_GetSpecificValueCaps Failed on StripePrint data usage",
     "HidP_GetSpecificValueCaps Failed to find StripePrint data usage"},
    {0x40, ReaderValue::SerialNumber, false,
     "HidP_GetSpecificValueCaps Failed on device serial number usage",
     "HidP_GetSpecificValueCaps Failed to find device serial number usage"},
    {0x46, ReaderValue::DukptKsn, false, "HidP_GetSpecificValueCaps Failed on DUKPT KSN data usage",
     "HidP_GetSpecificValueCaps Failed to find DUKPT KSN data usage"},
    {0x4A, ReaderValue::MaskedTracks, true,
     " HidP_GetSpecificValueCaps Failed on Track 1 Masked data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 1 Masked data usage"},
    {0x4B, ReaderValue::MaskedTracks, false,
     "HidP_GetSpecificValueCaps Failed on Track 2 Masked data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 2 Masked data usage"},
    {0x4C, ReaderValue::MaskedTracks, false,
     "HidP_GetSpecificValueCaps Failed on Track 3 Masked data usage",
     "HidP_GetSpecificValueCaps Failed to find Track 3 Masked data usage"},
    {0x50, ReaderValue::EncryptedSessionId, false,
     "HidP_GetSpecificValueCaps Failed on Encrypted Session ID data usage",
     "HidP_GetSpecificValueCaps Failed to find Encrypted Session ID data usage"},
};

std::string StatusHex(NtStatus status) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<uint32_t>(status));
    return text;
}

int32_t Rounded(int32_t count) {
    return (count + 7) / 8 * 8;
}

// How a text field is made from a usage's bytes.
enum class Form { Characters, HexPairs, HexJoined };

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Into text (a track's in the card data store, or a text of the reader's own), whose earlier
// content is overwritten first; the room is taken once, so that no copy of a part of the text
// is left behind in a buffer that grew.
template <class Text>
void MakeText(const CardBytes& buffer, int32_t n, Form form, Text& text) {
    Wipe(text);
    if (form == Form::Characters) {
        text.reserve(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i)
            text.push_back(static_cast<char>(buffer[i]));
        return;
    }
    text.reserve(static_cast<size_t>(n) * (form == Form::HexPairs ? 3 : 2));
    for (int32_t i = 0; i < n; ++i) {
        text.push_back(kHexDigits[buffer[i] >> 4]);
        text.push_back(kHexDigits[buffer[i] & 0x0F]);
        if (form == Form::HexPairs) text.push_back(' ');
    }
}

}  // namespace

std::string ByteToHex(uint8_t value) {
    return {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
}

void CardReader::LoadReportLayout() {
    layoutProductId_ = ReaderProductId();
    InputReport.assign(ReaderCaps.InputReportByteLength, 0);
    // The parser reads the preparsed data at its address: only ever hand it data held.
    if (PreparsedData == 0) {
        ReaderError = "No reader is open";
        return;
    }
    const ReaderModel& model = Model();
    std::map<uint16_t, uint16_t> counts;
    for (const LayoutRow& row : kLayout) {
        if (!model.Delivers(row.value)) continue;
        HidpValueCaps caps;
        uint16_t length = 1;
        const NtStatus status = hid_.GetSpecificValueCaps(HidpReportType::Input, kVendorPage, 0,
                                                          row.usage, &caps, &length, PreparsedData);
        if (status != hidp::kSuccess) {
            ReaderError = row.statusFirst ? StatusHex(status) + row.failed : row.failed;
            return;
        }
        if (length != 1) {
            ReaderError = row.missing;
            return;
        }
        counts[row.usage] = caps.ReportCount;
    }
    for (const auto& [usage, count] : counts)
        UsageBuffer[usage].assign(count, 0);
}

bool CardReader::DecodeValue(uint16_t usage, int32_t& field, const char* failure) {
    uint32_t value = 0;
    if (hid_.GetUsageValue(HidpReportType::Input, kVendorPage, 0, usage, &value, PreparsedData,
                           InputReport.data(),
                           static_cast<uint32_t>(InputReport.size())) != hidp::kSuccess) {
        ReaderError = failure;
        return false;
    }
    field = static_cast<int32_t>(value);
    return true;
}

bool CardReader::DecodeArray(uint16_t usage, const char* failure) {
    CardBytes& buffer = UsageBuffer[usage];
    if (buffer.empty()) {
        ReaderError = std::string(failure) + ": its buffer was never sized";
        return false;
    }
    if (hid_.GetUsageValueArray(HidpReportType::Input, kVendorPage, 0, usage, buffer.data(),
                                static_cast<uint16_t>(buffer.size()), PreparsedData,
                                InputReport.data(),
                                static_cast<uint32_t>(InputReport.size())) != hidp::kSuccess) {
        ReaderError = failure;
        return false;
    }
    return true;
}

bool CardReader::DecodeReport() {
    if (PreparsedData == 0) {
        ReaderError = "No reader is open";
        return false;
    }
    const ReaderModel& model = Model();
    const bool blocksOf8 = model.tracks == TrackForm::HexBlocksOf8;
    SwipeRecord& r = swipe_;

    // A text built from the first n bytes of a usage's buffer: n must lie within it.
    const auto text = [&](uint16_t usage, int32_t n, const char* name, Form form, auto& field) {
        const CardBytes& buffer = UsageBuffer[usage];
        if (n < 0 || static_cast<size_t>(n) > buffer.size()) {
            ReaderError = std::string(name) + " length " + std::to_string(n) +
                          " exceeds its buffer of " + std::to_string(buffer.size()) + " bytes";
            return false;
        }
        MakeText(buffer, n, form, field);
        return true;
    };
    const auto track = [&](uint16_t usage, int32_t length, const char* name, const char* failure,
                           CardText& field) {
        if (!DecodeArray(usage, failure)) return false;
        return blocksOf8 ? text(usage, Rounded(length), name, Form::HexPairs, field)
                         : text(usage, length, name, Form::Characters, field);
    };

    if (!DecodeValue(0x20, r.Tk1DcdSts, "HidP_GetUsageValue Failed on Tk1DcdSts") ||
        !DecodeValue(0x21, r.Tk2DcdSts, "HidP_GetUsageValue Failed on Tk2DcdSts") ||
        !DecodeValue(0x22, r.Tk3DcdSts, "HidP_GetUsageValue Failed on Tk3DcdSts") ||
        !DecodeValue(0x28, r.Tk1Len, "HidP_GetUsageValue Failed on Tk1Len") ||
        !DecodeValue(0x29, r.Tk2Len, "HidP_GetUsageValue Failed on Tk2Len") ||
        !DecodeValue(0x2A, r.Tk3Len, "HidP_GetUsageValue Failed on Tk3Len") ||
        !track(0x30, r.Tk1Len, "Tk1Data", "HidP_GetUsageValueArray Failed on Tk1Data", r.Tk1Data) ||
        !track(0x31, r.Tk2Len, "Tk2Data", "HidP_GetUsageValueArray Failed on Tk2Data", r.Tk2Data) ||
        !track(0x32, r.Tk3Len, "Tk3Data", "HidP_GetUsageValueArray Failed on Tk3Data", r.Tk3Data) ||
        !DecodeValue(0x38, r.CrdEcdTyp, "HidP_GetUsageValue Failed on CrdEcdTyp")) {
        return false;
    }
    if (model.Delivers(ReaderValue::CardStatus) &&
        !DecodeValue(0x39, r.CardSts, "HidP_GetUsageValue Failed on CardSts")) {
        return false;
    }
    if (model.Delivers(ReaderValue::StripePrint)) {
        if (!DecodeValue(0x23, r.StripePrintSts, "HidP_GetUsageValue Failed on StripePrintSts") ||
            !DecodeValue(0x2B, r.StripePrintLen, "HidP_GetUsageValue Failed on StripePrintLen") ||
            !DecodeArray(0x33, "HidP_GetUsageValueArray Failed on StripePrintData") ||
            !text(0x33, blocksOf8 ? Rounded(r.StripePrintLen) : r.StripePrintLen, "StripePrintData",
                  Form::HexPairs, r.StripePrintData)) {
            return false;
        }
    }
    // The serial number's text is made further on, after the DUKPT key serial number.
    if (model.Delivers(ReaderValue::SerialNumber) &&
        !DecodeArray(0x40, "HidP_GetUsageValueArray Failed on DeviceSerialNumberData")) {
        return false;
    }
    if (model.Delivers(ReaderValue::DukptKsn)) {
        if (!DecodeArray(0x46, "HidP_GetUsageValueArray Failed on DUKPTData") ||
            !text(0x46, 10, "DUKPTData", Form::HexJoined, r.DUKPTData)) {
            return false;
        }
    }
    r.DeviceSerialNumberData = "";
    if (model.Delivers(ReaderValue::SerialNumber)) {
        const CardBytes& serial = UsageBuffer[0x40];
        r.DeviceSerialNumberData =
            std::string(serial.begin(), std::find(serial.begin(), serial.end(), 0));
    }
    if (model.Delivers(ReaderValue::SequenceCounter) &&
        !DecodeValue(0x41, r.SequenceCounter, "HidP_GetUsageValue Failed on SequenceCounter")) {
        return false;
    }
    if (model.Delivers(ReaderValue::MaskedTracks)) {
        if (!DecodeValue(0x47, r.Tk1MLen, "HidP_GetUsageValue Failed on Tk1MLen") ||
            !DecodeValue(0x48, r.Tk2MLen, "HidP_GetUsageValue Failed on Tk2MLen") ||
            !DecodeValue(0x49, r.Tk3MLen, "HidP_GetUsageValue Failed on Tk3MLen") ||
            !DecodeArray(0x4A, "HidP_GetUsageValueArray Failed on MTk1Data") ||
            !text(0x4A, r.Tk1MLen, "MTk1Data", Form::Characters, r.MTk1Data) ||
            !DecodeArray(0x4B, "HidP_GetUsageValueArray Failed on MTk2Data") ||
            !text(0x4B, r.Tk2MLen, "MTk2Data", Form::Characters, r.MTk2Data) ||
            !DecodeArray(0x4C, "HidP_GetUsageValueArray Failed on MTk3Data") ||
            !text(0x4C, r.Tk3MLen, "MTk3Data", Form::Characters, r.MTk3Data)) {
            return false;
        }
    }
    if (model.Delivers(ReaderValue::EncryptedSessionId)) {
        if (!DecodeArray(0x50, "HidP_GetUsageValueArray Failed on EncSessionIDData") ||
            !text(0x50, 8, "EncSessionIDData", Form::HexPairs, r.EncSessionIDData)) {
            return false;
        }
    }
    return true;
}

void SwipeRecord::WipeClearTracks() {
    for (CardText* track : {&Tk1Data, &Tk2Data, &Tk3Data})
        Wipe(*track);
}

void SwipeRecord::WipeMaskedTracks() {
    for (CardText* track : {&MTk1Data, &MTk2Data, &MTk3Data})
        Wipe(*track);
}

void SwipeRecord::WipeTracks() {
    WipeClearTracks();
    WipeMaskedTracks();
}

void CardReader::WipeBuffers() {
    // Only while no read is pending: the system may still be writing into the report buffer.
    if (!ReadPending) Wipe(InputReport);
    for (auto& [usage, buffer] : UsageBuffer)
        Wipe(buffer);
}

void CardReader::WipeSwipeData() {
    WipeBuffers();
    swipe_.WipeTracks();
}

}  // namespace ostrel
