#include "platform/file_access.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lyb {

std::FILE* OpenRegularFile(const std::string& path, const char* mode) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return nullptr;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    // Non-blocking, in case the name was swapped for a FIFO meanwhile.
    int fd = ::open(path.c_str(), (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, mode);
    if (!f)
        ::close(fd);
    return f;
}

bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

} // namespace lyb
