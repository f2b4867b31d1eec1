#pragma once
// The program's delay that keeps the window responsive.
#include "platform/desktop.h"

namespace ostrel {

// Dispatches window messages until ms milliseconds have passed on the monotonic clock, so a
// wait that crosses midnight ends too. Messages are dispatched at least once.
void WaitMs(Desktop& desktop, float ms);

}  // namespace ostrel
