#include "ProgramFolderFixture.h"
#include "config/LangText.h"

using LanguageTest = ProgramFolderTest;

// The file LangMatch.ini names for this locale; English for a locale it does not name.
TEST_F(LanguageTest, TheLocaleChoosesTheFileAndMissingKeysStayEmpty) {
    CreateDirectoryA((dir + "\\Lang").c_str(), nullptr);
    WriteFile(dir + "\\Lang\\LangMatch.ini", "[Country]\r\n" + LangMatchKey(GetSystemDefaultLCID()) + "=Test\r\n");
    WriteFile(dir + "\\Lang\\Test.ini", "[Language]\r\nIDS_QUIT=Leave\r\n");
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "Test");
    EXPECT_EQ(g_Lang.LangFilePath, dir + "\\Lang\\Test.ini");
    EXPECT_EQ(g_Lang.IDS_QUIT, "Leave");
    EXPECT_TRUE(g_Lang.IDS_OK.empty());
    WriteFile(dir + "\\Lang\\LangMatch.ini", "[Country]\r\nLCID_7fff=Test\r\n");
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "English");
}
