#include "platform/linux/file_registry.h"

#include "platform/atomic_file.h"
#include "platform/shared_library.h"
#include "platform/trace.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lyb {

namespace {

const char* BaseName(Hive hive) {
    switch (hive) {
    case Hive::LocalMachine: return "machine";
    case Hive::CurrentUser: return "user";
    case Hive::ClassesRoot: return "classes";
    }
    return "user";
}

bool ReadWholeFile(const std::string& path, std::string& out, bool& missing) {
    missing = false;
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return missing;
    }
    char buf[8192];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool MakeFolders(const std::string& path) {
    std::string prefix;
    size_t pos = 0;
    while (pos != std::string::npos) {
        size_t next = path.find('/', pos + 1);
        prefix = path.substr(0, next);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        pos = next;
    }
    return true;
}

struct StatKey {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    long mtimeSec = 0;
    long mtimeNsec = 0;
    bool operator==(const StatKey&) const = default;
};

// Copies an unreadable hive to "<file>.bad" (another new name when that
// one holds an older copy), unless that copy holds these very bytes.
bool KeepBadCopy(const std::string& file, const std::string& text) {
    std::string existing;
    bool missing = false;
    if (ReadWholeFile(file + ".bad", existing, missing) && !missing && existing == text)
        return true;
    std::string copy;
    int fd = CreateExclusive(file + ".bad", copy);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(copy.c_str());
        return false;
    }
    TraceFormat("Registry: %s is not a registry file; kept as %s", file.c_str(), copy.c_str());
    return true;
}

} // namespace

struct FileRegistryStore::Cache {
    std::mutex mutex; // also serialises this process's own writers
    std::optional<StatKey> key[3];
    HiveData data[3];
};

FileRegistryStore::FileRegistryStore(std::string folder, std::optional<bool> machineWritable)
    : m_folder(std::move(folder)), m_machineWritable(machineWritable),
      m_cache(std::make_unique<Cache>()) {
    while (m_folder.size() > 1 && m_folder.back() == '/')
        m_folder.pop_back();
}

FileRegistryStore::~FileRegistryStore() = default;

std::string FileRegistryStore::FileOf(Hive hive) const {
    if (hive == Hive::LocalMachine && !m_machineFile.empty())
        return m_machineFile;
    return m_folder + "/" + BaseName(hive) + ".reg";
}

bool FileRegistryStore::Writable(Hive hive) const {
    if (hive != Hive::LocalMachine)
        return true;
    if (!m_machineFile.empty())
        return false;
    if (m_machineWritable)
        return *m_machineWritable;
    const std::string file = FileOf(hive);
    if (::access(file.c_str(), F_OK) == 0)
        return ::access(file.c_str(), W_OK) == 0;
    return ::access(m_folder.c_str(), W_OK) == 0 || ::access(m_folder.c_str(), F_OK) != 0;
}

RegStatus FileRegistryStore::Read(Hive hive, HiveData& out) {
    const std::string file = FileOf(hive);
    const size_t idx = static_cast<size_t>(hive);
    std::lock_guard<std::mutex> lock(m_cache->mutex);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return RegStatus::IoError;
        m_cache->key[idx].reset();
        m_cache->data[idx] = HiveData{};
        out = HiveData{};
        return RegStatus::Ok;
    }
    StatKey key{st.st_dev, st.st_ino, st.st_size, static_cast<long>(st.st_mtim.tv_sec),
                static_cast<long>(st.st_mtim.tv_nsec)};
    if (!(m_cache->key[idx] && *m_cache->key[idx] == key)) {
        std::string text;
        bool missing = false;
        if (!ReadWholeFile(file, text, missing))
            return RegStatus::IoError;
        m_cache->data[idx] = ParseHive(hive, text);
        m_cache->key[idx] = key;
    }
    out = m_cache->data[idx];
    return RegStatus::Ok;
}

RegStatus FileRegistryStore::Modify(Hive hive, const std::function<bool(HiveData&)>& change) {
    if (!Writable(hive))
        return RegStatus::AccessDenied;
    if (!MakeFolders(m_folder))
        return RegStatus::IoError;
    const std::string file = FileOf(hive);
    const std::string lockPath = m_folder + "/" + BaseName(hive) + ".lock";
    std::lock_guard<std::mutex> guard(m_cache->mutex);
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0)
        return RegStatus::IoError;
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(lockFd);
            return RegStatus::IoError;
        }
    }
    RegStatus result = RegStatus::Ok;
    std::string text;
    bool missing = false;
    if (!ReadWholeFile(file, text, missing)) {
        result = RegStatus::IoError;
    } else {
        HiveData data = missing ? HiveData{} : ParseHive(hive, text);
        if (!missing && !LooksLikeHive(text)) {
            // Not a hive at all: what can be read is kept, the file itself is
            // kept beside the new one before that replaces it.
            data.leading.clear();
            data.otherSections.clear();
            for (auto& [path, key] : data.keys)
                key.foreign.clear();
            if (!KeepBadCopy(file, text))
                result = RegStatus::IoError;
        }
        if (result == RegStatus::Ok && change(data)) {
            if (!ReplaceFileAtomically(file, FormatHive(hive, data)))
                result = RegStatus::IoError;
        }
        m_cache->key[static_cast<size_t>(hive)].reset();
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return result;
}

std::string DefaultRegistryFolder() {
    if (const char* dir = std::getenv("LYB30_REGISTRY_DIR"); dir && *dir)
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/lyrabox";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/lyrabox";
}

std::shared_ptr<Registry> OpenDefaultRegistry() {
    std::optional<bool> machine;
    if (const char* ro = std::getenv("LYB30_MACHINE_READONLY"); ro && std::string(ro) == "1")
        machine = false;
    auto store = std::make_shared<FileRegistryStore>(DefaultRegistryFolder(), machine);
    const std::string packaged = ProgramFolder() + "/" + kPackagedMachineHive;
    if (::access(packaged.c_str(), R_OK) == 0)
        store->SetMachineFile(packaged);
    return std::make_shared<Registry>(store);
}

} // namespace lyb
