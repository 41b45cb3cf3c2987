// Golden cases kept in text files beside the tests: one case a line, fields split by '|' and
// trimmed; blank lines and lines starting with '#' are skipped. In a field \r \n \t \\ \| and \xHH
// stand for the byte they name (\x20 keeps a space at either end).
//
// Each case runs as a test of its own, named after its first field:
//     using IniEdits = CaseTest;
//     TEST_P(IniEdits, KeepEverythingElse) { const CaseLine& c = GetParam(); ... }
//     INSTANTIATE_TEST_SUITE_P(, IniEdits, CasesIn("ini_edits.txt", 7), ByName());
// so that `--gtest_filter='*/empty_file'` or `ctest -R empty_file` runs one of them.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <ostream>
#include <set>
#include <string>
#include <vector>

struct CaseLine {
    int line = 0;
    std::vector<std::string> fields;
    std::string name;   // the test's name: the first field as an identifier
    std::string error;  // why the file or this line could not be read; the case then fails
    const std::string& operator[](size_t i) const { return fields.at(i); }
};

inline void PrintTo(const CaseLine& c, std::ostream* out) { *out << "case line " << c.line << ": " << c.name; }

inline std::string Unescape(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char e = raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : '\0';
        if (!e) out += raw[i];
        else if (e == 'x') out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16)), i += 2;
        else out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
    }
    return out;
}

// A test name from free text: letters and digits kept, every other run of characters one '_'.
inline std::string TestName(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (std::isalnum(static_cast<unsigned char>(ch))) out += ch;
        else if (!out.empty() && out.back() != '_') out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? "unnamed" : out;
}

// The cases of `path`, each with exactly `fields` fields. A missing or empty file and a malformed
// line come back as cases carrying an error, so that they fail as tests of their own; a name that
// repeats one before it gets its line number.
inline std::vector<CaseLine> LoadCases(const std::string& path, size_t fields) {
    std::vector<CaseLine> cases;
    std::set<std::string> names;
    std::ifstream file(path, std::ios::binary);
    int number = 0;
    for (std::string text; std::getline(file, text);) {
        if (++number, text.find_first_not_of(" \t\r") == std::string::npos || text[0] == '#') continue;
        std::vector<std::string> raw(1);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '|') raw.emplace_back();
            else if ((raw.back() += text[i]).back() == '\\' && i + 1 < text.size()) raw.back() += text[++i];
        }
        CaseLine c;
        c.line = number;
        for (const std::string& r : raw) {
            const size_t a = r.find_first_not_of(" \r"), b = r.find_last_not_of(" \r");
            c.fields.push_back(a == std::string::npos ? "" : Unescape(r.substr(a, b - a + 1)));
        }
        if (c.fields.size() != fields)
            c.error = path + ":" + std::to_string(number) + ": " + std::to_string(c.fields.size()) + " fields, not " +
                      std::to_string(fields);
        c.name = TestName(c.fields[0]);
        if (!names.insert(c.name).second) c.name += "_line" + std::to_string(number);
        cases.push_back(std::move(c));
    }
    if (cases.empty()) cases.push_back({0, {}, "no_cases", "no cases in " + path});
    return cases;
}

// The same as a list to loop over inside one test: a missing file or a malformed line fails it.
inline std::vector<CaseLine> ReadCases(const std::string& path, size_t fields) {
    std::vector<CaseLine> cases = LoadCases(path, fields);
    for (const CaseLine& c : cases) EXPECT_EQ(c.error, "");
    std::erase_if(cases, [](const CaseLine& c) { return !c.error.empty(); });
    return cases;
}

// The line and name of a case, for failure messages.
inline std::string Where(const CaseLine& c) { return "case line " + std::to_string(c.line) + ": " + c.fields[0]; }

// A test suite run once per case; a case that could not be read fails before its body runs.
class CaseTest : public testing::TestWithParam<CaseLine> {
protected:
    void SetUp() override { ASSERT_EQ(GetParam().error, ""); }
};

#ifdef TAVORI_CASES_DIR
// The cases of a file beside the test's sources.
inline auto CasesIn(const char* file, size_t fields) { return testing::ValuesIn(LoadCases(TAVORI_CASES_DIR "/" + std::string(file), fields)); }
#endif

// Test names from the rows' `name`, for case files and hand-written tables alike.
struct ByName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const { return TestName(info.param.name); }
};
