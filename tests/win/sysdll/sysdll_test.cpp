// System DLLs come from the system folder only: planted.dll and control.dll lie beside this test, as
// a DLL planted in the program folder would, and leave a marker beside themselves when loaded.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "SystemDll.h"

using namespace tavori::sysdll;

namespace {
std::string Beside(const char* file) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.find_last_of('\\') + 1) + file;
}
std::string Marker(const char* dll) { return Beside((std::string(dll) + ".loaded").c_str()); }
bool Loaded(const char* dll) { return GetFileAttributesA(Marker(dll).c_str()) != INVALID_FILE_ATTRIBUTES; }

class SystemDll : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* dll : {"planted.dll", "control.dll"}) DeleteFileA(Marker(dll).c_str());
    }
};
}  // namespace

TEST_F(SystemDll, TakesTheSystemCopyWithOrWithoutTheSearchFlagsAndNothingBesideTheProgram) {
    const struct {
        const char* name;
        HMODULE (*load)(const char*);
    } ways[] = {{"search flags", LoadSystemDll}, {"absolute path (Windows 7 without KB2533623)", LoadSystemDllByPath}};
    char system[MAX_PATH] = {};
    const size_t n = GetSystemDirectoryA(system, MAX_PATH);
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        HMODULE mf = way.load("mfplat.dll");
        ASSERT_NE(mf, nullptr);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(mf, path, MAX_PATH);
        EXPECT_EQ(_strnicmp(path, system, n), 0) << path;
        for (const char* name : {"planted.dll", ".\\planted.dll", "C:planted.dll", ""}) EXPECT_EQ(way.load(name), nullptr) << name;
        EXPECT_EQ(SystemFunction<FARPROC>("mfplat.dll", "NoSuchFunction"), nullptr);
    }
    EXPECT_FALSE(Loaded("planted.dll"));
}

// A plain load by bare name reaches the program's folder until the search is restricted.
TEST_F(SystemDll, RestrictedSearchLeavesTheProgramFolderOut) {
    FreeLibrary(LoadLibraryA("control.dll"));
    ASSERT_TRUE(Loaded("control.dll"));
    RestrictDllSearch();
    EXPECT_EQ(LoadLibraryA("planted.dll"), nullptr);
    EXPECT_FALSE(Loaded("planted.dll"));
}
