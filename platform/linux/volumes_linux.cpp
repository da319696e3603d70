// Mounted volumes from /proc/self/mountinfo, classified through sysfs.
#include "platform/volumes.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lyb {

namespace {

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

// The sysfs folder of the whole disk a block device belongs to.
std::string DiskFolder(const std::string& kernelName) {
    const std::string cls = "/sys/class/block/" + kernelName;
    char resolved[PATH_MAX];
    if (!::realpath(cls.c_str(), resolved))
        return {};
    std::string dir = resolved;
    struct stat st {};
    if (::stat((dir + "/partition").c_str(), &st) == 0) {
        size_t slash = dir.rfind('/');
        if (slash != std::string::npos)
            dir.resize(slash);
    }
    return dir;
}

bool SysRemovable(const std::string& kernelName) {
    const std::string dir = DiskFolder(kernelName);
    return !dir.empty() && ReadSmallFile(dir + "/removable") == "1";
}

bool SysCdrom(const std::string& kernelName) {
    if (kernelName.rfind("sr", 0) == 0)
        return true;
    const std::string dir = DiskFolder(kernelName);
    // SCSI peripheral type 5 is a CD/DVD device.
    return !dir.empty() && ReadSmallFile(dir + "/device/type") == "5";
}

class LinuxVolumeSource final : public VolumeSource {
public:
    std::vector<Volume> List(bool withSpace) override {
        std::ifstream in("/proc/self/mountinfo");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto volumes = ParseMountInfo(text, SysRemovable, SysCdrom);
        struct stat root {};
        if (::stat("/", &root) == 0)
            AddHiddenRoot(volumes, std::to_string(major(root.st_dev)) + ":" +
                                       std::to_string(minor(root.st_dev)));
        else
            AddHiddenRoot(volumes, {});
        if (withSpace)
            for (auto& v : volumes)
                if (v.type != VolumeType::Virtual)
                    Space(v.mountPoint, v.totalBytes, v.freeBytes);
        return volumes;
    }
    bool Space(const std::string& path, std::uint64_t& total, std::uint64_t& free) override {
        struct statvfs s {};
        if (::statvfs(path.c_str(), &s) != 0)
            return false;
        total = static_cast<std::uint64_t>(s.f_blocks) * s.f_frsize;
        free = static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
        return true;
    }
    bool IsCdDevice(const std::string& node) override {
        if (node.rfind("/dev/", 0) != 0 || node.size() <= 5)
            return false;
        struct stat st {};
        if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
            return false;
        return SysCdrom(node.substr(5));
    }
};

} // namespace

std::shared_ptr<VolumeSource> MakeLinuxVolumeSource() { return std::make_shared<LinuxVolumeSource>(); }

} // namespace lyb
