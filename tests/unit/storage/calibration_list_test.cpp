#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

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
std::string Expand(std::string s) {
    static const std::map<std::string, std::string> keys{
        {"A", "C20240403090507"}, {"B", "C20240403090508"}, {"C", "C20240403090509"}, {"-", ""}};
    return keys.count(s) ? keys.at(s) : s;
}

std::vector<std::string> Keys(const std::string& joined) {
    std::vector<std::string> out;
    std::stringstream in(joined);
    for (std::string k; in >> k;) out.push_back(Expand(k));
    return out;
}
}  // namespace

TEST(CalibrationList, WalkFollowsTheLinksAndSurvivesDamage) {
    std::ifstream file(TAVORI_LIST_CASES);
    ASSERT_TRUE(file) << TAVORI_LIST_CASES;
    Ini ini;
    std::string section, line;
    int cases = 0;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = Expand(line.substr(1, line.find(']') - 1));
            ini[section];
        } else if (line[0] == '=') {
            for (char& c : line) c = (c == ',' ? ' ' : c);
            std::vector<std::string> parts;
            std::stringstream in(line.substr(1));
            for (std::string part; std::getline(in, part, '|');) parts.push_back(part);
            ASSERT_EQ(parts.size(), 3u) << line;
            CalibrationList list = WalkCalibrationList(Reader(ini));
            EXPECT_EQ(list.keys, Keys(parts[0])) << line;
            EXPECT_EQ(list.unreadable, Keys(parts[1])) << line;
            EXPECT_EQ(list.tail, Keys(parts[2]).at(0)) << line;
            ini.clear();
            ++cases;
        } else {
            size_t eq = line.find('=');
            ini[section][line.substr(0, eq)] = Expand(line.substr(eq + 1));
        }
    }
    EXPECT_EQ(cases, 8);
}

TEST(CalibrationList, TenThousandEntriesStopAtTheLimitAndAppendAfterEnd) {
    Ini ini{{"System", {{"List", "C00000000000000"}, {"End", "C00000000009999"}}}};
    for (int i = 0; i < 10000; ++i) {
        char key[16], next[16];
        snprintf(key, sizeof(key), "C%014d", i);
        snprintf(next, sizeof(next), "C%014d", i + 1);
        ini[key] = {{"Next", i == 9999 ? "None" : next}};
    }
    CalibrationList list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(list.keys.size(), kMaxCalibrationRows);
    EXPECT_TRUE(list.limitReached);
    EXPECT_EQ(list.tail, "C00000000009999");
}

TEST(CalibrationList, ActiveMarkNeedsAnExactKeyMatch) {
    Ini ini{{"System", {{"List", "C20240403090507"}, {"Active", "C20240403090507"}}},
            {"C20240403090507", {{"Name", "room 1"}}}};
    EXPECT_EQ(CalibrationRowText(WalkCalibrationList(Reader(ini)), 0, "active"), "room 1 [active]");
    ini["System"]["Active"] = "c20240403090507";
    EXPECT_EQ(CalibrationRowText(WalkCalibrationList(Reader(ini)), 0, "active"), "room 1");
}

TEST(CalibrationList, NewKeysAreLocalTimeMovedOnPastKeysInUse) {
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 58;
    auto taken = [](const std::string& k) { return k == "C20241231235958" || k == "C20241231235959"; };
    EXPECT_EQ(UniqueCalibrationEntryKey(t, [](const std::string&) { return false; }), "C20241231235958");
    EXPECT_EQ(UniqueCalibrationEntryKey(t, taken), "C20250101000000");
}
