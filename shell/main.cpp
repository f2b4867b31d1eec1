// The entry routine and its reset dialog.
#include <cstdlib>
#include <cstring>

#include "carddata/redaction.h"
#include "hostlink/program_check.h"
#include "platform/app_error.h"
#include "shell/scanner_form.h"
#include "support/process_guard.h"

namespace ostrel {

namespace {
constexpr const char* kResetCaption = "Ostrel error...";
constexpr const char* kCrLf = "\r\n";
// A host that is closing may still be listed for a moment after its control has gone.
constexpr int kHostLeaveChecks = 4;
constexpr uint32_t kHostLeaveCheckMs = 250;
}  // namespace

// The host may quote a card number it was given in any later error.
int ShowResetDialog(Desktop& desktop, const AppError& error) {
    const std::string text =
        std::string("An error has occured that has forced the Ostrel to be Reset.") + kCrLf +
        "Error: " + std::to_string(error.Number()) + "' " + MaskCardNumbers(error.Description()) +
        kCrLf + kCrLf + "Sorry for the inconvience, Click 'OK' to reset or 'Cancel to Terminate.";
    return desktop.ShowMessageBox(text, kResetCaption, kMbOkCancel | kMbIconCritical);
}

OstrelCopy::OstrelCopy(const Platform& p)
    : platform(p),
      store(platform.registry, platform.desktop),
      log(platform.desktop),
      events(platform.eventLog),
      table(store, platform.desktop, log),
      hostLink(platform.hostControl, &gate),
      reader(platform.hid, platform.desktop),
      statistics(platform.registry, platform.desktop),
      form(*this) {
    const char* tickOnly = std::getenv("OSTREL_TICK_ONLY_READS");
    form.TickOnlyReads = tickOnly && std::strcmp(tickOnly, "1") == 0;
}

void OstrelCopy::Main(const std::string& argumentText) {
    // Before any window, reader or host control: a DLL loaded after this is held to the
    // policies, and the store is locked before a card reaches it.
    GuardProcess(platform.memory, log);
    bool parsed = false;
    for (;;) {
        try {
            if (!parsed) {
                parsed = true;
                ParseCommandLine(argumentText, session);
            }
            form.Show();
            form.ProcLoop();
        } catch (const std::exception& failure) {
            // With the host gone a reset would only fail again, and the dialog would wait
            // for a clerk who has moved on: end as a pass that finds the host gone does.
            if (form.Created() && HostProgramEnded()) form.mnuEnd_Click();
            const AppError error = ToAppError(failure);
            events.ResetOffered(error);
            if (ShowResetDialog(platform.desktop, error) == kIdCancel) {
                // No window yet (no argument, say): nothing to unload.
                if (!form.Created()) platform.desktop.EndProcess();
                form.Unload();
            }
            hostLink.CloseHostLink();
        }
    }
}

bool OstrelCopy::HostProgramEnded() {
    try {
        for (int check = 1;; ++check) {
            if (!hostWatch.isPgmActive(platform.processes, platform.desktop, kHostProgram)) {
                return true;
            }
            if (check == kHostLeaveChecks) return false;
            platform.desktop.Sleep(kHostLeaveCheckMs);
        }
    } catch (const std::exception&) {
        return false;  // cannot tell: offer the reset as always
    }
}

}  // namespace ostrel
