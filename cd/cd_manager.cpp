#include "cd/cd_manager.h"

#include <cctype>

#include "cd/aspi_manager.h"
#include "cd/device_ioctl.h"
#include "platform/trace.h"

namespace lyb {

CCDManager::CCDManager(SystemVersion version) : CCDManager(version, ListCdromDrives()) {}

CCDManager::CCDManager(SystemVersion version, std::vector<std::string> nodes) {
    useDeviceIoctl = useDeviceIoctlForPlay = version.line == OsLine::NT;
    BuildDriveList(nodes);
    m_ioctl = std::make_unique<CDeviceIoctl>(std::move(nodes));
}

CCDManager::~CCDManager() = default;

void CCDManager::BuildDriveList(const std::vector<std::string>& nodes) {
    m_drives.clear();
    // 32 drive positions, as many letters as the original system tries.
    for (std::size_t i = 0; i < nodes.size() && i < 32; ++i) {
        CDDriveEntry e;
        e.letterIndex = int(i);
        e.root = nodes[i];
        e.displayName = nodes[i];
        m_drives.push_back(std::move(e));
    }
}

const CDDriveEntry* CCDManager::Drive(int index) const {
    return index >= 0 && index < DriveCount() ? &m_drives[std::size_t(index)] : nullptr;
}

bool CCDManager::SetCurrentDrive(int index) {
    if (!Drive(index)) return false;
    m_currentDrive = index;
    return true;
}

void CCDManager::MatchAspiDevices(const CAspiManager& aspi) {
    for (auto& e : m_drives) {
        e.aspiDevice = kNoAspiDevice;
        for (int d = 0; d < aspi.DeviceCount(); ++d) {
            char letter = aspi.Device(d)->driveLetter;
            if (letter && std::toupper(static_cast<unsigned char>(letter)) == 'A' + e.letterIndex) {
                e.aspiDevice = d;
                break;
            }
        }
        if (e.aspiDevice == kNoAspiDevice && aspi.IsInitialised())
            TraceFormat("Drive %s matches no ASPI device", e.root.c_str());
    }
}

void CCDManager::DescribeDrives() {
    auto list = m_ioctl->ListDrives();
    for (std::size_t i = 0; i < m_drives.size() && i < list.size(); ++i) m_drives[i].description = list[i].second;
}

bool CCDManager::StartupCheck(CAspiManager& aspi, const std::string& programFolder) {
    bool ready = programFolder.empty()
                     ? aspi.LoadAspi(nullptr)
                     : aspi.LoadAspiLibrary(nullptr, programFolder + "/" + aspi::kAspiLibraryName);
    return StartupCheckLoaded(aspi, ready);
}

bool CCDManager::StartupCheckLoaded(CAspiManager& aspi, bool ready) {
    Trace(aspi.GetLastText());
    if (ready) {
        aspi.ScanHostAdapters();
        MatchAspiDevices(aspi);
        Trace(aspi.GetLastText());
        // Drive positions from the third on count, as the original skips A: and B:;
        // here every drive of the list is a CD drive, so all of them count.
        int drives = DriveCount();
        if (drives > aspi.DeviceCount()) {
            TraceFormat("Total CD Drives %d, ASPI found %d", drives, aspi.DeviceCount());
            aspi.Disable();
            ready = false;
        }
    } else {
        Trace("Host adapters scanning is aborted due to ASPI initialization fault.");
    }
    TraceFormat("%.d Drive(s) found:", aspi.DeviceCount());
    for (int d = 0; d < aspi.DeviceCount(); ++d) {
        const AspiDeviceEntry* e = aspi.Device(d);
        Trace(std::string(e->product, sizeof e->product));
        TraceFormat("-Device is compatible to MMC%d", e->responseFormat & 0x0F);
    }
    return ready;
}

void CCDManager::SetToc(const CdToc& toc) {
    m_rawToc = toc;
    m_toc.clear();
    for (std::size_t i = 0; i + 1 < toc.entries.size(); ++i) {
        CDTocTrack t;
        t.startLba = toc.entries[i].lba;
        t.lengthFrames = toc.entries[i + 1].lba > t.startLba ? toc.entries[i + 1].lba - t.startLba : 0;
        t.audio = (toc.entries[i].control & 0x04) == 0;
        LbaToMsf(t.startLba, t.startMinute, t.startSecond, t.startFrame);
        t.lengthMinute = int(t.lengthFrames / 4500);
        t.lengthSecond = int((t.lengthFrames / 75) % 60);
        t.lengthFrame = int(t.lengthFrames % 75);
        m_toc.push_back(t);
    }
}

bool CCDManager::ReadToc() {
    CdToc toc;
    if (m_ioctl->ReadToc(m_currentDrive, toc) != 0) {
        SetToc(CdToc{});
        return false;
    }
    SetToc(toc);
    return true;
}

void CCDManager::SetDefaultTexts(std::string album, std::string artist) {
    m_album = std::move(album);
    m_artist = std::move(artist);
}

} // namespace lyb
