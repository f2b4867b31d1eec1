// The host's side: its maker's control (registration and creation) and the host program.
#include <vector>

#include "diag/diag_items.h"
#include "hostlink/program_check.h"
#include "platform/host_control.h"

namespace ostrel::diag {

namespace {

constexpr const char* kClassesPath = "Software\\Classes\\";

const char* BitsName(Bitness bits) {
    return bits == Bitness::Bits64 ? "64-bit" : "32-bit";
}
std::string BuildName(Bitness bits) {
    return bits == Bitness::Bits64 ? "64-bit (x64)" : "32-bit (x86)";
}
RegView ViewOf(Bitness bits) {
    return bits == Bitness::Bits64 ? RegView::Bits64 : RegView::Bits32;
}

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

// A key opened for the look, closed again on every way out.
class OpenedKey {
  public:
    OpenedKey(SystemProbe& probe, RegKey root, const std::string& path, RegView view)
        : probe_(probe) {
        if (probe.OpenKey(root, path, view, &key_) != kErrorSuccess) key_ = 0;
    }
    ~OpenedKey() {
        if (key_) probe_.CloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    bool Found() const { return key_ != 0; }
    // Its default value; "" when it has none.
    std::string DefaultText() const {
        std::string text;
        return key_ && probe_.GetDefaultText(key_, &text) == kErrorSuccess ? text : "";
    }

  private:
    SystemProbe& probe_;
    RegKey key_ = 0;
};

enum class ServerKind : uint8_t { InProcess, Local };

struct Server {
    ServerKind kind;
    bool exists;  // the file it names exists
};

// The control's class as one registry view of one scope shows it.
struct ViewRegistration {
    Bitness view;
    std::vector<Server> servers;
};

struct Registration {
    bool registered = false;
    bool serverMissing = false;  // a server is named whose file does not exist
    std::vector<ViewRegistration> views;

    // Whether a program of bitness can create the control from here: an in-process server
    // only from its own view, a local server from either.
    bool Serves(Bitness bits) const {
        for (const ViewRegistration& seen : views) {
            for (const Server& server : seen.servers) {
                if (server.exists && (server.kind == ServerKind::Local || seen.view == bits))
                    return true;
            }
        }
        return false;
    }
};

// The class's servers in one view, each added to text.
ViewRegistration LookInView(SystemProbe& probe, RegKey root, const std::string& clsid, Bitness view,
                            std::string* text) {
    ViewRegistration seen{view, {}};
    const std::string classKey = kClassesPath + std::string("CLSID\\") + clsid;
    if (!OpenedKey(probe, root, classKey, ViewOf(view)).Found()) {
        *text = "not registered";
        return seen;
    }
    for (const ServerKind kind : {ServerKind::InProcess, ServerKind::Local}) {
        const bool inProcess = kind == ServerKind::InProcess;
        const OpenedKey server(probe, root,
                               classKey + (inProcess ? "\\InprocServer32" : "\\LocalServer32"),
                               ViewOf(view));
        if (!server.Found()) continue;
        const std::string command = server.DefaultText();
        const std::string file = ServerFile(command);
        const bool exists = !file.empty() && probe.FileAttributes(file) != kInvalidFileAttributes;
        seen.servers.push_back({kind, exists});
        *text += std::string(text->empty() ? "" : "; ") +
                 (inProcess ? "in-process server " : "local server ") +
                 (command.empty() ? "naming no file"
                                  : command + (exists ? " (file exists)" : " (file missing)"));
    }
    if (seen.servers.empty()) *text = "registered, no server named";
    return seen;
}

Registration LookAt(SystemProbe& probe, RegKey root, const std::string& scope,
                    const std::vector<Bitness>& views, Item& item) {
    Registration found;
    // The ProgID's key is the same in both views; only the class keys differ per view.
    const std::string clsid =
        OpenedKey(probe, root, kClassesPath + std::string(kHostControlProgId) + "\\CLSID",
                  RegView::Own)
            .DefaultText();
    if (clsid.empty()) {
        item.Add(scope, "not registered");
        return found;
    }
    found.registered = true;
    item.Add(scope, "registered, CLSID " + clsid);
    for (const Bitness view : views) {
        std::string text;
        found.views.push_back(LookInView(probe, root, clsid, view, &text));
        for (const Server& server : found.views.back().servers)
            found.serverMissing = found.serverMissing || !server.exists;
        item.Add(scope + " " + BitsName(view) + " view", text);
    }
    return found;
}

}  // namespace

Item GatherHostControl(SystemProbe& probe, Bitness tool) {
    Item item("control", "Host control");
    item.Add("name", kHostControlProgId);
    item.Add("this tool", BuildName(tool) + " build");
    const ProcessorArchitecture machine = probe.NativeArchitecture();
    // Only 64-bit Windows has a second registry view and runs the other build.
    const bool windows64 =
        machine != ProcessorArchitecture::Intel && machine != ProcessorArchitecture::Arm;
    item.Add("Windows", windows64 ? "64-bit: a 32-bit and a 64-bit registry view"
                                  : "32-bit: one registry view, and only the 32-bit build runs");
    const std::vector<Bitness> views =
        windows64 ? std::vector{Bitness::Bits32, Bitness::Bits64} : std::vector{Bitness::Bits32};
    const Registration user = LookAt(probe, kHkeyCurrentUser, "per user", views, item);
    const Registration system = LookAt(probe, kHkeyLocalMachine, "per machine", views, item);
    const Bitness other = tool == Bitness::Bits64 ? Bitness::Bits32 : Bitness::Bits64;
    const bool otherCan = windows64 && (user.Serves(other) || system.Serves(other));

    std::string description;
    const int32_t result = probe.CreateControl(kHostControlProgId, &description);
    if (result != 0) {
        const std::string failure =
            HexCode(static_cast<uint32_t>(result)) + (description.empty() ? "" : " " + description);
        item.Add("creating it", "fails: " + failure);
        const bool registered = user.registered || system.registered;
        const bool otherBuildOnly = otherCan && !user.Serves(tool) && !system.Serves(tool);
        if (!registered) {
            item.Add("build to use", "none: the control is not registered");
            item.Judge(Verdict::Fail,
                       "the control is not registered: the program cannot reach the host");
        } else if (otherBuildOnly) {
            item.Add("build to use", "the " + BuildName(other) + " build");
            item.Judge(Verdict::Fail, std::string("the control is registered only as a ") +
                                          BitsName(other) + " in-process server, which this " +
                                          BitsName(tool) + " build cannot load: install the " +
                                          BuildName(other) +
                                          " build in this one's place (its package keeps this "
                                          "folder)");
        } else {
            item.Add("build to use", "none: this build cannot create the control");
            item.Judge(Verdict::Fail,
                       "the control is registered but cannot be created: " + failure);
        }
        return item;
    }
    item.Add("creating it", "succeeds");
    item.Add("build to use",
             otherCan ? "either build"
                      : "the " + BuildName(tool) + " build" + (windows64 ? " only" : ""));
    if (user.serverMissing || system.serverMissing) {
        item.Judge(Verdict::Warning,
                   "created, but a registration names a server file that does not exist");
    }
    if (!windows64) {
        item.Judge(Verdict::Ok, "registered and creatable");
    } else if (otherCan) {
        item.Judge(Verdict::Ok, "registered and creatable; either build can use it");
    } else {
        item.Judge(Verdict::Ok,
                   "registered and creatable; only the " + BuildName(tool) + " build can use it");
    }
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
