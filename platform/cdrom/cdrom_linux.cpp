// CdromDevice over the Linux CD-ROM ioctls of linux/cdrom.h.
#include <errno.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/cdrom/cdrom_device.h"

namespace lyb {
namespace {

int MapErrno(int e) {
    switch (e) {
    case 0: return 0;
    case EIO: return kErrorIoDevice;
    case ENOTTY:
    case EINVAL: return kErrorInvalidFunction;
    case ENOMEDIUM:
    case EBUSY: return kErrorNotReady;
    case ENOENT:
    case ENXIO:
    case ENODEV: return kErrorFileNotFound;
    default: return e + 10000; // outside the numbers the callers act on
    }
}

class LinuxCdrom final : public CdromDevice {
public:
    LinuxCdrom(int fd, std::string node) : m_fd(fd), m_node(std::move(node)) {}
    ~LinuxCdrom() override { ::close(m_fd); }

    int ReadToc(CdToc& toc) override {
        cdrom_tochdr hdr{};
        if (::ioctl(m_fd, CDROMREADTOCHDR, &hdr) != 0) return MapErrno(errno);
        toc = CdToc{};
        toc.firstTrack = hdr.cdth_trk0;
        toc.lastTrack = hdr.cdth_trk1;
        for (int t = hdr.cdth_trk0; t <= hdr.cdth_trk1 + 1; ++t) {
            cdrom_tocentry e{};
            e.cdte_track = std::uint8_t(t > hdr.cdth_trk1 ? CDROM_LEADOUT : t);
            e.cdte_format = CDROM_LBA;
            if (::ioctl(m_fd, CDROMREADTOCENTRY, &e) != 0) return MapErrno(errno);
            toc.entries.push_back(CdTocEntry{e.cdte_track, e.cdte_ctrl, std::uint32_t(e.cdte_addr.lba)});
        }
        return 0;
    }
    int GetBytesPerSector(std::uint32_t& bytes) override {
        bytes = CD_FRAMESIZE; // 2048, the cooked sector size the raw-read offsets are counted in
        return 0;
    }
    int ReadAudio(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) override {
        cdrom_read_audio ra{};
        ra.addr.lba = int(lba);
        ra.addr_format = CDROM_LBA;
        ra.nframes = int(frames);
        ra.buf = out;
        return ::ioctl(m_fd, CDROMREADAUDIO, &ra) == 0 ? 0 : MapErrno(errno);
    }
    int PlayAudio(std::uint32_t startLba, std::uint32_t endLba) override {
        cdrom_msf msf{};
        int m, s, f;
        LbaToMsf(startLba, m, s, f);
        msf.cdmsf_min0 = std::uint8_t(m), msf.cdmsf_sec0 = std::uint8_t(s), msf.cdmsf_frame0 = std::uint8_t(f);
        LbaToMsf(endLba, m, s, f);
        msf.cdmsf_min1 = std::uint8_t(m), msf.cdmsf_sec1 = std::uint8_t(s), msf.cdmsf_frame1 = std::uint8_t(f);
        return ::ioctl(m_fd, CDROMPLAYMSF, &msf) == 0 ? 0 : MapErrno(errno);
    }
    int SeekAudio(std::uint32_t lba) override {
        cdrom_msf msf{};
        int m, s, f;
        LbaToMsf(lba, m, s, f);
        msf.cdmsf_min0 = std::uint8_t(m), msf.cdmsf_sec0 = std::uint8_t(s), msf.cdmsf_frame0 = std::uint8_t(f);
        return ::ioctl(m_fd, CDROMSEEK, &msf) == 0 ? 0 : MapErrno(errno);
    }
    int StopAudio() override { return Simple(CDROMSTOP); }
    int PauseAudio() override { return Simple(CDROMPAUSE); }
    int ResumeAudio() override { return Simple(CDROMRESUME); }
    int Eject() override { return Simple(CDROMEJECT); }
    int GetScsiAddress(CdScsiAddress& a) override {
        struct {
            int dev_id;
            int host_unique_id;
        } idlun{};
        if (::ioctl(m_fd, SCSI_IOCTL_GET_IDLUN, &idlun) != 0) return MapErrno(errno);
        a.target = idlun.dev_id & 0xFF;
        a.lun = (idlun.dev_id >> 8) & 0xFF;
        a.channel = (idlun.dev_id >> 16) & 0xFF;
        a.host = (idlun.dev_id >> 24) & 0xFF;
        return 0;
    }
    std::string Description() override { return m_node; }

private:
    int Simple(unsigned long request) { return ::ioctl(m_fd, request, 0) == 0 ? 0 : MapErrno(errno); }
    int m_fd;
    std::string m_node;
};

} // namespace

std::unique_ptr<CdromDevice> OpenLinuxCdrom(const std::string& node, int* error) {
    // O_NONBLOCK opens a drive without a medium too, as the device controls expect.
    int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = MapErrno(errno);
        return nullptr;
    }
    return std::make_unique<LinuxCdrom>(fd, node);
}

} // namespace lyb
