#pragma once
// The card data store: the one place where card data (track text, a card number, a holder's
// name, an expiry) is kept. It is a few pages of the program's own, handed out in small blocks.
// At start the program locks them into memory, so that they never reach the page file, and
// keeps them out of crash dumps (support/process_guard.h); a block is overwritten whenever it
// is let go. CardBytes and CardText (support/card_text.h) keep their contents there.
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace ostrel {

namespace card_store {

constexpr size_t kPageSize = 4096;
constexpr size_t kPages = 16;
constexpr size_t kBytes = kPages * kPageSize;
// Every block starts on a multiple of this, and takes a whole number of them.
constexpr size_t kGranule = 16;

// The store's pages, page-aligned.
struct Pages {
    const void* first;
    size_t bytes;
};
Pages StorePages();
bool Holds(const void* address);

// A block of at least bytes, from the store while it has room and from the ordinary heap once
// it has none (counted as an overflow). Throws std::bad_alloc when neither has it.
void* Take(size_t bytes);
// Overwrites a block Take gave and gives it back.
void GiveBack(void* block, size_t bytes) noexcept;

struct Usage {
    size_t bytesInUse;  // of the store's own pages
    size_t blocksInUse;
    size_t overflows;  // blocks the store had no room for, since the program started
};
Usage CurrentUsage();

}  // namespace card_store

// A standard allocator over the store, for the containers that hold card data.
template <class T>
struct CardAllocator {
    static_assert(alignof(T) <= card_store::kGranule, "a block is aligned to a granule only");
    using value_type = T;

    CardAllocator() = default;
    template <class U>
    CardAllocator(const CardAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(card_store::Take(n * sizeof(T)));
    }
    void deallocate(T* block, size_t n) noexcept { card_store::GiveBack(block, n * sizeof(T)); }

    template <class U>
    bool operator==(const CardAllocator<U>&) const noexcept {
        return true;
    }
};

// Bytes of card data: a report from the reader, a usage's value.
using CardBytes = std::vector<uint8_t, CardAllocator<uint8_t>>;

}  // namespace ostrel
