// VirtualDrive: a CD-ROM drive simulated from a CUE/BIN disc image.
//
// It answers the MMC and vendor command blocks the CD subsystem sends
// (TEST UNIT READY, INQUIRY, READ TOC, PLAY AUDIO(10), (12) and MSF, STOP PLAY/SCAN,
// PAUSE/RESUME, START STOP UNIT, SET CD SPEED 0xBB/0xDA, reads 0xD5, 0xD8,
// 0xD4 and READ CD 0xBE) and the CD-ROM device controls, with switches that
// inject the faults tests need. Thread-safe: every call takes one lock except
// the slow-drive wait.
//
// Switches from the environment (LYB30_VIRTUAL_CD_OPTIONS, ';'-separated):
//   reject=D5:D8:D4   opcodes the drive refuses (invalid command)
//   deny=D5:A5        opcodes the host does not let this user send
//                     (as SG_IO answers EPERM for an unprivileged user)
//   no-seek           the drive cannot seek (as the sr driver has no CDROMSEEK)
//   unit-attention    the first command reports unit attention
//   eio=100:250       frames whose reads fail with a medium error (EIO)
//   eio-repeat=N      how many times each of them fails (default: always)
//   slow-us=N         microseconds spent per frame read
//   unreadable-from=N reads from frame N on fail without a reason
//   remove-at=N       the medium disappears when a read reaches frame N
//   no-medium         no disc in the drive
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/cdrom/cdrom_device.h"
#include "platform/cdrom/cue_sheet.h"
#include "platform/cdrom/scsi_target.h"

namespace lyb {

struct VirtualDriveOptions {
    std::set<std::uint8_t> rejectedOpcodes;
    std::set<std::uint8_t> deniedOpcodes;
    bool seekUnsupported = false;
    bool unitAttentionFirst = false;
    std::set<std::uint32_t> errorFrames;
    int errorRepeat = -1; ///< -1: every read of an error frame fails
    unsigned slowMicrosPerFrame = 0;
    std::int64_t removeAtFrame = -1;
    std::int64_t unreadableFrom = -1;
    bool noMedium = false;
};

/// Parses the switch text described above; false with error on a bad switch.
bool ParseVirtualDriveOptions(const std::string& text, VirtualDriveOptions& options, std::string& error);

class VirtualDrive final : public ScsiTarget, public std::enable_shared_from_this<VirtualDrive> {
public:
    /// Loads the image; null with `error` set when the sheet or a BIN is bad.
    static std::shared_ptr<VirtualDrive> Load(const std::string& cuePath, VirtualDriveOptions options,
                                              std::string& error);
    /// The drive named by LYB30_VIRTUAL_CD (with LYB30_VIRTUAL_CD_OPTIONS),
    /// loaded once per process; null when unset or bad (traced).
    static std::shared_ptr<VirtualDrive> FromEnvironment();

    ScsiResult Execute(const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction,
                       std::uint8_t* data, std::size_t dataLength) override;

    // Device controls (the CdromDevice operations; see OpenDevice).
    int ReadToc(CdToc& toc);
    int ReadAudio(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out);
    int PlayAudio(std::uint32_t startLba, std::uint32_t endLba);
    int Seek(std::uint32_t lba);
    int Stop();
    int Pause();
    int Resume();
    int Eject();
    bool MediumPresent() const;

    /// A CdromDevice handle on this drive.
    std::unique_ptr<CdromDevice> OpenDevice();

    const CueSheet& Sheet() const { return m_sheet; }
    /// The image's bytes of frames [lba, lba + frames).
    bool ImageBytes(std::uint32_t lba, std::uint32_t frames, std::vector<std::uint8_t>& out) const;

    /// Every command block received, in order (for tests).
    std::vector<std::vector<std::uint8_t>> CommandLog() const;
    void ClearCommandLog();
    void SetOptions(VirtualDriveOptions options);
    /// Reinserts the medium after a removal.
    void InsertMedium();
    /// Takes the medium out (as a user pulling the disc).
    void RemoveMedium();

    enum class PlayState { Stopped, Playing, Paused };
    PlayState State() const;
    std::uint32_t PlayStart() const;
    std::uint32_t PlayEnd() const;
    std::uint16_t ReadSpeed() const;

private:
    VirtualDrive() = default;
    /// 0, or an error: kErrorNotReady, kErrorIoDevice; lock held.
    int ReadFramesLocked(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out, std::unique_lock<std::mutex>& lock);
    bool FetchRaw(std::uint32_t lba, std::uint32_t frames, std::uint8_t* out) const;

    mutable std::mutex m_mutex;
    CueSheet m_sheet;
    std::vector<int> m_fds;
    VirtualDriveOptions m_options;
    bool m_attentionPending = false;
    bool m_mediumPresent = true;
    std::map<std::uint32_t, int> m_errorCounts;
    std::vector<std::vector<std::uint8_t>> m_log;
    PlayState m_state = PlayState::Stopped;
    std::uint32_t m_playStart = 0, m_playEnd = 0;
    std::uint16_t m_readSpeed = 0xFFFF;

public:
    ~VirtualDrive() override;
};

} // namespace lyb
