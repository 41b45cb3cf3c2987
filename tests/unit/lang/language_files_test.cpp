// The language files shipped in lang/: complete, well-formed, and saved in the code page they
// declare on their first line ("; codepage N"), which is the ANSI code page Windows reads them in.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
const fs::path kLangDir = TAVORI_LANG_DIR;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The keys of one section in file order; a repeated key is recorded twice so the test sees it.
std::vector<std::pair<std::string, std::string>> Section(const std::string& bytes, const std::string& name) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream in(bytes);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            inside = line == "[" + name + "]";
        } else if (inside) {
            size_t eq = line.find('=');
            entries.emplace_back(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
        }
    }
    return entries;
}

// Converts with iconv; false when a byte sequence has no counterpart in the target encoding.
bool Convert(const std::string& from, const std::string& to, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string src = in;
    out.assign(src.size() * 4 + 16, '\0');
    char* inPtr = src.data();
    char* outPtr = out.data();
    size_t inLeft = src.size(), outLeft = out.size();
    bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return ok;
}

std::vector<fs::path> LanguageFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kLangDir))
        if (entry.path().extension() == ".ini" && entry.path().filename() != "LangMatch.ini") files.push_back(entry.path());
    return files;
}
}  // namespace

TEST(LanguageFiles, RoundTripThroughTheirCodePageAndAreNotUtf8) {
    ASSERT_GE(LanguageFiles().size(), 6u);
    for (const auto& file : LanguageFiles()) {
        SCOPED_TRACE(file.filename().string());
        std::string bytes = ReadBytes(file);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(bytes, m, std::regex("^; codepage ([0-9]+)\r?\n"))) << "no code page line";
        std::string codePage = "CP" + m[1].str(), utf8, back;
        ASSERT_TRUE(Convert(codePage, "UTF-8", bytes, utf8)) << "bytes that " << codePage << " does not have";
        ASSERT_TRUE(Convert("UTF-8", codePage, utf8, back));
        EXPECT_EQ(back, bytes) << "does not round-trip through " << codePage;
        bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        std::string ignored;
        EXPECT_TRUE(ascii || !Convert("UTF-8", "UTF-16LE", bytes, ignored)) << "saved as UTF-8, not " << codePage;
    }
}

TEST(LanguageFiles, HaveEveryEnglishKeyOnceWithAShortNonEmptyText) {
    auto english = Section(ReadBytes(kLangDir / "English.ini"), "Language");
    ASSERT_GE(english.size(), 30u);
    for (const auto& file : LanguageFiles()) {
        SCOPED_TRACE(file.filename().string());
        std::map<std::string, std::string> texts;
        for (const auto& [key, text] : Section(ReadBytes(file), "Language")) {
            EXPECT_TRUE(texts.emplace(key, text).second) << "repeated key " << key;
            EXPECT_FALSE(text.empty()) << key;
            EXPECT_LE(text.size(), 259u) << key << " is cut off at 259 bytes";  // the reader's buffer
        }
        for (const auto& [key, text] : english) EXPECT_EQ(texts.count(key), 1u) << "missing " << key;
        EXPECT_EQ(texts.size(), english.size()) << "keys that English.ini does not have";
    }
}

TEST(LanguageFiles, LangMatchNamesExistingFilesAndReachesEachOne) {
    auto map = Section(ReadBytes(kLangDir / "LangMatch.ini"), "Country");
    std::map<std::string, int> reached;
    std::map<std::string, int> seen;
    for (const auto& [key, language] : map) {
        EXPECT_TRUE(std::regex_match(key, std::regex("LCID_[1-9a-f][0-9a-f]*"))) << key << ": lower-case hex, no leading zero";
        EXPECT_EQ(++seen[key], 1) << "repeated " << key;
        EXPECT_TRUE(fs::exists(kLangDir / (language + ".ini"))) << key << " names " << language;
        ++reached[language];
    }
    for (const auto& file : LanguageFiles()) EXPECT_GT(reached[file.stem().string()], 0) << file.filename() << " unused";
}
