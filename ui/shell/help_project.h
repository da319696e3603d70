// The help file's project: its title, default topic, table of contents and
// the map from context numbers to topics.
//
// A help file ("lyb30.chm", "lyb30l.chm") is a compiled bundle of HTML pages
// with one project file, "lyb30.hhp", at its root:
//
//   [OPTIONS]
//   Title=Lyrabox 3.0 Help
//   Default topic=welcome.html
//   [CONTENTS]
//   Welcome=welcome.html
//     The page strip=strip.html        (two blanks per level below the first)
//   [MAP]
//   0x2008F=main_window.html
//
// Lines starting with ';' are comments. Topic names are paths inside the
// bundle: relative, without "..", and never empty; anything else is
// dropped, so a page named by the file can never lie outside it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

struct HelpContentsEntry {
    int level = 0; ///< 0 for top-level entries
    std::string title;
    std::string topic; ///< may be empty for a heading without a page
};

struct HelpProject {
    std::string title;
    std::string defaultTopic;
    std::vector<HelpContentsEntry> contents;
    std::map<unsigned, std::string> map;

    /// The topic of a context number, or "" when the map has none.
    std::string TopicOf(unsigned context) const;
};

/// Parses a project file (UTF-8, LF or CR LF). Never fails: what it cannot
/// read is left out.
HelpProject ParseHelpProject(std::string_view text);

/// True for a topic path that stays inside the bundle.
bool IsSafeTopicPath(std::string_view path);

/// The project file's name at the bundle's root.
inline constexpr const char* kHelpProjectName = "lyb30.hhp";

} // namespace lyb
