#include "config/IniText.h"

#include <cstdint>
#include <limits>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

struct Line {
    size_t begin, end;  // content without the line break
    size_t next;        // start of the following line
};

Line LineAt(std::string_view text, size_t pos) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl;
    size_t next = nl == std::string::npos ? text.size() : nl + 1;
    if (end > pos && text[end - 1] == '\r') --end;
    return {pos, end, next};
}

// The section's name when the line is a section header.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    size_t close = line.find(']');
    name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}
}  // namespace

bool SetIniValue(std::string& text, std::string_view section, std::string_view key, std::string_view value) {
    std::string entry(key);
    entry.append("=").append(value).append("\r\n");
    bool inSection = false;
    size_t insertAt = std::string::npos;  // after the section's last non-blank line
    for (size_t pos = 0; pos < text.size();) {
        const Line line = LineAt(text, pos);
        const std::string_view content(text.data() + line.begin, line.end - line.begin);
        std::string_view name;
        if (SectionName(content, name)) {
            if (inSection) break;  // the first matching section ends here
            inSection = SameName(name, section);
            if (inSection) insertAt = line.next;
        } else if (inSection && !Trim(content).empty()) {
            insertAt = line.next;
            const size_t eq = content.find('=');
            if (eq != std::string_view::npos && SameName(Trim(content.substr(0, eq)), key)) {
                if (Trim(content.substr(eq + 1)) == value) return false;
                text.replace(line.begin, line.end - line.begin,
                             std::string(content.substr(0, eq + 1)) + std::string(value));
                return true;
            }
        }
        pos = line.next;
    }
    if (insertAt != std::string::npos) {
        const bool lineOpen = insertAt > 0 && text[insertAt - 1] != '\n';
        text.insert(insertAt, entry);
        if (lineOpen) text.insert(insertAt, "\r\n");
        return true;
    }
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    text.append("[").append(section).append("]\r\n").append(entry);
    return true;
}

std::optional<std::string> GetIniValue(std::string_view text, std::string_view section, std::string_view key) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // editors may save a UTF-8 mark
    bool inSection = false;
    for (size_t pos = 0; pos < text.size();) {
        const Line line = LineAt(text, pos);
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        std::string_view name;
        if (SectionName(content, name)) {
            if (inSection) break;
            inSection = SameName(name, section);
        } else if (const size_t eq = content.find('='); inSection && eq != std::string_view::npos &&
                                                          SameName(Trim(content.substr(0, eq)), key)) {
            std::string_view value = Trim(content.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return std::string(value.substr(0, kIniValueLimit));
        }
        pos = line.next;
    }
    return std::nullopt;
}

int ParseIniInt(std::string_view value, int def) {
    value = Trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    if (value.empty() || value.front() < '0' || value.front() > '9') return def;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > kLimit) n = kLimit;
    }
    if (negative) return static_cast<int>(-n);
    return static_cast<int>(n > kLimit - 1 ? kLimit - 1 : n);
}
