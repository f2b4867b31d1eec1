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
constexpr const char* kControlKey = "Software\\Classes\\VEQSERVERLib.VEQServer\\CLSID";
constexpr const char* kClsid = "{5A1C0F00-1111-4D2E-9F00-0000000000AB}";
constexpr const char* kServer = "C:\\Host\\veqserver.dll";

struct DiagFixture {
    DiagFixture() {
        desktop.exeDirectory = kFolder;
        probe.folders.insert(kFolder);
    }
    void RegisterControl(RegKey root, const std::string& server, bool serverExists) {
        registry.PutText(root, kControlKey, "", kClsid);
        registry.PutText(root,
                         std::string("Software\\Classes\\CLSID\\") + kClsid + "\\InprocServer32",
                         "", server);
        if (serverExists) desktop.files[server] = "MZ";
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
