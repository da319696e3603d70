// CdAudio: the CD Player page's audio CD device (what the MCI "cdaudio"
// device is to the original): status queries, play, pause, resume, stop,
// eject, position and a notification at the end of a play.
//
// Playback is digital: a player thread reads the track's frames through the
// CD-ROM layer (CdromDevice) and writes them to a PcmOutput, which paces
// it. Most drives have no analogue output any more, so nothing is played
// "by the drive". The Linux output is a GStreamer appsrc pipeline; the
// virtual drive gets a clocked output that consumes the audio in real time
// without a sound device.
//
// Every call comes from one thread (the user-interface thread); the player
// thread reports only through the notify callback.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/cdrom/cdrom_device.h"

namespace lyb {

/// Where played audio goes: 44100 Hz 16-bit stereo, little-endian.
class PcmOutput {
public:
    virtual ~PcmOutput() = default;
    /// A new stream; false when the output cannot be opened.
    virtual bool Start() = 0;
    /// Queues audio; blocks while the output is full (this paces the player)
    /// or paused. False when the output failed or Abort was called.
    virtual bool Write(const std::uint8_t* pcm, std::size_t bytes) = 0;
    virtual void Pause(bool paused) = 0;
    /// Waits until everything written has been heard (false: aborted).
    virtual bool Drain() = 0;
    /// Ends the stream now, dropping what is queued; unblocks Write/Drain.
    virtual void Abort() = 0;
    /// Bytes of the stream heard so far.
    virtual std::uint64_t PlayedBytes() = 0;
};

/// An output that consumes audio at `speed` times real time and makes no
/// sound: the virtual drive's, and the tests' (with a higher speed).
std::unique_ptr<PcmOutput> MakeClockedOutput(double speed = 1.0);

/// The GStreamer output: appsrc ! audioconvert ! volume ! audioresample !
/// the audio sink (LYB30_AUDIO_SINK or autoaudiosink). Its volume follows
/// the CD line of the mixer. Null when GStreamer or a plugin is missing.
std::unique_ptr<PcmOutput> MakeGstOutput();

enum class CdAudioMode {
    NotReady, ///< no medium (or no drive)
    Open,     ///< the door was opened by Eject
    Stopped,
    Playing,
    Paused,
};

struct CdMsf {
    int minutes = 0, seconds = 0, frames = 0;
};

class CdAudio {
public:
    using DeviceOpener = std::function<std::unique_ptr<CdromDevice>(const std::string& node)>;
    using OutputMaker = std::function<std::unique_ptr<PcmOutput>(const std::string& node)>;

    /// `open` reaches the drives (OpenCdromDevice by default); `output`
    /// makes the output of a play (MakeDefaultOutput by default).
    explicit CdAudio(DeviceOpener open = {}, OutputMaker output = {});
    ~CdAudio();
    CdAudio(const CdAudio&) = delete;
    CdAudio& operator=(const CdAudio&) = delete;

    /// Opens the device of drive `node` and reads its disc (no disc: the
    /// device is open, mode NotReady, no tracks). False when there is no
    /// such drive.
    bool Open(const std::string& node);
    /// Stops playing and closes the device.
    void Close();
    bool IsOpen() const { return !m_node.empty(); }

    // Status queries (answer from the disc read at Open, or ask the drive).
    CdAudioMode Mode();
    bool MediaPresent();
    int TrackCount() const;
    /// Track numbers are 1-based; false / zero for a track not on the disc.
    bool TrackIsAudio(int track) const;
    CdMsf TrackStart(int track) const;  ///< with the two-second lead-in
    CdMsf TrackLength(int track) const; ///< up to the next track (or lead-out)
    std::uint32_t TrackStartLba(int track) const;
    std::uint32_t TrackFrames(int track) const;
    /// The frame being heard (LBA); 0 when not playing.
    std::uint32_t PositionLba();
    /// The track being played (0 when none).
    int CurrentTrack() const { return m_playTrack; }

    /// Plays `track` from its start (or from `fromLba` inside it) to its end.
    /// False for a data track, a track not on the disc, or no medium.
    bool Play(int track, std::uint32_t fromLba = 0);
    bool Pause();
    bool Resume();
    bool Stop();
    /// Opens the door (and stops playing); mode Open afterwards.
    bool Eject();
    /// Reads the disc again (after a medium change).
    bool Refresh();

    /// Called on the player thread when a play reaches its end (true) or
    /// ends because the disc could not be read (false); never after Stop.
    void SetNotify(std::function<void(bool completed)> notify) { m_notify = std::move(notify); }

    /// The default output of a drive: clocked for the virtual drive (unless
    /// LYB30_CD_AUDIO_OUTPUT=gst), GStreamer for every other.
    static std::unique_ptr<PcmOutput> MakeDefaultOutput(const std::string& node);

private:
    void Player(std::uint32_t from, std::uint32_t end);
    void JoinPlayer();

    DeviceOpener m_open;
    OutputMaker m_makeOutput;
    std::function<void(bool)> m_notify;
    std::string m_node;
    std::unique_ptr<CdromDevice> m_device;
    CdToc m_toc;
    bool m_doorOpen = false;

    std::thread m_player;
    std::shared_ptr<PcmOutput> m_output;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_paused{false};
    std::uint32_t m_playFrom = 0;
    int m_playTrack = 0;
};

} // namespace lyb
