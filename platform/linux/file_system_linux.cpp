#include "platform/file_system.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lyb {

EntryKind KindOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Folder;
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    return EntryKind::Other;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

int DeleteFileEntry(const std::string& path) {
    if (KindOf(path) == EntryKind::Folder)
        return EISDIR;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int RemoveEmptyFolder(const std::string& path) {
    if (KindOf(path) != EntryKind::Folder)
        return ENOTDIR;
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0 ? 0 : errno; }

std::vector<std::string> FolderNames(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return names;
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

int ProbeWritable(const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        path += "." + std::to_string(::getpid());
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return errno;
    ::close(fd);
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool IsAccessDenied(int error) {
    return error == EACCES || error == EPERM || error == ETXTBSY || error == EBUSY;
}

std::string ErrorText(int error) { return std::strerror(error); }

bool RunsAsAdministrator() { return ::geteuid() == 0; }

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

} // namespace lyb
