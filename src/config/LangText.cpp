#include "config/LangText.h"

#include <windows.h>
#include <cstdio>

#include "config/IniFile.h"
#include "config/Settings.h"

CLangText g_Lang;

std::string LangMatchKey(unsigned long lcid) {
    char key[32];
    snprintf(key, sizeof(key), "LCID_%lx", lcid);
    return key;
}

std::string LangFormat(const std::string& text, const char* english, const std::string& value) {
    std::string out = text.empty() ? english : text;
    const size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, value);
    return out;
}

void LoadLanguage() {
    g_Lang.LangMatchPath = g_Settings.AppDir + "\\Lang\\LangMatch.ini";
    std::string key = LangMatchKey(GetSystemDefaultLCID());
    g_Settings.LangName = ini::ReadString(g_Lang.LangMatchPath, "Country", key.c_str(), "English");
    g_Lang.LangFilePath = g_Settings.AppDir + "\\Lang\\" + g_Settings.LangName + ".ini";
    const ini::Snapshot lang(g_Lang.LangFilePath);
#define TAVORI_LANG_READ(k) g_Lang.k = lang.String("Language", #k, "");
    TAVORI_LANG_KEYS(TAVORI_LANG_READ)
#undef TAVORI_LANG_READ
}
