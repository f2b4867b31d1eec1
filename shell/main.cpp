// The entry routine and its reset dialog.
#include "platform/app_error.h"
#include "shell/scanner_form.h"

namespace ostrel {

namespace {
constexpr const char* kResetCaption = "Ostrel error...";
constexpr const char* kCrLf = "\r\n";
}  // namespace

int ShowResetDialog(Desktop& desktop, const AppError& error) {
    const std::string text =
        std::string("An error has occured that has forced the Ostrel to be Reset.") + kCrLf +
        "Error: " + std::to_string(error.Number()) + "' " + error.Description() + kCrLf + kCrLf +
        "Sorry for the inconvience, Click 'OK' to reset or 'Cancel to Terminate.";
    return desktop.ShowMessageBox(text, kResetCaption, kMbOkCancel | kMbIconCritical);
}

OstrelCopy::OstrelCopy(const Platform& p)
    : platform(p),
      store(platform.registry, platform.desktop),
      log(platform.desktop),
      table(store, platform.desktop, log),
      hostLink(platform.hostControl),
      reader(platform.hid, platform.desktop),
      form(*this) {}

void OstrelCopy::Main(const std::string& argumentText) {
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
            if (ShowResetDialog(platform.desktop, ToAppError(failure)) == kIdCancel) {
                // No window yet (no argument, say): nothing to unload.
                if (!form.Created()) platform.desktop.EndProcess();
                form.Unload();
            }
            hostLink.CloseHostLink();
        }
    }
}

}  // namespace ostrel
