// Parsing a report descriptor into the fields and capabilities the HidP_ calls give.
#include "platform/sim/hid_descriptor.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

namespace ostrel::sim {

namespace {

constexpr uint32_t kConstant = 0x01;
constexpr uint32_t kVariable = 0x02;
constexpr uint32_t kRelative = 0x04;
constexpr uint32_t kNullState = 0x40;

struct ParseError {
    std::string why;
};

struct Globals {
    uint16_t usagePage = 0;
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint32_t unitExp = 0;
    uint32_t units = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// A usage as declared: a 16-bit one takes the usage page in force at the main item.
struct DeclaredUsage {
    uint32_t value;
    bool extended;
};

// Usages declared one after the other: a single usage, or a range kept as its first usage and
// its length, so that a range costs the same however many usages it names.
struct UsageSpan {
    DeclaredUsage first;
    uint32_t count;
    DeclaredUsage At(uint32_t i) const { return DeclaredUsage{first.value + i, first.extended}; }
};

// What the parser builds at most. Windows counts data indices in 16 bits; no device has more
// than a few hundred value fields, and the simulation keeps every one of them in memory.
constexpr size_t kMaxDataIndices = 0xFFFF;
constexpr size_t kMaxValueFields = 4096;
constexpr size_t kMaxCollections = 0xFFFF;

struct Collection {
    uint16_t usagePage;
    uint16_t usage;
};

}  // namespace

class DescriptorParser {
  public:
    explicit DescriptorParser(HidDescriptor& out) : out_(out) {}

    void Run(std::span<const uint8_t> bytes) {
        size_t at = 0;
        while (at < bytes.size()) {
            const uint8_t prefix = bytes[at++];
            if (prefix == 0xFE) throw ParseError{"long items are not supported"};
            const size_t size = (prefix & 3) == 3 ? 4 : prefix & 3;
            if (bytes.size() - at < size) throw ParseError{"item cut short at the end"};
            uint32_t data = 0;
            for (size_t i = 0; i < size; ++i)
                data |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
            at += size;
            const int type = (prefix >> 2) & 3;
            const int tag = prefix >> 4;
            if (type == 0)
                Main(tag, data);
            else if (type == 1)
                Global(tag, data, size);
            else if (type == 2)
                Local(tag, data, size);
            else
                throw ParseError{"reserved item type"};
        }
        if (!open_.empty()) throw ParseError{"collection not closed"};
        if (collections_.empty()) throw ParseError{"no collection"};
        Finish();
    }

  private:
    static int32_t Signed(uint32_t data, size_t size) {
        if (size == 1) return static_cast<int8_t>(data);
        if (size == 2) return static_cast<int16_t>(data);
        return static_cast<int32_t>(data);
    }

    void Global(int tag, uint32_t data, size_t size) {
        switch (tag) {
            case 0x0:
                if (data > 0xFFFF) throw ParseError{"usage page above 16 bits"};
                g_.usagePage = static_cast<uint16_t>(data);
                break;
            case 0x1:
                g_.logicalMin = Signed(data, size);
                break;
            case 0x2:
                g_.logicalMax = Signed(data, size);
                break;
            case 0x3:
                g_.physicalMin = Signed(data, size);
                break;
            case 0x4:
                g_.physicalMax = Signed(data, size);
                break;
            case 0x5:
                g_.unitExp = data;
                break;
            case 0x6:
                g_.units = data;
                break;
            case 0x7:
                g_.reportSize = data;
                break;
            case 0x8:
                if (data == 0 || data > 0xFF) throw ParseError{"report ID must be 1 to 255"};
                if (placedWithoutId_) throw ParseError{"a report ID after items that had none"};
                g_.reportId = static_cast<uint8_t>(data);
                out_.usesReportIds_ = true;
                break;
            case 0x9:
                if (data > 0xFFFF) throw ParseError{"report count above 65535"};
                g_.reportCount = data;
                break;
            case 0xA:
                stack_.push_back(g_);
                break;
            case 0xB:
                if (stack_.empty()) throw ParseError{"pop without push"};
                g_ = stack_.back();
                stack_.pop_back();
                break;
            default:
                throw ParseError{"reserved global item"};
        }
    }

    void Local(int tag, uint32_t data, size_t size) {
        const DeclaredUsage usage{data, size == 4};
        if (tag == 0x0)
            usages_.push_back(UsageSpan{usage, 1});
        else if (tag == 0x1)
            rangeMin_ = usage;
        else if (tag == 0x2)
            rangeMax_ = usage;
        // Designators, strings and delimiters do not change what the parser reports.
        if (rangeMin_ && rangeMax_) {
            const uint32_t page = rangeMin_->extended ? rangeMin_->value & 0xFFFF0000u : 0;
            const uint32_t low = rangeMin_->value & 0xFFFF;
            const uint32_t high = rangeMax_->value & 0xFFFF;
            if (high < low) throw ParseError{"usage maximum below usage minimum"};
            usages_.push_back(
                UsageSpan{DeclaredUsage{page | low, rangeMin_->extended}, high - low + 1});
            rangeMin_.reset();
            rangeMax_.reset();
        }
    }

    void Main(int tag, uint32_t data) {
        switch (tag) {
            case 0x8:
                Data(HidpReportType::Input, data);
                break;
            case 0x9:
                Data(HidpReportType::Output, data);
                break;
            case 0xB:
                Data(HidpReportType::Feature, data);
                break;
            case 0xA: {
                if (open_.empty() && !collections_.empty())
                    throw ParseError{"more than one top-level collection"};
                if (collections_.size() == kMaxCollections)
                    throw ParseError{"more than 65535 collections"};
                const auto [page, usage] =
                    Resolve(usages_.empty() ? DeclaredUsage{0, false} : usages_.front().first);
                collections_.push_back(Collection{page, usage});
                open_.push_back(static_cast<uint16_t>(collections_.size() - 1));
                break;
            }
            case 0xC:
                if (open_.empty()) throw ParseError{"end collection without a collection"};
                open_.pop_back();
                break;
            default:
                throw ParseError{"reserved main item"};
        }
        usages_.clear();
        rangeMin_.reset();
        rangeMax_.reset();
    }

    // Usages declared for the coming main item, a range counted as its usages one by one.
    static size_t Count(const std::vector<UsageSpan>& usages) {
        size_t n = 0;
        for (const UsageSpan& span : usages)
            n += span.count;
        return n;
    }

    void TakeDataIndices(int type, size_t n) {
        if (n > kMaxDataIndices - dataIndices_[type])
            throw ParseError{"more than 65535 data indices in one report type"};
        dataIndices_[type] += n;
    }

    std::pair<uint16_t, uint16_t> Resolve(const DeclaredUsage& usage) const {
        const auto page = usage.extended ? static_cast<uint16_t>(usage.value >> 16) : g_.usagePage;
        return {page, static_cast<uint16_t>(usage.value & 0xFFFF)};
    }

    void Data(HidpReportType type, uint32_t flags) {
        if (open_.empty()) throw ParseError{"data item outside a collection"};
        const uint64_t bits = uint64_t{g_.reportSize} * g_.reportCount;
        if (bits == 0) return;
        if (out_.usesReportIds_ && g_.reportId == 0)
            throw ParseError{"data item without a report ID"};
        placedWithoutId_ = placedWithoutId_ || g_.reportId == 0;
        uint32_t& end = bits_[{static_cast<int>(type), g_.reportId}];
        const uint32_t start = end;
        if (start + bits > HidDescriptor::kMaxDataBits)
            throw ParseError{"report longer than 65534 bytes"};
        end = static_cast<uint32_t>(start + bits);
        const int t = static_cast<int>(type);
        if (flags & kConstant) return;
        if (!(flags & kVariable)) {
            TakeDataIndices(t, std::max<size_t>(1, Count(usages_)));
            ++buttonCaps_[t];
            return;
        }
        if (g_.reportSize > 32) throw ParseError{"value field wider than 32 bits"};
        std::vector<UsageSpan> usages = usages_;
        if (usages.empty()) usages.push_back(UsageSpan{DeclaredUsage{0, false}, 1});
        const size_t taken = std::min<size_t>(Count(usages), g_.reportCount);
        if (out_.fields_.size() + taken > kMaxValueFields)
            throw ParseError{"more than 4096 value fields"};
        size_t index = dataIndices_[t];
        TakeDataIndices(t, taken);
        const uint16_t link = open_.back();
        size_t span = 0;
        uint32_t inSpan = 0;
        for (size_t i = 0; i < taken; ++i, ++inSpan) {
            if (inSpan == usages[span].count) {
                ++span;
                inSpan = 0;
            }
            HidField field;
            field.type = type;
            field.bitPosition = static_cast<uint32_t>(start + i * g_.reportSize);
            HidpValueCaps& c = field.caps;
            std::tie(c.UsagePage, c.Usage) = Resolve(usages[span].At(inSpan));
            c.ReportID = g_.reportId;
            c.BitField = static_cast<uint16_t>(flags);
            c.LinkCollection = link;
            c.LinkUsagePage = collections_[link].usagePage;
            c.LinkUsage = collections_[link].usage;
            c.IsAbsolute = (flags & kRelative) ? 0 : 1;
            c.HasNull = (flags & kNullState) ? 1 : 0;
            c.BitSize = static_cast<uint16_t>(g_.reportSize);
            // The last usage takes every field that is left.
            c.ReportCount = static_cast<uint16_t>(i + 1 == taken ? g_.reportCount - i : 1);
            c.UnitsExp = g_.unitExp;
            c.Units = g_.units;
            c.LogicalMin = g_.logicalMin;
            c.LogicalMax = g_.logicalMax;
            c.PhysicalMin = g_.physicalMin;
            c.PhysicalMax = g_.physicalMax;
            c.DataIndex = static_cast<uint16_t>(index++);
            out_.fields_.push_back(field);
        }
    }

    void Finish() {
        HidpCaps& caps = out_.caps_;
        caps.UsagePage = collections_.front().usagePage;
        caps.Usage = collections_.front().usage;
        caps.NumberLinkCollectionNodes = static_cast<uint16_t>(collections_.size());
        uint16_t* valueCaps[] = {&caps.NumberInputValueCaps, &caps.NumberOutputValueCaps,
                                 &caps.NumberFeatureValueCaps};
        uint16_t* buttonCaps[] = {&caps.NumberInputButtonCaps, &caps.NumberOutputButtonCaps,
                                  &caps.NumberFeatureButtonCaps};
        uint16_t* dataIndices[] = {&caps.NumberInputDataIndices, &caps.NumberOutputDataIndices,
                                   &caps.NumberFeatureDataIndices};
        // The lengths follow from the largest report of each type, in HidDescriptor.
        for (const auto& [key, bits] : bits_)
            out_.dataBits_[key.first] = std::max(out_.dataBits_[key.first], bits);
        for (const HidField& field : out_.fields_)
            ++*valueCaps[static_cast<int>(field.type)];
        for (int t = 0; t < 3; ++t) {
            *buttonCaps[t] = buttonCaps_[t];
            *dataIndices[t] = static_cast<uint16_t>(dataIndices_[t]);
        }
    }

    HidDescriptor& out_;
    Globals g_;
    std::vector<Globals> stack_;
    std::vector<UsageSpan> usages_;
    std::optional<DeclaredUsage> rangeMin_;
    std::optional<DeclaredUsage> rangeMax_;
    std::vector<Collection> collections_;
    std::vector<uint16_t> open_;                        // indices into collections_, innermost last
    std::map<std::pair<int, uint8_t>, uint32_t> bits_;  // (report type, report ID) -> bits used
    bool placedWithoutId_ = false;
    uint16_t buttonCaps_[3] = {};
    size_t dataIndices_[3] = {};
};

std::optional<HidDescriptor> HidDescriptor::Parse(std::span<const uint8_t> bytes,
                                                  std::string* error) {
    HidDescriptor parsed;
    try {
        DescriptorParser(parsed).Run(bytes);
    } catch (const ParseError& e) {
        if (error) *error = e.why;
        return std::nullopt;
    }
    return parsed;
}

}  // namespace ostrel::sim
