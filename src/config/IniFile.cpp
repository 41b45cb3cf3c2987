#include "config/IniFile.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "config/IniText.h"
#include "win/WholeFile.h"

using win::ReadWholeFile;
using win::ReplaceWholeFile;

namespace ini {

Snapshot::Snapshot(const std::string& path) {
    if (!ReadWholeFile(path, text_)) text_.clear();
}

std::string Snapshot::String(const char* section, const char* key, const char* def) const {
    return GetIniValue(text_, section, key).value_or(std::string(def).substr(0, kIniValueLimit));
}

int Snapshot::Int(const char* section, const char* key, int def) const {
    const std::optional<std::string> value = GetIniValue(text_, section, key);
    return value ? ParseIniInt(*value, def) : def;
}

std::string ReadString(const std::string& path, const char* section, const char* key, const char* def) {
    return Snapshot(path).String(section, key, def);
}

int ReadInt(const std::string& path, const char* section, const char* key, int def) {
    return Snapshot(path).Int(section, key, def);
}

bool WriteString(const std::string& path, const char* section, const char* key, const char* value) {
    return WriteStrings(path, section, {{key, value}});
}

bool WriteStrings(const std::string& path, const char* section, const KeyValues& values) {
    // Read, edit, replace: two threads doing so at once would each drop the other's keys.
    static std::mutex writing;
    const std::lock_guard<std::mutex> lock(writing);
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    bool changed = false;
    for (const auto& [key, value] : values) changed = SetIniValue(bytes, section, key, value) || changed;
    if (!changed) return true;  // already so: the file stays untouched
    return ReplaceWholeFile(path, bytes);
}

bool WriteInt(const std::string& path, const char* section, const char* key, int value) {
    char text[16];
    snprintf(text, sizeof(text), "%d", value);
    return WriteString(path, section, key, text);
}

}  // namespace ini
