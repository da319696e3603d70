// Small file helpers of the music library (internal).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lyb::libfile {

/// The whole file, or nothing when it cannot be read (only regular files
/// are opened; see OpenRegularFile). Refuses files larger than `maxBytes`.
std::optional<std::string> ReadAll(const std::string& path, uint64_t maxBytes = 1ull << 30);

/// Writes `bytes` to a new temporary file beside the file `path` finally
/// names (that name with its last character replaced by '~', or a random
/// name when that one is taken), flushes it to disk and renames it over the
/// file. The old file stays intact until the rename, which is atomic; a
/// symbolic link stays a link. On failure the temporary file is removed and
/// false returned.
bool ReplaceAtomically(const std::string& path, std::string_view bytes);

/// The temporary name used beside `path`: its last character becomes '~'.
std::string TemporaryName(const std::string& path);

/// Size of a regular file, or nothing.
std::optional<uint64_t> FileSize(const std::string& path);

/// The file that an entry line of a list ("data.ms", a playlist) names. The
/// line's bytes are the path as they stand: a Linux file name need not be
/// UTF-8, and such a name survives a round trip byte for byte. A relative
/// line names a file in `folder` (when `folder` is given). Only when those
/// bytes name no file and are not UTF-8 is the line taken as text of an
/// older version in `legacyCodePage`, and that file used when it exists.
std::string PathFromLine(std::string_view line, std::string_view folder, unsigned legacyCodePage);

/// Lower-case ASCII copy.
std::string AsciiLower(std::string_view text);

} // namespace lyb::libfile
