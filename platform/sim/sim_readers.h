#pragma once
// The simulated card readers (vendor 0x0801, product ids 1, 2, 3, 9, 14, 15), their report
// descriptors, a few other HID devices for discovery, and the input report a reader sends
// for one swipe.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_hid.h"

namespace ostrel::sim {

constexpr uint16_t kReaderVendorId = 0x0801;
constexpr uint16_t kReaderUsagePage = 0xFF00;
constexpr uint16_t kKeyboardVendorId = 0x1234;

// The report descriptor of a reader: one application collection on usage page 0xFF00 with
// every value as an Input item. Product ids 14 and 15 send report ID 1, the others none.
// Throws std::invalid_argument for any other product id.
std::vector<uint8_t> ReaderDescriptor(uint16_t productId);
// A standard boot keyboard.
std::vector<uint8_t> KeyboardDescriptor();
// A reader that also types what it reads, as one device describes itself: its keyboard's
// collection first (report id 2), then the reader's (report id 1), whatever the model.
constexpr uint8_t kReaderReportId = 1;
constexpr uint8_t kKeyboardReportId = 2;
std::vector<uint8_t> ReaderWithKeyboardDescriptor(uint16_t productId);

// Devices ready to plug in. Product id 4 is a device of the reader's vendor that is no card
// reader the program knows; it has product id 1's descriptor. A reader names its maker and
// product ("USB Swipe Reader 2") and has a serial number of its model's ("SR02-0417").
SimHidDevice ReaderDevice(uint16_t productId);
// A USB keyboard of another maker. Keyboards and mice are the system's: it refuses opens for
// reading or writing, as it does a reader's keyboard collection.
SimHidDevice KeyboardDevice();
// What every till lists before any reader is plugged in: its USB keyboard, a Bluetooth mouse
// and a built-in touchpad, each a HID interface of its own.
std::vector<SimHidDevice> TillDevices();

// A reader that also types what it reads: two top-level collections of one device, listed as
// Windows lists them, its keyboard (Col01, which the system holds: it refuses read/write opens)
// before the reader's own (Col02).
std::vector<SimHidDevice> ReaderWithKeyboard(uint16_t productId);

// Device paths in the forms Windows gives HID collections that are not on USB: a Bluetooth
// device naming its vendor ("{00001124-...}_VID&0002vvvv_PID&pppp&Col01"), and one built in,
// on I2C and named by its ACPI id ("ELAN0732&Col01").
std::string BluetoothPath(uint16_t vendorId, uint16_t productId, uint32_t instance);
std::string BuiltInPath(const std::string& acpiId, uint32_t instance);

// Bytes given as a text ("%B4111...") or as values ({0x12, 0x34}).
struct Bytes : std::vector<uint8_t> {
    using std::vector<uint8_t>::vector;
    Bytes(std::string_view text) : std::vector<uint8_t>(text.begin(), text.end()) {}
    Bytes(const char* text) : Bytes(std::string_view(text)) {}
};

// One swipe as a reader reports it. A length left empty is the size of its data; a length
// may be set to anything, also beyond the size of its value in the report. Data longer than
// its value is cut, shorter data is followed by zeros.
struct Swipe {
    std::array<Bytes, 3> tracks;
    std::array<uint32_t, 3> decodeStatus{};
    std::array<std::optional<uint32_t>, 3> lengths;
    uint32_t encodeType = 0;
    uint32_t cardStatus = 0;
    uint32_t stripePrintStatus = 0;
    std::optional<uint32_t> stripePrintLength;
    Bytes stripePrint;
    Bytes serialNumber;
    Bytes dukptKsn;
    uint32_t sequenceCounter = 0;
    std::array<Bytes, 3> maskedTracks;
    std::array<std::optional<uint32_t>, 3> maskedLengths;
    Bytes encryptedSessionId;
};

// The input report the reader with this product id sends for the swipe, of exactly its input
// report length. Values the model does not carry are left out.
std::vector<uint8_t> SwipeReport(uint16_t productId, const Swipe& swipe);

}  // namespace ostrel::sim
