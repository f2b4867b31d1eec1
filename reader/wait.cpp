#include "reader/wait.h"

#include <algorithm>
#include <cstdint>

namespace ostrel {

void WaitMs(Desktop& desktop, float ms) {
    const int64_t start = desktop.MonotonicMicros();
    const auto span = static_cast<int64_t>(ms * 1000.0f);
    desktop.DoEvents();
    for (;;) {
        const int64_t elapsed = desktop.MonotonicMicros() - start;
        if (elapsed > span) return;
        // Asleep until a message comes or the time is up, in whole milliseconds rounded up;
        // a wait that ends early (a message, a coarse clock) goes round again.
        const int64_t left = std::min<int64_t>((span - elapsed) / 1000 + 1, 0x7FFFFFFF);
        desktop.WaitForMessage(static_cast<uint32_t>(left));
        desktop.DoEvents();
    }
}

}  // namespace ostrel
