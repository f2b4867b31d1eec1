#include "support/process_guard.h"

#include <cstdio>
#include <string>

#include "platform/win_errors.h"
#include "support/card_store.h"

namespace ostrel {

namespace {

struct Policy {
    Mitigation policy;
    const char* what;
};

// Each is set on its own, whatever became of the others.
constexpr Policy kPolicies[] = {
    {Mitigation::ExtensionPointsDisabled, "legacy extension points (AppInit DLLs, hooks) off"},
    {Mitigation::LocalImagesOnly, "DLLs only from local files without a low integrity label"},
    {Mitigation::StrictHandleChecks, "strict handle checks"},
};

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(value));
    return text;
}

void SetMitigations(ProcessMemory& memory, ProcessLog& log) {
    for (const Policy& p : kPolicies) {
        const uint32_t error = memory.SetMitigation(p.policy);
        if (error == winerr::kProcNotFound) {
            log.WriteProcessLog(
                "Process guard: this Windows sets no mitigation policies (no "
                "SetProcessMitigationPolicy)");
            return;
        }
        if (error != 0) {
            log.WriteProcessLog(std::string("Process guard: Windows refused a mitigation: ") +
                                p.what + " (error " + std::to_string(error) + ")");
        }
    }
}

void LockStore(ProcessMemory& memory, ProcessLog& log) {
    const card_store::Pages store = card_store::StorePages();
    uint32_t error = memory.LockPages(store.first, store.bytes);
    // VirtualLock: "The maximum number of pages that a process can lock is equal to the number
    // of pages in its minimum working set minus a small overhead". The store's pages are added
    // to it, and the lock is tried once more.
    if (error == winerr::kWorkingSetQuota) {
        error = memory.GrowWorkingSet(store.bytes);
        if (error == 0) error = memory.LockPages(store.first, store.bytes);
    }
    if (error != 0) {
        log.WriteProcessLog(
            "Process guard: Windows did not lock the card data store into memory (error " +
            std::to_string(error) + "): card data may reach the page file");
    }
}

void ExcludeStore(ProcessMemory& memory, ProcessLog& log) {
    const card_store::Pages store = card_store::StorePages();
    const int32_t result = memory.ExcludeFromDumps(store.first, store.bytes);
    if (result == kExclusionNotAvailable) {
        log.WriteProcessLog(
            "Process guard: this Windows cannot keep the card data store out of crash dumps (no "
            "WerRegisterExcludedMemoryBlock)");
    } else if (result != 0) {
        log.WriteProcessLog(
            "Process guard: Windows did not keep the card data store out of crash dumps (" +
            Hex(result) + ")");
    }
}

}  // namespace

void GuardProcess(ProcessMemory& memory, ProcessLog& log) {
    SetMitigations(memory, log);
    LockStore(memory, log);
    ExcludeStore(memory, log);
}

}  // namespace ostrel
