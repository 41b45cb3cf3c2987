// Private-profile (INI) access through our own reader and editor (the platform's reader differs under
// Wine on "[]" and serves a cached copy while the file's time stamp is unchanged). A missing or
// unreadable file, section or key gives the caller's default; integers are the value's leading signed
// number, saturated to the 32-bit range (no digits: the default). A write touches the file only when
// the value changes, and then replaces it whole (never rewritten in place).
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace ini {
constexpr int kValueBuffer = 260;  // a value and its terminator, as the platform reader returns it

// The file read once, for callers that look up many keys together (a calibration record).
class Snapshot {
public:
    explicit Snapshot(const std::string& path);
    std::string String(const char* section, const char* key, const char* def) const;
    int Int(const char* section, const char* key, int def) const;

private:
    std::string text_;
};

// One-key reads; each reads the file afresh, so a value just written is always seen.
std::string ReadString(const std::string& path, const char* section, const char* key, const char* def);
int ReadInt(const std::string& path, const char* section, const char* key, int def);
bool WriteString(const std::string& path, const char* section, const char* key, const char* value);
bool WriteInt(const std::string& path, const char* section, const char* key, int value);

using KeyValues = std::vector<std::pair<std::string, std::string>>;
// Several keys of one section in one replace of the file: a reader, or a kill half way, sees all of
// them old or all of them new.
bool WriteStrings(const std::string& path, const char* section, const KeyValues& values);
}  // namespace ini
