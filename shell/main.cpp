#include "shell/main.h"

#include "hostlink/program_check.h"
#include "hostlink/session_table.h"
#include "platform/app_error.h"
#include "shell/command_line.h"
#include "support/process_log.h"
#include "support/product.h"
#include "support/registry_store.h"

namespace ostrel {

int Main(Platform& platform, const std::string& argumentText) {
    RegistryStore store(platform.registry, platform.desktop);
    ProcessLog log(platform.desktop);
    SessionTable table(store, platform.desktop, log);
    SessionGlobals globals;
    try {
        ParseCommandLine(argumentText, globals);
        // File the request the way the window's load does: register under a hold, then ask
        // for a swipe and release the hold.
        std::string state;
        std::string text;
        std::string delay = "ON";
        table.SessionHandshake(globals.SessionIndex, " ", globals.SessionText, &state, &text,
                               &delay);
        delay = "OFF";
        table.SessionHandshake(globals.SessionIndex, "P", globals.SessionText, nullptr, nullptr,
                               &delay);
        return isPgmActive(platform.processes, platform.desktop, kHostProgram)
                   ? exit_code::kHostRunning
                   : exit_code::kHostGone;
    } catch (const AppError& e) {
        platform.desktop.ShowMessageBox(
            "Error: " + std::to_string(e.Number()) + "' " + e.Description(), kAppTitle,
            kMbOk | kMbIconCritical);
        return exit_code::kError;
    }
}

}  // namespace ostrel
