#include "platform/staged_file.h"

#include <cerrno>
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

std::string StagedFile::TempPathFor(const std::string& finalPath) {
    const size_t slash = finalPath.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return finalPath.substr(0, nameAt) + "." + finalPath.substr(nameAt) + ".part";
}

bool StagedFile::Create(const std::string& finalPath) {
    m_error = 0;
    if (m_file.Begin(finalPath, TempPathFor(finalPath)))
        return true;
    m_error = errno;
    return false;
}

long StagedFile::Write(const void* data, std::size_t count) {
    const int fd = m_file.Fd();
    if (fd < 0)
        return -1;
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, p + done, count - done);
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
    if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
        m_error = ENOENT;
        return kVolumeGone;
    }
    return static_cast<long>(count);
}

bool StagedFile::Flush() {
    if (m_file.Fd() < 0)
        return false;
    if (::fsync(m_file.Fd()) == 0)
        return true;
    m_error = errno;
    return false;
}

bool StagedFile::Commit() {
    if (m_file.Fd() < 0)
        return false;
    errno = 0;
    if (m_file.Commit())
        return true;
    m_error = errno ? errno : EIO;
    return false;
}

bool StagedFile::Discard() {
    const std::string temp = m_file.TempPath();
    m_file.Abort();
    struct stat st {};
    return !temp.empty() && ::lstat(temp.c_str(), &st) != 0;
}

} // namespace lyb
