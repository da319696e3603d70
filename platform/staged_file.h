// A file written block by block to a removable volume that appears under its
// name only when it is complete: a FileReplacement whose temporary file is
// "." + name + ".part" beside the final name. Until Commit, a file already at
// the final name stays untouched; a failed or cancelled write never leaves a
// torn file there. A write that fails because the volume went away is told
// apart from other write failures.
#pragma once

#include "platform/atomic_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lyb {

class StagedFile {
public:
    /// Result of Write when the volume holding the file is gone (unplugged,
    /// or the file was removed from under the writer).
    static constexpr long kVolumeGone = -101;

    StagedFile() = default; ///< an uncommitted file is discarded when destroyed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    /// Creates the temporary file for `finalPath` exclusively. False on
    /// failure (LastError() tells why).
    bool Create(const std::string& finalPath);
    /// Writes all `count` bytes: `count` when done, -1 on a write failure
    /// (a full volume among them), kVolumeGone when the volume is gone.
    long Write(const void* data, std::size_t count);
    /// Flushes the written bytes to the device. False on failure.
    bool Flush();
    /// Closes the file and renames it to the final name. False on failure;
    /// then the temporary file is removed.
    bool Commit();
    /// Closes the file and removes it. True when it was removed.
    bool Discard();

    bool IsOpen() const { return m_file.Fd() >= 0; }
    /// The open file's descriptor (-1 when none).
    int Handle() const { return m_file.Fd(); }
    const std::string& FinalPath() const { return m_file.Target(); }
    const std::string& TempPath() const { return m_file.TempPath(); }
    /// errno of the last failure.
    int LastError() const { return m_error; }

    /// The temporary name used for `finalPath`: "." + name + ".part" beside it.
    static std::string TempPathFor(const std::string& finalPath);

private:
    FileReplacement m_file;
    int m_error = 0;
};

} // namespace lyb
