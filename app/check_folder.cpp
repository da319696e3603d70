#include "app/check_folder.h"

#include "app/localize.h"
#include "platform/prompt.h"
#include "platform/volumes.h"

#include <filesystem>
#include <system_error>

namespace lyb {

int CheckFolder(const std::string& path, Prompt& prompt, const CLocalize* loc) {
    if (path.size() < 2)
        return -1;
    switch (VolumeTypeOf(path)) {
    case VolumeType::Fixed:
    case VolumeType::Removable:
    case VolumeType::Remote: break;
    default: return -1;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return 0;

    auto text = [&](int id, const char* english) { return loc ? loc->Get(id, english) : std::string(english); };
    const std::string question = text(352, "The specified directory") + " " + path + " " +
                                 text(353, "doesn't exit") + "!\n" + text(354, "Do you want to create it?");
    if (prompt.Ask(question, text(271, "Lyrabox 3.0"), PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return -1;

    // Every prefix up to a '/' and the whole path, created when missing.
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        const std::string prefix = path.substr(0, pos);
        if (std::filesystem::is_directory(prefix, ec))
            continue;
        if (!std::filesystem::create_directory(prefix, ec) || ec)
            return -2;
    }
    return 0;
}

} // namespace lyb
