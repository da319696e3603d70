// CdromDevice: the CD-ROM device controls the CD subsystem needs.
//
// One object is one opened drive; callers open it for one operation and drop
// it afterwards. Results are system error numbers: 0 done, kErrorIoDevice
// (1117) for a medium or transfer error, kErrorInvalidFunction (1) for a
// control the drive does not support, kErrorNotReady (21) without a medium.
// Addresses are logical block addresses (LBA 0 = MSF 00:02:00).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lyb {

constexpr int kErrorInvalidFunction = 1;
constexpr int kErrorFileNotFound = 2;
/// The system refused the operation for this user (EPERM, EACCES).
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNotReady = 21;
constexpr int kErrorIoDevice = 1117;
/// A read failed and the system gave no reason (the drive returned nothing).
constexpr int kErrorUnreadable = -1;

constexpr std::size_t kCdFrameBytes = 2352;
constexpr std::uint8_t kLeadOutTrack = 0xAA;

struct CdTocEntry {
    std::uint8_t track = 0;   ///< 1..99, or kLeadOutTrack
    std::uint8_t control = 0; ///< control nibble (bit 2: data track)
    std::uint32_t lba = 0;
};

struct CdToc {
    std::uint8_t firstTrack = 0;
    std::uint8_t lastTrack = 0;
    std::vector<CdTocEntry> entries; ///< the tracks, then the lead-out
};

struct CdScsiAddress {
    int host = 0;
    int channel = 0;
    int target = 0;
    int lun = 0;
};

/// A drive of the drive list with its SCSI address and the ASPI host adapter
/// number it gets: adapters are the distinct SCSI hosts that hold CD drives,
/// numbered 0, 1, ... in ascending host order (the ASPI component and the
/// drive-letter search both count this way).
struct CdDriveAddress {
    std::string node;
    CdScsiAddress address;
    int adapter = 0;
};

/// MSF (with the two-second lead-in) from an LBA, and back.
void LbaToMsf(std::uint32_t lba, int& minutes, int& seconds, int& frames);
std::int64_t MsfToLba(int minutes, int seconds, int frames);

class CdromDevice {
public:
    virtual ~CdromDevice() = default;
    virtual int ReadToc(CdToc& toc) = 0;
    /// Bytes per sector of the drive geometry (raw-read offsets are frame x this).
    virtual int GetBytesPerSector(std::uint32_t& bytes) = 0;
    /// Raw CD-DA read of `frames` frames from `lba` into out (frames x 2352 bytes).
    virtual int ReadAudio(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) = 0;
    /// Plays [startLba, endLba).
    virtual int PlayAudio(std::uint32_t startLba, std::uint32_t endLba) = 0;
    /// Moves the head to `lba`; only a hint before playing (PlayAudio
    /// positions by itself), so callers go on when it fails.
    virtual int SeekAudio(std::uint32_t lba) = 0;
    virtual int StopAudio() = 0;
    virtual int PauseAudio() = 0;
    virtual int ResumeAudio() = 0;
    virtual int Eject() = 0;
    virtual int GetScsiAddress(CdScsiAddress& address) = 0;
    /// A short description for the drive list: the drive's vendor and model
    /// ("vendor product"), the node name only when neither can be learnt.
    virtual std::string Description() = 0;
    /// True when a medium is in the drive (0 done); kErrorNotReady otherwise.
    virtual int MediumPresent(bool& present) = 0;
};

/// Name of the virtual drive in the drive list when LYB30_VIRTUAL_CD names a CUE sheet.
constexpr const char* kVirtualDriveNode = "virtual:cd0";

/// True for the node of a virtual drive ("virtual:...").
bool IsVirtualDriveNode(const std::string& node);

class VirtualDrive;
/// Makes `drive` reachable through OpenCdromDevice under `node` (which must
/// start with "virtual:"); null removes it. Tests use several discs at once.
void RegisterVirtualDrive(const std::string& node, std::shared_ptr<VirtualDrive> drive);

/// The CD-ROM drives of this machine in a stable order: the virtual drive first
/// when LYB30_VIRTUAL_CD is set (and its image loads), then /dev/srN by N.
std::vector<std::string> ListCdromDrives();

/// Opens a drive of ListCdromDrives(); null with *error set on failure.
std::unique_ptr<CdromDevice> OpenCdromDevice(const std::string& node, int* error = nullptr);

/// The SCSI addresses of `nodes` (drives without one are left out) with their
/// ASPI adapter numbers. `addressOf` gives a node's address (false: none).
std::vector<CdDriveAddress> CdromDriveAddresses(
    const std::vector<std::string>& nodes,
    const std::function<bool(const std::string& node, CdScsiAddress& address)>& addressOf);
/// The same for ListCdromDrives(), asking each drive.
std::vector<CdDriveAddress> CdromDriveAddresses();

} // namespace lyb
