#include "platform/cdrom/cdrom_device.h"

#include <dirent.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/cdrom/scsi_target.h"
#include "platform/cdrom/virtual_drive.h"

namespace lyb {

std::unique_ptr<CdromDevice> OpenLinuxCdrom(const std::string& node, int* error);

void LbaToMsf(std::uint32_t lba, int& minutes, int& seconds, int& frames) {
    std::uint32_t a = lba + 150;
    minutes = int(a / 4500);
    seconds = int((a / 75) % 60);
    frames = int(a % 75);
}

std::int64_t MsfToLba(int minutes, int seconds, int frames) {
    return (std::int64_t(minutes) * 60 + seconds) * 75 + frames - 150;
}

void SetCheckCondition(ScsiResult& result, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    result.targetStatus = 2;
    std::memset(result.sense, 0, sizeof result.sense);
    result.sense[0] = 0x70;
    result.sense[2] = key;
    result.sense[7] = 10;
    result.sense[12] = asc;
    result.sense[13] = ascq;
    result.transferred = 0;
}

std::vector<std::string> ListCdromDrives() {
    std::vector<std::string> nodes;
    if (VirtualDrive::FromEnvironment()) nodes.push_back(kVirtualDriveNode);
    std::vector<int> numbers;
    if (DIR* dir = ::opendir("/dev")) {
        while (dirent* e = ::readdir(dir)) {
            const char* n = e->d_name;
            if (std::strncmp(n, "sr", 2) != 0 || !n[2]) continue;
            bool digits = true;
            for (const char* p = n + 2; *p; ++p) digits = digits && std::isdigit(static_cast<unsigned char>(*p));
            if (digits && std::strlen(n + 2) < 6) numbers.push_back(std::atoi(n + 2));
        }
        ::closedir(dir);
    }
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers) nodes.push_back("/dev/sr" + std::to_string(n));
    return nodes;
}

namespace {
std::mutex g_virtualMutex;
std::map<std::string, std::shared_ptr<VirtualDrive>>& VirtualDrives() {
    static std::map<std::string, std::shared_ptr<VirtualDrive>> drives;
    return drives;
}
} // namespace

bool IsVirtualDriveNode(const std::string& node) { return node.rfind("virtual:", 0) == 0; }

void RegisterVirtualDrive(const std::string& node, std::shared_ptr<VirtualDrive> drive) {
    if (!IsVirtualDriveNode(node)) return;
    std::lock_guard<std::mutex> lock(g_virtualMutex);
    if (drive) VirtualDrives()[node] = std::move(drive);
    else VirtualDrives().erase(node);
}

std::unique_ptr<CdromDevice> OpenCdromDevice(const std::string& node, int* error) {
    if (IsVirtualDriveNode(node)) {
        std::shared_ptr<VirtualDrive> registered;
        {
            std::lock_guard<std::mutex> lock(g_virtualMutex);
            auto it = VirtualDrives().find(node);
            if (it != VirtualDrives().end()) registered = it->second;
        }
        if (registered) return registered->OpenDevice();
    }
    if (node == kVirtualDriveNode) {
        auto drive = VirtualDrive::FromEnvironment();
        if (!drive) {
            if (error) *error = kErrorFileNotFound;
            return nullptr;
        }
        return drive->OpenDevice();
    }
    if (IsVirtualDriveNode(node)) {
        if (error) *error = kErrorFileNotFound;
        return nullptr;
    }
    return OpenLinuxCdrom(node, error);
}

} // namespace lyb

namespace lyb {

std::vector<CdDriveAddress> CdromDriveAddresses(
    const std::vector<std::string>& nodes,
    const std::function<bool(const std::string& node, CdScsiAddress& address)>& addressOf) {
    std::vector<CdDriveAddress> out;
    std::set<int> hosts;
    for (const auto& node : nodes) {
        CdDriveAddress d;
        d.node = node;
        if (!addressOf(node, d.address)) continue;
        hosts.insert(d.address.host);
        out.push_back(std::move(d));
    }
    for (auto& d : out) d.adapter = int(std::distance(hosts.begin(), hosts.find(d.address.host)));
    return out;
}

std::vector<CdDriveAddress> CdromDriveAddresses() {
    return CdromDriveAddresses(ListCdromDrives(), [](const std::string& node, CdScsiAddress& a) {
        auto dev = OpenCdromDevice(node);
        return dev && dev->GetScsiAddress(a) == 0;
    });
}

} // namespace lyb
