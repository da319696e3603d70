// The program's command line: an optional file argument and switches.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"

namespace lyb {

enum class ShellCommand { FileNew, FileOpen, Nothing };

struct CommandLineInfo {
    ShellCommand command = ShellCommand::FileNew;
    std::string fileName;    ///< the first argument that is not a switch
    bool showSplash = true;  ///< off with /nologo (and the automation switches)
    bool playSwitch = false; ///< "/play" (as written by the association command)
};

/// Switches are the known words after '/' or '-' (play, nologo, p, pt, dde,
/// embedding, automation; any letter case). Everything else is a file
/// argument, so POSIX paths such as "/dev/sr0" are never taken for switches.
/// Only the first file argument counts.
CommandLineInfo ParseCommandLine(const std::vector<std::string>& args);

/// The number formed by the decimal digits of `name` in order (at most the
/// first 10), minus one; -1 when there are none. Saturates at INT32_MAX - 1.
int TrackIndexFromName(std::string_view name);

/// A CD request found in a file argument.
struct CdRequest {
    bool forCdTrack = false; ///< the started-for-a-CD-track flag
    int drive = -1;          ///< index in the CD drive list, -1 when none matched
    int track = -1;          ///< zero-based track, -1 for the drive itself
};

/// `isCdDrive(root)` says whether a drive root is a CD drive; `drives` is the
/// CD drive list's drive names. "/dev/sr0/Track05.cda" asks for track 4 of
/// /dev/sr0; a bare "/dev/sr0" for track -1.
CdRequest ParseCdRequest(const std::string& argument, const std::vector<std::string>& drives,
                         bool (*isCdDrive)(const std::string& root));

/// SplitPath for a CD track's name: a virtual drive of `drives`
/// ("virtual:cd0/Track02.cda") is a drive root like "/dev/sr0".
PathParts SplitCdPath(std::string_view path, const std::vector<std::string>& drives);

} // namespace lyb
