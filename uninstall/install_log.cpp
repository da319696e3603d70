#include "uninstall/install_log.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace lyb {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

std::vector<LogEntry> ParseInstallLog(std::string_view text) {
    std::vector<LogEntry> entries;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == '\t' || text[i] == '\n' || text[i] == ' '))
            ++i;
        const size_t end = std::min(text.find('\r', i), text.size());
        const std::string_view line = text.substr(i, end - i);
        if (line.empty())
            break;
        i = end + 1;
        if (line.size() > kMaxLogEntry)
            continue;
        LogEntry e;
        e.folder = line[0] == '!' || line[0] == '+';
        e.path = std::string(e.folder ? line.substr(1) : line);
        if (!e.path.empty() && e.path.find('\0') == std::string::npos)
            entries.push_back(std::move(e));
    }
    return entries;
}

std::string FormatLogEntry(const LogEntry& entry) { return (entry.folder ? "!" : "") + entry.path + "\r\n"; }

bool IsPlainFullPath(std::string_view path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos)
        return false;
    if (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1); // a folder may be written with its closing slash
    if (path == "/")
        return true;
    size_t i = 1;
    while (i <= path.size()) {
        const size_t slash = std::min(path.find('/', i), path.size());
        const std::string_view part = path.substr(i, slash - i);
        if (part.empty() || part == "." || part == "..")
            return false;
        i = slash + 1;
    }
    return true;
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
    if (!IsPlainFullPath(path) || !IsPlainFullPath(folder))
        return false;
    if (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    if (folder == "/")
        return path.size() > 1;
    return path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder && path[folder.size()] == '/';
}

InstallLogWriter::~InstallLogWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InstallLogWriter::Create(const std::string& path) {
    if (m_fd >= 0)
        ::close(m_fd);
    ::unlink(path.c_str()); // a log of an earlier installation; a new one is made below
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

bool InstallLogWriter::Add(const LogEntry& entry) {
    if (m_fd < 0 || entry.path.empty() || entry.path.size() > kMaxLogEntry)
        return false;
    if (entry.path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;
    const char first = entry.path[0];
    if (!entry.folder && (first == '!' || first == '+' || first == ' ' || first == '\t'))
        return false;
    if (entry.folder && (first == ' ' || first == '\t'))
        return false;
    return WriteAll(m_fd, FormatLogEntry(entry));
}

bool InstallLogWriter::Close() {
    if (m_fd < 0)
        return false;
    bool ok = WriteAll(m_fd, "\r\n");
    ok = ::fsync(m_fd) == 0 && ok;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    return ok;
}

} // namespace lyb
