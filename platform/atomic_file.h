// Replacing a file so that a crash or a full disk never leaves it torn.
//
// The new content goes to a temporary file beside the file, which is then
// renamed over it in one step. The temporary file is always a new file
// (O_EXCL, O_NOFOLLOW): a link or a user's file that happens to carry its
// name is never written through or overwritten. A path that is a symbolic
// link (a dotfile manager's mimeapps.list) is followed: the file it finally
// names is replaced and the link stays.
#pragma once

#include <string>
#include <string_view>

namespace lyb {

/// The file a path finally names: symbolic links are followed, a relative
/// target against its link's folder, also when the last target does not
/// exist yet. The path itself when it is no link; "" when the links loop
/// or nest deeper than 40.
std::string FollowLinks(const std::string& path);

/// Creates a new file for writing, exclusively: never an existing file,
/// never through a link. `preferred` is tried first; when that name is
/// taken, `preferred` + "." + six random letters. Returns the descriptor
/// (close-on-exec, mode 0600) and sets `created`; -1 on failure.
int CreateExclusive(const std::string& preferred, std::string& created);

/// One replacement: Begin, Write (or write to Fd()), Commit. A replacement
/// that is not committed removes its temporary file when destroyed.
class FileReplacement {
  public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    /// Creates the temporary file beside the file `path` finally names:
    /// `preferredTemp` (given for that file) or that file's name + ".tmp." +
    /// the process id, or a random name when that one is taken. False when
    /// it cannot be created.
    bool Begin(const std::string& path, const std::string& preferredTemp = {});
    int Fd() const { return m_fd; }
    bool Write(std::string_view bytes);
    /// Flushes the data to disk, gives the new file the permissions (and,
    /// for root, the owner) of the file it replaces (0644 for a new one),
    /// renames it over the file and syncs the folder. On failure the file
    /// is untouched and the temporary file removed.
    bool Commit();
    /// Removes the temporary file.
    void Abort();

    /// The file being replaced (links followed) and the temporary file.
    const std::string& Target() const { return m_target; }
    const std::string& TempPath() const { return m_temp; }

  private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    bool m_failed = false;
};

/// Writes `bytes` through a FileReplacement of `path` (see there for
/// `tempPath`). Returns true on success; on failure `path` is untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const std::string& tempPath = {});

} // namespace lyb

#include <cstdio>

namespace lyb {

/// A file written in pieces that appears under its name only when complete:
/// the data goes to "<path>.part" (or "<path>.part2", ...: created
/// exclusively, never following a link), and Commit renames it over `path`
/// after flushing it to disk. Until then an existing file at `path` stays
/// as it was; Abort (or the destructor) removes the partial file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter() { Abort(); }
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    /// Creates the partial file; false (errno set) when it cannot.
    bool Create(const std::string& path);
    /// The open stream of the partial file (null before Create).
    std::FILE* Stream() const { return m_file; }
    const std::string& TempPath() const { return m_temp; }
    const std::string& Path() const { return m_path; }
    /// True when a write to the stream has failed so far.
    bool Failed() const;
    /// Flushes, syncs and renames over the path; false (and the partial file
    /// removed) when any step fails, e.g. the disk is full.
    bool Commit();
    /// Closes and removes the partial file; nothing when none is open.
    /// False (errno set) when the partial file could not be removed.
    bool Abort();

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_temp;
};

} // namespace lyb
