// The one place where a path is split into drive, folder, name and extension.
//
// A "drive" is what stands before the folder: for a CD drive named by its
// device node it is that node ("/dev/sr0/Track05.cda" -> drive "/dev/sr0",
// folder "/", name "Track05", extension ".cda"; a bare "/dev/sr0" is a drive
// root). Ordinary POSIX paths have no drive part: the folder is everything up
// to and including the last '/'. The extension includes its dot and is empty
// when the name has none (a leading dot, as in ".hidden", is part of the name).
#pragma once

#include <string>
#include <string_view>

namespace lyb {

struct PathParts {
    std::string drive;
    std::string dir;
    std::string name;
    std::string ext;
};

PathParts SplitPath(std::string_view path);

/// Joins the parts again: MakePath(SplitPath(p)) == p for every p.
std::string MakePath(const PathParts& parts);

/// True when `path` ends with `ending`, ASCII letters compared without
/// regard to case ("x.MP3" ends with ".mp3").
bool EndsWithIgnoringCase(std::string_view path, std::string_view ending);

/// True when the path names a device node directly under /dev (a drive root).
bool IsDeviceDrive(std::string_view path);

/// A relative path made absolute against `base` (default: the current
/// folder), so that it names the same file whoever reads it later and from
/// wherever. In the relative part "." and repeated '/' are dropped; ".." is
/// kept (a symbolic link before it decides where it leads). An absolute or
/// empty path is returned as it is.
std::string AbsolutePath(std::string_view path, std::string_view base = {});

} // namespace lyb
