// Private-profile (INI) access: every read goes to the file, a missing file, section or key gives the
// caller's default, strings are read into a 260-character buffer.
#pragma once
#include <string>

namespace ini {
constexpr int kValueBuffer = 260;

std::string ReadString(const std::string& path, const char* section, const char* key, const char* def);
int ReadInt(const std::string& path, const char* section, const char* key, int def);
bool WriteString(const std::string& path, const char* section, const char* key, const char* value);
bool WriteInt(const std::string& path, const char* section, const char* key, int value);
}  // namespace ini
