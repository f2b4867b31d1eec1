#pragma once
// A memory scraper, as the malware on tills works: another process's committed memory read from
// outside (VirtualQueryEx, ReadProcessMemory), region by region, searched for card numbers (runs
// of 13 to 19 digits that pass the Luhn check, in single-byte and in UTF-16 text) and for the
// track sentinels around them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::training::e2e {

// A card number found, and what stands around it.
struct CardFind {
    enum class Form { Number, Track1, Track2 };
    uintptr_t address = 0;
    DWORD regionType = 0;  // MEM_IMAGE, MEM_MAPPED or MEM_PRIVATE
    bool wide = false;     // UTF-16, as Windows' own texts and BSTRs hold it
    Form form = Form::Number;
    std::string number;
};

bool LuhnValid(std::string_view digits);

// The card numbers in bytes that lie at address: every run of 13 to 19 digits that passes the
// Luhn check, single-byte and UTF-16 (at even offsets); a run after "%B" and before "^" is
// track 1's, one after ";" and before "=" track 2's.
std::vector<CardFind> FindCardNumbers(std::string_view bytes, uintptr_t address = 0);

// Every committed region of the process that can be read, searched; how much was read.
struct Scrape {
    std::vector<CardFind> finds;
    size_t regions = 0;
    size_t bytes = 0;
};
Scrape ScrapeProcess(HANDLE process);

// Every place where text stands in the process's committed, readable memory.
std::vector<CardFind> FindBytes(HANDLE process, std::string_view text);

// One line per find, for a failure message.
std::string Describe(const std::vector<CardFind>& finds);

}  // namespace ostrel::training::e2e
