#include "support/process_log.h"

#include "platform/app_error.h"

namespace ostrel {

namespace {
constexpr const char* kLogName = "CCProcess.log";
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;

[[noreturn]] void RaiseFileError(uint32_t winError, const std::string& path) {
    const std::string source = "WriteProcessLog";
    switch (winError) {
        case kErrorPathNotFound:
            throw AppError(errnum::kPathNotFound, source, "Path not found: " + path);
        case kErrorAccessDenied:
            throw AppError(errnum::kPermissionDenied, source, "Permission denied: " + path);
        default:
            throw AppError(errnum::kFileAccess, source, "Path/File access error: " + path);
    }
}
}  // namespace

void ProcessLog::WriteProcessLog(const std::string& text) {
    std::string path = desktop_.ExeDirectory();
    if (path.empty() || path.back() != '\\') path += '\\';
    path += kLogName;
    const std::string line = desktop_.TimeOfDayText() + " " + text + "\r\n";
    if (const uint32_t rc = desktop_.AppendToFile(path, line); rc != 0) RaiseFileError(rc, path);
}

}  // namespace ostrel
