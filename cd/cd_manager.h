// CCDManager: the CD drives of the machine, the current drive and track, the
// table of contents of the current disc and the transport choice.
//
// One instance lives in the application object. The drive list is built once
// at construction: on Linux a "drive" is a CD-ROM device node (/dev/srN, in
// the order of N), preceded by the virtual drive when the environment variable
// LYB30_VIRTUAL_CD names a CUE sheet. Use from the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cd/cd_state.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/system_version.h"

namespace lyb {

class CAspiManager;
class CDeviceIoctl;

/// CDDriveEntry::aspiDevice of a drive that matches no ASPI device.
constexpr int kNoAspiDevice = -1;

struct CDDriveEntry {
    int letterIndex = 0;     ///< position in the drive list (0 = first drive)
    std::string root;        ///< the device node, e.g. "/dev/sr0"
    std::string displayName; ///< initially the same as root
    std::string description; ///< the drive's vendor and model (empty until asked)
    /// Index in the ASPI device table; kNoAspiDevice when no ASPI device is
    /// this drive (never silently the first device).
    int aspiDevice = kNoAspiDevice;
};

/// One track of the current disc's TOC copy.
struct CDTocTrack {
    int startMinute = 0, startSecond = 0, startFrame = 0; ///< MSF incl. the 2 s lead-in
    int lengthMinute = 0, lengthSecond = 0, lengthFrame = 0;
    std::uint32_t startLba = 0;
    std::uint32_t lengthFrames = 0;
    bool audio = true;
};

class CCDManager {
public:
    /// Builds the drive list; the transport flags come from `version`.
    explicit CCDManager(SystemVersion version = CurrentSystemVersion());
    /// For tests: a fixed list of device nodes instead of the machine's.
    CCDManager(SystemVersion version, std::vector<std::string> nodes);
    ~CCDManager();

    CCDManager(const CCDManager&) = delete;
    CCDManager& operator=(const CCDManager&) = delete;

    // Transport flags: true on the NT line.
    bool useDeviceIoctl = true;
    bool useDeviceIoctlForPlay = true;

    int DriveCount() const { return static_cast<int>(m_drives.size()); }
    const std::vector<CDDriveEntry>& Drives() const { return m_drives; }
    /// Null when index is out of range.
    const CDDriveEntry* Drive(int index) const;

    int CurrentDrive() const { return m_currentDrive; }
    bool SetCurrentDrive(int index);
    int CurrentTrack() const { return m_currentTrack; }
    void SetCurrentTrack(int track) { m_currentTrack = track; }

    /// Sets each entry's ASPI device index from the ASPI device table (first
    /// device whose drive letter equals the entry's letter index), or
    /// kNoAspiDevice (traced) when there is none.
    void MatchAspiDevices(const CAspiManager& aspi);

    /// Start-up check: load ASPI (consumer line only), scan, match, and switch
    /// ASPI off when there are more CD drives than ASPI devices. Traces the
    /// status texts. Returns true when ASPI stays in use. The component is
    /// loaded from `programFolder` (the running program's folder when empty).
    bool StartupCheck(CAspiManager& aspi, const std::string& programFolder = {});
    /// The part of the check after loading, given LoadAspi's result.
    bool StartupCheckLoaded(CAspiManager& aspi, bool ready);

    /// Reads the TOC of the current drive through the device controls and keeps
    /// a copy; false (and an empty copy) without a disc.
    bool ReadToc();
    void SetToc(const CdToc& toc);
    const std::vector<CDTocTrack>& Toc() const { return m_toc; }
    const CdToc& RawToc() const { return m_rawToc; }

    const std::string& AlbumText() const { return m_album; }
    const std::string& ArtistText() const { return m_artist; }
    /// The localiser's texts 248 and 247; English defaults until set.
    void SetDefaultTexts(std::string album, std::string artist);

    /// Fills each entry's description (vendor and model) from the drive.
    void DescribeDrives();

    /// The device-control transport (always present).
    CDeviceIoctl& DeviceIoctl() { return *m_ioctl; }

private:
    void BuildDriveList(const std::vector<std::string>& nodes);

    std::vector<CDDriveEntry> m_drives;
    int m_currentDrive = 0;
    int m_currentTrack = -1;
    std::vector<CDTocTrack> m_toc;
    CdToc m_rawToc;
    std::string m_album = "Unknown Album";
    std::string m_artist = "Unknown Artist";
    std::unique_ptr<CDeviceIoctl> m_ioctl;
};

} // namespace lyb
