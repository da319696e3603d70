// The main window's commands without widgets: their numbers, the main menu
// as a table (texts, shortcuts shown, prompts), the keyboard accelerators,
// the page codes with their cycling order, the page strip's layout and
// state, and the rules that pick a help context.
//
// The widget layer (CMainFrame, CPageStrip) builds its menu and strip from
// these tables; tests check them headless.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

class CLocalize;

/// Command numbers of the main window.
enum MainCommand : int {
    kIdTransfer = 32774,
    kIdSearch = 57613,
    kIdPageMusicStudio = 32771,
    kIdPageCdPlayer = 32772,
    kIdPageClubOrvik = 32773,
    kIdExit = 57665,
    kIdPlayStudio = 32791,
    kIdStopStudio = 32792,
    kIdPlayCd = 32800,
    kIdStopCd = 32801,
    kIdEjectCd = 32802,
    kIdEditItem = 32776,
    kIdCreatePlaylist = 32783,
    kIdSelectAll = 32787,
    kIdUnselectAll = 32778,
    kIdRemoveSelected = 32780,
    kIdRemoveAll = 32782,
    kIdDeviceSelectAll = 32784,
    kIdDeviceUnselectAll = 32786,
    kIdDeviceDeleteSelected = 32789,
    kIdDeviceDeleteAll = 32790,
    kIdSinglePlay = 32793,
    kIdContinuousPlay = 32794,
    kIdRandomPlay = 32795,
    kIdSkins = 32797,
    kIdPreferences = 32804,
    kIdHelpTopics = 57667,
    kIdAbout = 57664,
    // Reached by keys only.
    kIdSmallPlayer = 32796,
    kIdNextPage = 32807,
    kIdPreviousPage = 32808,
    kIdHelp = 57670,
    kIdContextHelp = 57669,
    kIdFileOpen = 57601,
};

/// One entry of the main menu: a pop-up with its items, a command item or a
/// separator. The text shown is `text`, a tab and `shortcut` when there is one.
struct MenuNode {
    enum class Kind { Popup, Item, Separator };
    Kind kind = Kind::Separator;
    std::string_view text;
    std::string_view shortcut;
    int command = 0;
    int promptId = 0; ///< localiser number of the status-bar prompt (0: none)
    std::string_view prompt;
    std::vector<MenuNode> items; ///< a pop-up's items

    /// The menu text as it stands in the program (and in a language file).
    std::string MenuText() const;
};

/// The main menu, the same for all three pages, in order.
const std::vector<MenuNode>& MainMenu();

/// Every command item of the main menu, depth first.
std::vector<const MenuNode*> MenuCommands();

/// The command item with this number, or null.
const MenuNode* FindMenuCommand(int command);

/// A menu command's text in the interface language, without its keys and
/// without the "&" marks ("" for a command the menu has not).
std::string CommandText(int command, const CLocalize& localize);

/// The status-bar prompt of a command (localised), or "" when it has none.
std::string CommandPrompt(int command, const CLocalize& localize);

/// One key of the accelerator table, in the toolkit's portable key text
/// ("Ctrl+Shift+Tab").
struct Accelerator {
    std::string_view keys;
    int command = 0;
};

/// All of the main window's accelerator table.
const std::vector<Accelerator>& AcceleratorTable();

/// The command of a key, or 0 when the table has none for it.
int AcceleratorCommand(std::string_view keys);

// --- Pages -------------------------------------------------------------------

/// Page codes held by the application object.
enum PageCode : int { kPageNone = 0, kPageMusicStudio = 1, kPageCdPlayer = 2, kPageClubOrvik = 3 };

/// The page a next-page (32807) or previous-page (32808) command shows from
/// `current`; kPageNone for any other code.
PageCode NextPage(int current);
PageCode PreviousPage(int current);

/// The page a page command (32771..32773) shows, kPageNone for other commands.
PageCode PageOfCommand(int command);

/// Template index (registration order: CD Player, Club Orvik, Music Studio)
/// of a page code and back; -1 / kPageNone when out of range.
int TemplateIndexOfPage(int page);
PageCode PageOfTemplateIndex(int index);

// --- The page strip ----------------------------------------------------------------

struct StripRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

/// The strip window's client size and the button images' size.
inline constexpr int kStripWidth = 100;
inline constexpr int kStripHeight = 339;
inline constexpr int kStripImageWidth = 100;
inline constexpr int kStripImageHeight = 50;

/// The strip's three buttons, top to bottom: Music Studio, CD Player, Club Orvik.
struct StripButtonLayout {
    PageCode page;
    StripRect image;   ///< where the button image is drawn
    StripRect caption; ///< the caption, centred with word wrap
    int textId;        ///< localiser number of the caption
    std::string_view english;
};
const std::array<StripButtonLayout, 3>& StripButtons();

/// The strip's button under a point (its image or caption), or -1.
int StripButtonAt(int x, int y);

/// Page strip state: per button an image state (2 selected, 0 normal) and a
/// second value (-1 for the selected button, 0 for the others).
struct PageStripState {
    static constexpr int kSelected = 2;
    static constexpr int kNormal = 0;
    std::array<int, 3> image{kNormal, kNormal, kNormal};
    std::array<int, 3> second{0, 0, 0};

    /// Selects the button of `page`, the others become normal. Returns true
    /// when anything changed (the strip is to be redrawn).
    bool Select(PageCode page);
    /// The page whose button is selected, kPageNone when none is.
    PageCode Selected() const;
};

// --- Help ------------------------------------------------------------------------------

/// Help context numbers of the program.
enum HelpContext : unsigned {
    kHelpMainWindow = 0x2008F,
    kHelpMusicStudio = 0x20081,
    kHelpCdPlayer = 0x20069,
    kHelpClubOrvik = 0x20068,
    kHelpPreferences = 0x200BA,
    kHelpAbout = 0x20064,
    kHelpEditItem = 0x200C8,
    kHelpSearch = 0x200C9,
    kHelpTransfer = 0x200CA,
    kHelpSkins = 0x200CB,
    kHelpSmallPlayer = 0x200CC,
};

/// The strip's help regions, top to bottom.
inline constexpr std::array<StripRect, 3> kStripHelpRegions{
    StripRect{0, 0, 100, 112}, StripRect{0, 113, 100, 223}, StripRect{0, 224, 100, 335}};
inline constexpr std::array<unsigned, 3> kStripHelpContexts{kHelpMusicStudio, kHelpCdPlayer, kHelpClubOrvik};

/// The help context of a page's view (what the framework asks for over a page).
unsigned PageHelpContext(int page);

/// What lies under the pointer when help is asked for.
struct HelpTarget {
    enum class Kind {
        Elsewhere,  ///< not over a window of the main window
        MainWindow, ///< the main window or a window whose parent it is
        PageStrip,  ///< the page strip; `x`, `y` in its client coordinates
        Other,      ///< any other window (a page's controls, a dialog)
    };
    Kind kind = Kind::Elsewhere;
    int x = 0, y = 0;
};

/// A request to the help viewer: a context (table of contents, then that
/// topic) or the file's default topic.
struct HelpRequest {
    bool defaultTopic = false;
    unsigned context = 0;
    bool operator==(const HelpRequest&) const = default;
};

/// The help request for `frameworkContext` (what the framework asks for;
/// nullopt: the default topic) when the pointer is over `target`.
HelpRequest ResolveHelp(std::optional<unsigned> frameworkContext, const HelpTarget& target);

} // namespace lyb
