#pragma once
// Which reader this is, as an inventory names it: the strings its firmware gives (maker,
// product, serial number) and the product id and release its attributes give.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/hid.h"

namespace ostrel {

struct ReaderIdentity {
    uint16_t productId = 0;
    uint16_t versionNumber = 0;  // the release, in binary-coded decimal: 0x0102 is 1.02
    // In printable ASCII, every other character as "?"; nothing where the reader gives no
    // string, or a blank one.
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serialNumber;

    std::string Release() const;  // "1.02"
    std::string Model() const;    // "model 2", or "no reader model"
    // What the reader's read statistics are kept under, fit for a registry key's name: its
    // serial number, or its model where it has none ("model 2, no serial number").
    std::string StatisticsName() const;
    // One line for the event log and the diagnostics tool: "manufacturer "Stripe Devices",
    // product "USB Swipe Reader 2", serial number "SR02-0417", release 1.00, product id 2
    // (model 2)", each string missing said so.
    std::string Description() const;
};

// Asks an open device for its strings; a string the device does not give is left out.
ReaderIdentity ReadReaderIdentity(Hid& hid, FileHandle device, const HiddAttributes& attributes);

}  // namespace ostrel
