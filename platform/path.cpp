#include "platform/path.h"

#include <cctype>

#include <unistd.h>

#include <vector>

namespace lyb {

bool IsDeviceDrive(std::string_view path) {
    constexpr std::string_view dev = "/dev/";
    return path.size() > dev.size() && path.substr(0, dev.size()) == dev &&
           path.find('/', dev.size()) == std::string_view::npos;
}

PathParts SplitPath(std::string_view path) {
    PathParts parts;
    constexpr std::string_view dev = "/dev/";
    if (path.size() > dev.size() && path.substr(0, dev.size()) == dev) {
        size_t end = path.find('/', dev.size());
        parts.drive = std::string(path.substr(0, end));
        path = end == std::string_view::npos ? std::string_view() : path.substr(end);
    }
    size_t slash = path.rfind('/');
    std::string_view file = path;
    if (slash != std::string_view::npos) {
        parts.dir = std::string(path.substr(0, slash + 1));
        file = path.substr(slash + 1);
    }
    size_t dot = file.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        parts.name = std::string(file.substr(0, dot));
        parts.ext = std::string(file.substr(dot));
    } else {
        parts.name = std::string(file);
    }
    return parts;
}

std::string AbsolutePath(std::string_view path, std::string_view base) {
    if (path.empty() || path.front() == '/')
        return std::string(path);
    std::string out(base);
    if (out.empty()) {
        std::vector<char> buffer(4096);
        while (!::getcwd(buffer.data(), buffer.size())) {
            if (buffer.size() > (1u << 20))
                return std::string(path); // no current folder to name
            buffer.resize(buffer.size() * 2);
        }
        out = buffer.data();
    }
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    size_t pos = 0;
    while (pos < path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(pos, end - pos);
        if (!part.empty() && part != ".") {
            if (out.back() != '/')
                out += '/';
            out += part;
        }
        pos = end + 1;
    }
    if (path.back() == '/' && out.back() != '/')
        out += '/'; // a trailing '/' names a folder
    return out;
}

std::string MakePath(const PathParts& parts) {
    return parts.drive + parts.dir + parts.name + parts.ext;
}

bool EndsWithIgnoringCase(std::string_view path, std::string_view ending) {
    if (path.size() < ending.size())
        return false;
    const std::string_view tail = path.substr(path.size() - ending.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        const auto a = static_cast<unsigned char>(tail[i]);
        const auto b = static_cast<unsigned char>(ending[i]);
        if (std::tolower(a) != std::tolower(b))
            return false;
    }
    return true;
}

} // namespace lyb

#include "platform/file_dialog.h"

namespace lyb {

std::vector<DialogFilter> ParseDialogFilter(const std::string& filter) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= filter.size()) {
        size_t bar = filter.find('|', at);
        parts.push_back(filter.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
        if (bar == std::string::npos)
            break;
        at = bar + 1;
    }
    std::vector<DialogFilter> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break; // "||" ends the list
        DialogFilter f;
        f.description = parts[i];
        size_t p = 0;
        const std::string& pats = parts[i + 1];
        while (p <= pats.size()) {
            size_t semi = pats.find(';', p);
            std::string one = pats.substr(p, semi == std::string::npos ? std::string::npos : semi - p);
            if (!one.empty())
                f.patterns.push_back(one);
            if (semi == std::string::npos)
                break;
            p = semi + 1;
        }
        out.push_back(std::move(f));
    }
    return out;
}

std::string ApplyDefaultExtension(const std::string& path, const std::string& defaultExtension) {
    std::string ext = defaultExtension;
    if (ext.rfind("*", 0) == 0) ext.erase(0, 1);
    if (ext.empty() || ext == ".*" || !SplitPath(path).ext.empty()) return path;
    return path + ext;
}

} // namespace lyb
