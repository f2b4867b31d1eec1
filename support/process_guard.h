#pragma once
// The process made a harder target at start, before any window or reader: the mitigation
// policies that keep other code out of it, and the card data store locked into memory and kept
// out of crash dumps. Windows may refuse any of it (an older version lacks the call, a policy
// of the machine's forbids it): the program goes on, and its log says so once.
#include "platform/process_memory.h"
#include "support/process_log.h"

namespace ostrel {

void GuardProcess(ProcessMemory& memory, ProcessLog& log);

}  // namespace ostrel
