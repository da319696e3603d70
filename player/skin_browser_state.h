// The skin browser without its widgets: the folder, the skins found in it,
// the chosen one with its author, description and picture, and what Select
// stores in the settings.
#pragma once

#include "player/skin_file.h"

#include <string>
#include <vector>

namespace lyb {

class SkinBrowserState {
public:
    /// Lists the folder's "*.nms" files (any letter case), sorted by name.
    /// The choice is cleared; the preview stays as it was.
    void SetFolder(const std::string& folder);
    const std::string& Folder() const { return m_folder; }
    const std::vector<std::string>& Skins() const { return m_skins; }

    /// Reads the `index`-th skin. On success it becomes the chosen skin and
    /// the preview; on failure the check that failed goes to the trace log
    /// and the preview stays (false).
    bool Choose(int index);
    /// The chosen skin's path ("" when none).
    const std::string& Chosen() const { return m_chosen; }
    /// The skin the preview shows (!ok before any was read).
    const SkinFile& Preview() const { return m_preview; }
    /// "Select" is enabled when the folder holds skins.
    bool SelectEnabled() const { return !m_skins.empty(); }

    /// folder + name, with a '/' between unless the folder ends with one.
    static std::string Join(const std::string& folder, const std::string& name);
    /// The search pattern: folder + "*.nms", or folder + "/*.nms".
    static std::string Pattern(const std::string& folder) { return Join(folder, "*.nms"); }

private:
    std::string m_folder;
    std::vector<std::string> m_skins;
    std::string m_chosen;
    SkinFile m_preview;
};

/// The skin file a setting names: a full path as is; a bare name inside the
/// skin folder, else inside `programFolder` + "/Skins". "" when none exists.
std::string ResolveSkinPath(const std::string& currentSkin, const std::string& skinFolder,
                            const std::string& programFolder);

} // namespace lyb
