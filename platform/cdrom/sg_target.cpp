// ScsiTarget through the SG_IO ioctl (sg and sr nodes both take it).
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/kernel_handle.h"
#include "platform/cdrom/scsi_target.h"

namespace lyb {
namespace {

class FdHandle final : public KernelHandle {
public:
    FdHandle(int fd, bool writable) : m_fd(fd), m_writable(writable) {}
    ~FdHandle() override { ::close(m_fd); }
    int Ioctl(unsigned long request, void* arg) override { return ::ioctl(m_fd, request, arg) == 0 ? 0 : errno; }
    int IoctlValue(unsigned long request, unsigned long value, int* result) override {
        int r = ::ioctl(m_fd, request, value);
        if (r < 0) return errno;
        if (result) *result = r;
        return 0;
    }
    bool Writable() const override { return m_writable; }

private:
    int m_fd;
    bool m_writable;
};

class SgTarget final : public ScsiTarget {
public:
    explicit SgTarget(std::unique_ptr<KernelHandle> handle) : m_handle(std::move(handle)) {}
    ScsiResult Execute(const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction, std::uint8_t* data,
                       std::size_t dataLength) override {
        return SgExecute(*m_handle, cdb, cdbLength, direction, data, dataLength);
    }

private:
    std::unique_ptr<KernelHandle> m_handle;
};

} // namespace

std::unique_ptr<KernelHandle> OpenKernelHandle(const std::string& node, bool tryWrite, int* error) {
    int fd = -1;
    bool writable = false;
    if (tryWrite) {
        fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        writable = fd >= 0;
    }
    if (fd < 0) fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    return std::make_unique<FdHandle>(fd, writable);
}

ScsiResult SgExecute(KernelHandle& handle, const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction,
                     std::uint8_t* data, std::size_t dataLength) {
    ScsiResult r;
    sg_io_hdr_t io{};
    std::uint8_t cdbCopy[16] = {};
    std::memcpy(cdbCopy, cdb, std::min<std::size_t>(cdbLength, 16));
    io.interface_id = 'S';
    io.cmdp = cdbCopy;
    io.cmd_len = std::uint8_t(std::min<std::size_t>(cdbLength, 16));
    io.dxfer_direction = direction == ScsiDirection::In    ? SG_DXFER_FROM_DEV
                         : direction == ScsiDirection::Out ? SG_DXFER_TO_DEV
                                                           : SG_DXFER_NONE;
    io.dxferp = direction == ScsiDirection::None ? nullptr : data;
    io.dxfer_len = direction == ScsiDirection::None ? 0 : unsigned(dataLength);
    io.sbp = r.sense;
    io.mx_sb_len = sizeof r.sense;
    io.timeout = 30000;
    int e = handle.Ioctl(SG_IO, &io);
    if (e != 0) {
        r.transportOk = false;
        // The kernel's command filter: only a privileged user (or a writable
        // open, for the writing commands) may send this command.
        r.notPermitted = e == EPERM || e == EACCES;
        return r;
    }
    if (io.host_status != 0 || (io.driver_status & 0x07) == 0x01) {
        r.transportOk = false;
        return r;
    }
    r.targetStatus = io.status;
    if (io.status == 0 && (io.driver_status & 0x08) && io.sb_len_wr > 0) r.targetStatus = 2; // sense delivered
    if (r.targetStatus != 2) std::memset(r.sense, 0, sizeof r.sense);
    r.transferred = io.dxfer_len - unsigned(std::max(io.resid, 0));
    return r;
}

std::unique_ptr<ScsiTarget> MakeSgTarget(std::unique_ptr<KernelHandle> handle) {
    return std::make_unique<SgTarget>(std::move(handle));
}

std::unique_ptr<ScsiTarget> OpenSgTarget(const std::string& node, int* error) {
    auto handle = OpenKernelHandle(node, true, error);
    if (!handle) return nullptr;
    return MakeSgTarget(std::move(handle));
}

} // namespace lyb
