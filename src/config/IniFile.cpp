#include "config/IniFile.h"

#include <windows.h>

#include <cstdio>

#include "config/IniText.h"
#include "win/Scoped.h"

namespace {
// The whole file; false when it exists but cannot be read (then nothing may be written over it).
bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const win::File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file.get(), &size) && size.QuadPart < (1LL << 30);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                               got == bytes.size());
    }
    return ok;
}

// Writes a temporary file beside the target, flushes it to the disk and moves it over the target, so
// the file is at every moment either the old one or the new one, whole, even if the process is
// killed or the disk fills up half way.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".tmp";
    bool ok;
    {
        const win::File file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size() && FlushFileBuffers(file.get());
    }  // closed before it is moved over the target
    ok = ok && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}
}  // namespace

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
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    bool changed = false;
    for (const auto& [key, value] : values) changed = SetIniValue(bytes, section, key, value) || changed;
    if (!changed) return true;  // already so: the file stays untouched
    return ReplaceFile(path, bytes);
}

bool WriteInt(const std::string& path, const char* section, const char* key, int value) {
    char text[16];
    snprintf(text, sizeof(text), "%d", value);
    return WriteString(path, section, key, text);
}

}  // namespace ini
