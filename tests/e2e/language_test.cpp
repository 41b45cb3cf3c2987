// The shipped language files as a user of this locale sees them: the driver reads the file that
// LangMatch.ini names for the locale and shows its texts in the file's code page, not as mojibake.
// Wine takes the locale from LANG of the whole test process (for locales generated on Linux), so
// ctest runs this once per language with TAVORI_EXPECT_LANGUAGE naming the file it must reach.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "DriverHarness.h"

using namespace e2e;

namespace {
// The code page a language file declares on its first line ("; codepage N").
UINT DeclaredCodePage(const std::string& file) {
    std::ifstream in(WinPath(TAVORI_LANG_DIR) + "\\" + file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line.rfind("; codepage ", 0) == 0 ? static_cast<UINT>(std::atoi(line.c_str() + 11)) : 0;
}
}  // namespace

// The message shown when the camera-flash store cannot be opened: the first text a user may see.
TEST(Languages, TheLocaleShowsTheTextsOfItsLanguageFile) {
    char key[32], language[64] = {}, expect[64] = {};
    wsprintfA(key, "LCID_%x", GetSystemDefaultLCID());
    GetPrivateProfileStringA("Country", key, "English", language, sizeof(language),
                             (WinPath(TAVORI_LANG_DIR) + "\\LangMatch.ini").c_str());
    if (GetEnvironmentVariableA("TAVORI_EXPECT_LANGUAGE", expect, sizeof(expect))) {
        ASSERT_STREQ(language, expect) << "locale " << key << ": is the Linux locale generated (./run setup)?";
    }
    const std::string file = std::string(language) + ".ini";
    ASSERT_EQ(DeclaredCodePage(file), GetACP()) << file << " is not saved in this locale's code page";

    ProgramFolder folder;
    CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    std::wstring expected = FromCodePage(LanguageFileText(file, "IDS_INSTAVORI"), GetACP());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(MessageBoxText(box), expected);
    Sleep(200);
    CreateDirectoryA((E2eDir() + "\\languages").c_str(), nullptr);
    SaveScreenshot(E2eDir() + "\\languages\\" + language + "-message.png");  // for a person: no boxes for glyphs
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
}
