// The search's decisions about one HID interface.
#include "reader/reader_search.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "reader/card_reader.h"
#include "reader/reader_models.h"
#include "support/text_util.h"

namespace ostrel {

std::string InterfacePath(Hid& hid, DevInfoSet set, DeviceInterfaceData& data) {
    uint32_t required = 0;
    if (hid.GetInterfaceDetail(set, &data, nullptr, 0, &required) ||
        hid.LastError() != winerr::kInsufficientBuffer) {
        return "";
    }
    std::vector<uint8_t> detail(size_t{required} + 1, 0);
    detail[0] = kInterfaceDetailDataSize;
    hid.GetInterfaceDetail(set, &data, detail.data(), required, &required);
    const auto end =
        std::find(detail.begin() + std::min<size_t>(4, detail.size()), detail.end(), 0);
    return std::string(detail.begin() + std::min<size_t>(4, detail.size()), end);
}

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Four upper-case hex digits as a number.
std::optional<uint16_t> HexId(std::string_view digits) {
    if (digits.size() != 4) return std::nullopt;
    uint16_t id = 0;
    for (const char c : digits) {
        if (!IsHexDigit(c)) return std::nullopt;
        id = static_cast<uint16_t>(id * 16 + (c <= '9' ? c - '0' : c - 'A' + 10));
    }
    return id;
}

// The Bluetooth base UUID's tail, which every Bluetooth service class id ends with.
constexpr const char* kBluetoothServiceTail = "-0000-1000-8000-00805F9B34FB}";

// A Bluetooth path's vendor id: the last four of the hex digits after "VID&", eight in the
// classic form (the id's source, then the id) and six in the LE form.
std::optional<uint16_t> BluetoothVendorId(const std::string& upper) {
    const auto at = upper.find("VID&");
    if (at == std::string::npos) return std::nullopt;
    size_t end = at + 4;
    while (end < upper.size() && IsHexDigit(upper[end]))
        ++end;
    const size_t digits = end - (at + 4);
    if (digits != 8 && digits != 6) return std::nullopt;
    return HexId(std::string_view(upper).substr(end - 4, 4));
}

// An ACPI id ("ELAN0732": four letters or digits, the first a letter, then four hex digits) or
// a PNP id ("INT33D5": three letters, then four hex digits).
bool IsAcpiId(std::string_view id) {
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    const auto alnum = [&](char c) { return letter(c) || (c >= '0' && c <= '9'); };
    if (id.size() != 7 && id.size() != 8) return false;
    const size_t vendorLength = id.size() - 4;
    if (!letter(id[0])) return false;
    for (size_t i = 1; i < vendorLength; ++i) {
        if (vendorLength == 3 ? !letter(id[i]) : !alnum(id[i])) return false;
    }
    for (size_t i = vendorLength; i < id.size(); ++i) {
        if (!IsHexDigit(id[i])) return false;
    }
    return true;
}

// A collection the HID class made from a device on I2C or SPI: its device id (between the
// first two '#' of a "\\?\hid#" path) begins with the device's ACPI id or "VEN_".
bool IsBuiltInPath(const std::string& upper) {
    const size_t hash = upper.find('#');
    if (hash == std::string::npos) return false;
    const size_t slash = upper.rfind('\\', hash);
    const size_t from = slash == std::string::npos ? 0 : slash + 1;
    if (upper.compare(from, hash - from, "HID") != 0) return false;
    const std::string_view deviceId =
        std::string_view(upper).substr(hash + 1, upper.find('#', hash + 1) - (hash + 1));
    if (deviceId.rfind("VEN_", 0) == 0) return true;
    return IsAcpiId(deviceId.substr(0, deviceId.find('&')));
}

}  // namespace

std::optional<uint16_t> IdInPath(const std::string& path, const char* key) {
    const std::string upper = ToUpper(path);
    const auto at = upper.find(key);
    if (at == std::string::npos) return std::nullopt;
    return HexId(std::string_view(upper).substr(at + std::strlen(key), 4));
}

PathIds ReadDevicePath(const std::string& path) {
    const std::string upper = ToUpper(path);
    PathIds ids;
    if (const auto vendor = IdInPath(upper, "VID_")) {
        ids.form = PathForm::Usb;
        ids.vendorId = vendor;
        ids.productId = IdInPath(upper, "PID_");
    } else if (upper.find(kBluetoothServiceTail) != std::string::npos) {
        ids.form = PathForm::Bluetooth;
        ids.vendorId = BluetoothVendorId(upper);
        if (ids.vendorId) ids.productId = IdInPath(upper, "PID&");
    } else if (IsBuiltInPath(upper)) {
        ids.form = PathForm::BuiltIn;
    }
    return ids;
}

PathCheck CheckPath(const std::string& path) {
    const PathIds ids = ReadDevicePath(path);
    switch (ids.form) {
        case PathForm::Usb:
        case PathForm::Bluetooth:
            if (!ids.vendorId) return PathCheck::NotOnUsb;  // only Bluetooth's "LOCALMFG" form
            return *ids.vendorId == kReaderVendorId ? PathCheck::MayBeTheReader
                                                    : PathCheck::OtherMaker;
        case PathForm::BuiltIn:
            return PathCheck::NotOnUsb;
        case PathForm::Unknown:
            break;
    }
    return PathCheck::MayBeTheReader;
}

FileHandle OpenCandidate(Hid& hid, const std::string& path, OpenAccess* how) {
    FileHandle handle =
        hid.OpenDevice(path, kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite, true,
                       kOpenExisting, kFileFlagOverlapped);
    OpenAccess access = OpenAccess::ReadWrite;
    // A path that refuses read/write (a keyboard or mouse, which the system holds) opens with
    // access 0, enough to read its ids; a reader opened so fails its first read, and closes.
    if (handle == kInvalidFileHandle) {
        handle = hid.OpenDevice(path, 0, kFileShareRead | kFileShareWrite, true, kOpenExisting,
                                kFileFlagOverlapped);
        access = OpenAccess::AccessZero;
    }
    if (how) *how = handle == kInvalidFileHandle ? OpenAccess::None : access;
    return handle;
}

CandidateCheck CheckCandidate(Hid& hid, FileHandle device, HiddAttributes& attributes,
                              PreparsedData& preparsed, HidpCaps& caps) {
    attributes.Size = 12;
    if (!hid.GetAttributes(device, &attributes)) return CandidateCheck::NoAttributes;
    if (attributes.VendorID != kReaderVendorId) return CandidateCheck::OtherVendor;
    if (!IsReaderModel(attributes.ProductID)) return CandidateCheck::NotAReaderModel;
    if (!hid.GetPreparsedData(device, &preparsed)) return CandidateCheck::NoPreparsedData;
    if (hid.GetCaps(preparsed, &caps) != hidp::kSuccess) return CandidateCheck::NoCaps;
    return CandidateCheck::Accepted;
}

}  // namespace ostrel
