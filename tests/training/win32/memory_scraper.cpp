#include "tests/training/win32/memory_scraper.h"

#include <functional>
#include <sstream>

namespace ostrel::training::e2e {

namespace {

constexpr size_t kShortest = 13;
constexpr size_t kLongest = 19;

// The character at position i of text read as single bytes (step 1) or as UTF-16 (step 2);
// 0 past either end or for a UTF-16 unit above 0xFF.
char At(std::string_view bytes, size_t i, size_t step, ptrdiff_t offset) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(i) + offset * static_cast<ptrdiff_t>(step);
    if (at < 0 || static_cast<size_t>(at) + step > bytes.size()) return 0;
    if (step == 2 && bytes[static_cast<size_t>(at) + 1] != 0) return 0;
    return bytes[static_cast<size_t>(at)];
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void FindRuns(std::string_view bytes, uintptr_t address, size_t step,
              std::vector<CardFind>& finds) {
    size_t i = 0;
    while (i + step <= bytes.size()) {
        if (!IsDigit(At(bytes, i, step, 0))) {
            i += step;
            continue;
        }
        std::string digits;
        size_t end = i;
        for (; IsDigit(At(bytes, end, step, 0)); end += step)
            digits += bytes[end];
        if (digits.size() >= kShortest && digits.size() <= kLongest && LuhnValid(digits)) {
            CardFind find;
            find.address = address + i;
            find.wide = step == 2;
            find.number = digits;
            const char after = At(bytes, end, step, 0);
            if (At(bytes, i, step, -1) == 'B' && At(bytes, i, step, -2) == '%' && after == '^') {
                find.form = CardFind::Form::Track1;
            } else if (At(bytes, i, step, -1) == ';' && after == '=') {
                find.form = CardFind::Form::Track2;
            }
            finds.push_back(find);
        }
        i = end;
    }
}

// Calls each with every committed region of the process that can be read, and its bytes.
void EachRegion(
    HANDLE process,
    const std::function<void(const MEMORY_BASIC_INFORMATION&, std::string_view)>& each) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
    const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
    std::vector<char> bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQueryEx(process, reinterpret_cast<void*>(at), &region, sizeof region) == 0)
            break;
        const bool readable = region.State == MEM_COMMIT &&
                              !(region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) &&
                              region.Protect != 0;
        if (readable) {
            bytes.resize(region.RegionSize);
            SIZE_T read = 0;
            if (ReadProcessMemory(process, region.BaseAddress, bytes.data(), bytes.size(), &read) ||
                read > 0) {
                each(region, std::string_view(bytes.data(), read));
            }
        }
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
}

const char* FormName(CardFind::Form form) {
    switch (form) {
        case CardFind::Form::Track1:
            return "track 1";
        case CardFind::Form::Track2:
            return "track 2";
        default:
            return "number";
    }
}

}  // namespace

bool LuhnValid(std::string_view digits) {
    int sum = 0;
    bool twice = false;
    for (auto c = digits.rbegin(); c != digits.rend(); ++c) {
        int d = *c - '0';
        if (twice) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
        twice = !twice;
    }
    return !digits.empty() && sum % 10 == 0;
}

std::vector<CardFind> FindCardNumbers(std::string_view bytes, uintptr_t address) {
    std::vector<CardFind> finds;
    FindRuns(bytes, address, 1, finds);
    FindRuns(bytes, address, 2, finds);
    return finds;
}

Scrape ScrapeProcess(HANDLE process) {
    Scrape scrape;
    EachRegion(process, [&](const MEMORY_BASIC_INFORMATION& region, std::string_view bytes) {
        ++scrape.regions;
        scrape.bytes += bytes.size();
        for (CardFind& find :
             FindCardNumbers(bytes, reinterpret_cast<uintptr_t>(region.BaseAddress))) {
            find.regionType = region.Type;
            scrape.finds.push_back(find);
        }
    });
    return scrape;
}

std::vector<CardFind> FindBytes(HANDLE process, std::string_view text) {
    std::vector<CardFind> found;
    EachRegion(process, [&](const MEMORY_BASIC_INFORMATION& region, std::string_view bytes) {
        for (size_t p = bytes.find(text); p != std::string_view::npos;
             p = bytes.find(text, p + 1)) {
            CardFind find;
            find.address = reinterpret_cast<uintptr_t>(region.BaseAddress) + p;
            find.regionType = region.Type;
            found.push_back(find);
        }
    });
    return found;
}

std::string Describe(const std::vector<CardFind>& finds) {
    std::ostringstream out;
    for (const CardFind& f : finds) {
        out << FormName(f.form) << " " << f.number << (f.wide ? " (UTF-16)" : "") << " at 0x"
            << std::hex << f.address << std::dec << " in "
            << (f.regionType == MEM_IMAGE    ? "an image"
                : f.regionType == MEM_MAPPED ? "a mapping"
                                             : "private memory")
            << "\n";
    }
    return out.str();
}

}  // namespace ostrel::training::e2e
