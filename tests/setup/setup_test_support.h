// Helpers of the installer and uninstaller tests: temporary folders, whole
// files, and running a piece of code as an unprivileged user (file
// permissions do not stop root).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lyb::test {

namespace fs = std::filesystem;

class TempFolder {
public:
    explicit TempFolder(const char* tag = "lybsetup") {
        std::string pattern = (fs::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made ? made : pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        // Folders made read-only by a test must not outlive it.
        for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    const std::string s = ReadAll(path);
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string TestData(const std::string& rel) {
    const char* root = std::getenv("LYB_TEST_DATA");
    return std::string(root ? root : "tests/data") + "/" + rel;
}

/// A user id that owns nothing here.
inline constexpr uid_t kNobody = 65534;

/// Runs `body` in a child process as an unprivileged user when the tests run
/// as root, else directly; answers what `body` answered (false on a crash).
inline bool AsUnprivileged(const std::function<bool()>& body) {
    if (::geteuid() != 0)
        return body();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(3);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// Lets other users through the folder (tests that run a part unprivileged).
inline void OpenToOthers(const std::string& path) {
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

/// UTF-16LE bytes of ASCII/UTF-8 text (string files are written this way).
std::string Utf16Le(const std::string& utf8);

} // namespace lyb::test

#include "uninstall/install_log.h"
#include <ostream>

namespace lyb {
inline void PrintTo(const LogEntry& e, std::ostream* os) { *os << (e.folder ? "!" : "") << e.path; }
} // namespace lyb
