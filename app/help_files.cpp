#include "app/help_files.h"

namespace lyb {

std::string HelpFolder(const std::string& installFolder, bool localised) {
    return installFolder + (localised ? "/help/lyb30l" : "/help/lyb30");
}

std::string HelpIndexPath(const std::string& installFolder, bool localised) {
    return HelpFolder(installFolder, localised) + "/index.html";
}

} // namespace lyb
