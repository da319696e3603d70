#include "player/skin_browser_state.h"

#include "platform/path.h"
#include "platform/trace.h"

#include <algorithm>
#include <filesystem>

namespace lyb {

namespace fs = std::filesystem;

namespace {

bool IsFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

} // namespace

std::string SkinBrowserState::Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

void SkinBrowserState::SetFolder(const std::string& folder) {
    m_folder = folder;
    m_skins.clear();
    m_chosen.clear();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code fileEc;
        if (EndsWithIgnoringCase(name, ".nms") && it->is_regular_file(fileEc))
            m_skins.push_back(name);
    }
    std::sort(m_skins.begin(), m_skins.end());
}

bool SkinBrowserState::Choose(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_skins.size())
        return false;
    const std::string path = Join(m_folder, m_skins[static_cast<size_t>(index)]);
    SkinFile s = ReadSkinFile(path);
    if (!s.ok) {
        if (!s.failedCheck.empty())
            Trace(s.failedCheck);
        return false;
    }
    m_chosen = path;
    m_preview = std::move(s);
    return true;
}

std::string ResolveSkinPath(const std::string& currentSkin, const std::string& skinFolder,
                            const std::string& programFolder) {
    if (currentSkin.empty())
        return {};
    if (currentSkin.front() == '/')
        return IsFile(currentSkin) ? currentSkin : std::string();
    for (const std::string& folder : {skinFolder, SkinBrowserState::Join(programFolder, "Skins")}) {
        if (folder.empty())
            continue;
        const std::string p = SkinBrowserState::Join(folder, currentSkin);
        if (IsFile(p))
            return p;
    }
    return {};
}

} // namespace lyb
