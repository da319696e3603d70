#include "platform/desktop_entry.h"

#include <fstream>
#include <sstream>

namespace lyb {

std::string DesktopExecArgument(std::string_view argument) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (quote)
        out.push_back('"');
    for (char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out.push_back('\\');
        out.push_back(c);
    }
    if (quote)
        out.push_back('"');
    return out;
}

std::string DesktopStringValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string DesktopExecValue(const std::vector<std::string>& commandLine, std::string_view fieldCodes) {
    // Quoting comes first; the string escapes apply to the quoted result.
    std::string exec;
    for (const std::string& argument : commandLine) {
        if (!exec.empty())
            exec.push_back(' ');
        exec += DesktopExecArgument(argument);
    }
    if (!fieldCodes.empty()) {
        exec.push_back(' ');
        exec += fieldCodes;
    }
    return DesktopStringValue(exec);
}

namespace {

std::string UnescapeValue(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char n = s[++i];
            switch (n) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += n;
            }
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string Trim(std::string_view s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string_view::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t\r");
    return std::string(s.substr(a, b - a + 1));
}

} // namespace

std::string FormatDesktopEntry(const DesktopEntry& e) {
    std::string text = "[Desktop Entry]\n";
    auto add = [&text](const char* key, const std::string& value) {
        if (!value.empty())
            text += std::string(key) + "=" + DesktopStringValue(value) + "\n";
    };
    add("Type", e.type);
    add("Name", e.name);
    add("Comment", e.comment);
    if (!e.command.empty())
        text += "Exec=" + DesktopExecValue(e.command, e.fieldCodes) + "\n";
    add("Path", e.path);
    add("Icon", e.icon);
    if (e.type == "Application")
        text += "Terminal=false\n";
    add("Categories", e.categories);
    add("MimeType", e.mimeTypes);
    return text;
}

std::string DesktopEntryValue(std::string_view text, std::string_view key) {
    std::istringstream in{std::string(text)};
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t[0] == '[') {
            inGroup = t == "[Desktop Entry]";
            continue;
        }
        if (!inGroup)
            continue;
        const size_t eq = t.find('=');
        if (eq != std::string::npos && Trim(std::string_view(t).substr(0, eq)) == key)
            return UnescapeValue(Trim(std::string_view(t).substr(eq + 1)));
    }
    return {};
}

std::string ShortcutFileName(std::string_view title) {
    std::string name(title);
    for (char& c : name)
        if (c == '/')
            c = '-';
    if (name.empty() || name == "." || name == "..")
        name = "shortcut";
    return name + ".desktop";
}

std::string DesktopFolder(const std::string& configHome, const std::string& home) {
    std::ifstream in(configHome + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (t.rfind("XDG_DESKTOP_DIR=", 0) != 0)
            continue;
        std::string v = t.substr(16);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0)
            v = home + v.substr(5);
        if (!v.empty() && v[0] == '/' && v != home && v != home + "/")
            return v;
    }
    return home + "/Desktop";
}

} // namespace lyb
