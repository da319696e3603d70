// "setup.ctl": the installer's file list.
//
// Lines end with CR; tabs, line feeds and blanks before a line are skipped.
//   ^^^^<decimal>   the total number of bytes to install
//   !<path>         create this folder below the destination
//   +<path>         the folder below the destination the next files go to
//                   ("+" alone: the destination itself)
//   <path>          a file of the distribution, copied under its own name
// Paths are relative and use backslashes (slashes are taken too).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

/// The longest line the list may hold.
inline constexpr std::size_t kSetupCtlLineMax = 4096;

struct SetupCtlEntry {
    enum class Kind { Folder, SubFolder, File };
    Kind kind = Kind::File;
    std::string path; ///< relative, with '/' between the parts (empty: the destination)
    bool operator==(const SetupCtlEntry&) const = default;
};

struct SetupCtl {
    std::uint64_t totalBytes = 0;
    std::vector<SetupCtlEntry> entries;
};

/// Parses the list. False, with `error` telling the line and why, when a
/// line is longer than the limit or names a path that would leave its
/// folder (absolute, a drive, or a "." or ".." part): such a list is refused
/// whole, never installed in part.
bool ParseSetupCtl(std::string_view text, SetupCtl& out, std::string& error);

/// The file name of an entry: the part after the last separator.
std::string EntryFileName(std::string_view path);

} // namespace lyb
