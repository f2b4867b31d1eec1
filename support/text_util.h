#pragma once
// Small text helpers shared by the modules. Texts are ANSI, in Windows-1252, the code page of
// the host and of the machines the program runs on.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Removes blanks (" ") at both ends.
std::string Trim(std::string_view s);
// Upper case as Windows gives it in Windows-1252: a to z, the accented letters, and the
// letters that code page keeps apart (so "Caf\xE9" becomes "CAF\xC9"). Other bytes stay.
std::string ToUpper(std::string_view s);
// True for a non-empty text of the digits 0 to 9 only.
bool IsAllDigits(std::string_view s);
// Every occurrence of what removed.
std::string RemoveAll(std::string_view s, char what);
// A whole number: optional blanks around, an optional sign, then up to 18 digits. Nothing for
// any other text.
std::optional<int64_t> ParseWholeNumber(std::string_view s);

}  // namespace ostrel
