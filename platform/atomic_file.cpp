#include "platform/atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lyb {
namespace {

constexpr int kMaxLinks = 40; // as the kernel's own limit for one lookup

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RandomLetters(size_t count) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out.push_back(kLetters[pick(rng)]);
    return out;
}

} // namespace

std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current; // a file, a folder, or nothing yet: it is the end
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n;
        while ((n = ::readlink(current.c_str(), buffer.data(), buffer.size())) ==
               static_cast<ssize_t>(buffer.size()))
            buffer.resize(buffer.size() * 2);
        if (n < 0)
            return current;
        std::string target(buffer.data(), static_cast<size_t>(n));
        if (target.empty())
            return current;
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return {};
}

int CreateExclusive(const std::string& preferred, std::string& created) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    std::string name = preferred;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(name.c_str(), kFlags, 0600);
        if (fd >= 0) {
            created = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        name = preferred + "." + RandomLetters(6);
    }
    return -1;
}

FileReplacement::~FileReplacement() {
    Abort();
}

bool FileReplacement::Begin(const std::string& path, const std::string& preferredTemp, bool followLinks) {
    Abort();
    m_failed = false;
    m_error = 0;
    m_followLinks = followLinks;
    m_target = followLinks ? FollowLinks(path) : path;
    if (m_target.empty()) {
        m_error = ELOOP;
        return false;
    }
    const std::string preferred =
        preferredTemp.empty() ? m_target + ".tmp." + std::to_string(::getpid()) : preferredTemp;
    m_fd = CreateExclusive(preferred, m_temp);
    if (m_fd < 0)
        m_error = errno;
    return m_fd >= 0;
}

bool FileReplacement::Write(std::string_view bytes) {
    if (m_fd < 0 || m_failed)
        return false;
    m_failed = !WriteAll(m_fd, bytes);
    if (m_failed)
        m_error = errno;
    return !m_failed;
}

bool FileReplacement::Commit() {
    if (m_fd < 0)
        return false;
    mode_t mode = 0644;
    struct stat st;
    const bool existed = (m_followLinks ? ::stat(m_target.c_str(), &st) : ::lstat(m_target.c_str(), &st)) == 0 &&
                         !S_ISLNK(st.st_mode);
    if (existed)
        mode = st.st_mode & 07777;
    if (m_mode >= 0)
        mode = static_cast<mode_t>(m_mode);
    bool ok = !m_failed && ::fchmod(m_fd, mode) == 0;
    // Root editing a user's file must not take it over.
    if (ok && existed && ::geteuid() == 0 && (st.st_uid != 0 || st.st_gid != 0))
        ok = ::fchown(m_fd, st.st_uid, st.st_gid) == 0;
    ok = ok && ::fsync(m_fd) == 0;
    if (!ok && m_error == 0)
        m_error = errno;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok) {
        ok = ::rename(m_temp.c_str(), m_target.c_str()) == 0;
        if (!ok)
            m_error = errno;
    }
    if (!ok) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    int dirFd = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void FileReplacement::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const std::string& tempPath) {
    FileReplacement replacement;
    return replacement.Begin(path, tempPath) && replacement.Write(bytes) && replacement.Commit();
}

} // namespace lyb
