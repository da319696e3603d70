// Exact track lengths, measured from the audio data itself rather than from
// a decoder's estimate: MP3 by a full frame scan (libmpg123), AAC by
// counting ADTS frames. Both are safe to call from any thread at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace lyb {

/// Length of an MP3 file in seconds from a full scan of its frames (encoder
/// delay and padding of a gapless header excluded). False when the file
/// cannot be read or holds no MPEG audio.
bool Mp3ExactSeconds(const std::string& path, double& seconds);

/// What a walk over an ADTS stream found.
struct AdtsScan {
    std::uint64_t frames = 0;        ///< complete frames counted
    std::uint64_t samples = 0;       ///< audio samples per channel (1024 per raw data block)
    double milliseconds = 0;         ///< sum of every frame's duration at its own rate
    std::uint32_t sampleRate = 0;    ///< rate of the first frame (Hz)
    std::uint32_t channels = 0;      ///< channel configuration of the first frame
    std::uint64_t skippedBytes = 0;  ///< bytes between frames that were not a frame (tags, damage)
    bool Valid() const { return frames > 0; }
};

/// Walks the ADTS frames of `file` from its start: leading ID3v2 tags are
/// skipped, a damaged stretch is passed over up to the next frame whose
/// successor also checks out, a frame cut off by the end of the file is not
/// counted. Reads the file from the current start (it seeks).
AdtsScan ScanAdts(std::FILE* file);
/// The same for a file by name (an unreadable file gives an invalid scan).
AdtsScan ScanAdtsFile(const std::string& path);

/// Length of an ADTS AAC file in milliseconds; false when it holds no frame.
bool AdtsExactMilliseconds(const std::string& path, double& milliseconds);

} // namespace lyb
