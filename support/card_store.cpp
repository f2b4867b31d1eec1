#include "support/card_store.h"

#include <atomic>

#include "support/wipe.h"

namespace ostrel::card_store {

namespace {

constexpr size_t kGranules = kBytes / kGranule;
constexpr size_t kWordBits = 64;
constexpr size_t kWords = kGranules / kWordBits;

// In the program's own image, so the store is there before anything runs and needs no call to
// the system: the guard at start only locks and registers it.
alignas(kPageSize) unsigned char g_pages[kBytes];
uint64_t g_taken[kWords];  // a bit for each granule that belongs to a block
size_t g_bytesInUse = 0;
size_t g_blocksInUse = 0;
size_t g_overflows = 0;

// The program's card data is handled on one thread; the lock is for the tests and tools that
// use the store from more.
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

class Locked {
  public:
    Locked() {
        while (g_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Locked() { g_lock.clear(std::memory_order_release); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

bool Taken(size_t granule) {
    return (g_taken[granule / kWordBits] >> (granule % kWordBits)) & 1;
}

void Mark(size_t first, size_t count, bool taken) {
    for (size_t g = first; g < first + count; ++g) {
        const uint64_t bit = uint64_t{1} << (g % kWordBits);
        g_taken[g / kWordBits] =
            taken ? g_taken[g / kWordBits] | bit : g_taken[g / kWordBits] & ~bit;
    }
}

size_t GranulesFor(size_t bytes) {
    return bytes == 0 ? 1 : (bytes + kGranule - 1) / kGranule;
}

// First fit; nullptr when no run of free granules is long enough.
void* Allocate(size_t bytes) {
    const size_t need = GranulesFor(bytes);
    if (need > kGranules) return nullptr;
    size_t run = 0;
    for (size_t g = 0; g < kGranules; ++g) {
        if (g % kWordBits == 0 && g_taken[g / kWordBits] == ~uint64_t{0}) {
            run = 0;
            g += kWordBits - 1;
            continue;
        }
        run = Taken(g) ? 0 : run + 1;
        if (run == need) {
            const size_t first = g + 1 - need;
            Mark(first, need, true);
            g_bytesInUse += need * kGranule;
            ++g_blocksInUse;
            return g_pages + first * kGranule;
        }
    }
    return nullptr;
}

}  // namespace

Pages StorePages() {
    return {g_pages, kBytes};
}

bool Holds(const void* address) {
    const auto* byte = static_cast<const unsigned char*>(address);
    return byte >= g_pages && byte < g_pages + kBytes;
}

void* Take(size_t bytes) {
    {
        const Locked locked;
        if (void* block = Allocate(bytes)) return block;
        ++g_overflows;
    }
    return ::operator new(bytes);
}

void GiveBack(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (!Holds(block)) {
        WipeBytes(block, bytes);
        ::operator delete(block);
        return;
    }
    const size_t granules = GranulesFor(bytes);
    WipeBytes(block, granules * kGranule);
    const Locked locked;
    Mark((static_cast<unsigned char*>(block) - g_pages) / kGranule, granules, false);
    g_bytesInUse -= granules * kGranule;
    --g_blocksInUse;
}

Usage CurrentUsage() {
    const Locked locked;
    return {g_bytesInUse, g_blocksInUse, g_overflows};
}

}  // namespace ostrel::card_store
