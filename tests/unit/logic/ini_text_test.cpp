#include <gtest/gtest.h>

#include <random>

#include "CaseFile.h"
#include "config/IniText.h"

TEST(IniText, EditsKeepEverythingElseAndReportNoChange) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/ini_edits.txt", 7)) {
        SCOPED_TRACE(Where(c));
        std::string text = c[1];
        EXPECT_EQ(SetIniValue(text, c[2], c[3], c[4]), c[6] == "1");
        EXPECT_EQ(text, c[5]);
    }
}

TEST(IniText, ReadsAsThePlatformReaderDoes) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/ini_reads.txt", 5)) {
        const auto expected = c[4] == "<absent>" ? std::nullopt : std::optional<std::string>(c[4]);
        EXPECT_EQ(GetIniValue(c[1], c[2], c[3]), expected) << Where(c);
    }
}

// A settings file overwritten with anything at all reads as a file without the key, and still takes
// an edit.
TEST(IniText, BinaryGarbageIsReadAndEditedSafely) {
    std::mt19937 rng(42);
    std::string text(64 * 1024, '\0');
    for (char& c : text) c = static_cast<char>(rng() % 64 == 0 ? '\n' : rng() % 97 == 0 ? '[' : rng());
    EXPECT_EQ(GetIniValue(text, "System", "Frames"), std::nullopt);
    EXPECT_TRUE(SetIniValue(text, "System", "Frames", "30"));
    EXPECT_EQ(GetIniValue(text, "System", "Frames"), "30");
}

TEST(IniText, IntegersAreTheLeadingNumberSaturatedNotWrapped) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/ini_ints.txt", 2))
        EXPECT_EQ(ParseIniInt(c[0], -1), std::stol(c[1])) << "line " << c.line << ": \"" << c[0] << '"';
}
