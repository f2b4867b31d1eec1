#include "platform/sim/hid_descriptor.h"

#include <algorithm>

namespace ostrel::sim {

namespace {

// The report-ID byte. Windows puts it first in every report buffer, 0 for a device that uses
// no report IDs, and counts it in the report length; the fields follow it. Nothing else in
// the descriptor's code knows where it sits or when it is checked.
struct ReportIdByte {
    static uint16_t ReportLength(uint32_t dataBits) {
        return static_cast<uint16_t>(1 + (dataBits + 7) / 8);
    }
    static uint32_t FirstBit(uint32_t bitPosition) { return 8 + bitPosition; }
    static bool Matches(bool usesIds, const uint8_t* report, uint8_t reportId) {
        return !usesIds || report[0] == reportId;
    }
    static void Put(bool usesIds, uint8_t* report, uint8_t reportId) {
        report[0] = usesIds ? reportId : 0;
    }
};

bool ValidType(HidpReportType type) {
    return type == HidpReportType::Input || type == HidpReportType::Output ||
           type == HidpReportType::Feature;
}

uint32_t ReadBits(const uint8_t* report, uint32_t first, uint32_t count) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t bit = first + i;
        value |= static_cast<uint32_t>((report[bit / 8] >> (bit % 8)) & 1u) << i;
    }
    return value;
}

void WriteBits(uint8_t* report, uint32_t first, uint32_t count, uint32_t value) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t bit = first + i;
        const auto mask = static_cast<uint8_t>(1u << (bit % 8));
        if ((value >> i) & 1u)
            report[bit / 8] |= mask;
        else
            report[bit / 8] &= static_cast<uint8_t>(~mask);
    }
}

}  // namespace

// HIDP_CAPS holds report lengths in 16 bits.
const uint32_t HidDescriptor::kMaxDataBits = (0xFFFFu - 1) * 8;

uint16_t HidDescriptor::ReportByteLength(HidpReportType type) const {
    if (!ValidType(type)) return 0;
    const uint32_t bits = dataBits_[static_cast<int>(type)];
    return bits == 0 ? 0 : ReportIdByte::ReportLength(bits);
}

HidpCaps HidDescriptor::Caps() const {
    HidpCaps caps = caps_;
    caps.InputReportByteLength = ReportByteLength(HidpReportType::Input);
    caps.OutputReportByteLength = ReportByteLength(HidpReportType::Output);
    caps.FeatureReportByteLength = ReportByteLength(HidpReportType::Feature);
    return caps;
}

std::vector<uint8_t> HidDescriptor::NewReport(HidpReportType type, uint8_t reportId) const {
    std::vector<uint8_t> report(ReportByteLength(type), 0);
    if (!report.empty()) ReportIdByte::Put(usesReportIds_, report.data(), reportId);
    return report;
}

NtStatus HidDescriptor::Locate(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                               uint16_t usage, const uint8_t* report, uint32_t reportLength,
                               const HidField** field, uint32_t* firstBit) const {
    if (!ValidType(type)) return hidp::kInvalidReportType;
    if (reportLength != ReportByteLength(type) || (reportLength > 0 && !report))
        return hidp::kInvalidReportLength;
    bool inAnotherReport = false;
    for (const HidField& f : fields_) {
        if (f.type != type || f.caps.UsagePage != usagePage || f.caps.Usage != usage ||
            (linkCollection != 0 && f.caps.LinkCollection != linkCollection)) {
            continue;
        }
        if (!ReportIdByte::Matches(usesReportIds_, report, f.caps.ReportID)) {
            inAnotherReport = true;
            continue;
        }
        *field = &f;
        *firstBit = ReportIdByte::FirstBit(f.bitPosition);
        return hidp::kSuccess;
    }
    return inAnotherReport ? hidp::kIncompatibleReportId : hidp::kUsageNotFound;
}

NtStatus HidDescriptor::GetSpecificValueCaps(HidpReportType type, uint16_t usagePage,
                                             uint16_t linkCollection, uint16_t usage,
                                             HidpValueCaps* caps, uint16_t* capsLength) const {
    if (!ValidType(type)) return hidp::kInvalidReportType;
    uint16_t copied = 0;
    bool matched = false;
    for (const HidField& f : fields_) {
        if (f.type != type || (usagePage != 0 && f.caps.UsagePage != usagePage) ||
            (usage != 0 && f.caps.Usage != usage) ||
            (linkCollection != 0 && f.caps.LinkCollection != linkCollection)) {
            continue;
        }
        matched = true;
        if (copied < *capsLength) caps[copied++] = f.caps;
    }
    *capsLength = copied;
    return matched ? hidp::kSuccess : hidp::kUsageNotFound;
}

NtStatus HidDescriptor::GetUsageValue(HidpReportType type, uint16_t usagePage,
                                      uint16_t linkCollection, uint16_t usage, uint32_t* value,
                                      const uint8_t* report, uint32_t reportLength) const {
    const HidField* field = nullptr;
    uint32_t first = 0;
    const NtStatus status =
        Locate(type, usagePage, linkCollection, usage, report, reportLength, &field, &first);
    if (status != hidp::kSuccess) return status;
    if (field->caps.ReportCount > 1) return hidp::kIsValueArray;
    *value = ReadBits(report, first, field->caps.BitSize);
    return hidp::kSuccess;
}

NtStatus HidDescriptor::SetUsageValue(HidpReportType type, uint16_t usagePage,
                                      uint16_t linkCollection, uint16_t usage, uint32_t value,
                                      uint8_t* report, uint32_t reportLength) const {
    const HidField* field = nullptr;
    uint32_t first = 0;
    const NtStatus status =
        Locate(type, usagePage, linkCollection, usage, report, reportLength, &field, &first);
    if (status != hidp::kSuccess) return status;
    if (field->caps.ReportCount > 1) return hidp::kIsValueArray;
    WriteBits(report, first, field->caps.BitSize, value);
    return hidp::kSuccess;
}

namespace {

// The checks HidP_GetUsageValueArray makes once the field is found; the bytes it moves.
NtStatus ArrayBytes(const HidpValueCaps& caps, uint16_t bufferLength, uint32_t* bytes) {
    if (caps.ReportCount <= 1) return hidp::kNotValueArray;
    if (caps.BitSize % 8 != 0) return hidp::kNotImplemented;
    *bytes = uint32_t{caps.ReportCount} * caps.BitSize / 8;
    return bufferLength < *bytes ? hidp::kBufferTooSmall : hidp::kSuccess;
}

}  // namespace

NtStatus HidDescriptor::GetUsageValueArray(HidpReportType type, uint16_t usagePage,
                                           uint16_t linkCollection, uint16_t usage, uint8_t* buffer,
                                           uint16_t bufferLength, const uint8_t* report,
                                           uint32_t reportLength) const {
    const HidField* field = nullptr;
    uint32_t first = 0;
    NtStatus status =
        Locate(type, usagePage, linkCollection, usage, report, reportLength, &field, &first);
    uint32_t bytes = 0;
    if (status == hidp::kSuccess) status = ArrayBytes(field->caps, bufferLength, &bytes);
    if (status != hidp::kSuccess) return status;
    if (first % 8 == 0) {
        std::copy_n(report + first / 8, bytes, buffer);
        return hidp::kSuccess;
    }
    for (uint32_t i = 0; i < bytes; ++i)
        buffer[i] = static_cast<uint8_t>(ReadBits(report, first + 8 * i, 8));
    return hidp::kSuccess;
}

NtStatus HidDescriptor::SetUsageValueArray(HidpReportType type, uint16_t usagePage,
                                           uint16_t linkCollection, uint16_t usage,
                                           const uint8_t* buffer, uint16_t bufferLength,
                                           uint8_t* report, uint32_t reportLength) const {
    const HidField* field = nullptr;
    uint32_t first = 0;
    NtStatus status =
        Locate(type, usagePage, linkCollection, usage, report, reportLength, &field, &first);
    uint32_t bytes = 0;
    if (status == hidp::kSuccess) status = ArrayBytes(field->caps, bufferLength, &bytes);
    if (status != hidp::kSuccess) return status;
    // Byte-aligned arrays (every reader's) are copied whole: a swipe's report is mostly tracks.
    if (first % 8 == 0) {
        std::copy_n(buffer, bytes, report + first / 8);
        return hidp::kSuccess;
    }
    for (uint32_t i = 0; i < bytes; ++i)
        WriteBits(report, first + 8 * i, 8, buffer[i]);
    return hidp::kSuccess;
}

}  // namespace ostrel::sim
