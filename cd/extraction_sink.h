// What the extraction engines hand their audio to: the ripping pipeline on
// one side, a test's WAV writer on the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lyb {

/// Window messages of the extraction engines to the CD Player page.
constexpr unsigned kMsgDaeAllDone = 1526;   ///< ASPI engine: all tracks done (or cancelled)
constexpr unsigned kMsgDaeProgress = 1528;  ///< device controls: wparam remaining seconds, lparam speed factor
constexpr unsigned kMsgDaeTrackDone = 1534; ///< wparam track number
constexpr unsigned kMsgDaeTrackFailed = 1535;
/// lparam of 1528 while the device-control engine waits to read again after
/// a device I/O error (wparam: the remaining seconds last estimated).
constexpr std::intptr_t kDaeRetrying = -1;

/// The 16-byte PCM format record of a wave file's format chunk.
struct WaveFormat {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSecond = 44100;
    std::uint32_t bytesPerSecond = 176400;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
};

/// Size of the wave header in front of the first block of the ASPI engine.
constexpr std::size_t kWaveHeaderBytes = 44;

/// Writes the 44-byte little-endian wave header for `dataBytes` of CD audio.
void WriteWaveHeader(std::uint8_t* out, std::uint32_t dataBytes);

/// Consumer of the ASPI engine, called on the extraction thread.
class CExtractionSink {
public:
    virtual ~CExtractionSink() = default;
    /// Settles the output path of a track: 0 go on, 1 skip the track, 2 cancel the rest.
    virtual int PrepareTrackFile(int trackNumber, std::string& path) = 0;
    /// Every block of the track in order. The first block (firstBlock true)
    /// starts with the 44-byte wave header, followed by its frames. False
    /// ends the track as failed (the block could not be encoded or written).
    virtual bool FeedEncoder(const std::uint8_t* block, std::size_t length, bool firstBlock) = 0;
    /// End of the track: `complete` when every block was delivered. An
    /// incomplete track's output is removed here. Returns false when that
    /// removal failed (errno set), true otherwise.
    virtual bool CloseTrack(bool complete) = 0;
};

/// Progress controls of the CD Player page (bar 1045, labels 1046 and 1047),
/// called on the extraction thread; the page marshals them to its thread.
class CExtractionProgress {
public:
    virtual ~CExtractionProgress() = default;
    virtual void StepBar() {}
    virtual void SetEstimatedText(const std::string&) {}
    virtual void SetSpeedText(const std::string&) {}
    /// Bar to 0, "Speed:" + " x00", "Estimated time :" + " 00:00".
    virtual void ResetDisplay() {}
};

/// Device-control engine callback: length > 0 a block of frames; null and 0
/// the track ended normally; length < 0 the track failed or was stopped.
/// For a block, false stops the track as failed (the consumer could not
/// take it); the answer to the end calls is not used.
using IoctlDataCallback = bool (*)(const std::uint8_t* data, long length, void* user);

} // namespace lyb
