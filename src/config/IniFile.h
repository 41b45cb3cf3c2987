// Private-profile (INI) access: every read goes to the file, a missing file, section or key gives the
// caller's default, strings are read into a 260-character buffer. A write touches the file only when
// the value changes, and then replaces it whole (never rewritten in place).
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace ini {
constexpr int kValueBuffer = 260;

std::string ReadString(const std::string& path, const char* section, const char* key, const char* def);
int ReadInt(const std::string& path, const char* section, const char* key, int def);
// Like ReadInt, but a number beyond the 32-bit range reads as that range's end, not wrapped around.
int ReadSaturatedInt(const std::string& path, const char* section, const char* key, int def);
bool WriteString(const std::string& path, const char* section, const char* key, const char* value);
bool WriteInt(const std::string& path, const char* section, const char* key, int value);

using KeyValues = std::vector<std::pair<std::string, std::string>>;
// Several keys of one section in one replace of the file: a reader, or a kill half way, sees all of
// them old or all of them new.
bool WriteStrings(const std::string& path, const char* section, const KeyValues& values);
}  // namespace ini
