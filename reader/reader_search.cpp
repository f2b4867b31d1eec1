// The search's decisions about one HID interface.
#include "reader/reader_search.h"

#include <algorithm>
#include <cstring>
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

std::optional<uint16_t> IdInPath(const std::string& path, const char* key) {
    const std::string upper = ToUpper(path);
    const size_t keyLength = std::strlen(key);
    const auto at = upper.find(key);
    if (at == std::string::npos || at + keyLength + 4 > upper.size()) return std::nullopt;
    uint16_t id = 0;
    for (size_t i = at + keyLength; i < at + keyLength + 4; ++i) {
        const char c = upper[i];
        if (c >= '0' && c <= '9') {
            id = static_cast<uint16_t>(id * 16 + (c - '0'));
        } else if (c >= 'A' && c <= 'F') {
            id = static_cast<uint16_t>(id * 16 + (c - 'A' + 10));
        } else {
            return std::nullopt;
        }
    }
    return id;
}

bool IsOtherMakersPath(const std::string& path) {
    const auto vid = IdInPath(path, "VID_");
    return vid && *vid != kReaderVendorId;
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
