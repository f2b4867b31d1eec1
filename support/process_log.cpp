#include "support/process_log.h"

#include <utility>

#include "platform/app_error.h"

namespace ostrel {

namespace {
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
// Another program may hold the log for a moment (a virus scanner looking at it, a backup): the
// line is tried again a few times, for a tenth of a second at most, never longer.
constexpr int kAppendAttempts = 5;
constexpr uint32_t kAppendRetryMs = 25;

// The error number and description a file failure has always been reported with.
std::string FileErrorText(uint32_t winError) {
    switch (winError) {
        case kErrorPathNotFound:
            return std::to_string(errnum::kPathNotFound) + ", Path not found";
        case kErrorAccessDenied:
            return std::to_string(errnum::kPermissionDenied) + ", Permission denied";
        default:
            return std::to_string(errnum::kFileAccess) + ", Path/File access error";
    }
}
}  // namespace

std::string ProcessLogPath(std::string folder) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder + kProcessLogName;
}

void ProcessLog::WriteProcessLog(const std::string& text) {
    const std::string path = ProcessLogPath(desktop_.ExeDirectory());
    const std::string line = desktop_.TimeOfDayText() + " " + text + "\r\n";
    uint32_t rc = desktop_.AppendToFile(path, line);
    for (int attempt = 1;
         attempt < kAppendAttempts && (rc == kErrorSharingViolation || rc == kErrorLockViolation);
         ++attempt) {
        desktop_.Sleep(kAppendRetryMs);
        rc = desktop_.AppendToFile(path, line);
    }
    if (rc == 0 || notice_ || noticeTaken_) return;
    notice_ = "The process log could not be written:\r\n" + desktop_.ShownPath(path) +
              "\r\nError: " + FileErrorText(rc) +
              "\r\n\r\nCard scanning goes on as usual; log lines are lost until the file can be "
              "written.";
}

std::optional<std::string> ProcessLog::TakeFailureNotice() {
    if (!notice_) return std::nullopt;
    noticeTaken_ = true;
    return std::exchange(notice_, std::nullopt);
}

}  // namespace ostrel
