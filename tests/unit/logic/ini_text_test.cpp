#include <gtest/gtest.h>

#include <random>

#include "CaseFile.h"
#include "config/IniText.h"

using IniEdits = CaseTest;
using IniReads = CaseTest;
using IniInts = CaseTest;

TEST_P(IniEdits, KeepEverythingElseAndReportNoChange) {
    const CaseLine& c = GetParam();
    std::string text = c[1];
    EXPECT_EQ(SetIniValue(text, c[2], c[3], c[4]), c[6] == "1");
    EXPECT_EQ(text, c[5]);
}
INSTANTIATE_TEST_SUITE_P(, IniEdits, CasesIn("ini_edits.txt", 7), ByName());

TEST_P(IniReads, AsThePlatformReaderDoes) {
    const CaseLine& c = GetParam();
    EXPECT_EQ(GetIniValue(c[1], c[2], c[3]), c[4] == "<absent>" ? std::nullopt : std::optional<std::string>(c[4]));
}
INSTANTIATE_TEST_SUITE_P(, IniReads, CasesIn("ini_reads.txt", 5), ByName());

TEST_P(IniInts, AreTheLeadingNumberSaturatedNotWrapped) {
    EXPECT_EQ(ParseIniInt(GetParam()[1], -1), std::stol(GetParam()[2]));
}
INSTANTIATE_TEST_SUITE_P(, IniInts, CasesIn("ini_ints.txt", 3), ByName());

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
