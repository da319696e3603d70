#include "setup/setup_ctl.h"

#include <algorithm>

namespace lyb {

namespace {

// The relative path with '/' separators, or empty when it is not one that
// stays below its folder.
std::string CleanRelative(std::string_view raw) {
    std::string rel(raw);
    std::replace(rel.begin(), rel.end(), '\\', '/');
    while (!rel.empty() && rel.back() == '/')
        rel.pop_back();
    if (rel.empty() || rel[0] == '/' || (rel.size() >= 2 && rel[1] == ':') ||
        rel.find_first_of(std::string_view("\n\0", 2)) != std::string::npos)
        return {};
    size_t i = 0;
    while (i <= rel.size()) {
        const size_t slash = std::min(rel.find('/', i), rel.size());
        const std::string_view part = std::string_view(rel).substr(i, slash - i);
        if (part.empty() || part == "." || part == "..")
            return {};
        i = slash + 1;
    }
    return rel;
}

} // namespace

std::string EntryFileName(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool ParseSetupCtl(std::string_view text, SetupCtl& out, std::string& error) {
    out = SetupCtl{};
    size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == '\t' || text[pos] == '\n' || text[pos] == ' '))
            ++pos;
        if (pos >= text.size())
            break;
        const size_t end = std::min(text.find('\r', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (line.empty())
            continue;
        if (line.size() > kSetupCtlLineMax) {
            error = "line " + std::to_string(lineNo) + " is longer than " + std::to_string(kSetupCtlLineMax) +
                    " characters";
            return false;
        }
        if (line.substr(0, 4) == "^^^^") {
            std::uint64_t total = 0;
            for (size_t i = 4; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
                if (total > (UINT64_MAX - 9) / 10) {
                    error = "line " + std::to_string(lineNo) + ": the total size is too large";
                    return false;
                }
                total = total * 10 + static_cast<unsigned>(line[i] - '0');
            }
            out.totalBytes = total;
            continue;
        }
        SetupCtlEntry e;
        std::string_view raw = line;
        if (line[0] == '!' || line[0] == '+') {
            e.kind = line[0] == '!' ? SetupCtlEntry::Kind::Folder : SetupCtlEntry::Kind::SubFolder;
            raw.remove_prefix(1);
        }
        e.path = CleanRelative(raw);
        // "+" alone (or "+\") goes back to the destination folder itself.
        const bool toRoot = e.kind == SetupCtlEntry::Kind::SubFolder && raw.find_first_not_of("\\/") == std::string_view::npos;
        if (e.path.empty() && !toRoot) {
            error = "line " + std::to_string(lineNo) + ": \"" + std::string(raw.substr(0, 200)) +
                    "\" is not a path below its folder";
            return false;
        }
        out.entries.push_back(std::move(e));
    }
    return true;
}

} // namespace lyb
