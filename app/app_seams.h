// What the application object takes from subsystems that are built
// elsewhere (CD drives and their state, the USB device manager, the player
// engine, the Small Player). Each is a small function slot; an empty slot
// means the subsystem is not part of this build yet, and the start-up step
// that needs it does what the failure rules say for "not present".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lyb {

class LengthQueryEngine;

struct AppSeams {
    /// Drive names of the CD drive list, in list order ("/dev/sr0", ...).
    std::function<std::vector<std::string>()> cdDriveNames;
    /// The CD state: 0 idle, 1 playing, 2 paused, 3 extracting.
    std::function<int()> cdState;
    /// Creation and destruction of the CD-drive access object and the SCSI layer's unload.
    std::function<void()> createCdAccess, unloadScsi, destroyCdAccess;
    /// Called beside the USB device manager's creation, release and
    /// destruction (tests watch the order). `usbRootHubId` replaces the
    /// query of the machine's host controllers, `usbFirstEnumeration` the
    /// manager's OS-version trace and first enumeration (it returns the number
    /// of phones; `deviceInterface` is the device library's slot, may be null).
    std::function<void()> createUsbManager, releaseUsbDevices, destroyUsbManager;
    std::function<std::string()> usbRootHubId;
    std::function<int(void* deviceInterface)> usbFirstEnumeration;
    /// The player engine: start and shut down.
    std::function<void()> playerInit, playerShutdown;
    /// The player engine's length queries (the Music Studio's length probes
    /// and media reads use them); null: no lengths are measured.
    std::function<LengthQueryEngine*()> lengthEngine;
    /// True when the Small Player window exists.
    std::function<bool()> smallPlayerExists;
};

} // namespace lyb
