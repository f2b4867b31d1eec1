// A reader's identity: its strings, asked of it once per open, and their texts.
#include "reader/reader_identity.h"

#include <cstdio>

#include "reader/card_reader.h"
#include "reader/reader_models.h"
#include "support/text_util.h"

namespace ostrel {

namespace {

// A USB string holds at most 126 characters and its NUL (HidD_GetSerialNumberString, Remarks).
constexpr size_t kStringUnits = 127;

using StringCall = bool (Hid::*)(FileHandle, char16_t*, uint32_t);

std::optional<std::string> AskString(Hid& hid, FileHandle device, StringCall call) {
    char16_t buffer[kStringUnits] = {};
    if (!(hid.*call)(device, buffer, sizeof buffer)) return std::nullopt;
    std::string text;
    for (size_t i = 0; i < kStringUnits && buffer[i] != u'\0'; ++i) {
        const char16_t unit = buffer[i];
        text += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    return text;
}

std::string Quoted(const std::optional<std::string>& text, const char* what) {
    return text ? std::string(what) + " \"" + *text + "\"" : std::string("no ") + what + " string";
}

}  // namespace

std::string ReaderIdentity::Release() const {
    char text[16];
    std::snprintf(text, sizeof text, "%X.%02X", unsigned{versionNumber} >> 8,
                  unsigned{versionNumber} & 0xFFu);
    return text;
}

std::string ReaderIdentity::Model() const {
    return IsReaderModel(productId) ? "model " + std::to_string(productId) : "no reader model";
}

std::string ReaderIdentity::StatisticsName() const {
    if (!serialNumber) return Model() + ", no serial number";
    // A key's name may hold any printable character but the backslash.
    std::string name = *serialNumber;
    for (char& c : name) {
        if (c == '\\') c = '_';
    }
    return name;
}

std::string ReaderIdentity::Description() const {
    const std::string ids =
        "release " + Release() + ", product id " + std::to_string(productId) + " (" + Model() + ")";
    if (!manufacturer && !product && !serialNumber)
        return "no manufacturer, product or serial number string, " + ids;
    return Quoted(manufacturer, "manufacturer") + ", " + Quoted(product, "product") + ", " +
           Quoted(serialNumber, "serial number") + ", " + ids;
}

ReaderIdentity ReadReaderIdentity(Hid& hid, FileHandle device, const HiddAttributes& attributes) {
    ReaderIdentity identity;
    identity.productId = attributes.ProductID;
    identity.versionNumber = attributes.VersionNumber;
    identity.manufacturer = AskString(hid, device, &Hid::GetManufacturerString);
    identity.product = AskString(hid, device, &Hid::GetProductString);
    identity.serialNumber = AskString(hid, device, &Hid::GetSerialNumberString);
    return identity;
}

ReaderIdentity CardReader::Identity() {
    if (!IsOpen()) {
        ReaderIdentity unopened;
        unopened.productId = ReaderAttributes.ProductID;
        unopened.versionNumber = ReaderAttributes.VersionNumber;
        return unopened;
    }
    // Each string is a request to the device: asked once per open, not at every look.
    if (!identity_) identity_ = ReadReaderIdentity(hid_, ReaderHandle, ReaderAttributes);
    return *identity_;
}

}  // namespace ostrel
