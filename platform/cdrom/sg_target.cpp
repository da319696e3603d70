// ScsiTarget through the SG_IO ioctl (sg and sr nodes both take it).
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/scsi_target.h"

namespace lyb {
namespace {

class SgTarget final : public ScsiTarget {
public:
    explicit SgTarget(int fd) : m_fd(fd) {}
    ~SgTarget() override { ::close(m_fd); }

    ScsiResult Execute(const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction, std::uint8_t* data,
                       std::size_t dataLength) override {
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
        if (::ioctl(m_fd, SG_IO, &io) != 0 || io.host_status != 0 || (io.driver_status & 0x07) == 0x01) {
            r.transportOk = false;
            return r;
        }
        r.targetStatus = io.status;
        if (io.status == 0 && (io.driver_status & 0x08) && io.sb_len_wr > 0) r.targetStatus = 2; // sense delivered
        if (r.targetStatus != 2) std::memset(r.sense, 0, sizeof r.sense);
        r.transferred = io.dxfer_len - unsigned(io.resid);
        return r;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<ScsiTarget> OpenSgTarget(const std::string& node, int* error) {
    int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    return std::make_unique<SgTarget>(fd);
}

} // namespace lyb
