#pragma once
// The program's delay that keeps the window responsive.
#include "platform/desktop.h"

namespace ostrel {

// Dispatches window messages as they come until ms milliseconds have passed on the monotonic
// clock, so a wait that crosses midnight ends too; asleep in between. Messages are dispatched
// at least once.
void WaitMs(Desktop& desktop, float ms);

}  // namespace ostrel
