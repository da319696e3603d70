// KernelHandle: one opened device node as the Linux backends use it, so the
// command blocks and ioctl arguments they build can be checked without a
// drive (tests put a recording handle in place of the kernel).
#pragma once

#include <memory>
#include <string>

namespace lyb {

class CdromDevice;
class ScsiTarget;

class KernelHandle {
public:
    virtual ~KernelHandle() = default;
    /// ioctl(request, arg) on the node: 0, or the errno it failed with.
    virtual int Ioctl(unsigned long request, void* arg) = 0;
    /// ioctl(request, value) for the controls that take a number and answer
    /// with the call's result (*result); 0 or the errno.
    virtual int IoctlValue(unsigned long request, unsigned long value, int* result) = 0;
    /// True when the node was opened for writing too (some SCSI commands
    /// need it: the kernel's command filter lets read-only openers send only
    /// the commands it lists as harmless).
    virtual bool Writable() const = 0;
};

/// Opens `node` non-blocking (a drive without a medium opens too), for
/// reading and writing when `tryWrite` and allowed, else read-only.
/// Null with *error set to the errno on failure.
std::unique_ptr<KernelHandle> OpenKernelHandle(const std::string& node, bool tryWrite, int* error);

/// The CD-ROM device controls over `handle`. Drive descriptions are read
/// below `sysfsRoot` ("/sys": block/srN/device/vendor and model).
std::unique_ptr<CdromDevice> MakeLinuxCdrom(std::unique_ptr<KernelHandle> handle, std::string node,
                                            std::string sysfsRoot = "/sys");

/// SCSI command blocks through SG_IO over `handle`.
std::unique_ptr<ScsiTarget> MakeSgTarget(std::unique_ptr<KernelHandle> handle);

/// The system error number of the device controls for an errno.
int MapCdromErrno(int error);

} // namespace lyb
