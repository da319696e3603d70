#include "library/file_util.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h> // fsync: the replaced file must be on disk before the rename

namespace lyb::libfile {

namespace fs = std::filesystem;

std::optional<std::string> ReadAll(const std::string& path, uint64_t maxBytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
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

std::string ResolveLinks(const std::string& path) {
    std::error_code ec;
    if (!fs::is_symlink(path, ec))
        return path;
    auto target = fs::canonical(path, ec);
    return ec ? path : target.string();
}

bool ReplaceAtomically(const std::string& original, std::string_view bytes) {
    const std::string path = ResolveLinks(original);
    const std::string temp = TemporaryName(path);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ok && ::fsync(fileno(f)) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (ok) {
        std::error_code ec;
        // Keep the permissions of the file being replaced.
        auto st = fs::status(path, ec);
        if (!ec && fs::exists(st))
            fs::permissions(temp, st.permissions(), ec);
        ok = std::rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok)
        std::remove(temp.c_str());
    return ok;
}

std::optional<uint64_t> FileSize(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    return static_cast<uint64_t>(size);
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace lyb::libfile
