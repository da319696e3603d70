// CUE sheets of raw disc images (BIN files of 2352-byte frames, audio as
// little-endian 16-bit stereo), as cdrdao and most rippers write them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

struct CueTrack {
    int number = 0;
    bool audio = true;          ///< AUDIO; MODE1/2352 and MODE2/2352 are data tracks
    std::size_t fileIndex = 0;  ///< which FILE of the sheet holds it
    std::uint32_t fileFrame = 0; ///< INDEX 01 within that file, in frames
    std::uint32_t lba = 0;       ///< absolute start on the disc
    std::uint32_t frames = 0;    ///< length up to the next track or the end of the file
    std::string title;
};

struct CueFile {
    std::string path;            ///< resolved against the sheet's folder
    std::uint32_t frames = 0;    ///< filled by LoadCueSheet from the file size
    std::uint32_t baseLba = 0;
};

struct CueSheet {
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    std::uint32_t leadOutLba = 0;
    std::string title;
};

/// Parses the text of a sheet; file sizes are not looked at (frames stay 0
/// and lengths unknown). False with `error` set on malformed input.
bool ParseCueSheet(std::string_view text, const std::string& folder, CueSheet& sheet, std::string& error);

/// The largest CUE sheet read (real sheets are a few kilobytes).
constexpr std::size_t kCueSheetLimit = 1u << 20;

/// Reads a sheet (a regular file of at most kCueSheetLimit bytes), checks that each BIN exists and holds whole frames, and
/// computes every track's address and length.
bool LoadCueSheet(const std::string& cuePath, CueSheet& sheet, std::string& error);

/// Finishes a parsed sheet given each file's length in frames.
bool LayOutCueSheet(CueSheet& sheet, std::string& error);

} // namespace lyb
