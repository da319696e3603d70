// CAspiManager: SCSI command blocks to CD drives through the ASPI manager
// component (libwnaspi32.so in the program's folder), the ASPI device table
// and the TOC table of the current disc.
//
// Every failing operation leaves one status text, readable with GetLastText
// (the texts are trace texts, not for the user). One command is outstanding
// at a time in the whole process.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "outside/aspi/wnaspi32.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/message_target.h"
#include "platform/system_version.h"

namespace lyb {

class SharedLibrary;

struct AspiEntryPoints {
    aspi::SendASPI32CommandFn send = nullptr;
    aspi::GetASPI32SupportInfoFn supportInfo = nullptr;
    aspi::GetASPI32DLLVersionFn dllVersion = nullptr;
    aspi::GetASPI32BufferFn getBuffer = nullptr;
    aspi::FreeASPI32BufferFn freeBuffer = nullptr;
};

struct AspiDeviceEntry {
    std::uint8_t responseFormat = 0; ///< inquiry byte 3; low 4 bits: the MMC level
    char vendor[8] = {};
    char product[20] = {};
    std::uint8_t version = 0;
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::uint8_t deviceType = 0;
    char driveLetter = 0; ///< 'A' + drive-list index, 0 when not found
};

struct AspiTocRow {
    std::uint32_t lba = 0; ///< host order
    std::uint8_t control = 0;
    std::uint32_t minutes = 0; ///< track length after ReadToc
    std::uint32_t seconds = 0;
};

/// The drive-list letter ('A' + position in driveList) of the drive whose
/// ASPI adapter, target and LUN equal the device's; 0 when none does.
char DriveLetterByAddress(const AspiDeviceEntry& device, const std::vector<CdDriveAddress>& drives,
                          const std::vector<std::string>& driveList);

/// Read speeds of SET CD SPEED (kB/s), index 0..18; 18 is the drive's fastest.
extern const std::array<std::uint16_t, 19> kAspiSpeedTable;

class CAspiManager {
public:
    CAspiManager();
    ~CAspiManager();
    CAspiManager(const CAspiManager&) = delete;
    CAspiManager& operator=(const CAspiManager&) = delete;

    static constexpr int kMaxDevices = 8;
    static constexpr std::uint32_t kBufferRequest = 0x3FFFC;
    static constexpr std::uint32_t kBufferUsable = 0x3FFD0;

    /// Loads libwnaspi32.so from the program's folder (consumer line only).
    bool LoadAspi(MessageTarget* ownerWindow);
    /// The same with the library at `path` or with given entry points (tests).
    bool LoadAspiLibrary(MessageTarget* ownerWindow, const std::string& path);
    bool LoadAspiEntryPoints(MessageTarget* ownerWindow, const AspiEntryPoints& entry, SystemVersion version);

    /// Fills the device table; `driveOfDevice` gives a device's drive letter
    /// (by default: the drive-list search by SCSI target and LUN).
    bool ScanHostAdapters();
    void SetDriveLetterSearch(std::function<char(const AspiDeviceEntry&)> search) { m_letterSearch = std::move(search); }

    /// directionFlags: aspi::SRB_DIR_IN / SRB_DIR_OUT or 0. True on completion (status 1).
    bool ExecScsi(int device, std::uint8_t directionFlags, std::uint32_t dataLength, std::uint8_t* dataBuffer,
                  std::uint8_t cdbLength, const std::uint8_t* cdb);

    bool ReadToc(int device);
    bool TestUnitReady(int device);
    /// Plays the current track (SetCurrentTrack).
    bool PlayTrack(int device);
    bool PlayTrackFrom(int device, int track, int percent);
    bool Stop(int device);
    bool PauseResume(int device, bool resume);
    /// On the device of the last command (device 0 before any).
    bool SetReadSpeed(int speedIndex);
    /// minutes x 60 + seconds of track trackIndex (1-based), -1 without a disc.
    int TrackSeconds(int trackIndex);
    void SetCurrentTrack(int track) { m_currentTrack = track; }
    int CurrentTrack() const { return m_currentTrack; }

    const std::string& GetLastText() const { return m_lastText; }
    void UnloadAspi();
    /// Switches ASPI off for the run (more CD drives than ASPI devices).
    void Disable();

    bool IsInitialised() const { return m_initialised; }
    int DeviceCount() const { return static_cast<int>(m_devices.size()); }
    const AspiDeviceEntry* Device(int index) const;
    int AdapterCount() const { return m_adapterCount; }
    std::uint32_t DllVersion() const { return m_dllVersion; }

    int LastTrack() const { return m_lastTrack; }
    /// Row t (1..last+1); row last+1 is the lead-out. Null when out of range.
    const AspiTocRow* TocRow(int track) const;
    int TotalSeconds() const { return m_totalSeconds; }

    std::uint8_t* ExtractionBuffer() { return m_buffer; }
    std::uint32_t ExtractionBufferSize() const { return m_bufferSize; }
    std::uint8_t LastTargetStatus() const { return m_lastTargetStatus; }
    std::uint8_t LastSenseKey() const { return m_lastSenseKey; }
    /// The last failed command was refused by the host for this user (it is
    /// never retried: the answer would be the same).
    bool LastNotPermitted() const { return m_lastNotPermitted; }
    int LastError() const { return m_lastError; }

    /// Called by UnloadAspi to end a running extraction.
    void SetExtractionStopper(std::function<void()> stop) { m_stopExtraction = std::move(stop); }

private:
    bool Refuse(const char* text);
    void SetText(std::string text);
    bool Bind(MessageTarget* owner, SystemVersion version);
    bool SendOnce(aspi::SRB_ExecSCSICmd& srb);
    bool SendPlay(int device, std::uint32_t from, std::uint32_t len);

    bool m_initialised = false;
    MessageTarget* m_owner = nullptr;
    std::string m_lastText;
    std::uint32_t m_dllVersion = 0;
    std::uint32_t m_supportInfo = 0;
    int m_adapterCount = 0;
    std::string m_managerId;
    std::vector<std::pair<int, std::string>> m_adapters; ///< SCSI id, identifier text
    AspiEntryPoints m_entry;
    std::unique_ptr<SharedLibrary> m_library;
    aspi::ASPI32BUFF m_bufferDesc{};
    std::uint8_t* m_buffer = nullptr;
    std::vector<std::uint8_t> m_ownBuffer;
    std::uint32_t m_bufferSize = 0;
    std::uint8_t m_cdb[12] = {};
    std::uint8_t m_reply[256] = {};
    std::vector<AspiDeviceEntry> m_devices;
    std::array<AspiTocRow, 101> m_toc{};
    int m_lastTrack = 0;
    int m_totalSeconds = 0;
    int m_currentTrack = 1;
    int m_lastDevice = 0;
    std::uint8_t m_lastTargetStatus = 0;
    std::uint8_t m_lastSenseKey = 0;
    bool m_lastNotPermitted = false;
    int m_lastError = 0;
    std::function<char(const AspiDeviceEntry&)> m_letterSearch;
    std::function<void()> m_stopExtraction;
};

} // namespace lyb
