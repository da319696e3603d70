#include "setup/language_inf.h"

#include "platform/text.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace lyb {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return out;
}

std::string Trim(std::string_view s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string_view::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(a, b - a + 1));
}

// A value in double or single quotes loses them, as profile readers do.
std::string Unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

int ToInt(const std::string& s, int fallback) {
    if (s.empty())
        return fallback;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || v < -2147483647L || v > 2147483647L)
        return fallback;
    return static_cast<int>(v);
}

std::string DecodeInf(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return Utf16BytesToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
        return Utf16BytesToUtf8(bytes.substr(2), true);
    return DecodeLegacyText(bytes, 1252);
}

bool IsEnglish(const std::string& name) {
    return name == "English" || name == "English (US)" || name == "British" || name == "English (UK)" ||
           name == "English APAC";
}

struct Section {
    std::string name;
    std::map<std::string, std::string> keys; // lower-case key -> value
};

} // namespace

int LanguageList::DefaultIndex() const {
    if (languages.empty())
        return -1;
    const std::string wanted = Lower(defaultSection);
    for (size_t i = 0; i < languages.size(); ++i)
        if (Lower(languages[i].section) == wanted)
            return static_cast<int>(i);
    return 0;
}

int LanguageList::FindByName(std::string_view name) const {
    for (size_t i = 0; i < languages.size(); ++i)
        if (languages[i].name == name)
            return static_cast<int>(i);
    return -1;
}

LanguageList ParseLanguageInf(std::string_view bytes) {
    const std::string text = DecodeInf(bytes);
    std::vector<Section> sections;
    std::map<std::string, size_t> index; // lower-case name -> position
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            const std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            const std::string key = Lower(name);
            if (index.count(key)) {
                current = nullptr; // a repeated section adds nothing
                continue;
            }
            index[key] = sections.size();
            sections.push_back({name, {}});
            current = &sections.back();
            continue;
        }
        if (!current)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, eq)));
        if (!key.empty() && !current->keys.count(key))
            current->keys[key] = Unquote(Trim(line.substr(eq + 1)));
    }

    LanguageList list;
    for (const Section& s : sections) {
        auto get = [&s](const char* key) {
            const auto it = s.keys.find(key);
            return it == s.keys.end() ? std::string() : it->second;
        };
        if (Lower(s.name) == "language") {
            list.defaultSection = get("default");
            continue;
        }
        SetupLanguage l;
        l.name = get("languagename");
        if (l.name.empty())
            continue;
        l.id = static_cast<int>(list.languages.size());
        l.section = s.name;
        l.interfaceFile = get("localizationfilename");
        l.installFile = get("localizationinstallfilename");
        l.uninstallFile = get("localizationuninstallfilename");
        if (l.uninstallFile.empty())
            l.uninstallFile = l.installFile;
        l.helpFile = get("localizationhlpfilename");
        l.fontFile = get("fontfilename");
        l.typeface = get("typefacename");
        l.characterSet = ToInt(get("characterset"), 0);
        l.codePage = ToInt(get("codepage"), 1252);
        l.defaultUrl = get("defaulturl");
        l.englishBase = IsEnglish(l.name);
        list.languages.push_back(std::move(l));
    }
    return list;
}

std::string ResolveBelow(const std::string& folder, std::string_view name) {
    std::string rel(name);
    std::replace(rel.begin(), rel.end(), '\\', '/');
    if (rel.empty() || rel[0] == '/' || (rel.size() >= 2 && rel[1] == ':') || rel.find('\0') != std::string::npos)
        return {};
    size_t i = 0;
    while (i <= rel.size()) {
        const size_t slash = std::min(rel.find('/', i), rel.size());
        const std::string part = rel.substr(i, slash - i);
        if (part.empty() || part == "." || part == "..")
            return {};
        i = slash + 1;
    }
    return folder + "/" + rel;
}

} // namespace lyb
