// Private-profile (INI) access: every read goes to the file, a missing file, section or key gives the
// caller's default, strings are read into a 260-character buffer. A write touches the file only when
// the value changes, and then replaces it whole (never rewritten in place).
#pragma once
#include <string>

namespace ini {
constexpr int kValueBuffer = 260;

std::string ReadString(const std::string& path, const char* section, const char* key, const char* def);
int ReadInt(const std::string& path, const char* section, const char* key, int def);
// Like ReadInt, but a number beyond the 32-bit range reads as that range's end, not wrapped around.
int ReadSaturatedInt(const std::string& path, const char* section, const char* key, int def);
bool WriteString(const std::string& path, const char* section, const char* key, const char* value);
bool WriteInt(const std::string& path, const char* section, const char* key, int value);
}  // namespace ini
