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
    /// Drive names of the CD drive list, in list order ("/dev/sr0", ...);
    /// unset: the application's own CD manager.
    std::function<std::vector<std::string>()> cdDriveNames;
    /// The CD state: 0 idle, 1 playing, 2 paused, 3 extracting; unset: the
    /// CD subsystem's.
    std::function<int()> cdState;
    /// Called beside the creation and destruction of the CD-drive access
    /// object and the SCSI layer's unload (tests watch the order).
    std::function<void()> createCdAccess, unloadScsi, destroyCdAccess;
    /// What the CD Player page asks of the player (unset: not part of the
    /// build): the Small Player's play mode is random; stop the Music
    /// Studio's playback; message 2022 to the Small Player; the player
    /// engine plays the CD.
    std::function<bool()> cdRandomPlayMode;
    std::function<void()> stopStudioPlayer;
    std::function<void(int wparam)> notifySmallPlayer;
    std::function<bool()> playerInCdMode;
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
