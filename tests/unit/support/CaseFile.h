// Golden cases kept in text files beside the tests: one case a line, fields split by '|' and
// trimmed; blank lines and lines starting with '#' are skipped. In a field \r \n \t \\ \| and \xHH
// stand for the byte they name (\x20 keeps a space at either end).
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

struct CaseLine {
    int line;
    std::vector<std::string> fields;
    const std::string& operator[](size_t i) const { return fields.at(i); }
};

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

// The cases of `path`, each with exactly `fields` fields; a missing file or a malformed line fails
// the calling test.
inline std::vector<CaseLine> ReadCases(const std::string& path, size_t fields) {
    std::vector<CaseLine> cases;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    int number = 0;
    for (std::string text; std::getline(file, text);) {
        if (++number, text.find_first_not_of(" \t\r") == std::string::npos || text[0] == '#') continue;
        std::vector<std::string> raw(1);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '|') raw.emplace_back();
            else if ((raw.back() += text[i]).back() == '\\' && i + 1 < text.size()) raw.back() += text[++i];
        }
        CaseLine c{number, {}};
        for (const std::string& r : raw) {
            const size_t a = r.find_first_not_of(" \r"), b = r.find_last_not_of(" \r");
            c.fields.push_back(a == std::string::npos ? "" : Unescape(r.substr(a, b - a + 1)));
        }
        EXPECT_EQ(c.fields.size(), fields) << path << ":" << number;
        if (c.fields.size() == fields) cases.push_back(std::move(c));
    }
    EXPECT_FALSE(cases.empty()) << path;
    return cases;
}

// The line and name of a case, for failure messages.
inline std::string Where(const CaseLine& c) { return "case line " + std::to_string(c.line) + ": " + c.fields[0]; }
