#pragma once
// The diagnostics tool's system questions on the simulated platform: key defaults from the
// simulated registry, files from the simulated desktop's files, folders declared here, and a
// control that can be created when its registration names a server file that exists.
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

    long QueryKeyDefault(RegKey root, const std::string& subKey, std::string* text) override;
    uint32_t FileAttributes(const std::string& path) override;
    uint32_t CreateScratchFile(const std::string& path) override;
    uint32_t ReadFileEnd(const std::string& path, uint32_t maxBytes, std::string* bytes) override;
    int32_t CreateControl(const std::string& progId, std::string* description) override;

    // Test side.
    std::set<std::string> folders;          // folders that exist, by full path
    std::set<std::string> readOnlyFolders;  // of those, where no file can be created
    // When set, what creating any control gives, whatever the registry says.
    std::optional<int32_t> controlResult;
    int scratchFilesCreated = 0;

  private:
    SimRegistry& registry_;
    SimDesktop& desktop_;
};

}  // namespace ostrel::sim
