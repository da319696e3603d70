// The inside of our ASPI manager: host adapters with their SCSI targets, and
// the request-block handling behind the exported entry points. One request
// runs at a time; commands complete before SendCommand returns.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "outside/aspi/wnaspi32.h"
#include "platform/cdrom/scsi_target.h"

namespace aspi {

struct AspiDevice {
    int adapter = 0;
    int target = 0;
    int lun = 0;
    std::shared_ptr<lyb::ScsiTarget> scsi;
};

class AspiHost {
public:
    /// adapterNames: one identifier per host adapter (at most 16 characters).
    AspiHost(std::vector<std::string> adapterNames, std::vector<AspiDevice> devices);

    /// From the environment: the virtual drive named by LYB30_VIRTUAL_CD as
    /// adapter 0, target 0, LUN 0; otherwise the machine's /dev/srN nodes
    /// through SG_IO, one adapter per SCSI host.
    static std::unique_ptr<AspiHost> FromEnvironment();

    DWORD SendCommand(void* srb);
    DWORD SupportInfo() const;
    static DWORD Version() { return 0x0002'0004; }
    static int GetBuffer(ASPI32BUFF* buffer);
    static int FreeBuffer(ASPI32BUFF* buffer);

private:
    AspiDevice* Find(int adapter, int target, int lun);
    std::mutex m_mutex;
    std::vector<std::string> m_adapters;
    std::vector<AspiDevice> m_devices;
};

} // namespace aspi
