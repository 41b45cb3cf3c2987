#include <gtest/gtest.h>

#include <map>
#include <set>

#include "storage/CalibrationList.h"

namespace {
using Ini = std::map<std::string, std::map<std::string, std::string>>;

IniKeyReader Reader(const Ini& ini) {
    return [&ini](const std::string& section, const char* key) -> std::optional<std::string> {
        auto s = ini.find(section);
        if (s == ini.end()) return std::nullopt;
        auto k = s->second.find(key);
        if (k == s->second.end()) return std::nullopt;
        return k->second;
    };
}

const std::string A = "C20240403090507", B = "C20240403090508", C = "C20240403090509";

struct WalkCase {
    const char* what;
    Ini ini;
    std::vector<std::string> keys;
    std::vector<std::string> unreadable;
    std::string tail;
};
}  // namespace

TEST(CalibrationList, WalkFollowsTheLinksAndSurvivesDamage) {
    const WalkCase cases[] = {
        {"fresh file: the empty section is the one row", {}, {""}, {}, ""},
        {"three entries in link order",
         {{"System", {{"List", A}, {"End", C}}},
          {A, {{"Name", "a"}, {"Next", C}}},
          {C, {{"Name", "c"}, {"Next", B}}},
          {B, {{"Name", "b"}, {"Next", "None"}}}},
         {A, C, B}, {}, B},
        {"first New on a fresh file links from the empty section",
         {{"", {{"Next", A}}}, {A, {{"Name", "a"}, {"Next", "None"}}}}, {"", A}, {}, A},
        {"a Next of 14 characters ends the walk",
         {{"System", {{"List", A}}}, {A, {{"Name", "a"}, {"Next", "C2024040309050"}}}}, {A}, {}, A},
        {"a Next of 16 characters ends the walk",
         {{"System", {{"List", A}}}, {A, {{"Name", "a"}, {"Next", "C202404030905070"}}}}, {A}, {}, A},
        {"an entry that is its own Next (two made in one second)",
         {{"System", {{"List", A}}}, {A, {{"Name", "a"}, {"Next", A}}}}, {A}, {A}, A},
        {"a Next pointing back to an earlier entry",
         {{"System", {{"List", A}}},
          {A, {{"Name", "a"}, {"Next", B}}},
          {B, {{"Name", "b"}, {"Next", C}}},
          {C, {{"Name", "c"}, {"Next", A}}}},
         {A, B, C}, {A}, C},
        {"a link to a missing section",
         {{"System", {{"List", A}}}, {A, {{"Name", "a"}, {"Next", B}}}}, {A}, {B}, A},
        {"an entry without a name is still an entry",
         {{"System", {{"List", A}}}, {A, {{"Next", B}}}, {B, {{"Next", "None"}}}}, {A, B}, {}, B},
    };
    for (const WalkCase& c : cases) {
        CalibrationList list = WalkCalibrationList(Reader(c.ini));
        EXPECT_EQ(list.keys, c.keys) << c.what;
        EXPECT_EQ(list.unreadable, c.unreadable) << c.what;
        EXPECT_EQ(list.tail, c.tail) << c.what;
        EXPECT_EQ(list.names.size(), list.keys.size()) << c.what;
    }
}

TEST(CalibrationList, TenThousandEntriesStopAtTheLimitAndAppendAfterEnd) {
    Ini ini;
    std::tm t{};
    t.tm_year = 124;
    t.tm_mday = 1;
    std::string previous;
    for (int i = 0; i < 10000; ++i) {
        std::tm at = t;
        at.tm_sec = i;
        at.tm_isdst = -1;
        std::mktime(&at);
        std::string key = CalibrationEntryKey(at);
        ini[key]["Name"] = "n";
        ini[key]["Next"] = "None";
        (previous.empty() ? ini["System"]["List"] : ini[previous]["Next"]) = key;
        previous = key;
    }
    ini["System"]["End"] = previous;
    CalibrationList list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(list.keys.size(), kMaxCalibrationRows);
    EXPECT_TRUE(list.limitReached);
    ASSERT_EQ(list.unreadable.size(), 1u);
    EXPECT_EQ(list.tail, previous);
}

TEST(CalibrationList, ActiveMarkNeedsAnExactKeyMatch) {
    Ini ini{{"System", {{"List", A}, {"Active", B}}},
            {A, {{"Name", "room 1"}, {"Next", B}}},
            {B, {{"Name", "room 2"}, {"Next", "None"}}}};
    CalibrationList list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(CalibrationRowText(list, 0, "active"), "room 1");
    EXPECT_EQ(CalibrationRowText(list, 1, "active"), "room 2 [active]");
    EXPECT_EQ(CalibrationRowText(list, 2, "active"), "");

    ini["System"]["Active"] = "c20240403090508";  // keys are matched case-sensitively
    list = WalkCalibrationList(Reader(ini));
    EXPECT_EQ(CalibrationRowText(list, 1, "active"), "room 2");

    EXPECT_EQ(CalibrationRowText(WalkCalibrationList(Reader({})), 0, "active"), " [active]");
}

TEST(CalibrationList, EntryKeysAreFifteenCharactersAndNeverReused) {
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 3, t.tm_mday = 3, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 7;
    EXPECT_EQ(CalibrationEntryKey(t), "C20240403090507");
    t.tm_hour = 0, t.tm_min = 0, t.tm_sec = 5;
    EXPECT_EQ(CalibrationEntryKey(t), "C20240403000005");

    auto none = [](const std::string&) { return false; };
    EXPECT_EQ(UniqueCalibrationEntryKey(t, none), "C20240403000005");
    std::set<std::string> taken{"C20240403000005", "C20240403000006"};
    EXPECT_EQ(UniqueCalibrationEntryKey(t, [&](const std::string& k) { return taken.count(k) > 0; }),
              "C20240403000007");
    std::tm lastSecond{};
    lastSecond.tm_year = 124, lastSecond.tm_mon = 11, lastSecond.tm_mday = 31;
    lastSecond.tm_hour = 23, lastSecond.tm_min = 59, lastSecond.tm_sec = 59;
    EXPECT_EQ(UniqueCalibrationEntryKey(lastSecond, [](const std::string& k) { return k == "C20241231235959"; }),
              "C20250101000000");
}
