// The host's side: its maker's control (registration and creation) and the host program.
#include "diag/diag_items.h"
#include "hostlink/program_check.h"
#include "platform/host_control.h"

namespace ostrel::diag {

namespace {

constexpr const char* kClassesPath = "Software\\Classes\\";

// The file a server registration names: the text inside leading quotes, or the text before
// the first switch (" /" or " -") of a command line.
std::string ServerFile(const std::string& command) {
    if (!command.empty() && command.front() == '"') {
        const auto close = command.find('"', 1);
        return command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    for (const char* switchStart : {" /", " -"}) {
        const auto at = command.find(switchStart);
        if (at != std::string::npos) return command.substr(0, at);
    }
    return command;
}

struct Registration {
    bool registered = false;
    bool serverMissing = false;  // a server is named whose file does not exist
    bool serverFound = false;
};

Registration LookAt(SystemProbe& probe, RegKey root, const std::string& scope, Item& item) {
    Registration found;
    std::string clsid;
    if (probe.QueryKeyDefault(root, kClassesPath + std::string(kHostControlProgId) + "\\CLSID",
                              &clsid) != kErrorSuccess ||
        clsid.empty()) {
        item.Add(scope, "not registered");
        return found;
    }
    found.registered = true;
    item.Add(scope, "registered, CLSID " + clsid);
    for (const char* server : {"InprocServer32", "LocalServer32"}) {
        std::string command;
        if (probe.QueryKeyDefault(root,
                                  kClassesPath + std::string("CLSID\\") + clsid + "\\" + server,
                                  &command) != kErrorSuccess) {
            continue;
        }
        const std::string file = ServerFile(command);
        const bool exists = !file.empty() && probe.FileAttributes(file) != kInvalidFileAttributes;
        item.Add(scope + " " + server, command + (exists ? " (file exists)" : " (file missing)"));
        (exists ? found.serverFound : found.serverMissing) = true;
    }
    if (!found.serverFound && !found.serverMissing) item.Add(scope + " server", "none named");
    return found;
}

}  // namespace

Item GatherHostControl(SystemProbe& probe) {
    Item item("control", "Host control");
    item.Add("name", kHostControlProgId);
    const Registration user = LookAt(probe, kHkeyCurrentUser, "per user", item);
    const Registration machine = LookAt(probe, kHkeyLocalMachine, "per machine", item);

    std::string description;
    const int32_t result = probe.CreateControl(kHostControlProgId, &description);
    if (result != 0) {
        const std::string failure =
            HexCode(static_cast<uint32_t>(result)) + (description.empty() ? "" : " " + description);
        item.Add("creating it", "fails: " + failure);
        item.Judge(Verdict::Fail,
                   !user.registered && !machine.registered
                       ? "the control is not registered: the program cannot reach the host"
                       : "the control is registered but cannot be created: " + failure);
        return item;
    }
    item.Add("creating it", "succeeds");
    if (user.serverMissing || machine.serverMissing) {
        item.Judge(Verdict::Warning,
                   "created, but a registration names a server file that does not exist");
    }
    item.Judge(Verdict::Ok, "registered and creatable");
    return item;
}

Item GatherHostProgram(Processes& processes, Desktop& desktop) {
    Item item("host", "Host program");
    item.Add("program", kHostProgram);
    try {
        item.Add("platform id", std::to_string(GetPlatformId(processes)));
        if (isPgmActive(processes, desktop, kHostProgram)) {
            item.Add("running", "yes");
            item.Judge(Verdict::Ok, std::string(kHostProgram) + " is running");
        } else {
            item.Add("running", "no");
            item.Judge(Verdict::Warning,
                       std::string(kHostProgram) +
                           " is not running: a copy started now would end at its first pass");
        }
    } catch (const std::exception& failure) {
        item.Add("running", std::string("cannot tell: ") + failure.what());
        item.Judge(Verdict::Fail,
                   "the process list cannot be read: the program cannot tell "
                   "whether the host runs");
    }
    return item;
}

}  // namespace ostrel::diag
