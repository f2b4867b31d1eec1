#include "platform/sim/sim_system_probe.h"

#include <algorithm>

namespace ostrel::sim {

namespace {
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorFileExists = 80;
constexpr int32_t kModuleNotFound = static_cast<int32_t>(0x8007007E);

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}
}  // namespace

long SimSystemProbe::QueryKeyDefault(RegKey root, const std::string& subKey, std::string* text) {
    if (!registry_.KeyExists(root, subKey)) return kErrorFileNotFound;
    // RegQueryValueA gives an empty text for a key without a default value.
    *text = registry_.Text(root, subKey, "").value_or("");
    return kErrorSuccess;
}

uint32_t SimSystemProbe::FileAttributes(const std::string& path) {
    if (folders.count(path)) return kFileAttributeDirectory;
    if (desktop_.files.count(path)) return kFileAttributeArchive;
    return kInvalidFileAttributes;
}

uint32_t SimSystemProbe::CreateScratchFile(const std::string& path) {
    const std::string folder = FolderOf(path);
    if (!folders.count(folder)) return kErrorPathNotFound;
    if (readOnlyFolders.count(folder)) return kErrorAccessDenied;
    if (desktop_.files.count(path)) return kErrorFileExists;
    ++scratchFilesCreated;  // and deleted again as it is closed
    return 0;
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
    for (const RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
        const auto clsid = registry_.Text(root, "Software\\Classes\\" + progId + "\\CLSID", "");
        if (!clsid) continue;
        for (const char* server : {"InprocServer32", "LocalServer32"}) {
            const auto path =
                registry_.Text(root, "Software\\Classes\\CLSID\\" + *clsid + "\\" + server, "");
            if (path && desktop_.files.count(*path)) return 0;
        }
        *description = "The server module could not be found.";
        return kModuleNotFound;
    }
    *description = "Class not registered";
    return kClassNotRegistered;
}

}  // namespace ostrel::sim
