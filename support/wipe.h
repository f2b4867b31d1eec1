#pragma once
// Overwriting memory that held card data before it is let go or used again. The writes go
// through a volatile pointer, so the compiler cannot drop them as stores nobody reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// Zeros over size bytes at data. Alone in its file (wipe_bytes.cpp): every wipe of card data
// comes down to it, and a test build of the program replaces it with one that does nothing.
void WipeBytes(void* data, size_t size);

// Overwrites the whole of a text's buffer, what lies past its end up to its capacity too, and
// leaves it empty. The buffer stays allocated (zeroed) for the next text.
void Wipe(std::string& text);

// Overwrites every byte of the buffer's capacity; its size stays, so a buffer that is read
// into again keeps its length.
template <class Allocator>
void Wipe(std::vector<uint8_t, Allocator>& bytes) {
    const size_t used = bytes.size();
    bytes.resize(bytes.capacity());
    WipeBytes(bytes.data(), bytes.size());
    bytes.resize(used);
}

}  // namespace ostrel
