#include "platform/sim/sim_process_memory.h"

#include <cstdint>

#include "platform/win_errors.h"

namespace ostrel::sim {

std::set<std::uintptr_t> SimProcessMemory::PagesOf(const void* first, size_t bytes) {
    // Every page that holds a byte of the range, as VirtualLock counts them.
    const auto from = reinterpret_cast<std::uintptr_t>(first) / kPageSize;
    const auto to = (reinterpret_cast<std::uintptr_t>(first) + bytes + kPageSize - 1) / kPageSize;
    std::set<std::uintptr_t> pages;
    for (auto page = from; page < to; ++page)
        pages.insert(page);
    return pages;
}

void SimProcessMemory::Record(const Call& call) {
    calls.push_back(call);
    if (onCall) onCall(call);
}

bool SimProcessMemory::Locked(const void* first, size_t bytes) const {
    for (const auto page : PagesOf(first, bytes)) {
        if (!lockedPages.count(page)) return false;
    }
    return true;
}

bool SimProcessMemory::Excluded(const void* first, size_t bytes) const {
    const auto* from = static_cast<const unsigned char*>(first);
    for (const auto& [block, size] : excluded) {
        const auto* start = static_cast<const unsigned char*>(block);
        if (from >= start && from + bytes <= start + size) return true;
    }
    return false;
}

uint32_t SimProcessMemory::SetMitigation(Mitigation policy) {
    Record({Op::SetMitigation, nullptr, 0, policy});
    if (!hasMitigationPolicies) return winerr::kProcNotFound;
    if (const auto refused = refusedPolicies.find(policy); refused != refusedPolicies.end())
        return refused->second;
    policies.insert(policy);
    return 0;
}

uint32_t SimProcessMemory::LockPages(const void* first, size_t bytes) {
    Record({Op::LockPages, first, bytes});
    const size_t lockable = minimumWorkingSet > lockOverhead ? minimumWorkingSet - lockOverhead : 0;
    std::set<std::uintptr_t> after = lockedPages;
    after.merge(PagesOf(first, bytes));
    if (after.size() * kPageSize > lockable) return winerr::kWorkingSetQuota;
    lockedPages = std::move(after);
    return 0;
}

uint32_t SimProcessMemory::GrowWorkingSet(size_t bytes) {
    Record({Op::GrowWorkingSet, nullptr, bytes});
    if (growError) return growError;
    minimumWorkingSet += bytes;
    return 0;
}

int32_t SimProcessMemory::ExcludeFromDumps(const void* first, size_t bytes) {
    Record({Op::ExcludeFromDumps, first, bytes});
    if (excludeResult == 0 && !Excluded(first, bytes)) excluded.emplace_back(first, bytes);
    return excludeResult;
}

}  // namespace ostrel::sim
