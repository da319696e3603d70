#include "platform/volumes.h"

#include "platform/path.h"

#include <algorithm>
#include <array>

namespace lyb {

namespace {

std::mutex g_sourceMutex;
std::shared_ptr<VolumeSource> g_source;

std::string DecodeOctal(std::string_view s) {
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && s.size() - i >= 4 && oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
            out.push_back(static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) |
                                            (s[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> f;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            f.push_back(line.substr(start, i - start));
    }
    return f;
}

// Whole-component prefix test: "/media/card" holds "/media/card/x" but not "/media/cards".
bool Holds(std::string_view mount, std::string_view path) {
    if (mount == "/")
        return !path.empty() && path[0] == '/';
    if (path.size() < mount.size() || path.substr(0, mount.size()) != mount)
        return false;
    return path.size() == mount.size() || path[mount.size()] == '/';
}

const Volume* Find(const std::vector<Volume>& volumes, std::string_view path) {
    const Volume* best = nullptr;
    for (const auto& v : volumes)
        if (Holds(v.mountPoint, path) && (!best || v.mountPoint.size() >= best->mountPoint.size()))
            best = &v; // later mounts over the same point hide earlier ones
    return best;
}

} // namespace

VolumeType ClassifyMount(std::string_view fsType, std::string_view device, bool removable,
                         bool cdrom) {
    static constexpr std::array<std::string_view, 22> kVirtual = {
        "proc",       "sysfs",   "devpts",  "devtmpfs", "cgroup",      "cgroup2",
        "securityfs", "debugfs", "tracefs", "pstore",   "bpf",         "mqueue",
        "hugetlbfs",  "configfs", "fusectl", "binfmt_misc", "autofs",  "efivarfs",
        "selinuxfs",  "nsfs",    "rpc_pipefs", "nfsd"};
    static constexpr std::array<std::string_view, 14> kRemote = {
        "nfs",  "nfs4",       "cifs",      "smb3",      "smbfs",     "ncpfs",      "9p",
        "afs",  "ceph",       "glusterfs", "davfs",     "fuse.sshfs", "fuse.rclone", "sshfs"};
    if (std::find(kVirtual.begin(), kVirtual.end(), fsType) != kVirtual.end())
        return VolumeType::Virtual;
    if (std::find(kRemote.begin(), kRemote.end(), fsType) != kRemote.end())
        return VolumeType::Remote;
    if (device.substr(0, 2) == "//")
        return VolumeType::Remote;
    if (cdrom || fsType == "iso9660" || fsType == "udf")
        return VolumeType::CdRom;
    if (removable)
        return VolumeType::Removable;
    return VolumeType::Fixed;
}

std::vector<Volume> ParseMountInfo(std::string_view text,
                                   const std::function<bool(const std::string&)>& isRemovable,
                                   const std::function<bool(const std::string&)>& isCdrom) {
    std::vector<Volume> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        auto f = SplitFields(line);
        // id parent maj:min root mountpoint options [optional...] - fstype source superopts
        auto dash = std::find(f.begin(), f.end(), std::string_view("-"));
        if (f.size() < 7 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3)
            continue;
        Volume v;
        v.mountPoint = DecodeOctal(f[4]);
        if (v.mountPoint.empty() || v.mountPoint[0] != '/')
            continue;
        v.deviceNumber = std::string(f[2]);
        v.fsType = DecodeOctal(*(dash + 1));
        v.device = DecodeOctal(*(dash + 2));
        bool removable = false, cdrom = false;
        if (v.device.rfind("/dev/", 0) == 0 && v.device.size() > 5) {
            std::string kernelName = v.device.substr(5);
            std::replace(kernelName.begin(), kernelName.end(), '/', '!');
            removable = isRemovable && isRemovable(kernelName);
            cdrom = isCdrom && isCdrom(kernelName);
        }
        v.type = ClassifyMount(v.fsType, v.device, removable, cdrom);
        out.push_back(std::move(v));
    }
    return out;
}

void AddHiddenRoot(std::vector<Volume>& volumes, std::string_view rootDeviceNumber) {
    for (const auto& v : volumes)
        if (v.mountPoint == "/")
            return;
    Volume root;
    root.mountPoint = "/";
    root.type = VolumeType::Fixed;
    for (const auto& v : volumes)
        if (!rootDeviceNumber.empty() && v.deviceNumber == rootDeviceNumber &&
            v.type != VolumeType::Virtual) {
            root.device = v.device;
            root.fsType = v.fsType;
            root.type = v.type;
            break;
        }
    root.deviceNumber = std::string(rootDeviceNumber);
    // First: every listed mount is below it and hides it where it lies.
    volumes.insert(volumes.begin(), std::move(root));
}

void SimVolumeSource::Set(std::vector<Volume> volumes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_volumes = std::move(volumes);
}

void SimVolumeSource::SetCdDevices(std::vector<std::string> nodes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cdDevices = std::move(nodes);
}

std::vector<Volume> SimVolumeSource::List(bool) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_volumes;
}

bool SimVolumeSource::Space(const std::string& path, std::uint64_t& total, std::uint64_t& free) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Volume* v = Find(m_volumes, path);
    if (!v)
        return false;
    total = v->totalBytes;
    free = v->freeBytes;
    return true;
}

bool SimVolumeSource::IsCdDevice(const std::string& node) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_cdDevices.begin(), m_cdDevices.end(), node) != m_cdDevices.end();
}

VolumeSource& CurrentVolumeSource() {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    if (!g_source)
        g_source = MakeLinuxVolumeSource();
    return *g_source;
}

void SetVolumeSource(std::shared_ptr<VolumeSource> source) {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    g_source = std::move(source);
}

std::vector<Volume> ListVolumes(bool withSpace) { return CurrentVolumeSource().List(withSpace); }

std::string VolumeRootOf(const std::vector<Volume>& volumes, std::string_view path) {
    const Volume* v = Find(volumes, path);
    return v ? v->mountPoint : std::string();
}

std::string VolumeRootOf(std::string_view path) {
    const PathParts parts = SplitPath(path);
    if (!parts.drive.empty() && CurrentVolumeSource().IsCdDevice(parts.drive))
        return parts.drive;
    return VolumeRootOf(ListVolumes(false), path);
}

VolumeType VolumeTypeOf(const std::vector<Volume>& volumes, std::string_view path) {
    const Volume* v = Find(volumes, path);
    return v ? v->type : VolumeType::Unknown;
}

VolumeType VolumeTypeOf(std::string_view path) {
    const PathParts parts = SplitPath(path);
    if (!parts.drive.empty() && CurrentVolumeSource().IsCdDevice(parts.drive))
        return VolumeType::CdRom;
    return VolumeTypeOf(ListVolumes(false), path);
}

} // namespace lyb
