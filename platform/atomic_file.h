// Replacing a file so that a crash or a full disk never leaves it torn.
#pragma once

#include <string>
#include <string_view>

namespace lyb {

/// Writes `bytes` to `tempPath` (default: `path` + ".tmp." + the process id),
/// flushes it to disk, gives it the permissions of the file it replaces and
/// renames it over `path` in one step, then syncs the folder. On any failure
/// `path` is untouched and the temporary file removed. Returns true on success.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const std::string& tempPath = {});

} // namespace lyb
