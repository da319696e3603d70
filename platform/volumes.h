// Mounted volumes: what the program calls drives. A volume's root is its
// mount point; its type says whether music may be kept there (fixed,
// removable, remote) or whether it is a CD.
//
// The Linux backend reads /proc/self/mountinfo and the block devices'
// sysfs attributes; the simulated backend is a list a test or demo sets.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

enum class VolumeType {
    Unknown,   ///< no volume or not classifiable
    Fixed,     ///< local disk (also RAM-backed file systems such as tmpfs)
    Removable, ///< memory cards, USB sticks
    CdRom,     ///< optical drives
    Remote,    ///< network file systems
    Virtual,   ///< kernel pseudo file systems (proc, sysfs, ...): never a music place
};

struct Volume {
    std::string mountPoint; ///< root of the volume, no trailing '/' except for "/"
    std::string device;     ///< mount source ("/dev/sdb1", "server:/share", "tmpfs")
    std::string fsType;     ///< "ext4", "vfat", "nfs", ...
    VolumeType type = VolumeType::Unknown;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0; ///< available to the user
    std::string deviceNumber{};  ///< "major:minor" of the file system (mountinfo)
};

/// Where the volume list comes from.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    /// Mounted volumes (space filled in when `withSpace`).
    virtual std::vector<Volume> List(bool withSpace) = 0;
    /// Total and free bytes of the volume holding `path`; false when unknown.
    virtual bool Space(const std::string& path, std::uint64_t& total, std::uint64_t& free) = 0;
    /// True when the device node ("/dev/sr0") is a CD drive, mounted or not
    /// (audio discs are never mounted).
    virtual bool IsCdDevice(const std::string& node) = 0;
};

/// A fixed list (tests, demo). Space comes from the list.
class SimVolumeSource final : public VolumeSource {
public:
    explicit SimVolumeSource(std::vector<Volume> volumes = {},
                             std::vector<std::string> cdDevices = {})
        : m_volumes(std::move(volumes)), m_cdDevices(std::move(cdDevices)) {}
    void Set(std::vector<Volume> volumes);
    void SetCdDevices(std::vector<std::string> nodes);
    std::vector<Volume> List(bool withSpace) override;
    bool Space(const std::string& path, std::uint64_t& total, std::uint64_t& free) override;
    bool IsCdDevice(const std::string& node) override;

private:
    mutable std::mutex m_mutex;
    std::vector<Volume> m_volumes;
    std::vector<std::string> m_cdDevices;
};

/// The Linux source: /proc/self/mountinfo, sysfs, statvfs.
std::shared_ptr<VolumeSource> MakeLinuxVolumeSource();

/// The source in force: the one set with SetVolumeSource, else the Linux one.
VolumeSource& CurrentVolumeSource();
/// Replaces the source (null: back to the Linux one). Not for use while
/// another thread lists volumes.
void SetVolumeSource(std::shared_ptr<VolumeSource> source);

/// Mounted volumes of the current source.
std::vector<Volume> ListVolumes(bool withSpace = false);

/// The mount point of the volume that holds `path` (the longest mount point
/// that is a whole-component prefix of it); "" for a relative or empty path.
/// Device nodes of CD drives ("/dev/sr0", "/dev/sr0/Track05.cda") answer the
/// device node when the list has a CD volume for it.
std::string VolumeRootOf(std::string_view path);
std::string VolumeRootOf(const std::vector<Volume>& volumes, std::string_view path);

/// Type of the volume holding `path`; Unknown when none.
VolumeType VolumeTypeOf(std::string_view path);
VolumeType VolumeTypeOf(const std::vector<Volume>& volumes, std::string_view path);

/// Parses mountinfo text (the format of /proc/self/mountinfo). `isRemovable`
/// and `isCdrom` are asked about a block device's kernel name ("sdb",
/// "mmcblk0", "sr0"); partitions are asked about their parent disk.
/// Malformed lines are skipped. Octal escapes (\040) in paths are decoded.
std::vector<Volume> ParseMountInfo(std::string_view text,
                                   const std::function<bool(const std::string&)>& isRemovable,
                                   const std::function<bool(const std::string&)>& isCdrom);

/// In a chroot or container whose root is no mount point, no mount of the
/// list holds "/": the kernel lists only mounts under the process's root.
/// Then a volume for "/" is put first, taking device, type and kind from a
/// listed mount of the same file system (`rootDeviceNumber`, "major:minor"
/// of "/") when there is one, else a fixed disk of unknown type.
void AddHiddenRoot(std::vector<Volume>& volumes, std::string_view rootDeviceNumber);

/// Classifies one mount by file-system type and device.
VolumeType ClassifyMount(std::string_view fsType, std::string_view device, bool removable,
                         bool cdrom);

} // namespace lyb
