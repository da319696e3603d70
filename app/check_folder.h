// Whether a folder may hold the music or playlists, creating it on request.
#pragma once

#include <string>

namespace lyb {

class CLocalize;
class Prompt;

/// 0 usable, -1 invalid or declined, -2 could not be created.
///
/// The folder must be an absolute path on a fixed, removable or remote
/// volume (never a CD or a kernel pseudo file system). An existing folder is
/// usable at once; a missing one is created, folder by folder, after the
/// user agreed (texts 352, 353, 354). A path naming an existing file cannot
/// be created (-2).
int CheckFolder(const std::string& path, Prompt& prompt, const CLocalize* loc);

} // namespace lyb
