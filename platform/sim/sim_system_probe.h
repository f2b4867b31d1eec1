#pragma once
// The diagnostics tool's system questions on the simulated platform: keys from the simulated
// registry (the 32-bit view of the class keys where 64-bit Windows keeps it), files from the
// simulated desktop's files, folders declared here, and a control that can be created when a
// registration this program's bitness can use names a server file that exists. Its ANSI code
// page is 1252, as on the tills of western Europe and the Americas.
#include <optional>
#include <set>
#include <string>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_registry.h"
#include "platform/system_probe.h"

namespace ostrel::sim {

class SimSystemProbe : public SystemProbe {
  public:
    SimSystemProbe(SimRegistry& registry, SimDesktop& desktop)
        : registry_(registry), desktop_(desktop) {}

    long OpenKey(RegKey root, const std::string& subKey, RegView view, RegKey* key) override;
    long GetDefaultText(RegKey key, std::string* text) override;
    long CloseKey(RegKey key) override;
    ProcessorArchitecture NativeArchitecture() override { return nativeArchitecture; }
    uint32_t FileAttributes(const std::string& path) override;
    uint32_t OpenForAppend(const std::string& path) override;
    uint32_t MayCreateFileIn(const std::string& folder) override;
    uint32_t ReadFileEnd(const std::string& path, uint32_t maxBytes, std::string* bytes) override;
    int32_t CreateControl(const std::string& progId, std::string* description) override;
    std::string ComputerName() override { return computerName; }
    std::string UserName() override { return userName; }
    UtcTime SystemTimeUtc() override { return utcTime; }
    std::string AnsiToUtf8(const std::string& text) override;

    // Where subKey of a root lies in the simulated registry when opened in view: on 64-bit
    // Windows the 32-bit view of Software\Classes\CLSID is Software\Classes\Wow6432Node\CLSID.
    // Only the class keys are redirected here: they are all the tool opens in a view.
    std::string PhysicalPath(const std::string& subKey, RegView view) const;

    // Test side.
    ProcessorArchitecture nativeArchitecture = ProcessorArchitecture::Amd64;
    Bitness processBitness = kThisBuild;    // of the program that asks, for views and creation
    std::set<std::string> folders;          // folders that exist, by full path
    std::set<std::string> readOnlyFolders;  // of those, where no file can be created
    std::set<std::string> readOnlyFiles;    // files that cannot be appended to
    // When set, what creating any control gives, whatever the registry says.
    std::optional<int32_t> controlResult;
    std::string computerName = "TILL-07";
    std::string userName = "clerk";
    UtcTime utcTime{2026, 3, 4, 5, 6, 7};

  private:
    SimRegistry& registry_;
    SimDesktop& desktop_;
};

}  // namespace ostrel::sim
