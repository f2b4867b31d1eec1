#pragma once
// Paths as a Windows file system names them, for tests: a working folder to resolve against and
// the 8.3 names some folders also go by.
#include <map>
#include <string>
#include <string_view>

namespace ostrel::sim {

struct SimPaths {
    std::string workingFolder = "C:\\";            // in full
    std::map<std::string, std::string> longNames;  // an 8.3 name, in capitals: the long one

    // As GetFullPathNameW and then GetLongPathNameW give it: "/" as "\", relative to the
    // working folder (or its drive, for "\..."), "." and ".." and doubled "\" taken out, the
    // last name's trailing dots and blanks dropped, and 8.3 names in their long form.
    std::string FullLongPath(std::string_view path) const;
};

}  // namespace ostrel::sim
