#pragma once
// A HID report descriptor parsed the way the Windows HID parser sees it: the value
// capabilities, the report lengths of HIDP_CAPS, and reading and writing values in a report
// with the statuses of the HidP_ calls.
//
// What is understood: short items with 0, 1, 2 or 4 data bytes; Input, Output, Feature,
// Collection, End Collection; the global items including Push and Pop; Usage (16-bit, or 32-bit
// with the page in the high half), Usage Minimum and Maximum. Other local items are ignored.
//
// Variable data items give value capabilities. One usage with Report Count N gives ONE
// capability with ReportCount N (a value array). With several usages each takes one field in
// order and the last one takes all the fields left; usages beyond Report Count are dropped.
// A usage range counts as its usages listed one by one, so it gives one capability per usage
// (never an IsRange capability). Array items (not Variable) take their place in the report and
// are counted as button capabilities, but their values cannot be read. Constant items only
// take their place (padding).
//
// Limits, each a parse error: 4096 value fields in all, 65535 data indices per report type
// (Windows counts them in 16 bits) and 65535 collections.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/hid.h"

namespace ostrel::sim {

struct HidField {
    HidpReportType type = HidpReportType::Input;
    // The field's first bit, counted from the first bit after the report-ID byte.
    uint32_t bitPosition = 0;
    HidpValueCaps caps;
};

class HidDescriptor {
  public:
    // Nothing when the bytes are not a descriptor this parser accepts; *error then says why.
    static std::optional<HidDescriptor> Parse(std::span<const uint8_t> bytes,
                                              std::string* error = nullptr);

    const std::vector<HidField>& Fields() const { return fields_; }
    bool UsesReportIds() const { return usesReportIds_; }
    // As HIDP_CAPS gives it: the report-ID byte plus the largest report's data bytes; 0 when
    // the device has no report of this type.
    uint16_t ReportByteLength(HidpReportType type) const;
    HidpCaps Caps() const;

    // HidP_GetSpecificValueCaps, HidP_GetUsageValue and HidP_GetUsageValueArray on this
    // descriptor. A usage page, usage or link collection of 0 matches any.
    NtStatus GetSpecificValueCaps(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                  uint16_t usage, HidpValueCaps* caps, uint16_t* capsLength) const;
    NtStatus GetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                           uint16_t usage, uint32_t* value, const uint8_t* report,
                           uint32_t reportLength) const;
    NtStatus GetUsageValueArray(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                uint16_t usage, uint8_t* buffer, uint16_t bufferLength,
                                const uint8_t* report, uint32_t reportLength) const;

    // The device side: an all-zero report of the full length carrying reportId, and values
    // written into it with the same checks as the reading calls (HidP_SetUsageValue and
    // HidP_SetUsageValueArray). Values wider than the field keep their low bits.
    std::vector<uint8_t> NewReport(HidpReportType type, uint8_t reportId) const;
    NtStatus SetUsageValue(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                           uint16_t usage, uint32_t value, uint8_t* report,
                           uint32_t reportLength) const;
    NtStatus SetUsageValueArray(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                                uint16_t usage, const uint8_t* buffer, uint16_t bufferLength,
                                uint8_t* report, uint32_t reportLength) const;

  private:
    friend class DescriptorParser;

    // Finds the field a value call addresses in a report of reportLength bytes whose first
    // byte is report[0], and where its first bit lies in that report.
    NtStatus Locate(HidpReportType type, uint16_t usagePage, uint16_t linkCollection,
                    uint16_t usage, const uint8_t* report, uint32_t reportLength,
                    const HidField** field, uint32_t* firstBit) const;

    static const uint32_t kMaxDataBits;  // in one report, without the report-ID byte

    std::vector<HidField> fields_;
    bool usesReportIds_ = false;
    uint32_t dataBits_[3] = {};  // of the largest report, by report type; 0 when none
    HidpCaps caps_;              // without the report lengths
};

}  // namespace ostrel::sim
