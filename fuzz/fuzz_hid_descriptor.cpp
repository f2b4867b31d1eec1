// A report descriptor parsed, then a report read and written through it as the HidP_ calls do.
// Input: the descriptor's length (two bytes, low first), the descriptor, and the report's bytes
// (cut or filled with zeros to the input report's length).
// Properties: the counts and lengths agree with the fields; every field lies inside its
// report; a value read fits its field and reads back the same once written.
#include <algorithm>
#include <map>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/sim/hid_descriptor.h"

namespace ostrel::fuzz {
namespace {

using sim::HidDescriptor;
using sim::HidField;

constexpr HidpReportType kTypes[] = {HidpReportType::Input, HidpReportType::Output,
                                     HidpReportType::Feature};

void CheckLayout(const HidDescriptor& d) {
    const HidpCaps caps = d.Caps();
    const uint16_t valueCaps[] = {caps.NumberInputValueCaps, caps.NumberOutputValueCaps,
                                  caps.NumberFeatureValueCaps};
    for (const HidpReportType type : kTypes) {
        const uint32_t length = d.ReportByteLength(type);
        size_t fields = 0;
        for (const HidField& f : d.Fields()) {
            if (f.type != type) continue;
            ++fields;
            const uint64_t end =
                uint64_t{f.bitPosition} +
                uint64_t{f.caps.BitSize} * std::max<uint16_t>(1, f.caps.ReportCount);
            Check(length > 0 && 8 + end <= uint64_t{length} * 8, "a field beyond its report");
            Check(f.caps.BitSize >= 1 && f.caps.BitSize <= 32, "a value field of no width");
            Check(f.caps.ReportID == 0 || d.UsesReportIds(), "a report ID on a device without");
        }
        Check(fields == valueCaps[static_cast<int>(type)], "value capability count is off");
    }
}

void CheckReport(const HidDescriptor& d, const std::string& bytes) {
    constexpr auto kInput = HidpReportType::Input;
    std::vector<uint8_t> report(d.ReportByteLength(kInput), 0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), report.size()), report.begin());
    const auto length = static_cast<uint32_t>(report.size());
    // A usage that several fields share is read from the first of them that fits the report:
    // its values are checked against no single field.
    std::map<std::pair<uint16_t, uint16_t>, int> fieldsOfUsage;
    for (const HidField& f : d.Fields()) {
        if (f.type == kInput) ++fieldsOfUsage[{f.caps.UsagePage, f.caps.Usage}];
    }
    for (const HidField& f : d.Fields()) {
        if (f.type != kInput) continue;
        const HidpValueCaps& c = f.caps;
        const bool shared = fieldsOfUsage[{c.UsagePage, c.Usage}] > 1;
        HidpValueCaps found[2];
        uint16_t count = 2;
        Check(d.GetSpecificValueCaps(kInput, c.UsagePage, 0, c.Usage, found, &count) ==
                      hidp::kSuccess &&
                  count >= 1,
              "a field's own usage is not found");
        if (c.ReportCount <= 1) {
            uint32_t value = 0;
            const NtStatus status =
                d.GetUsageValue(kInput, c.UsagePage, 0, c.Usage, &value, report.data(), length);
            if (status != hidp::kSuccess || shared) continue;
            Check(c.BitSize == 32 || value >> c.BitSize == 0, "a value wider than its field");
            std::vector<uint8_t> fresh = d.NewReport(kInput, report.empty() ? 0 : report[0]);
            Check(d.SetUsageValue(kInput, c.UsagePage, 0, c.Usage, value, fresh.data(), length) ==
                      hidp::kSuccess,
                  "a value read cannot be written");
            uint32_t again = 0;
            d.GetUsageValue(kInput, c.UsagePage, 0, c.Usage, &again, fresh.data(), length);
            Check(again == value, "a value does not read back as written");
        } else {
            // Exactly the array's bytes, so that a read past them shows as an overflow.
            const uint32_t bytesWanted = uint32_t{c.ReportCount} * c.BitSize / 8;
            std::vector<uint8_t> buffer(bytesWanted);
            d.GetUsageValueArray(kInput, c.UsagePage, 0, c.Usage, buffer.data(),
                                 static_cast<uint16_t>(std::min<uint32_t>(bytesWanted, 0xFFFF)),
                                 report.data(), length);
            uint8_t small = 0;
            d.GetUsageValueArray(kInput, c.UsagePage, 0, c.Usage, &small, 1, report.data(), length);
        }
    }
    // A report of another length is refused, not read.
    uint32_t value = 0;
    std::vector<uint8_t> shorter(report.empty() ? 0 : report.size() - 1);
    for (const HidField& f : d.Fields()) {
        if (f.type != kInput) continue;
        Check(d.GetUsageValue(kInput, f.caps.UsagePage, 0, f.caps.Usage, &value, shorter.data(),
                              static_cast<uint32_t>(shorter.size())) != hidp::kSuccess,
              "a report of the wrong length was read");
        break;
    }
}

}  // namespace
}  // namespace ostrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel::fuzz;
    Input in(data, size);
    const size_t length = in.Byte() | size_t{in.Byte()} << 8;
    const std::string descriptor = in.Bytes(length);
    const std::string report = in.Rest();
    std::string error;
    const auto parsed = ostrel::sim::HidDescriptor::Parse(
        std::span(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size()), &error);
    if (!parsed) {
        Check(!error.empty(), "a descriptor refused without a reason");
        return 0;
    }
    CheckLayout(*parsed);
    CheckReport(*parsed, report);
    return 0;
}
