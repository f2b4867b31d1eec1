// A scenario that met what Windows would refuse or leak fails the test that ran it.
#include <gtest/gtest.h>

#include "tests/logic/program_harness.h"

namespace ostrel {

void ReportPlatformFaults(const std::vector<std::string>& faults) {
    for (const std::string& fault : faults)
        ADD_FAILURE() << "on Windows: " << fault;
}

}  // namespace ostrel
