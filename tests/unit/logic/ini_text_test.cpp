#include <gtest/gtest.h>

#include "config/IniText.h"

TEST(IniText, EditsKeepEverythingElseAndReportNoChange) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
        bool changed;
    };
    const Case cases[] = {
        {"empty file", "", "System", "TimeRight", "60", "[System]\r\nTimeRight=60\r\n", true},
        {"replace in place, names in any case", "[system]\r\ntimeright = 5\r\nFrames=30\r\n", "System", "TimeRight",
         "60", "[system]\r\ntimeright =60\r\nFrames=30\r\n", true},
        {"same value leaves the text alone", "[System]\r\nTimeRight= 60 \r\n", "SYSTEM", "TimeRight", "60",
         "[System]\r\nTimeRight= 60 \r\n", false},
        {"new key ends its section, before blank lines", "[System]\nA=1\n\n[Enroll]\nB=2\n", "System", "C", "3",
         "[System]\nA=1\nC=3\r\n\n[Enroll]\nB=2\n", true},
        {"key of the same name in another section", "[Enroll]\r\nExposure=2\r\n", "Data", "Exposure", "-8",
         "[Enroll]\r\nExposure=2\r\n[Data]\r\nExposure=-8\r\n", true},
        {"no final line break", "[System]\r\nA=1", "System", "B", "2", "[System]\r\nA=1\r\nB=2\r\n", true},
        {"only the first of twin sections", "[S]\nK=1\n[S]\nK=2\n", "S", "K", "9", "[S]\nK=9\n[S]\nK=2\n", true},
        {"a longer name is not a match", "[Systems]\r\nTimeRightX=1\r\n", "System", "TimeRight", "60",
         "[Systems]\r\nTimeRightX=1\r\n[System]\r\nTimeRight=60\r\n", true},
    };
    for (const Case& c : cases) {
        std::string text = c.before;
        EXPECT_EQ(SetIniValue(text, c.section, c.key, c.value), c.changed) << c.name;
        EXPECT_EQ(text, c.after) << c.name;
    }
}

TEST(IniText, IntegersAreTheLeadingNumberSaturatedNotWrapped) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"150", 150},         {" -8 ", -8},           {"+7ms", 7},
                 {"abc", -1},          {"", -1},               {"-", -1},
                 {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1},
                 {"2147483648", 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(ParseIniInt(c.text, -1), c.value) << c.text;
}

TEST(IniText, ReadsAsThePlatformReaderDoes) {
    const std::string longFile = "[S]\nK=" + std::string(300, 'v');
    const struct {
        const char *name, *text, *section, *key;
        std::optional<std::string> value;
    } cases[] = {
        {"names in any case, value trimmed", "[cAlib]\r\n  KEY  =\t 12 \r\n", "Calib", "key", "12"},
        {"empty-named section", "[System]\nActive=\n[]\nName=first\n", "", "Name", "first"},
        {"lines before any header are in no section", "Name=stray\n[]\nName=first\n", "", "Name", "first"},
        {"first twin section, then first key", "[S]\nK=1\nK=2\n[S]\nK=3\n", "S", "K", "1"},
        {"key only in a later twin is absent", "[S]\nA=1\n[S]\nK=3\n", "S", "K", std::nullopt},
        {"one pair of matching quotes goes", "[S]\nK= \"a b\" \n", "S", "K", "a b"},
        {"unmatched quotes stay", "[S]\nQ='x\"\n", "S", "Q", "'x\""},
        {"empty value is present", "[S]\nK=\n", "S", "K", ""},
        {"UTF-8 mark before the first header", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", "1"},
        {"value cut at 259 characters", longFile.c_str(), "S", "K", longFile.substr(6, kIniValueLimit)},
    };
    for (const auto& c : cases) EXPECT_EQ(GetIniValue(c.text, c.section, c.key), c.value) << c.name;
}
