// Where the program's help lies. On Linux the help is HTML: the pages of one
// help are a folder below the installation folder, opened at "index.html".
// "lyb30" holds the English help; "lyb30l" the localised one, which the
// installer copies there from the chosen language (its presence lets the
// interface language be used at all).
#pragma once

#include <string>

namespace lyb {

/// The folder of the English (or localised) help below `installFolder`.
std::string HelpFolder(const std::string& installFolder, bool localised);
/// The page a help opens at: HelpFolder + "/index.html".
std::string HelpIndexPath(const std::string& installFolder, bool localised);

} // namespace lyb
