#pragma once
// The search's decisions about one HID interface, each a step the reader search takes in this
// order: its path, whether the path shows a device that cannot be the reader, the open, and the
// tests that make an opened candidate the reader. The diagnostics tool asks the same functions.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/hid.h"

namespace ostrel {

// Destroys a device information set on every way out.
class DevInfoSetGuard {
  public:
    DevInfoSetGuard(Hid& hid, DevInfoSet set) : hid_(hid), set_(set) {}
    ~DevInfoSetGuard() {
        if (set_ != kInvalidDevInfoSet) hid_.DestroyDeviceInfoList(set_);
    }
    DevInfoSetGuard(const DevInfoSetGuard&) = delete;
    DevInfoSetGuard& operator=(const DevInfoSetGuard&) = delete;
    DevInfoSet Get() const { return set_; }

  private:
    Hid& hid_;
    DevInfoSet set_;
};

// The flags and sizes the search hands the device setup calls.
constexpr uint32_t kPresentInterfaces = kDigcfPresent | kDigcfDeviceInterface;  // 0x12

// The device path of an interface; "" when its detail cannot be had.
std::string InterfacePath(Hid& hid, DevInfoSet set, DeviceInterfaceData& data);

// The id a device path names after key ("VID_", "PID_": four hex digits, any case), if any.
std::optional<uint16_t> IdInPath(const std::string& path, const char* key);

// The forms of device path Windows gives a HID collection, by the bus its device is on.
enum class PathForm : uint8_t {
    Unknown,    // none of these: only an open tells what it is
    Usb,        // "hid#vid_vvvv&pid_pppp..."
    Bluetooth,  // "hid#{0000xxxx-0000-1000-8000-00805f9b34fb}_vid&ssssvvvv_pid&pppp..." (LE:
                // "_dev_vid&ssvvvv"), or "..._localmfg&mmmm", which names no vendor
    BuiltIn,    // on I2C or SPI, named by its ACPI id ("hid#elan0732&col01") or "hid#ven_..."
};

// What a path's form shows of its device. The ids are those its HID attributes give.
struct PathIds {
    PathForm form = PathForm::Unknown;
    std::optional<uint16_t> vendorId;
    std::optional<uint16_t> productId;
};
PathIds ReadDevicePath(const std::string& path);

// What the search makes of a path before opening it.
enum class PathCheck : uint8_t {
    MayBeTheReader,  // opened to read its ids
    OtherMaker,      // names a vendor other than the reader's
    NotOnUsb,        // built in, or on Bluetooth without naming a vendor
};
// Only the reader's vendor id, on USB or in a Bluetooth path naming it, or a form the search
// does not know may be the reader: every other device is passed by without an open.
PathCheck CheckPath(const std::string& path);

// How a candidate was opened.
enum class OpenAccess : uint8_t { None, ReadWrite, AccessZero };

// Opens a path as the search does: read/write, and when that is refused, with access 0.
FileHandle OpenCandidate(Hid& hid, const std::string& path, OpenAccess* how = nullptr);

// The tests that make an opened candidate the reader, in their order; the first that fails.
enum class CandidateCheck : uint8_t {
    Accepted,
    NoAttributes,     // HidD_GetAttributes failed
    OtherVendor,      // not the reader's vendor id
    NotAReaderModel,  // a product id of no reader model
    NoPreparsedData,  // HidD_GetPreparsedData failed
    NoCaps,           // HidP_GetCaps failed
};

// Runs the tests on an open candidate, filling attributes, preparsed data and caps as far as
// they get. What was obtained stays with the caller to release.
CandidateCheck CheckCandidate(Hid& hid, FileHandle device, HiddAttributes& attributes,
                              PreparsedData& preparsed, HidpCaps& caps);

}  // namespace ostrel
