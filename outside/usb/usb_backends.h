// Where the device library finds its devices: the machine's sysfs (USB
// devices with their mass-storage volumes from the mount table) or a file of
// simulated devices (tests and the demo).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb::usb {

/// One reported device: a USB device, and when it is a mass-storage device
/// with a mounted volume, that volume's mount point.
struct UsbDeviceInfo {
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::string busName;      ///< "1-1.2"; "sim0", "sim1", ... for simulated ones
    std::string manufacturer; ///< the device's manufacturer string
    std::string product;      ///< the device's product string
    std::string mountPoint;   ///< "" when no volume of the device is mounted
    bool storage = false;     ///< has a mass-storage interface (class 8)
};

/// The USB devices under `sysRoot` ("/sys" on a real machine), in bus-name
/// order. A mass-storage device is reported once per mounted volume of its
/// disks (partitions included), in mount-table order; one without a mounted
/// volume, and every other device, once with an empty mount point.
/// `mountInfo` is the text of /proc/self/mountinfo.
std::vector<UsbDeviceInfo> ListSysfsDevices(const std::string& sysRoot, std::string_view mountInfo);

/// The simulated devices described by `text` (see kSimUsbEnvironment);
/// relative card folders are taken from `baseFolder`. Lines with fewer than
/// three fields are skipped. A device whose card folder is not an existing
/// folder is left out (unplugged).
std::vector<UsbDeviceInfo> ParseSimDevices(std::string_view text, const std::string& baseFolder);

/// ParseSimDevices over the file at `path` (nothing when it cannot be read).
std::vector<UsbDeviceInfo> ListSimDevices(const std::string& path);

} // namespace lyb::usb
