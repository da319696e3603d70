#include "platform/staged_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lyb {

namespace {

// Errors that mean the device under the file is gone, not that one write failed.
bool VolumeGone(int error) {
    return error == EIO || error == ENODEV || error == ENXIO || error == ESHUTDOWN || error == ENOENT ||
           error == ESTALE;
}

} // namespace

StagedFile::~StagedFile() {
    if (m_fd >= 0)
        Discard();
}

std::string StagedFile::TempPathFor(const std::string& finalPath) {
    const size_t slash = finalPath.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return finalPath.substr(0, nameAt) + "." + finalPath.substr(nameAt) + ".part";
}

bool StagedFile::Create(const std::string& finalPath) {
    if (m_fd >= 0)
        Discard();
    m_final = finalPath;
    m_temp = TempPathFor(finalPath);
    m_error = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd >= 0)
            return true;
        m_error = errno;
        // Our own temporary name left by a run that ended early: a regular
        // file is replaced, anything else is left alone.
        struct stat st {};
        if (m_error != EEXIST || ::lstat(m_temp.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::unlink(m_temp.c_str()) != 0)
            break;
    }
    return false;
}

long StagedFile::Write(const void* data, std::size_t count) {
    if (m_fd < 0)
        return -1;
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return VolumeGone(m_error) ? kVolumeGone : -1;
        }
        if (n == 0) {
            m_error = ENOSPC;
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    // A file removed from under the writer (its folder deleted, the card's
    // folder gone) takes writes without complaint: the link count tells.
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && st.st_nlink == 0) {
        m_error = ENOENT;
        return kVolumeGone;
    }
    return static_cast<long>(count);
}

bool StagedFile::Flush() {
    if (m_fd < 0)
        return false;
    if (::fsync(m_fd) == 0)
        return true;
    m_error = errno;
    return false;
}

bool StagedFile::Commit() {
    if (m_fd < 0)
        return false;
    bool ok = ::fsync(m_fd) == 0;
    if (!ok)
        m_error = errno;
    if (::close(m_fd) != 0 && ok) {
        m_error = errno;
        ok = false;
    }
    m_fd = -1;
    if (ok && ::rename(m_temp.c_str(), m_final.c_str()) != 0) {
        m_error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    // The folder entry reaches the device too (the card may be pulled next).
    const size_t slash = m_final.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_final.substr(0, slash);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool StagedFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_temp.empty())
        return false;
    const bool removed = ::unlink(m_temp.c_str()) == 0;
    if (!removed)
        m_error = errno;
    m_temp.clear();
    return removed;
}

} // namespace lyb
