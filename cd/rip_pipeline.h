// The ripping pipeline: for every track the extraction engines deliver, the
// output path (with the questions about existing files), the encoder run
// (track-information block, ID3v2 tag in front, Open/Encode/Close on the
// extraction thread) and the removal of what a failed or cancelled track
// wrote.
//
// The encoder writes into "<path>.part" (created exclusively, see
// FileReplacement) which becomes the file only when the track is complete: a failed, cancelled or
// interrupted track never leaves a partial file under its name, and never
// destroys the file it was to replace. Write errors (a full disk) fail the
// track; before a track starts the free space of the folder is checked
// against the track's expected size.
#pragma once

#include <array>
#include <cstdio>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cd/extraction_sink.h"

class AACInterface;

namespace lyb {

class FileReplacement;
class CLocalize;
class RipQuestions;

/// One track of the disc as the CD Player page lists it.
struct CDTrackInfo {
    bool audio = true;
    bool played = false; ///< random play has played it
    int startMinute = 0, startSecond = 0, startFrame = 0;
    int lengthMinute = 0, lengthSecond = 0, lengthFrame = 0;
    std::uint64_t size = 0; ///< bytes of the track's audio
    std::string title;      ///< "AUDIO TRACK 01" until the user names it
    std::uint32_t startLba = 0;
    std::uint32_t lengthFrames = 0;

    /// minutes x 60 + seconds of the length.
    int Seconds() const { return lengthMinute * 60 + lengthSecond; }
};

/// Output formats of the rip (the application object's switch).
constexpr int kRipFormatAac = 128;
constexpr int kRipFormatLse = 256;

/// Bytes of the track-information block handed to the encoder's Open.
constexpr std::size_t kTrackInfoBytes = 1672;
using TrackInfoBlock = std::array<std::uint8_t, kTrackInfoBytes>;

/// What one rip is made with (copied when it starts).
struct RipSettings {
    std::string musicFolder;  ///< the settings' default music folder
    int bitrate = 128000;     ///< the settings' Bitrate (0: 128000)
    int outputFormat = kRipFormatAac;
    std::string album, artist;
};

/// The title as a file name: \ / : * ? < > | and " become "_".
std::string SanitizeTrackTitle(std::string_view title);
/// The bitrate the encoder gets: the setting, or 128000 when it is 0.
int EffectiveBitrate(int setting);
/// The block of the layout the encoder reads (texts at 528/784/1040, numbers
/// little-endian at 1600..1624, every other byte zero). Texts are cut to 255
/// bytes without splitting a character.
TrackInfoBlock BuildTrackInfoBlock(std::string_view title, std::string_view artist, std::string_view album,
                                   int outputFormat, int seconds, int bitrate, const WaveFormat& format);
/// The ID3v2 tag placed in front of the file: title and artist, rendered.
std::string BuildTagPrefix(std::string_view title, std::string_view artist);

/// Size the encoded file of a track may take: its seconds at the bitrate,
/// the tag and a margin for the container.
std::uint64_t ExpectedOutputBytes(int seconds, int bitrate);

class CRipPipeline final : public CExtractionSink {
public:
    /// `encoder` is the application's encoder interface (may be null: every
    /// track then fails). `localize` may be null (English texts).
    CRipPipeline(AACInterface* encoder, RipQuestions& questions, const CLocalize* localize);
    ~CRipPipeline() override;
    CRipPipeline(const CRipPipeline&) = delete;
    CRipPipeline& operator=(const CRipPipeline&) = delete;

    /// A new rip over `tracks` (index = track number - 1).
    void Begin(RipSettings settings, std::vector<CDTrackInfo> tracks);

    // The ASPI engine's consumer (its first block carries the wave header).
    int PrepareTrackFile(int trackNumber, std::string& path) override;
    bool FeedEncoder(const std::uint8_t* block, std::size_t length, bool firstBlock) override;
    bool CloseTrack(bool complete) override;

    /// The device-control engine: the track whose path PrepareTrackFile
    /// settled starts; blocks then come through IoctlCallback.
    void BeginIoctlTrack();
    /// The engine's data callback; `user` is the pipeline.
    static bool IoctlCallback(const std::uint8_t* data, long length, void* user);

    /// Free bytes of the folder holding `path`; the platform's volume query
    /// by default (tests give their own).
    void SetFreeSpaceQuery(std::function<bool(const std::string& folder, std::uint64_t& freeBytes)> query);
    /// Sees exactly the bytes each Encode call gets, with the track number
    /// (tests and benchmarks; called on the extraction thread).
    void SetEncodeTap(std::function<void(int track, const std::uint8_t*, std::size_t)> tap) { m_tap = std::move(tap); }

    /// Done: the file is complete under its name; NotSaved: the track failed
    /// or was cancelled and nothing of it was kept.
    enum class Outcome { Done, NotSaved };
    struct TrackRecord {
        int track = 0;
        std::string path;
        Outcome outcome = Outcome::Done;
    };
    /// Every track that ended in this rip, in order (thread-safe copy).
    std::vector<TrackRecord> Finished() const;
    /// The path of the track being ripped ("" between tracks).
    std::string CurrentPath() const;
    /// PCM bytes the device-control engine delivered for the current track.
    std::uint64_t BytesDelivered() const { return m_delivered.load(); }

private:
    bool StartTrack();
    bool Encode(const std::uint8_t* pcm, std::size_t length);
    /// Ends the run; keeps the file when `complete` and everything was written.
    bool Finish(bool complete, bool* removed);
    std::string Text(int id, std::string_view english) const;
    bool EnoughSpace(const std::string& path, int seconds);

    AACInterface* m_encoder;
    RipQuestions& m_questions;
    const CLocalize* m_localize;
    std::function<bool(const std::string&, std::uint64_t&)> m_freeSpace;
    std::function<void(int, const std::uint8_t*, std::size_t)> m_tap;

    RipSettings m_settings;
    std::vector<CDTrackInfo> m_tracks;

    // The track in progress (the extraction thread's once it runs).
    mutable std::mutex m_mutex;
    int m_track = 0;
    std::string m_path;
    std::unique_ptr<FileReplacement> m_out;
    std::FILE* m_stream = nullptr; ///< the encoder's stream on the partial file
    bool m_first = true;
    bool m_open = false;
    bool m_failed = false;
    std::vector<TrackRecord> m_finished;
    std::atomic<std::uint64_t> m_delivered{0};
};

} // namespace lyb
