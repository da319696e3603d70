#include "library/file_util.h"

#include "platform/atomic_file.h"
#include "platform/file_access.h"
#include "platform/path.h"
#include "platform/text.h"

#include <cstdio>
#include <filesystem>
#include <system_error>


namespace lyb::libfile {

namespace fs = std::filesystem;

std::optional<std::string> ReadAll(const std::string& path, uint64_t maxBytes) {
    std::FILE* f = OpenRegularFile(path, "rb");
    if (!f)
        return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        size_t n = std::fread(buffer, 1, sizeof buffer, f);
        if (n == 0)
            break;
        if (out.size() + n > maxBytes) {
            std::fclose(f);
            return std::nullopt;
        }
        out.append(buffer, n);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        return std::nullopt;
    return out;
}

std::string TemporaryName(const std::string& path) {
    if (path.empty())
        return "~";
    std::string temp = path;
    temp.back() = '~';
    if (temp == path) // a path already ending in '~'
        temp += '~';
    return temp;
}

bool ReplaceAtomically(const std::string& original, std::string_view bytes) {
    const std::string path = FollowLinks(original);
    return !path.empty() && ReplaceFileAtomically(path, bytes, TemporaryName(path));
}

std::optional<uint64_t> FileSize(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    return static_cast<uint64_t>(size);
}

std::string PathFromLine(std::string_view line, std::string_view folder, unsigned legacyCodePage) {
    auto resolve = [&](std::string_view p) {
        return folder.empty() ? std::string(p) : AbsolutePath(p, folder);
    };
    std::string path = resolve(line);
    if (IsValidUtf8(line))
        return path;
    std::error_code ec;
    if (fs::exists(fs::path(path), ec))
        return path;
    const std::string decoded = resolve(DecodeTextLine(line, legacyCodePage));
    if (fs::exists(fs::path(decoded), ec))
        return decoded;
    return path;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace lyb::libfile
