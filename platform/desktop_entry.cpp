#include "platform/desktop_entry.h"

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

} // namespace lyb
