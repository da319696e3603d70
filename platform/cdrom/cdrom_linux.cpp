// CdromDevice over the Linux CD-ROM ioctls of linux/cdrom.h, with SG_IO for
// what those ioctls do not offer (seeking, the drive's identity).
#include <errno.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>

#include <cstring>
#include <fstream>

#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/kernel_handle.h"
#include "platform/cdrom/scsi_target.h"

namespace lyb {

int MapCdromErrno(int e) {
    switch (e) {
    case 0: return 0;
    case EIO: return kErrorIoDevice;
    case ENOTTY:
    case EINVAL:
    case ENOSYS: return kErrorInvalidFunction;
    case EPERM:
    case EACCES: return kErrorAccessDenied;
    case ENOMEDIUM:
    case EBUSY: return kErrorNotReady;
    case ENOENT:
    case ENXIO:
    case ENODEV: return kErrorFileNotFound;
    default: return e + 10000; // outside the numbers the callers act on
    }
}

namespace {

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\t' || s.back() == '\0')) s.pop_back();
    std::size_t b = s.find_first_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b);
}

// A short sysfs attribute; "" when missing. Never more than a line is read.
std::string SysfsText(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    if (line.size() > 64) line.resize(64);
    return Trimmed(line);
}

std::string Printable(const std::uint8_t* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(p[i] >= 0x20 && p[i] < 0x7F ? char(p[i]) : ' ');
    return Trimmed(s);
}

void ToMsf(std::uint32_t lba, std::uint8_t& m, std::uint8_t& s, std::uint8_t& f) {
    int mi, se, fr;
    LbaToMsf(lba, mi, se, fr);
    m = std::uint8_t(mi), s = std::uint8_t(se), f = std::uint8_t(fr);
}

class LinuxCdrom final : public CdromDevice {
public:
    LinuxCdrom(std::unique_ptr<KernelHandle> handle, std::string node, std::string sysfsRoot)
        : m_handle(std::move(handle)), m_node(std::move(node)), m_sysfs(std::move(sysfsRoot)) {}

    int ReadToc(CdToc& toc) override {
        cdrom_tochdr hdr{};
        if (int e = m_handle->Ioctl(CDROMREADTOCHDR, &hdr)) return MapCdromErrno(e);
        if (hdr.cdth_trk0 < 1 || hdr.cdth_trk1 > 99 || hdr.cdth_trk0 > hdr.cdth_trk1) return kErrorIoDevice;
        toc = CdToc{};
        toc.firstTrack = hdr.cdth_trk0;
        toc.lastTrack = hdr.cdth_trk1;
        for (int t = hdr.cdth_trk0; t <= hdr.cdth_trk1 + 1; ++t) {
            cdrom_tocentry e{};
            e.cdte_track = std::uint8_t(t > hdr.cdth_trk1 ? CDROM_LEADOUT : t);
            e.cdte_format = CDROM_LBA;
            if (int err = m_handle->Ioctl(CDROMREADTOCENTRY, &e)) return MapCdromErrno(err);
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
        return MapCdromErrno(m_handle->Ioctl(CDROMREADAUDIO, &ra));
    }
    int PlayAudio(std::uint32_t startLba, std::uint32_t endLba) override {
        cdrom_msf msf{};
        ToMsf(startLba, msf.cdmsf_min0, msf.cdmsf_sec0, msf.cdmsf_frame0);
        ToMsf(endLba, msf.cdmsf_min1, msf.cdmsf_sec1, msf.cdmsf_frame1);
        return MapCdromErrno(m_handle->Ioctl(CDROMPLAYMSF, &msf));
    }
    int SeekAudio(std::uint32_t lba) override {
        // The sr driver has no CDROMSEEK; SEEK(10) through SG_IO does the same
        // and is one of the commands any reader of the node may send.
        std::uint8_t cdb[10] = {0x2B, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
                                std::uint8_t(lba)};
        ScsiResult r = SgExecute(*m_handle, cdb, sizeof cdb, ScsiDirection::None, nullptr, 0);
        if (r.notPermitted) return kErrorAccessDenied;
        if (!r.transportOk) return kErrorInvalidFunction;
        if (r.targetStatus == 2 && r.SenseKey() == 2) return kErrorNotReady;
        return r.targetStatus == 0 ? 0 : kErrorIoDevice;
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
        if (int e = m_handle->Ioctl(SCSI_IOCTL_GET_IDLUN, &idlun)) return MapCdromErrno(e);
        a.target = idlun.dev_id & 0xFF;
        a.lun = (idlun.dev_id >> 8) & 0xFF;
        a.channel = (idlun.dev_id >> 16) & 0xFF;
        a.host = (idlun.dev_id >> 24) & 0xFF;
        return 0;
    }
    std::string Description() override {
        // sysfs names the drive without sending it anything; INQUIRY when
        // the node is not under /sys/block (an sg node, a renamed link).
        std::string name = m_node.substr(m_node.rfind('/') + 1);
        std::string base = m_sysfs + "/block/" + name + "/device/";
        std::string text = Trimmed(SysfsText(base + "vendor") + " " + SysfsText(base + "model"));
        if (!text.empty()) return text;
        std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
        std::uint8_t inq[36] = {};
        ScsiResult r = SgExecute(*m_handle, cdb, sizeof cdb, ScsiDirection::In, inq, sizeof inq);
        if (r.transportOk && r.targetStatus == 0 && r.transferred >= 32) {
            text = Trimmed(Printable(inq + 8, 8) + " " + Printable(inq + 16, 16));
            if (!text.empty()) return text;
        }
        return m_node;
    }
    int MediumPresent(bool& present) override {
        int status = 0;
        if (int e = m_handle->IoctlValue(CDROM_DRIVE_STATUS, CDSL_CURRENT, &status)) return MapCdromErrno(e);
        present = status == CDS_DISC_OK;
        return 0;
    }

private:
    int Simple(unsigned long request) { return MapCdromErrno(m_handle->IoctlValue(request, 0, nullptr)); }
    std::unique_ptr<KernelHandle> m_handle;
    std::string m_node;
    std::string m_sysfs;
};

} // namespace

std::unique_ptr<CdromDevice> MakeLinuxCdrom(std::unique_ptr<KernelHandle> handle, std::string node,
                                            std::string sysfsRoot) {
    return std::make_unique<LinuxCdrom>(std::move(handle), std::move(node), std::move(sysfsRoot));
}

std::unique_ptr<CdromDevice> OpenLinuxCdrom(const std::string& node, int* error) {
    int e = 0;
    auto handle = OpenKernelHandle(node, false, &e);
    if (!handle) {
        if (error) *error = MapCdromErrno(e);
        return nullptr;
    }
    return MakeLinuxCdrom(std::move(handle), node);
}

} // namespace lyb
