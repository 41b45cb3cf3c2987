#include "ProgramFolderFixture.h"
#include "config/LangText.h"

class LanguageTest : public ProgramFolderTest {
protected:
    void WriteLang(const std::string& match, const std::string& file) {
        CreateDirectoryA((dir + "\\Lang").c_str(), nullptr);
        WriteFile(dir + "\\Lang\\LangMatch.ini", match);
        if (!file.empty()) WriteFile(dir + "\\Lang\\Test.ini", file);
    }
    std::string ThisLocaleKey() const { return LangMatchKey(GetSystemDefaultLCID()); }
};

TEST_F(LanguageTest, LocaleKeyIsLowerCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(LangMatchKey(0x804), "LCID_804");
    EXPECT_EQ(LangMatchKey(0xC0C), "LCID_c0c");
}

TEST_F(LanguageTest, WithoutTheLangFolderEveryTextIsEmptyAndTheNameIsEnglish) {
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "English");
    EXPECT_EQ(g_Lang.LangFilePath, dir + "\\Lang\\English.ini");
#define EXPECT_EMPTY(k) EXPECT_TRUE(g_Lang.k.empty()) << #k;
    TAVORI_LANG_KEYS(EXPECT_EMPTY)
#undef EXPECT_EMPTY
}

TEST_F(LanguageTest, TheLocaleChoosesTheFileAndMissingKeysStayEmpty) {
    WriteLang("[Country]\r\n" + ThisLocaleKey() + "=Test\r\n",
              "[Language]\r\nIDS_QUIT=Leave\r\nIDS_INSTAVORI=No camera\r\nIDS_ATUOTRANSFERRED=Last\r\n");
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "Test");
    EXPECT_EQ(g_Lang.IDS_QUIT, "Leave");
    EXPECT_EQ(g_Lang.IDS_INSTAVORI, "No camera");
    EXPECT_EQ(g_Lang.IDS_ATUOTRANSFERRED, "Last");
    EXPECT_TRUE(g_Lang.IDS_OK.empty());
    WriteLang("[Country]\r\nLCID_7fff=Test\r\n", "");  // a locale missing from the map reads English
    LoadSettings();
    EXPECT_EQ(g_Settings.LangName, "English");
}
