// File and folder operations of the installer and the uninstaller, close
// to the system: they never follow a symbolic link they are asked to
// delete, never remove a folder that is not empty, and answer the system's
// error number (0 for success) so callers can tell "in use or protected"
// from other failures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lyb {

enum class EntryKind { Missing, File, Folder, Link, Other };

/// What the path names itself (a link is a Link, whatever it points to).
EntryKind KindOf(const std::string& path);
/// True for a regular file with an execute permission bit set.
bool IsExecutableFile(const std::string& path);

/// Deletes a file or a link (never a folder: EISDIR). 0 or errno.
int DeleteFileEntry(const std::string& path);
/// Removes an empty folder (not a link to one: ENOTDIR). 0 or errno.
int RemoveEmptyFolder(const std::string& path);
/// Creates one folder (0755 before the umask). 0 or errno; EEXIST when it exists.
int MakeFolder(const std::string& path);
/// Names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& path);

/// Creates the file `name` in `folder` exclusively and deletes it again: 0
/// when the folder takes new files, else errno. A file of that name that
/// exists already is left alone (another name is tried beside it).
int ProbeWritable(const std::string& folder, const std::string& name);

/// True for the errors that mean "access denied": the target is in use or
/// protected (EACCES, EPERM, ETXTBSY, EBUSY).
bool IsAccessDenied(int error);
/// The system's text of an error number.
std::string ErrorText(int error);

/// True when the process runs with the administrator's rights (root).
bool RunsAsAdministrator();
/// The calling process's id.
long CurrentProcessId();
/// True while the process `pid` exists.
bool ProcessAlive(long pid);

} // namespace lyb
