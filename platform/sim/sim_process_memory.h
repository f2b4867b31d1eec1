#pragma once
// The process's memory protection on the simulated platform: every call recorded in order, and
// Windows' answers as a scenario sets them. By default it is a Windows 10 of today that takes
// every policy, lets the process lock as much as its minimum working set allows (the default of
// 50 pages, less a few that Windows keeps) and excludes any block from its crash dumps.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "platform/process_memory.h"

namespace ostrel::sim {

class SimProcessMemory : public ProcessMemory {
  public:
    enum class Op { SetMitigation, LockPages, GrowWorkingSet, ExcludeFromDumps };
    struct Call {
        Op op;
        const void* first = nullptr;
        size_t bytes = 0;
        Mitigation policy = Mitigation::StrictHandleChecks;
        bool operator==(const Call&) const = default;
    };

    uint32_t SetMitigation(Mitigation policy) override;
    uint32_t LockPages(const void* first, size_t bytes) override;
    uint32_t GrowWorkingSet(size_t bytes) override;
    int32_t ExcludeFromDumps(const void* first, size_t bytes) override;

    // Windows as the scenario has it.
    static constexpr size_t kPageSize = 4096;
    size_t minimumWorkingSet = 50 * kPageSize;
    size_t lockOverhead = 8 * kPageSize;
    std::map<Mitigation, uint32_t> refusedPolicies;  // and the error each is refused with
    bool hasMitigationPolicies = true;               // SetProcessMitigationPolicy (Windows 8)
    uint32_t growError = 0;                          // SetProcessWorkingSetSize's refusal
    int32_t excludeResult = 0;  // kExclusionNotAvailable before Windows 10 version 1703

    // What the program made of it.
    std::vector<Call> calls;
    std::function<void(const Call&)> onCall;  // as each call arrives
    std::set<Mitigation> policies;
    std::set<std::uintptr_t> lockedPages;  // by number; locking a page again adds nothing
    std::vector<std::pair<const void*, size_t>> excluded;

    // Whether every byte of the range lies in a locked page.
    bool Locked(const void* first, size_t bytes) const;
    bool Excluded(const void* first, size_t bytes) const;

  private:
    void Record(const Call& call);
    static std::set<std::uintptr_t> PagesOf(const void* first, size_t bytes);
};

}  // namespace ostrel::sim
