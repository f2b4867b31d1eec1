#include "platform/sim/sim_readers.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "platform/sim/hid_descriptor.h"
#include "support/wipe.h"

namespace ostrel::sim {

namespace {

// A set of product ids, one bit per id.
constexpr uint32_t Models(std::initializer_list<uint16_t> productIds) {
    uint32_t set = 0;
    for (const uint16_t id : productIds)
        set |= 1u << id;
    return set;
}

constexpr uint32_t kAll = Models({1, 2, 3, 9, 14, 15});

struct ReaderValue {
    uint16_t usage;
    uint16_t bitSize;
    uint16_t count;  // 0: the track data count of the model
    uint32_t products;
};

// Every value a reader may carry, in the order they sit in the report.
const ReaderValue kReaderValues[] = {
    {0x20, 8, 1, kAll},  // track 1 to 3 decode status
    {0x21, 8, 1, kAll},
    {0x22, 8, 1, kAll},
    {0x23, 8, 1, Models({9, 14, 15})},  // StripePrint status
    {0x28, 8, 1, kAll},                 // track 1 to 3 length
    {0x29, 8, 1, kAll},
    {0x2A, 8, 1, kAll},
    {0x2B, 8, 1, Models({9, 14, 15})},  // StripePrint length
    {0x30, 8, 0, kAll},                 // track 1 to 3 data
    {0x31, 8, 0, kAll},
    {0x32, 8, 0, kAll},
    {0x33, 8, 128, Models({9, 14, 15})},  // StripePrint data
    {0x38, 8, 1, kAll},                   // card encode type
    {0x39, 8, 1, Models({3})},            // card status
    {0x40, 8, 16, Models({9, 14, 15})},   // serial number
    {0x41, 16, 1, Models({9, 14})},       // sequence counter
    {0x46, 8, 10, Models({14, 15})},      // DUKPT key serial number
    {0x47, 8, 1, Models({15})},           // masked track 1 to 3 length
    {0x48, 8, 1, Models({15})},
    {0x49, 8, 1, Models({15})},
    {0x4A, 8, 112, Models({15})},  // masked track 1 to 3 data
    {0x4B, 8, 112, Models({15})},
    {0x4C, 8, 112, Models({15})},
    {0x50, 8, 8, Models({15})},  // encrypted session id
};

bool Carries(uint32_t products, uint16_t productId) {
    return productId < 32 && (products >> productId) & 1u;
}

// A short item: prefix is the tag and type with the size bits clear.
void Item(std::vector<uint8_t>& out, uint8_t prefix, uint32_t data, int bytes) {
    out.push_back(static_cast<uint8_t>(prefix | (bytes == 4 ? 3 : bytes)));
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(data >> (8 * i)));
}

// Product id 4 is no card reader the program knows but looks like product id 1.
uint16_t LayoutOf(uint16_t productId) {
    return productId == 4 ? 1 : productId;
}

// The reader's collection; reportId 0: none.
std::vector<uint8_t> ReaderCollection(uint16_t productId, uint8_t reportId) {
    if (!Carries(kAll, productId))
        throw std::invalid_argument("no reader with product id " + std::to_string(productId));
    const uint16_t trackCount = productId >= 14 ? 112 : 110;
    std::vector<uint8_t> d;
    Item(d, 0x04, kReaderUsagePage, 2);             // Usage Page
    Item(d, 0x08, 0x01, 1);                         // Usage
    Item(d, 0xA0, 0x01, 1);                         // Collection (Application)
    if (reportId != 0) Item(d, 0x84, reportId, 1);  // Report ID
    Item(d, 0x14, 0, 1);                            // Logical Minimum
    uint16_t bitSize = 0;
    for (const ReaderValue& value : kReaderValues) {
        if (!Carries(value.products, productId)) continue;
        if (value.bitSize != bitSize) {
            bitSize = value.bitSize;
            Item(d, 0x24, (1u << bitSize) - 1, bitSize == 8 ? 2 : 4);  // Logical Maximum
            Item(d, 0x74, bitSize, 1);                                 // Report Size
        }
        const uint16_t count = value.count ? value.count : trackCount;
        Item(d, 0x08, value.usage, 1);               // Usage
        Item(d, 0x94, count, count > 0xFF ? 2 : 1);  // Report Count
        Item(d, 0x80, 0x02, 1);                      // Input (Data, Variable, Absolute)
    }
    d.push_back(0xC0);  // End Collection
    return d;
}

}  // namespace

std::vector<uint8_t> ReaderDescriptor(uint16_t productId) {
    return ReaderCollection(productId, productId >= 14 ? 1 : 0);
}

std::vector<uint8_t> ReaderWithKeyboardDescriptor(uint16_t productId) {
    std::vector<uint8_t> d = KeyboardDescriptor();
    // Two collections of one device need report ids to tell their reports apart.
    const uint8_t keyboardId[] = {0x85, kKeyboardReportId};
    d.insert(d.begin() + 6, std::begin(keyboardId), std::end(keyboardId));  // after Collection
    const std::vector<uint8_t> reader = ReaderCollection(productId, kReaderReportId);
    d.insert(d.end(), reader.begin(), reader.end());
    return d;
}

std::vector<uint8_t> KeyboardDescriptor() {
    return {
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop, Keyboard
        0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,  // modifier keys
        0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  //
        0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              // reserved byte
        0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01,  // LEDs
        0x29, 0x05, 0x91, 0x02,                          //
        0x95, 0x01, 0x75, 0x03, 0x91, 0x01,              // LED padding
        0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65,  // key codes
        0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00,  //
        0xC0,
    };
}

SimHidDevice ReaderDevice(uint16_t productId) {
    SimHidDevice device;
    device.vendorId = kReaderVendorId;
    device.productId = productId;
    device.descriptor = ReaderDescriptor(LayoutOf(productId));
    char serial[16];
    std::snprintf(serial, sizeof serial, "SR%02u-0417", unsigned{productId});
    const auto wide = [](const std::string& text) {
        return std::u16string(text.begin(), text.end());
    };
    device.manufacturer = u"Stripe Devices";
    device.product = wide("USB Swipe Reader " + std::to_string(productId));
    device.serialNumber = wide(serial);
    return device;
}

SimHidDevice KeyboardDevice() {
    SimHidDevice device;
    device.vendorId = kKeyboardVendorId;
    device.productId = 0x0001;
    device.descriptor = KeyboardDescriptor();
    device.refuseReadWrite = true;
    return device;
}

std::vector<SimHidDevice> TillDevices() {
    SimHidDevice mouse = KeyboardDevice();
    mouse.vendorId = 0x046d;
    mouse.path = BluetoothPath(0x046d, 0xb00d, 0);
    SimHidDevice touchpad = KeyboardDevice();
    touchpad.vendorId = 0x04f3;
    touchpad.path = BuiltInPath("elan0732", 1);
    return {KeyboardDevice(), mouse, touchpad};
}

std::vector<SimHidDevice> ReaderWithKeyboard(uint16_t productId) {
    SimHidDevice keyboard = KeyboardDevice();
    keyboard.vendorId = kReaderVendorId;
    keyboard.productId = productId;
    keyboard.refuseReadWrite = true;
    SimHidDevice reader = ReaderDevice(productId);
    const std::string single = SimHid::DevicePath(kReaderVendorId, productId, 0);
    const size_t idEnd = single.find('#', single.find('#') + 1);
    keyboard.path = std::string(single).insert(idEnd, "&col01");
    reader.path = std::string(single).insert(idEnd, "&col02");
    return {keyboard, reader};
}

std::string BluetoothPath(uint16_t vendorId, uint16_t productId, uint32_t instance) {
    char path[200];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002%04x_pid&%04x&col01#"
                  "8&2b96a104&0&%04x#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, static_cast<unsigned>(instance));
    return path;
}

std::string BuiltInPath(const std::string& acpiId, uint32_t instance) {
    char path[200];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#%s&col01#5&1f2e3d4c&0&%04x#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  acpiId.c_str(), static_cast<unsigned>(instance));
    return path;
}

std::vector<uint8_t> SwipeReport(uint16_t productId, const Swipe& swipe) {
    const auto descriptor = HidDescriptor::Parse(ReaderDescriptor(LayoutOf(productId)));
    if (!descriptor) throw std::logic_error("a reader descriptor that does not parse");
    constexpr auto kInput = HidpReportType::Input;
    std::vector<uint8_t> report =
        descriptor->NewReport(kInput, descriptor->Fields()[0].caps.ReportID);
    const auto check = [](NtStatus status) {
        if (status != hidp::kSuccess)
            throw std::logic_error("a reader value that cannot be placed");
    };
    // The value's capability, or nothing when the model does not carry it.
    const auto find = [&](uint16_t usage) -> std::optional<HidpValueCaps> {
        HidpValueCaps caps;
        uint16_t length = 1;
        if (descriptor->GetSpecificValueCaps(kInput, kReaderUsagePage, 0, usage, &caps, &length) !=
            hidp::kSuccess) {
            return std::nullopt;
        }
        return caps;
    };
    const auto value = [&](uint16_t usage, uint32_t v) {
        if (find(usage))
            check(descriptor->SetUsageValue(kInput, kReaderUsagePage, 0, usage, v, report.data(),
                                            static_cast<uint32_t>(report.size())));
    };
    const auto array = [&](uint16_t usage, const Bytes& data) {
        const auto caps = find(usage);
        if (!caps) return;
        std::vector<uint8_t> buffer(caps->ReportCount * caps->BitSize / 8, 0);
        std::copy_n(data.begin(), std::min(data.size(), buffer.size()), buffer.begin());
        const NtStatus placed = descriptor->SetUsageValueArray(
            kInput, kReaderUsagePage, 0, usage, buffer.data(), static_cast<uint16_t>(buffer.size()),
            report.data(), static_cast<uint32_t>(report.size()));
        Wipe(buffer);  // a track, on its way into the report
        check(placed);
    };
    const auto length = [](const std::optional<uint32_t>& given, const Bytes& data) {
        return given.value_or(static_cast<uint32_t>(data.size()));
    };
    for (uint16_t i = 0; i < 3; ++i) {
        value(0x20 + i, swipe.decodeStatus[i]);
        value(0x28 + i, length(swipe.lengths[i], swipe.tracks[i]));
        array(0x30 + i, swipe.tracks[i]);
        value(0x47 + i, length(swipe.maskedLengths[i], swipe.maskedTracks[i]));
        array(0x4A + i, swipe.maskedTracks[i]);
    }
    value(0x38, swipe.encodeType);
    value(0x39, swipe.cardStatus);
    value(0x23, swipe.stripePrintStatus);
    value(0x2B, length(swipe.stripePrintLength, swipe.stripePrint));
    array(0x33, swipe.stripePrint);
    array(0x40, swipe.serialNumber);
    array(0x46, swipe.dukptKsn);
    value(0x41, swipe.sequenceCounter);
    array(0x50, swipe.encryptedSessionId);
    return report;
}

}  // namespace ostrel::sim
