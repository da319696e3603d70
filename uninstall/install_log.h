// The installation log "Lyrabox 3.0.uns" that the installer writes and the
// uninstaller reads, and the names both use.
//
// Plain text, one entry per line, lines ended by CR LF. A line that starts
// with "!" (or "+") names a folder, any other line a file; all paths are
// full paths. Reading skips tabs, line feeds and blanks before an entry and
// takes the characters up to the next CR; an empty line or the end of the
// file ends the list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

inline constexpr const char* kInstallLogName = "Lyrabox 3.0.uns";
inline constexpr std::string_view kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lyrabox 3.0";
inline constexpr const char* kUninstallerName = "uninstall";
inline constexpr const char* kUninstallTextsName = "uninstall.dat";
inline constexpr const char* kProgramName = "lyb30";
/// The help shortcut's viewer of compiled help files.
inline constexpr const char* kHelpViewerName = "lyb30-help";
/// The value "chs" the installer writes last (hexadecimal 20003).
inline constexpr unsigned kChsValue = 131075;

/// A path entry longer than this is not a path of ours: it is skipped, never cut.
inline constexpr std::size_t kMaxLogEntry = 4096;

struct LogEntry {
    bool folder = false;
    std::string path;
    bool operator==(const LogEntry&) const = default;
};

/// The entries of a log's text, in file order.
std::vector<LogEntry> ParseInstallLog(std::string_view text);

/// The line of an entry, CR LF included.
std::string FormatLogEntry(const LogEntry& entry);

/// True when `path` is a full path with no "." or ".." part and no empty
/// part: the only entries the uninstaller acts on.
bool IsPlainFullPath(std::string_view path);

/// True when `path` lies inside `folder` (both plain full paths; `folder`
/// itself does not count).
bool IsInsideFolder(std::string_view path, std::string_view folder);

/// The log being written: each line reaches the file at once, so a failed
/// installation leaves a log of what it did.
class InstallLogWriter {
public:
    InstallLogWriter() = default;
    ~InstallLogWriter();
    InstallLogWriter(const InstallLogWriter&) = delete;
    InstallLogWriter& operator=(const InstallLogWriter&) = delete;

    /// Creates the log afresh (an old log of that name is replaced; a
    /// symbolic link there is not followed). False when it cannot be created.
    bool Create(const std::string& path);
    /// False when the entry cannot be written or cannot be read back as
    /// written (a line end or leading blank in the path).
    bool Add(const LogEntry& entry);
    bool AddFile(const std::string& path) { return Add({false, path}); }
    bool AddFolder(const std::string& path) { return Add({true, path}); }
    /// Writes the closing empty line and closes the file.
    bool Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace lyb
