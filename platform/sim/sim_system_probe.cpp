#include "platform/sim/sim_system_probe.h"

#include <algorithm>
#include <vector>

#include "platform/win_errors.h"
#include "support/text_util.h"

namespace ostrel::sim {

namespace {
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr int32_t kModuleNotFound = static_cast<int32_t>(0x8007007E);
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kRegExpandSz = 2;
constexpr long kErrorUnsupportedType = 1630;

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}
}  // namespace

std::string SimSystemProbe::PhysicalPath(const std::string& subKey, RegView view) const {
    static const std::string kClsidKeys = "SOFTWARE\\CLASSES\\CLSID";
    const bool windows64 = nativeArchitecture != ProcessorArchitecture::Intel &&
                           nativeArchitecture != ProcessorArchitecture::Arm;
    const bool view32 =
        view == RegView::Bits32 || (view == RegView::Own && processBitness == Bitness::Bits32);
    const std::string upper = ToUpper(subKey);
    const bool classKey = upper.compare(0, kClsidKeys.size(), kClsidKeys) == 0 &&
                          (upper.size() == kClsidKeys.size() || upper[kClsidKeys.size()] == '\\');
    if (!windows64 || !view32 || !classKey) return subKey;
    return "Software\\Classes\\Wow6432Node\\CLSID" + subKey.substr(kClsidKeys.size());
}

long SimSystemProbe::OpenKey(RegKey root, const std::string& subKey, RegView view, RegKey* key) {
    return registry_.OpenKey(root, PhysicalPath(subKey, view), kKeyQueryValue, key);
}

long SimSystemProbe::GetDefaultText(RegKey key, std::string* text) {
    uint32_t type = 0;
    uint32_t size = 0;
    long rc = registry_.QueryValue(key, "", &type, nullptr, &size);
    if (rc != kErrorSuccess) return rc;
    if (type != kRegSz && type != kRegExpandSz) return kErrorUnsupportedType;
    std::vector<uint8_t> data(size);
    rc = registry_.QueryValue(key, "", &type, data.data(), &size);
    if (rc != kErrorSuccess) return rc;
    // No environment here: an expandable value comes back as it is stored.
    *text = std::string(data.begin(), data.begin() + size);
    if (const auto nul = text->find('\0'); nul != std::string::npos) text->resize(nul);
    return kErrorSuccess;
}

long SimSystemProbe::CloseKey(RegKey key) {
    return registry_.CloseKey(key);
}

uint32_t SimSystemProbe::FileAttributes(const std::string& path) {
    if (folders.count(path)) return kFileAttributeDirectory;
    if (desktop_.files.count(path)) return kFileAttributeArchive;
    return kInvalidFileAttributes;
}

uint32_t SimSystemProbe::OpenForAppend(const std::string& path) {
    if (desktop_.files.count(path)) return readOnlyFiles.count(path) ? winerr::kAccessDenied : 0;
    return folders.count(FolderOf(path)) ? kErrorFileNotFound : kErrorPathNotFound;
}

uint32_t SimSystemProbe::MayCreateFileIn(const std::string& folder) {
    if (!folders.count(folder)) return kErrorPathNotFound;
    return readOnlyFolders.count(folder) ? winerr::kAccessDenied : 0;
}

std::string SimSystemProbe::AnsiToUtf8(const std::string& text) {
    // Code page 1252 from 0x80 to 0x9F; from 0xA0 on it is Latin-1.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t code = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

uint32_t SimSystemProbe::ReadFileEnd(const std::string& path, uint32_t maxBytes,
                                     std::string* bytes) {
    const auto file = desktop_.files.find(path);
    if (file == desktop_.files.end()) return kErrorFileNotFound;
    const std::string& data = file->second;
    *bytes = data.substr(data.size() - std::min<size_t>(maxBytes, data.size()));
    return 0;
}

int32_t SimSystemProbe::CreateControl(const std::string& progId, std::string* description) {
    if (controlResult) {
        *description = *controlResult == 0 ? "" : "Simulated failure";
        return *controlResult;
    }
    // As HKEY_CLASSES_ROOT shows them: a user's key hides the machine's.
    const auto classesText = [this](const std::string& path) {
        const auto text = registry_.Text(kHkeyCurrentUser, path, "");
        return text ? text : registry_.Text(kHkeyLocalMachine, path, "");
    };
    const auto clsid = classesText("Software\\Classes\\" + progId + "\\CLSID");
    const RegView otherView = processBitness == Bitness::Bits64 ? RegView::Bits32 : RegView::Bits64;
    bool named = false;
    if (clsid) {
        // COM loads an in-process server only from the caller's own view; it starts a local
        // server registered in either.
        const std::string classKey = "Software\\Classes\\CLSID\\" + *clsid + "\\";
        for (const auto& [server, view] :
             {std::pair{"InprocServer32", RegView::Own}, std::pair{"LocalServer32", RegView::Own},
              std::pair{"LocalServer32", otherView}}) {
            const auto path = classesText(PhysicalPath(classKey + server, view));
            if (!path) continue;
            if (desktop_.files.count(*path)) return 0;
            named = true;
        }
    }
    if (named) {
        *description = "The server module could not be found.";
        return kModuleNotFound;
    }
    *description = "Class not registered";
    return kClassNotRegistered;
}

}  // namespace ostrel::sim
