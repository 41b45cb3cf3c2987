#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "CaseFile.h"
#include "storage/CalibrationList.h"

namespace {
using Ini = std::map<std::string, std::map<std::string, std::string>>;

IniKeyReader Reader(const Ini& ini) {
    return [&ini](const std::string& section, const char* key) -> std::optional<std::string> {
        auto s = ini.find(section);
        if (s == ini.end() || !s->second.count(key)) return std::nullopt;
        return s->second.at(key);
    };
}

// A, B, C in the case file stand for these keys; "-" for the empty section.
std::vector<std::string> Keys(const std::string& words) {
    static const std::map<std::string, std::string> keys{
        {"A", "C20240403090507"}, {"B", "C20240403090508"}, {"C", "C20240403090509"}, {"-", ""}};
    std::vector<std::string> out;
    std::stringstream in(words);
    for (std::string k; in >> k;) out.push_back(keys.count(k) ? keys.at(k) : k);
    return out;
}
}  // namespace

using CalibrationLists = CaseTest;

TEST_P(CalibrationLists, WalkFollowsTheLinksAndSurvivesDamage) {
    const CaseLine& c = GetParam();
    Ini ini;
    std::stringstream keys(c[1]);
    for (std::string item; std::getline(keys, item, ';');) {
        const size_t dot = item.find('.'), eq = item.find('=');
        if (eq == std::string::npos) continue;
        ini[Keys(item.substr(0, dot)).at(0)][item.substr(dot + 1, eq - dot - 1)] = Keys(item.substr(eq + 1)).at(0);
    }
    CalibrationList list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(list.keys, Keys(c[2]));
    EXPECT_EQ(list.unreadable, Keys(c[3]));
    EXPECT_EQ(std::vector<std::string>{list.tail}, Keys(c[4]));
}
INSTANTIATE_TEST_SUITE_P(, CalibrationLists, CasesIn("calibration_lists.txt", 5), ByName());

TEST(CalibrationList, TenThousandEntriesStopAtTheLimitAndAppendAfterEnd) {
    Ini ini{{"System", {{"List", "C00000000000000"}, {"End", "C00000000009999"}}}};
    for (int i = 0; i < 10000; ++i) {
        char key[16], next[16];
        snprintf(key, sizeof(key), "C%014d", i), snprintf(next, sizeof(next), "C%014d", i + 1);
        ini[key] = {{"Next", i == 9999 ? "None" : next}};
    }
    CalibrationList list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(list.keys.size(), kMaxCalibrationRows);
    EXPECT_TRUE(list.limitReached);
    EXPECT_EQ(list.tail, "C00000000009999");
}

TEST(CalibrationList, NewKeysAreLocalTimeMovedOnPastKeysInUse) {
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 58;
    auto taken = [](const std::string& k) { return k == "C20241231235958" || k == "C20241231235959"; };
    EXPECT_EQ(UniqueCalibrationEntryKey(t, [](const std::string&) { return false; }), "C20241231235958");
    EXPECT_EQ(UniqueCalibrationEntryKey(t, taken), "C20250101000000");
}
