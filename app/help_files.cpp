#include "app/help_files.h"

namespace lyb {

std::string HelpFilePath(const std::string& installFolder, bool localised) {
    return installFolder + (localised ? "/lyb30l.chm" : "/lyb30.chm");
}

} // namespace lyb
