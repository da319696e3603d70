#include "outside/aspi/aspi_host.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/virtual_drive.h"

namespace aspi {
namespace {

void Signal(void* postProc) {
    int fd = int(reinterpret_cast<std::intptr_t>(postProc));
    if (fd <= 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

void CopyText(BYTE* out, const std::string& text) {
    std::memset(out, ' ', 16);
    std::memcpy(out, text.data(), std::min<std::size_t>(16, text.size()));
}

} // namespace

AspiHost::AspiHost(std::vector<std::string> adapterNames, std::vector<AspiDevice> devices)
    : m_adapters(std::move(adapterNames)), m_devices(std::move(devices)) {}

std::unique_ptr<AspiHost> AspiHost::FromEnvironment() {
    std::vector<AspiDevice> devices;
    std::vector<std::string> names;
    const char* cue = std::getenv("LYB30_VIRTUAL_CD");
    if (cue && *cue) {
        if (auto drive = lyb::VirtualDrive::FromEnvironment()) {
            names.push_back("VIRTUAL");
            devices.push_back(AspiDevice{0, 0, 0, drive});
        }
        return std::make_unique<AspiHost>(names, devices);
    }
    // One host adapter per SCSI host that holds CD drives, numbered as the
    // CD layer's drive-letter search numbers them.
    for (const auto& d : lyb::CdromDriveAddresses()) {
        auto sg = lyb::OpenSgTarget(d.node);
        if (!sg) continue;
        if (std::size_t(d.adapter) >= names.size()) names.resize(std::size_t(d.adapter) + 1);
        names[std::size_t(d.adapter)] = "SG_IO host" + std::to_string(d.address.host);
        devices.push_back(AspiDevice{d.adapter, d.address.target, d.address.lun,
                                     std::shared_ptr<lyb::ScsiTarget>(std::move(sg))});
    }
    return std::make_unique<AspiHost>(names, devices);
}

AspiDevice* AspiHost::Find(int adapter, int target, int lun) {
    for (auto& d : m_devices)
        if (d.adapter == adapter && d.target == target && d.lun == lun) return &d;
    return nullptr;
}

DWORD AspiHost::SupportInfo() const {
    if (m_adapters.empty()) return DWORD(SS_NO_ADAPTERS) << 8;
    return (DWORD(SS_COMP) << 8) | DWORD(m_adapters.size() & 0xFF);
}

DWORD AspiHost::SendCommand(void* srbPointer) {
    if (!srbPointer) return SS_INVALID_CMD;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto* header = static_cast<SRB_Header*>(srbPointer);
    if (header->SRB_HaId >= m_adapters.size()) {
        header->SRB_Status = SS_INVALID_HA;
        return header->SRB_Status;
    }
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: {
        auto* srb = static_cast<SRB_HAInquiry*>(srbPointer);
        srb->HA_Count = BYTE(m_adapters.size());
        srb->HA_SCSI_ID = 7;
        CopyText(srb->HA_ManagerId, "LYRABOX ASPI");
        CopyText(srb->HA_Identifier, m_adapters[srb->SRB_HaId]);
        std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
        srb->HA_Unique[0] = 3;  // buffer alignment mask
        srb->HA_Unique[3] = 8;  // targets per adapter
        srb->HA_Unique[6] = 0x00; srb->HA_Unique[7] = 0x00; srb->HA_Unique[8] = 0x04; // 256 KiB transfers
        srb->SRB_Status = SS_COMP;
        return SS_COMP;
    }
    case SC_GET_DEV_TYPE: {
        auto* srb = static_cast<SRB_GDEVBlock*>(srbPointer);
        AspiDevice* d = Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (!d) {
            srb->SRB_Status = SS_NO_DEVICE;
            return SS_NO_DEVICE;
        }
        std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
        std::uint8_t inq[36] = {};
        lyb::ScsiResult r = d->scsi->Execute(cdb, 6, lyb::ScsiDirection::In, inq, sizeof inq);
        if (!r.transportOk || r.targetStatus != 0) {
            srb->SRB_Status = SS_NO_DEVICE;
            return SS_NO_DEVICE;
        }
        srb->SRB_DeviceType = inq[0] & 0x1F;
        srb->SRB_Status = SS_COMP;
        return SS_COMP;
    }
    case SC_EXEC_SCSI_CMD: {
        auto* srb = static_cast<SRB_ExecSCSICmd*>(srbPointer);
        AspiDevice* d = Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        auto finish = [&](BYTE status) {
            srb->SRB_Status = status;
            if (srb->SRB_Flags & SRB_EVENT_NOTIFY) Signal(srb->SRB_PostProc);
            return DWORD(status);
        };
        if (!d) {
            srb->SRB_HaStat = HASTAT_SEL_TO;
            return finish(SS_NO_DEVICE);
        }
        if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > 16 || (srb->SRB_BufLen && !srb->SRB_BufPointer))
            return finish(SS_INVALID_CMD);
        lyb::ScsiDirection dir = (srb->SRB_Flags & SRB_DIR_IN)    ? lyb::ScsiDirection::In
                                 : (srb->SRB_Flags & SRB_DIR_OUT) ? lyb::ScsiDirection::Out
                                                                  : lyb::ScsiDirection::None;
        if (dir == lyb::ScsiDirection::None && srb->SRB_BufLen) dir = lyb::ScsiDirection::In;
        lyb::ScsiResult r = d->scsi->Execute(srb->CDBByte, srb->SRB_CDBLen, dir, srb->SRB_BufPointer,
                                             dir == lyb::ScsiDirection::None ? 0 : srb->SRB_BufLen);
        srb->SRB_HaStat = r.notPermitted ? HASTAT_NOT_PERMITTED : r.transportOk ? HASTAT_OK : HASTAT_SEL_TO;
        srb->SRB_TargStat = r.targetStatus;
        std::size_t senseLen = std::min<std::size_t>(srb->SRB_SenseLen, SENSE_LEN + 2);
        std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);
        if (r.targetStatus == 2) std::memcpy(srb->SenseArea, r.sense, std::min(senseLen, sizeof r.sense));
        return finish(r.transportOk && r.targetStatus == 0 ? SS_COMP : SS_ERR);
    }
    default:
        header->SRB_Status = SS_INVALID_CMD;
        return SS_INVALID_CMD;
    }
}

int AspiHost::GetBuffer(ASPI32BUFF* buffer) {
    if (!buffer || buffer->AB_BufLen == 0 || buffer->AB_BufLen > (512u << 10)) return 0;
    void* p = std::aligned_alloc(4096, (buffer->AB_BufLen + 4095) / 4096 * 4096);
    if (!p) return 0;
    if (buffer->AB_ZeroFill) std::memset(p, 0, buffer->AB_BufLen);
    buffer->AB_BufPointer = static_cast<BYTE*>(p);
    return 1;
}

int AspiHost::FreeBuffer(ASPI32BUFF* buffer) {
    if (!buffer || !buffer->AB_BufPointer) return 0;
    std::free(buffer->AB_BufPointer);
    buffer->AB_BufPointer = nullptr;
    return 1;
}

} // namespace aspi
