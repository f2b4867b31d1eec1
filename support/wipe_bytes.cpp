#include "support/wipe.h"

namespace ostrel {

void WipeBytes(void* data, size_t size) {
    volatile auto* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

}  // namespace ostrel
