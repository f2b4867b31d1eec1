#pragma once
// The simulated platform under the diagnostics tool, with a host control to register.
#include <string>
#include <vector>

#include "diag/diag_run.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_system_probe.h"

namespace ostrel::diag_test {

using diag::Verdict;

constexpr const char* kFolder = "C:\\Ostrel";
constexpr const char* kLog = "C:\\Ostrel\\CCProcess.log";
constexpr const char* kControlKey = "Software\\Classes\\VEQSERVERLib.VEQServer\\CLSID";
constexpr const char* kClsid = "{5A1C0F00-1111-4D2E-9F00-0000000000AB}";
constexpr const char* kServer = "C:\\Host\\veqserver.dll";
// Where 64-bit Windows keeps the class keys of each view (32-bit Windows: its one view at the
// first place).
constexpr const char* kClasses64 = "Software\\Classes\\CLSID\\";
constexpr const char* kClasses32 = "Software\\Classes\\Wow6432Node\\CLSID\\";

struct DiagFixture {
    DiagFixture() {
        desktop.exeDirectory = kFolder;
        probe.folders.insert(kFolder);
    }
    // An in-process server in the view of the tool's own bitness.
    void RegisterControl(RegKey root, const std::string& server, bool serverExists) {
        RegisterServer(root, probe.PhysicalPath("Software\\Classes\\CLSID", RegView::Own) + "\\",
                       "InprocServer32", server, serverExists);
    }
    // A server key (InprocServer32, LocalServer32) of the class under classes, the view's place.
    void RegisterServer(RegKey root, const std::string& classes, const char* serverKey,
                        const std::string& server, bool serverExists) {
        registry.PutText(root, kControlKey, "", kClsid);
        registry.PutText(root, classes + kClsid + "\\" + serverKey, "", server);
        if (serverExists) desktop.files[server] = "MZ";
    }
    // The control item as a tool of bitness sees it.
    diag::Item Control(Bitness tool) {
        probe.processBitness = tool;
        return diag::GatherHostControl(probe, tool);
    }
    int Run(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::string text;
        const int code = diag::RunDiagnostics(
            platform, args, [&](const std::string& piece) { text += piece; }, [] { return false; });
        if (out) *out = text;
        return code;
    }
    // The value of a fact of an item, "" when it has none of that name.
    static std::string FactOf(const diag::Item& item, const std::string& key) {
        for (const auto& fact : item.facts) {
            if (fact.key == key) return fact.value;
        }
        return "";
    }
    static std::string RowValue(const diag::Row& row, const std::string& key) {
        for (const auto& fact : row) {
            if (fact.key == key) return fact.value;
        }
        return "";
    }

    sim::SimRegistry registry;
    sim::SimProcesses processes;
    sim::SimDesktop desktop;
    sim::SimHid hid;
    sim::SimSystemProbe probe{registry, desktop};
    diag::DiagPlatform platform{registry, processes, desktop, hid, probe};
};

}  // namespace ostrel::diag_test
