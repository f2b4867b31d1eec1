#include "reader/wait.h"

#include <cstdint>

namespace ostrel {

void WaitMs(Desktop& desktop, float ms) {
    const int64_t start = desktop.MonotonicMicros();
    const auto span = static_cast<int64_t>(ms * 1000.0f);
    do {
        desktop.DoEvents();
    } while (desktop.MonotonicMicros() - start <= span);
}

}  // namespace ostrel
