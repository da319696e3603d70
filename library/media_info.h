// Media information of music files: reading it into a MusicItem record,
// writing it back into the file's ID3v2 tag, and the background length probes.
#pragma once

#include "library/media_context.h"
#include "library/music_item.h"

#include <cstdint>
#include <string>

namespace lyb {

class MessageTarget;

/// Posted to the target of ProbeDuration: lparam = length in seconds,
/// payload = std::string, the path exactly as given to ProbeDuration.
constexpr unsigned kDurationReady = 0x601;

/// Fills the record from the file: path, title, artist, URL, length, size,
/// type (2 for ".mp3", 128 for ".aac", any letter case), flags and the
/// stream parameters (MP3: channels, bit rate, sample rate from the first
/// frame header; AAC: channels and sample rate from the first ADTS header). 0 on success; -1 when
/// the file cannot be read or its ending is not supported. With the engine's switch on the engine's
/// length replaces the tag's.
int GetMediaInfo(const std::string& path, MusicItem& record, const LibraryContext& context);

/// -1 when the file cannot be read or its last three characters are not
/// "aac", "lse" or "mp3" (any case); otherwise WriteMediaInfo.
int SetMediaInfo(const std::string& path, const MusicItem& record, const LibraryContext& context);

/// Writes title, artist, length and URL into the file's tag. 0 done; -1 not
/// done (the file is read-only - the user is told - or the user declined to
/// create a tag); -2 writing failed (the file is unchanged).
int WriteMediaInfo(const std::string& path, const MusicItem& record, const LibraryContext& context);

/// Measures the file's length in the background and posts kDurationReady to
/// `target`. Probes run on one idle-priority worker, one at a time under the
/// process-wide probe lock; ".mp3" and ".aac" (any case) are measured, other
/// endings and failed measurements post nothing. The engine's switch is not
/// consulted. `engine` and `target` must stay alive until the probe ran or
/// CancelDurationProbes returned for the target.
void ProbeDuration(const std::string& path, MessageTarget* target, LengthQueryEngine* engine);

/// Drops queued probes for `target` and waits for the one running for it.
void CancelDurationProbes(MessageTarget* target);
/// Waits until no probe is queued or running (tests, shutdown).
void WaitForDurationProbes();

/// The MPEG audio frame header fields the record keeps.
struct MpegHeaderInfo {
    bool valid = false;    ///< the top 11 bits are all ones
    uint32_t channels = 0; ///< 1 for channel mode 3 (mono), else 2
    uint32_t bitrate = 0;  ///< bits per second; 0 when free or invalid
    uint32_t sampleRate = 0;
};
MpegHeaderInfo ParseMpegHeader(const uint8_t bytes[4]);

/// The ADTS header fields the record keeps for AAC files.
struct AdtsHeaderInfo {
    bool valid = false;
    uint32_t channels = 0;   ///< channel configuration (0: given in the stream)
    uint32_t sampleRate = 0; ///< Hz
};
AdtsHeaderInfo ParseAdtsHeader(const uint8_t bytes[4]);

} // namespace lyb
