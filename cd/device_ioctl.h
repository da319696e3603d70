// CDeviceIoctl: the CD operations through the CD-ROM device controls, and the
// device-control extraction engine (one worker thread per track).
//
// Drives are given by their index in the drive list the object was made
// with; each operation opens the drive and closes it again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cd/cd_state.h"
#include "cd/extraction_sink.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/message_target.h"

namespace lyb {

/// An auto-reset event: Set wakes one Wait, which clears it.
class AutoResetEvent {
public:
    void Set();
    void Reset();
    /// True when the event was set within `timeout` (and is now clear).
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

class CDeviceIoctl {
public:
    explicit CDeviceIoctl(std::vector<std::string> nodes);
    ~CDeviceIoctl();
    CDeviceIoctl(const CDeviceIoctl&) = delete;
    CDeviceIoctl& operator=(const CDeviceIoctl&) = delete;

    /// All return 0 or a system error number (kErrorIoDevice, kErrorInvalidFunction, ...).
    int ReadToc(int drive, CdToc& toc);
    int PlayFrom(int drive, std::uint32_t fromLba, int track);
    int PlayTrack(int drive, int track);
    int Stop(int drive);
    int Pause(int drive);
    int Resume(int drive);
    int Eject(int drive);
    /// The drives with their device descriptions.
    std::vector<std::pair<std::string, std::string>> ListDrives();

    /// Starts the worker for one track; false when the drive or track is not
    /// there, the track is a data track, or an extraction still runs. The CD
    /// state is 3 from here until the worker ends (or, inside a job, until
    /// EndJob).
    bool StartIoctlExtraction(IoctlDataCallback callback, int driveIndex, int trackNumber,
                              const WaveFormat& waveFormat, void* user);
    /// Sets the stop event and waits for the finished event.
    void StopExtraction();
    /// Waits until the worker of the current track has ended.
    bool WaitFinished(std::chrono::milliseconds timeout);
    bool Running() const { return m_running.load(); }

    /// A rip of several tracks: the CD state stays 3 between their workers
    /// (from BeginJob) and returns to 0 at EndJob.
    void BeginJob();
    void EndJob();

    /// Where progress (1528; lparam kDaeRetrying while waiting after an I/O
    /// error) and the end of a track (1534 done, 1535 failed; nothing after a
    /// stop request) go; may be null. The end is posted once the engine is
    /// idle, so a handler may start the next track at once.
    void SetOwner(MessageTarget* owner) { m_owner = owner; }
    /// The wait after an I/O error (2 s) and the stop-event polls between
    /// blocks (0: checked without waiting).
    void SetWaits(std::chrono::milliseconds ioErrorWait, std::chrono::milliseconds stopPoll);
    std::uint32_t LastFramesPerRequest() const { return m_lastRequest.load(); }

private:
    std::unique_ptr<CdromDevice> Open(int drive, int* error);
    void Worker(std::unique_ptr<CdromDevice> device, IoctlDataCallback callback, void* user, std::uint32_t start,
                std::uint32_t end, std::uint32_t bytesPerSector);
    void PostProgress(std::uint64_t size, std::uint64_t done, std::chrono::steady_clock::time_point began,
                      bool retrying);

    std::vector<std::string> m_nodes;
    AutoResetEvent m_stop;
    AutoResetEvent m_finished;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint32_t> m_lastRequest{0};
    MessageTarget* m_owner = nullptr;
    std::chrono::milliseconds m_ioErrorWait{2000};
    std::chrono::milliseconds m_stopPoll{0};
    std::atomic<bool> m_jobOpen{false};
    std::uint32_t m_bytesPerSector = 2048;
    int m_track = 0;
};

} // namespace lyb
