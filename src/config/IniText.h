// Edits the text of a private-profile (INI) file in memory, the way the platform's writer does:
// section and key names match without regard to case, the first matching section and key win, a
// missing key is added at the end of its section and a missing section at the end of the file.
// Everything else in the text is kept byte for byte.
#pragma once
#include <optional>
#include <string>
#include <string_view>

// Sets section/key to value in text. Returns false when the key already held exactly that value
// (text unchanged), so callers can skip writing a file that would not change.
bool SetIniValue(std::string& text, std::string_view section, std::string_view key, std::string_view value);

// The value of section/key as the platform's profile reader answers it: the first matching section
// and key (names without regard to case; "[]" is the section named ""; lines before the first header
// belong to no section), blanks around the value and one pair of matching quotes removed, at most
// kIniValueLimit characters; nullopt when the key is absent.
constexpr size_t kIniValueLimit = 259;
std::optional<std::string> GetIniValue(std::string_view text, std::string_view section, std::string_view key);

// The leading signed decimal number of a value, saturated to the 32-bit range instead of wrapping:
// "99999999999999999999" reads as 2147483647, never as some unrelated number. def when no digits.
int ParseIniInt(std::string_view value, int def);
