#include "ui/shell/help_project.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace lyb {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// "0x2008F" or "131215": a context number; false for anything else.
bool ParseContext(std::string_view s, unsigned& out) {
    s = Trim(s);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 8)
        return false;
    unsigned long value = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    if (value > 0xFFFFFFFFul)
        return false;
    out = static_cast<unsigned>(value);
    return true;
}

} // namespace

bool IsSafeTopicPath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string_view::npos ||
        path.find(':') != std::string_view::npos)
        return false;
    // Every part a plain name: no "..", no ".", no empty part.
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::string HelpProject::TopicOf(unsigned context) const {
    auto it = map.find(context);
    return it == map.end() ? std::string() : it->second;
}

HelpProject ParseHelpProject(std::string_view text) {
    HelpProject p;
    std::string section;
    for (std::string_view raw : SplitLines(text)) {
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Lower(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (section == "options") {
            const std::string k = Lower(key);
            if (k == "title")
                p.title = std::string(value);
            else if (k == "default topic" && IsSafeTopicPath(value))
                p.defaultTopic = std::string(value);
        } else if (section == "contents") {
            size_t blanks = 0;
            while (blanks < raw.size() && raw[blanks] == ' ')
                ++blanks;
            if (key.empty() || (!value.empty() && !IsSafeTopicPath(value)))
                continue;
            p.contents.push_back({static_cast<int>(std::min<size_t>(blanks / 2, 8)), std::string(key),
                                  std::string(value)});
        } else if (section == "map") {
            unsigned context = 0;
            if (ParseContext(key, context) && IsSafeTopicPath(value))
                p.map[context] = std::string(value);
        }
    }
    return p;
}

} // namespace lyb
