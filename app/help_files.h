// Where the program's help lies. Each help is one compiled file of HTML
// pages (see ui/shell/help_project.h) in the installation folder:
// "lyb30.chm" the English help, "lyb30l.chm" the localised one, which the
// installer copies there from the chosen language (its presence lets the
// interface language be used at all).
#pragma once

#include <string>

namespace lyb {

/// The English (or localised) help file in `installFolder`.
std::string HelpFilePath(const std::string& installFolder, bool localised);

} // namespace lyb
