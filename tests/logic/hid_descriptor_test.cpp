#include "platform/sim/hid_descriptor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/sim/sim_readers.h"

namespace ostrel::sim {
namespace {

constexpr auto kInput = HidpReportType::Input;
constexpr auto kOutput = HidpReportType::Output;
constexpr uint16_t kPage = 0xFF00;

HidDescriptor Parsed(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto parsed = HidDescriptor::Parse(bytes, &error);
    EXPECT_TRUE(parsed) << error;
    return parsed.value_or(HidDescriptor{});
}

const HidField& FieldOf(const HidDescriptor& d, HidpReportType type, uint16_t usage) {
    for (const HidField& f : d.Fields()) {
        if (f.type == type && f.caps.Usage == usage) return f;
    }
    ADD_FAILURE() << "no field for usage " << usage;
    static const HidField none;
    return none;
}

// clang-format off
// No report IDs. Input: 0x10 (8 bits), 0x11 (4 bits), 0x12 (16 bits, not byte-aligned),
// 4 bits of padding, 0x13 (3 x 8 bits), 0x14 (1 bit), 7 bits of padding. Output: 0x20 (2 x 8).
const std::vector<uint8_t> kPlain = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x01, 0x09, 0x10, 0x81, 0x02,
    0x75, 0x04, 0x09, 0x11, 0x81, 0x02,
    0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75, 0x10, 0x09, 0x12, 0x81, 0x02,
    0x75, 0x04, 0x81, 0x03,
    0x75, 0x08, 0x95, 0x03, 0x09, 0x13, 0x81, 0x02,
    0x75, 0x01, 0x95, 0x01, 0x09, 0x14, 0x81, 0x02,
    0x75, 0x07, 0x81, 0x01,
    0x75, 0x08, 0x95, 0x02, 0x09, 0x20, 0x91, 0x02,
    0xC0};
// 0x10 = 0x5A, 0x11 = 0x9, 0x12 = 0xBEEF, padding all ones, 0x13 = "xyz", 0x14 = 1.
const std::vector<uint8_t> kPlainReport = {0x00, 0x5A, 0xF9, 0xEE, 0xFB, 'x', 'y', 'z', 0xFF};

// Report IDs. Input report 1: 0x10 (8 bits). Input report 2: 0x11 (4 x 8 bits), 0x12 (16 bits),
// 0x15 (2 x 4 bits).
const std::vector<uint8_t> kWithIds = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
    0x85, 0x01, 0x75, 0x08, 0x95, 0x01, 0x09, 0x10, 0x81, 0x02,
    0x85, 0x02, 0x95, 0x04, 0x09, 0x11, 0x81, 0x02,
    0x75, 0x10, 0x95, 0x01, 0x09, 0x12, 0x81, 0x02,
    0x75, 0x04, 0x95, 0x02, 0x09, 0x15, 0x81, 0x02,
    0xC0};
const std::vector<uint8_t> kReport2 = {0x02, 'a', 'b', 'c', 'd', 0x34, 0x12, 0x21};
// clang-format on

TEST(HidDescriptorTest, PositionsAndLengthsWithoutReportIds) {
    const HidDescriptor d = Parsed(kPlain);
    EXPECT_FALSE(d.UsesReportIds());
    const std::map<uint16_t, std::vector<uint32_t>> expected = {
        // usage: bit position, BitSize, ReportCount
        {0x10, {0, 8, 1}},
        {0x11, {8, 4, 1}},
        {0x12, {12, 16, 1}},
        {0x13, {32, 8, 3}},
        {0x14, {56, 1, 1}}};
    for (const auto& [usage, want] : expected) {
        const HidField& f = FieldOf(d, kInput, usage);
        EXPECT_EQ(f.bitPosition, want[0]) << usage;
        EXPECT_EQ(f.caps.BitSize, want[1]) << usage;
        EXPECT_EQ(f.caps.ReportCount, want[2]) << usage;
        EXPECT_EQ(f.caps.ReportID, 0) << usage;
        EXPECT_EQ(f.caps.UsagePage, kPage) << usage;
        EXPECT_EQ(f.caps.LinkCollection, 0) << usage;
    }
    EXPECT_EQ(FieldOf(d, kInput, 0x12).caps.LogicalMax, 65535);
    EXPECT_EQ(FieldOf(d, kInput, 0x10).caps.LogicalMax, 255);
    const HidpCaps caps = d.Caps();
    EXPECT_EQ(caps.UsagePage, kPage);
    EXPECT_EQ(caps.Usage, 1);
    EXPECT_EQ(caps.InputReportByteLength, 9);  // the ID byte and 64 bits
    EXPECT_EQ(caps.OutputReportByteLength, 3);
    EXPECT_EQ(caps.FeatureReportByteLength, 0);
    EXPECT_EQ(caps.NumberInputValueCaps, 5);
    EXPECT_EQ(caps.NumberOutputValueCaps, 1);
}

TEST(HidDescriptorTest, ReadsAndWritesValuesInLittleEndianBitOrder) {
    const HidDescriptor d = Parsed(kPlain);
    const auto length = static_cast<uint32_t>(kPlainReport.size());
    const std::map<uint16_t, uint32_t> values = {
        {0x10, 0x5A}, {0x11, 0x9}, {0x12, 0xBEEF}, {0x14, 1}};
    for (const auto& [usage, want] : values) {
        uint32_t value = 0;
        EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, usage, &value, kPlainReport.data(), length),
                  hidp::kSuccess);
        EXPECT_EQ(value, want) << usage;
    }
    uint8_t text[4] = {0, 0, 0, '#'};
    EXPECT_EQ(d.GetUsageValueArray(kInput, kPage, 0, 0x13, text, 4, kPlainReport.data(), length),
              hidp::kSuccess);
    EXPECT_EQ(std::string(text, text + 4), "xyz#");

    // Written the other way the same values give the same bytes, padding aside.
    std::vector<uint8_t> built = d.NewReport(kInput, 7);
    ASSERT_EQ(built.size(), 9u);
    for (const auto& [usage, v] : values)
        ASSERT_EQ(d.SetUsageValue(kInput, kPage, 0, usage, v, built.data(), 9), hidp::kSuccess);
    ASSERT_EQ(d.SetUsageValueArray(kInput, kPage, 0, 0x13, text, 3, built.data(), 9),
              hidp::kSuccess);
    EXPECT_EQ(built, (std::vector<uint8_t>{0x00, 0x5A, 0xF9, 0xEE, 0x0B, 'x', 'y', 'z', 0x01}));
    // A value wider than its field keeps its low bits and leaves its neighbours alone.
    ASSERT_EQ(d.SetUsageValue(kInput, kPage, 0, 0x11, 0x1F3, built.data(), 9), hidp::kSuccess);
    EXPECT_EQ(built[2], 0xF3);
}

TEST(HidDescriptorTest, ReportIdsCountInTheLengthAndSelectTheReport) {
    const HidDescriptor d = Parsed(kWithIds);
    EXPECT_TRUE(d.UsesReportIds());
    EXPECT_EQ(FieldOf(d, kInput, 0x10).caps.ReportID, 1);
    EXPECT_EQ(FieldOf(d, kInput, 0x10).bitPosition, 0u);
    EXPECT_EQ(FieldOf(d, kInput, 0x11).caps.ReportID, 2);
    EXPECT_EQ(FieldOf(d, kInput, 0x11).bitPosition, 0u);
    EXPECT_EQ(FieldOf(d, kInput, 0x12).bitPosition, 32u);
    EXPECT_EQ(FieldOf(d, kInput, 0x15).bitPosition, 48u);
    // The longest report (2: seven data bytes) and its ID byte.
    EXPECT_EQ(d.Caps().InputReportByteLength, 8);
    EXPECT_EQ(d.NewReport(kInput, 2)[0], 2);

    uint32_t value = 0;
    EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, 0x12, &value, kReport2.data(), 8), hidp::kSuccess);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, 0x10, &value, kReport2.data(), 8),
              hidp::kIncompatibleReportId);
    std::vector<uint8_t> report3 = kReport2;
    report3[0] = 3;
    EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, 0x12, &value, report3.data(), 8),
              hidp::kIncompatibleReportId);
    // The length is checked before the report ID, and must be the full length.
    EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, 0x12, &value, report3.data(), 7),
              hidp::kInvalidReportLength);
    EXPECT_EQ(d.GetUsageValue(kInput, kPage, 0, 0x99, &value, kReport2.data(), 8),
              hidp::kUsageNotFound);
}

TEST(HidDescriptorTest, ExtractionStatuses) {
    const HidDescriptor plain = Parsed(kPlain);
    const uint8_t* report = kPlainReport.data();
    uint32_t value = 0;
    uint8_t buffer[8] = {};
    EXPECT_EQ(plain.GetUsageValue(kInput, kPage, 0, 0x13, &value, report, 9), hidp::kIsValueArray);
    EXPECT_EQ(plain.GetUsageValueArray(kInput, kPage, 0, 0x10, buffer, 8, report, 9),
              hidp::kNotValueArray);
    EXPECT_EQ(plain.GetUsageValueArray(kInput, kPage, 0, 0x13, buffer, 2, report, 9),
              hidp::kBufferTooSmall);
    EXPECT_EQ(buffer[0], 0);  // nothing copied
    EXPECT_EQ(plain.GetUsageValueArray(kInput, kPage, 0, 0x13, buffer, 3, report, 10),
              hidp::kInvalidReportLength);
    EXPECT_EQ(plain.GetUsageValue(kInput, 0xFF01, 0, 0x10, &value, report, 9),
              hidp::kUsageNotFound);
    EXPECT_EQ(plain.GetUsageValue(kOutput, kPage, 0, 0x10, &value, report, 3),
              hidp::kUsageNotFound);
    EXPECT_EQ(
        plain.GetUsageValue(static_cast<HidpReportType>(3), kPage, 0, 0x10, &value, report, 9),
        hidp::kInvalidReportType);
    // A device without report IDs does not look at the first byte.
    std::vector<uint8_t> marked = kPlainReport;
    marked[0] = 0x42;
    EXPECT_EQ(plain.GetUsageValue(kInput, kPage, 0, 0x10, &value, marked.data(), 9),
              hidp::kSuccess);

    const HidDescriptor ids = Parsed(kWithIds);
    EXPECT_EQ(ids.GetUsageValueArray(kInput, kPage, 0, 0x15, buffer, 8, kReport2.data(), 8),
              hidp::kNotImplemented);

    // Capabilities: usage 0 matches any usage; no more are copied than there is room for.
    HidpValueCaps caps[8];
    uint16_t length = 2;
    EXPECT_EQ(plain.GetSpecificValueCaps(kInput, kPage, 0, 0, caps, &length), hidp::kSuccess);
    EXPECT_EQ(length, 2);
    length = 8;
    EXPECT_EQ(plain.GetSpecificValueCaps(kInput, kPage, 0, 0, caps, &length), hidp::kSuccess);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(plain.GetSpecificValueCaps(kInput, kPage, 0, 0x20, caps, &length),
              hidp::kUsageNotFound);
    EXPECT_EQ(length, 0);
    length = 8;
    EXPECT_EQ(plain.GetSpecificValueCaps(kInput, kPage, 3, 0x13, caps, &length),
              hidp::kUsageNotFound);
}

TEST(HidDescriptorTest, UsageListsRangesAndLocalState) {
    // clang-format off
    const HidDescriptor d = Parsed({
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
        // Three usages over five fields: the last one takes the three left.
        0x95, 0x05, 0x09, 0x21, 0x09, 0x22, 0x09, 0x23, 0x81, 0x02,
        // A range over two fields; a 32-bit usage naming its own page.
        0x95, 0x02, 0x19, 0x30, 0x29, 0x31, 0x81, 0x02,
        0x95, 0x01, 0x0B, 0x40, 0x00, 0x01, 0xFF, 0x81, 0x02,
        // No usage here: the last item's usage does not carry over.
        0x81, 0x02,
        // A nested collection gives its fields another link collection.
        0x09, 0x02, 0xA1, 0x02, 0x09, 0x50, 0x81, 0x02, 0xC0,
        // An array item: room in the report, no value.
        0x19, 0x01, 0x29, 0x05, 0x81, 0x00,
        0xC0});
    // clang-format on
    const std::map<uint16_t, std::vector<uint32_t>> expected = {
        // usage: bit position, ReportCount, usage page, link collection
        {0x21, {0, 1, 0xFF00, 0}},  {0x22, {8, 1, 0xFF00, 0}},  {0x23, {16, 3, 0xFF00, 0}},
        {0x30, {40, 1, 0xFF00, 0}}, {0x31, {48, 1, 0xFF00, 0}}, {0x40, {56, 1, 0xFF01, 0}},
        {0x00, {64, 1, 0xFF00, 0}}, {0x50, {72, 1, 0xFF00, 1}}};
    ASSERT_EQ(d.Fields().size(), expected.size());
    for (const auto& [usage, want] : expected) {
        const HidField& f = FieldOf(d, kInput, usage);
        EXPECT_EQ(f.bitPosition, want[0]) << usage;
        EXPECT_EQ(f.caps.ReportCount, want[1]) << usage;
        EXPECT_EQ(f.caps.UsagePage, want[2]) << usage;
        EXPECT_EQ(f.caps.LinkCollection, want[3]) << usage;
    }
    EXPECT_EQ(FieldOf(d, kInput, 0x50).caps.LinkUsage, 2);
    EXPECT_EQ(d.Caps().NumberLinkCollectionNodes, 2);
    EXPECT_EQ(d.Caps().NumberInputButtonCaps, 1);
    EXPECT_EQ(d.Caps().InputReportByteLength, 1 + 11);
}

TEST(HidDescriptorTest, RejectsWhatWindowsWouldNotList) {
    const std::vector<std::vector<uint8_t>> bad = {
        {},                                                      // nothing
        {0x06, 0x00},                                            // item cut short
        {0x09, 0x01, 0xA1, 0x01},                                // collection never closed
        {0xC0},                                                  // end without a collection
        {0x75, 0x08, 0x95, 0x01, 0x81, 0x02},                    // data outside a collection
        {0xA1, 0x01, 0xC0, 0xA1, 0x01, 0xC0},                    // two top-level collections
        {0xA1, 0x01, 0x85, 0x00, 0xC0},                          // report ID 0
        {0xA1, 0x01, 0xB4, 0xC0},                                // pop without push
        {0xA1, 0x01, 0xFE, 0x00, 0x00, 0xC0},                    // long item
        {0xA1, 0x01, 0x75, 0x21, 0x95, 0x01, 0x81, 0x02, 0xC0},  // value of 33 bits
        // Data before the first report ID.
        {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0x81, 0x02, 0xC0},
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        std::string error;
        EXPECT_FALSE(HidDescriptor::Parse(bad[i], &error)) << "case " << i;
        EXPECT_FALSE(error.empty()) << "case " << i;
    }
}

// A descriptor of a few hundred bytes must not make the parser build millions of fields.
TEST(HidDescriptorTest, CapsFieldsAndDataIndicesWithAParseError) {
    // One collection; report size 1, then the given items.
    const auto descriptor = [](const std::vector<uint8_t>& items) {
        std::vector<uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x01};
        d.insert(d.end(), items.begin(), items.end());
        d.push_back(0xC0);
        return d;
    };
    const auto repeat = [](const std::vector<uint8_t>& items, int times) {
        std::vector<uint8_t> out;
        for (int i = 0; i < times; ++i)
            out.insert(out.end(), items.begin(), items.end());
        return out;
    };
    const std::vector<uint8_t> count4096 = {0x96, 0x00, 0x10};
    const std::vector<uint8_t> count4097 = {0x96, 0x01, 0x10};
    const std::vector<uint8_t> count65535 = {0x96, 0xFF, 0xFF};
    // Usage Minimum 0, Usage Maximum 0xFFFF: a range of every usage of the page.
    const std::vector<uint8_t> fullRange = {0x19, 0x00, 0x2A, 0xFF, 0xFF};
    const std::vector<uint8_t> variable = {0x81, 0x02};
    const std::vector<uint8_t> array = {0x81, 0x00};
    const auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& part : parts)
            out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> items;
        const char* error;  // nullptr: parses
    };
    const Case cases[] = {
        {"4096 value fields", join({count4096, fullRange, variable}), nullptr},
        {"4097 value fields", join({count4097, fullRange, variable}),
         "more than 4096 value fields"},
        {"seven items of 65535 fields each",
         join({count65535, repeat(join({fullRange, variable}), 7)}), "more than 4096 value fields"},
        {"fields added up over items", join({count4096, fullRange, variable, fullRange, variable}),
         "more than 4096 value fields"},
        {"an array over usages 1 to 0xFFFF",
         join({count65535, {0x19, 0x01, 0x2A, 0xFF, 0xFF}, array}), nullptr},
        {"an array over all 65536 usages", join({count65535, fullRange, array}),
         "more than 65535 data indices in one report type"},
        {"ranges that add up past 65535",
         join({{0x95, 0x01}, repeat(join({fullRange, fullRange, array}), 2)}),
         "more than 65535 data indices in one report type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const auto parsed = HidDescriptor::Parse(descriptor(c.items), &error);
        if (c.error) {
            EXPECT_FALSE(parsed);
            EXPECT_EQ(error, c.error);
        } else {
            EXPECT_TRUE(parsed) << error;
        }
    }
    // Within the limits a range still gives one field per usage, in order.
    const HidDescriptor d = Parsed(descriptor(join({count4096, fullRange, variable})));
    ASSERT_EQ(d.Fields().size(), 4096u);
    EXPECT_EQ(d.Fields()[4095].caps.Usage, 4095);
    EXPECT_EQ(d.Fields()[4095].caps.DataIndex, 4095);
    EXPECT_EQ(d.Caps().NumberInputValueCaps, 4096);
}

TEST(HidDescriptorTest, ReadersDeclareExactlyTheirUsages) {
    const std::vector<uint16_t> common = {0x20, 0x21, 0x22, 0x28, 0x29, 0x2A, 0x38};
    struct Model {
        uint16_t productId;
        std::vector<uint16_t> extra;
        uint16_t trackCount;
        uint16_t inputLength;  // hand-added from the sizes below, with the ID byte
    };
    const Model models[] = {
        {1, {}, 110, 338},
        {2, {}, 110, 338},
        {3, {0x39}, 110, 339},
        {9, {0x23, 0x2B, 0x33, 0x40, 0x41}, 110, 486},
        {14, {0x23, 0x2B, 0x33, 0x40, 0x41, 0x46}, 112, 502},
        {15, {0x23, 0x2B, 0x33, 0x40, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x50}, 112, 847},
    };
    // usage: BitSize, ReportCount (0: the model's track count)
    const std::map<uint16_t, std::pair<int, int>> sizes = {
        {0x20, {8, 1}},   {0x21, {8, 1}},   {0x22, {8, 1}},   {0x23, {8, 1}}, {0x28, {8, 1}},
        {0x29, {8, 1}},   {0x2A, {8, 1}},   {0x2B, {8, 1}},   {0x30, {8, 0}}, {0x31, {8, 0}},
        {0x32, {8, 0}},   {0x33, {8, 128}}, {0x38, {8, 1}},   {0x39, {8, 1}}, {0x40, {8, 16}},
        {0x41, {16, 1}},  {0x46, {8, 10}},  {0x47, {8, 1}},   {0x48, {8, 1}}, {0x49, {8, 1}},
        {0x4A, {8, 112}}, {0x4B, {8, 112}}, {0x4C, {8, 112}}, {0x50, {8, 8}}};
    for (const Model& m : models) {
        SCOPED_TRACE("product id " + std::to_string(m.productId));
        const HidDescriptor d = Parsed(ReaderDescriptor(m.productId));
        std::map<uint16_t, std::pair<int, int>> want;
        for (uint16_t u : common)
            want[u] = sizes.at(u);
        for (uint16_t u : {0x30, 0x31, 0x32})
            want[u] = {8, m.trackCount};
        for (uint16_t u : m.extra)
            want[u] = sizes.at(u);
        std::map<uint16_t, std::pair<int, int>> got;
        for (const HidField& f : d.Fields()) {
            EXPECT_EQ(f.type, kInput);
            EXPECT_EQ(f.caps.UsagePage, kPage);
            EXPECT_EQ(f.caps.ReportID, m.productId >= 14 ? 1 : 0);
            EXPECT_EQ(f.caps.IsAbsolute, 1);
            got[f.caps.Usage] = {f.caps.BitSize, f.caps.ReportCount};
        }
        EXPECT_EQ(got, want);
        EXPECT_EQ(d.Fields().size(), want.size());  // no usage twice
        EXPECT_EQ(d.Caps().InputReportByteLength, m.inputLength);
        EXPECT_EQ(d.Caps().UsagePage, kPage);
    }
    const HidpCaps keyboard = Parsed(KeyboardDescriptor()).Caps();
    EXPECT_EQ(keyboard.UsagePage, 1);
    EXPECT_EQ(keyboard.InputReportByteLength, 9);
}

class SwipeReportTest : public ::testing::Test {
  protected:
    uint32_t Value(uint16_t usage) {
        uint32_t value = 0xDEAD;
        EXPECT_EQ(descriptor.GetUsageValue(kInput, kPage, 0, usage, &value, report.data(),
                                           static_cast<uint32_t>(report.size())),
                  hidp::kSuccess)
            << usage;
        return value;
    }
    std::vector<uint8_t> Array(uint16_t usage, uint16_t count) {
        std::vector<uint8_t> buffer(count);
        EXPECT_EQ(
            descriptor.GetUsageValueArray(kInput, kPage, 0, usage, buffer.data(), count,
                                          report.data(), static_cast<uint32_t>(report.size())),
            hidp::kSuccess)
            << usage;
        return buffer;
    }
    void Build(uint16_t productId, const Swipe& swipe) {
        descriptor = Parsed(ReaderDescriptor(productId));
        report = SwipeReport(productId, swipe);
    }
    static std::vector<uint8_t> Padded(std::string_view text, size_t size) {
        std::vector<uint8_t> bytes(size, 0);
        for (size_t i = 0; i < text.size() && i < size; ++i)
            bytes[i] = static_cast<uint8_t>(text[i]);
        return bytes;
    }

    HidDescriptor descriptor;
    std::vector<uint8_t> report;
};

TEST_F(SwipeReportTest, Model9RoundTripsEveryValueItCarries) {
    Swipe swipe;
    swipe.tracks = {"%B4111111111111111^DOE/JOHN^2512101?", ";4111111111111111=2512101?", ""};
    swipe.decodeStatus = {0, 0, 1};
    swipe.lengths[2] = 200;  // more than the 110 bytes of the value
    swipe.encodeType = 3;
    swipe.cardStatus = 9;  // product id 9 carries no card status: ignored
    swipe.stripePrintStatus = 2;
    swipe.stripePrint = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    swipe.serialNumber = "SN12345";
    swipe.dukptKsn = {1, 2, 3};  // not carried either
    swipe.sequenceCounter = 0xABCD;
    Build(9, swipe);

    ASSERT_EQ(report.size(), 486u);
    EXPECT_EQ(report[0], 0);
    const std::map<uint16_t, uint32_t> values = {{0x20, 0},  {0x22, 1},   {0x28, 36},
                                                 {0x29, 26}, {0x2A, 200}, {0x38, 3},
                                                 {0x23, 2},  {0x2B, 5},   {0x41, 0xABCD}};
    for (const auto& [usage, want] : values)
        EXPECT_EQ(Value(usage), want) << usage;
    EXPECT_EQ(Array(0x30, 110), Padded("%B4111111111111111^DOE/JOHN^2512101?", 110));
    EXPECT_EQ(Array(0x32, 110), std::vector<uint8_t>(110, 0));
    EXPECT_EQ(Array(0x33, 128), (Padded("\xDE\xAD\xBE\xEF\x01", 128)));
    EXPECT_EQ(Array(0x40, 16), Padded("SN12345", 16));
}

TEST_F(SwipeReportTest, Model15CarriesItsReportIdAndMaskedTracks) {
    Swipe swipe;
    swipe.tracks[0] = Bytes(120, 0x5A);  // longer than its 112 bytes: cut
    swipe.dukptKsn = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22};
    swipe.maskedTracks = {"%B4111********1111^DOE/JOHN^2512?", "", ";4111********1111=2512?"};
    swipe.maskedLengths[1] = 7;
    swipe.encryptedSessionId = {8, 7, 6, 5, 4, 3, 2, 1};
    swipe.sequenceCounter = 77;  // product id 15 has none
    Build(15, swipe);

    ASSERT_EQ(report.size(), 847u);
    EXPECT_EQ(report[0], 1);
    for (const auto& [usage, want] :
         std::map<uint16_t, uint32_t>{{0x28, 120}, {0x47, 33}, {0x48, 7}, {0x49, 23}}) {
        EXPECT_EQ(Value(usage), want) << usage;
    }
    EXPECT_EQ(Array(0x30, 112), std::vector<uint8_t>(112, 0x5A));
    EXPECT_EQ(Array(0x46, 10), (std::vector<uint8_t>(swipe.dukptKsn)));
    EXPECT_EQ(Array(0x4A, 112), Padded("%B4111********1111^DOE/JOHN^2512?", 112));
    EXPECT_EQ(Array(0x50, 8), (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    uint32_t value = 0;
    EXPECT_EQ(descriptor.GetUsageValue(kInput, kPage, 0, 0x41, &value, report.data(), 847),
              hidp::kUsageNotFound);
}

}  // namespace
}  // namespace ostrel::sim
