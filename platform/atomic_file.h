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
    /// `followLinks` false: a link at `path` is itself replaced, never the
    /// file it points to (the installer, whose target names come from its
    /// input, must not write through a link out of its folder).
    bool Begin(const std::string& path, const std::string& preferredTemp = {}, bool followLinks = true);
    int Fd() const { return m_fd; }
    bool Write(std::string_view bytes);
    /// Flushes the data to disk, gives the new file the permissions (and,
    /// for root, the owner) of the file it replaces (0644 for a new one),
    /// renames it over the file and syncs the folder. On failure the file
    /// is untouched and the temporary file removed.
    bool Commit();
    /// Removes the temporary file.
    void Abort();
    /// Gives the new file these permission bits instead of the replaced
    /// file's (the installer's "normal attributes": 0644, 0755).
    void SetMode(unsigned mode) { m_mode = static_cast<int>(mode & 07777); }
    /// The system's error number of the last failure (0 after a success).
    int Error() const { return m_error; }

    /// The file being replaced (links followed) and the temporary file.
    const std::string& Target() const { return m_target; }
    const std::string& TempPath() const { return m_temp; }

  private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    int m_mode = -1;
    bool m_followLinks = true;
    int m_error = 0;
    bool m_failed = false;
};

/// Writes `bytes` through a FileReplacement of `path` (see there for
/// `tempPath`). Returns true on success; on failure `path` is untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const std::string& tempPath = {});

} // namespace lyb

