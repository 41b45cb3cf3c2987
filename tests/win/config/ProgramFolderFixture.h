// The test executable's own folder plays the program folder: its settings file is
// "<exe name>.ini" and the language files live in "Lang" beside it.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "config/Settings.h"

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        exe = path;
        dir = exe.substr(0, exe.find_last_of('\\'));
        ini = exe.substr(0, exe.size() - 4) + ".ini";
        CleanUp();
    }
    void TearDown() override { CleanUp(); }

    // Every file a test here may leave in the program folder.
    void CleanUp() {
        DeleteFileA(ini.c_str());
        for (const char* file : {"Tavori.ini", "Calibration.ini", "Lang\\LangMatch.ini", "Lang\\Test.ini"})
            DeleteFileA((dir + "\\" + file).c_str());
        RemoveDirectoryA((dir + "\\Lang").c_str());
    }

    static void WriteFile(const std::string& path, const std::string& bytes) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }

    static std::string ReadKey(const std::string& file, const char* section, const char* key) {
        char buf[512] = {};
        GetPrivateProfileStringA(section, key, "<missing>", buf, sizeof(buf), file.c_str());
        return buf;
    }

    std::string exe, dir, ini;
};
