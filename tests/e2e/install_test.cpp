// The installer as a user meets it: silent install into the user's own programs folder, the driver
// running from there, an upgrade over the user's files, and the uninstaller with and without /PURGE.
#include "VirtualRig.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using namespace e2e;

namespace {
const char* const kUserFiles[] = {"Tavori.ini", "Calibration.ini", "CameraFlash.bin"};

std::string InstallDir() {
    char local[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
    return std::string(local) + "\\Programs\\Tavori";
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The installer or the uninstaller, run to a successful end.
bool RunToEnd(const std::string& exe, const std::string& args) { return RunProcess(exe, args, 60000) == 0; }

// Where Windows keeps what starts at logon (RunValue) and the list of installed programs (Registered).
std::string UserValue(const char* key, const char* name) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    return RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : "";
}
std::string RunValue() { return UserValue("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tavori"); }
bool Registered() { return !UserValue("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavori", "DisplayName").empty(); }

// The uninstaller hands over to a copy of itself in the temporary folder and returns at once; the
// copy's last step for the program is to remove its entry from the list of installed programs.
bool Uninstall(const std::string& args) {
    return RunToEnd(InstallDir() + "\\Uninstall.exe", "/S " + args) && WaitFor([] { return !Registered(); }, 30000);
}

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        setup = WinPath(TAVORI_TEST_SETUP);
        if (setup.empty() || !Exists(setup)) GTEST_SKIP() << "no installer was built (makensis missing)";
        RemoveFolder(InstallDir());
    }
    std::string setup;
};
}  // namespace

TEST_F(Install, SilentInstallRunsUpgradeKeepsTheUsersFilesAndOnlyPurgeRemovesThem) {
    ASSERT_TRUE(RunToEnd(setup, "/S"));
    const std::string dir = InstallDir();
    for (const char* file : {"Tavori.exe", "Uninstall.exe", "Lang\\LangMatch.ini", "Lang\\Japanese.ini", "guide\\index.html"})
        EXPECT_TRUE(Exists(dir + "\\" + file)) << file;
    EXPECT_EQ(RunValue(), "\"" + dir + "\\Tavori.exe\"");
    char programs[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
    EXPECT_TRUE(Exists(std::string(programs) + "\\Tavori.lnk"));

    // The installed driver runs on a virtual camera declared in its folder, then quits as from its menu.
    ProgramFolder installed;
    installed.dir = dir;
    installed.exe = dir + "\\Tavori.exe";
    installed.Write("VirtualCamera.ini", "[Camera0]\r\n");
    {
        Driver driver;
        ASSERT_NE(driver.Launch(installed), nullptr);
        EXPECT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 15000)) << "the camera did not start";
        driver.Quit();
        ASSERT_TRUE(driver.WaitForExit());
    }
    installed.Write("Tavori.ini", "[System]\r\nTimeRight=-3\r\nMultiScreen=1\r\n; edited by hand\r\n");
    installed.Write("Calibration.ini", "[Calibration]\r\nName=Room 12\r\n");
    if (!installed.Exists("CameraFlash.bin")) installed.Write("CameraFlash.bin", std::string(8192, '\x5a'));
    std::string before[3];
    for (int i = 0; i < 3; ++i) before[i] = FileBytes(installed, kUserFiles[i]);

    ASSERT_TRUE(RunToEnd(setup, "/S /NOLOGON"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FileBytes(installed, kUserFiles[i]), before[i]) << kUserFiles[i];
    EXPECT_EQ(RunValue(), "") << "an upgrade without start at logon removes the entry";

    ASSERT_TRUE(Uninstall(""));
    for (const char* file : {"Tavori.exe", "Lang", "guide", "Uninstall.exe"}) EXPECT_FALSE(Exists(dir + "\\" + file)) << file;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FileBytes(installed, kUserFiles[i]), before[i]) << kUserFiles[i];
    EXPECT_FALSE(Exists(std::string(programs) + "\\Tavori.lnk"));

    // Installed again over the kept files, and uninstalled with /PURGE: nothing of it is left.
    ASSERT_TRUE(RunToEnd(setup, "/S"));
    ASSERT_TRUE(Uninstall("/PURGE"));
    EXPECT_TRUE(WaitFor([&] { return !Exists(dir); }, 10000));
    EXPECT_EQ(RunValue(), "");
}
