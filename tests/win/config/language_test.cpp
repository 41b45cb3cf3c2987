#include "ProgramFolderFixture.h"
#include "config/LangText.h"

using LanguageTest = ProgramFolderTest;

TEST_F(LanguageTest, WithoutTheLangFolderEveryTextIsEmptyAndTheNameIsEnglish) {
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "English");
    EXPECT_EQ(g_Lang.LangFilePath, dir + "\\Lang\\English.ini");
#define EXPECT_EMPTY(k) EXPECT_TRUE(g_Lang.k.empty()) << #k;
    TAVORI_LANG_KEYS(EXPECT_EMPTY)
#undef EXPECT_EMPTY
}

TEST_F(LanguageTest, TheLocaleChoosesTheFileAndMissingKeysStayEmpty) {
    CreateDirectoryA((dir + "\\Lang").c_str(), nullptr);
    WriteFile(dir + "\\Lang\\LangMatch.ini", "[Country]\r\n" + LangMatchKey(GetSystemDefaultLCID()) + "=Test\r\n");
    WriteFile(dir + "\\Lang\\Test.ini",
              "[Language]\r\nIDS_QUIT=Leave\r\nIDS_INSTAVORI=No camera\r\nIDS_ATUOTRANSFERRED=Last\r\n");
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "Test");
    EXPECT_EQ(g_Lang.IDS_QUIT, "Leave");
    EXPECT_EQ(g_Lang.IDS_INSTAVORI, "No camera");
    EXPECT_EQ(g_Lang.IDS_ATUOTRANSFERRED, "Last");
    EXPECT_TRUE(g_Lang.IDS_OK.empty());
    WriteFile(dir + "\\Lang\\LangMatch.ini", "[Country]\r\nLCID_7fff=Test\r\n");  // this locale missing: English
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "English");
}
