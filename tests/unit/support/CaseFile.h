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

// The cases of `path`, each with exactly `fields` fields; a missing file or a malformed line fails
// the calling test.
inline std::vector<CaseLine> ReadCases(const std::string& path, size_t fields) {
    std::vector<CaseLine> cases;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    int number = 0;
    for (std::string text; std::getline(file, text);) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.find_first_not_of(" \t") == std::string::npos || text[0] == '#') continue;
        CaseLine c{number, {""}};
        std::string pending;  // spaces held back until something follows them
        auto put = [&](char ch, bool escaped) {
            std::string& f = c.fields.back();
            if (!escaped && ch == ' ') {
                if (!f.empty()) pending += ch;
                return;
            }
            f += pending + ch;
            pending.clear();
        };
        for (size_t i = 0; i < text.size(); ++i) {
            const char ch = text[i];
            if (ch == '|') {
                c.fields.emplace_back(), pending.clear();
            } else if (ch != '\\' || i + 1 == text.size()) {
                put(ch, false);
            } else {
                const char e = text[++i];
                if (e == 'x' && i + 2 < text.size()) {
                    put(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), true);
                    i += 2;
                } else {
                    put(e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e, true);
                }
            }
        }
        EXPECT_EQ(c.fields.size(), fields) << path << ":" << number;
        if (c.fields.size() == fields) cases.push_back(std::move(c));
    }
    EXPECT_FALSE(cases.empty()) << path;
    return cases;
}

// "file:line" of a case, for SCOPED_TRACE.
inline std::string Where(const CaseLine& c) { return "case line " + std::to_string(c.line) + ": " + c.fields[0]; }
