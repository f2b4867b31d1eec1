#include "platform/sim/sim_paths.h"

#include <algorithm>
#include <vector>

#include "support/text_util.h"

namespace ostrel::sim {

std::string SimPaths::FullLongPath(std::string_view path) const {
    std::string given(path);
    std::replace(given.begin(), given.end(), '/', '\\');
    const std::string drive = workingFolder.substr(0, 2);
    std::string absolute;
    if (given.size() >= 2 && given[1] == ':') {
        absolute = given;
    } else if (given.starts_with('\\')) {
        absolute = drive + given;
    } else {
        absolute = workingFolder + "\\" + given;
    }
    std::vector<std::string> names;
    for (size_t start = 2; start <= absolute.size();) {
        const size_t end = std::min(absolute.find('\\', start), absolute.size());
        std::string name = absolute.substr(start, end - start);
        start = end + 1;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            const auto known = longNames.find(ToUpper(name));
            names.push_back(known == longNames.end() ? name : known->second);
        }
    }
    if (!names.empty() && !absolute.ends_with('\\')) {
        std::string& last = names.back();
        last.erase(last.find_last_not_of(". ") + 1);
    }
    std::string full = absolute.substr(0, 2);
    for (const std::string& name : names)
        full += "\\" + name;
    return names.empty() ? full + "\\" : full;
}

}  // namespace ostrel::sim
