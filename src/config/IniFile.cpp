#include "config/IniFile.h"

#include <windows.h>
#include <cstdio>

namespace ini {

std::string ReadString(const std::string& path, const char* section, const char* key, const char* def) {
    char buffer[kValueBuffer] = {};
    GetPrivateProfileStringA(section, key, def, buffer, kValueBuffer, path.c_str());
    buffer[kValueBuffer - 1] = 0;
    return buffer;
}

int ReadInt(const std::string& path, const char* section, const char* key, int def) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, path.c_str()));
}

bool WriteString(const std::string& path, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path.c_str()) != FALSE;
}

bool WriteInt(const std::string& path, const char* section, const char* key, int value) {
    char text[16];
    snprintf(text, sizeof(text), "%d", value);
    return WriteString(path, section, key, text);
}

}  // namespace ini
