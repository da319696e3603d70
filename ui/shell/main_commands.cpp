#include "ui/shell/main_commands.h"

#include "app/localize.h"
#include "ui/shell/shell_texts.h"

namespace lyb {

namespace {

using Kind = MenuNode::Kind;

MenuNode Popup(std::string_view text, std::vector<MenuNode> items) {
    MenuNode n;
    n.kind = Kind::Popup;
    n.text = text;
    n.items = std::move(items);
    return n;
}

MenuNode Item(std::string_view text, std::string_view shortcut, int command, int promptId, std::string_view prompt) {
    MenuNode n;
    n.kind = Kind::Item;
    n.text = text;
    n.shortcut = shortcut;
    n.command = command;
    n.promptId = promptId;
    n.prompt = prompt;
    return n;
}

MenuNode Separator() {
    return MenuNode{};
}

std::vector<MenuNode> BuildMainMenu() {
    std::vector<MenuNode> menu;
    menu.push_back(Popup(
        "&File",
        {Item("Transfer Music to Mobile Device", "Ctrl+T", kIdTransfer, 420,
              "Transfer music from Music Studio to Mobile Device"),
         Item("&Search", "Ctrl+F", kIdSearch, 421, "Search for tracks on hard disk"), Separator(),
         Item("Music Studio", "Ctrl+1", kIdPageMusicStudio, 422, "Music Studio page"),
         Item("CD Player", "Ctrl+2", kIdPageCdPlayer, 423, "CD Player page"),
         Item("Club Orvik", "Ctrl+3", kIdPageClubOrvik, 424, "Club Orvik page"), Separator(),
         Item("E&xit", "Alt+X", kIdExit, 425, "Quit the application; prompts to save documents")}));
    menu.push_back(Popup("&Play", {Item("Play Music in Studio", "", kIdPlayStudio, 426, "Play music in Studio"),
                                   Item("Stop Playing Music in Studio", "", kIdStopStudio, 427,
                                        "Stop playing music in Studio"),
                                   Item("Play CD", "", kIdPlayCd, 428, "Play CD audio track(s)"),
                                   Item("Stop Playing CD", "", kIdStopCd, 429, "Stop playing CD audio track(s)"),
                                   Item("Eject CD", "", kIdEjectCd, 430, "Eject CD")}));
    menu.push_back(Popup(
        "&Edit",
        {Item("Track or Playlist", "Ctrl+E", kIdEditItem, 431, "Edit selected track or playlist in Music Studio"),
         Item("Create New Playlist", "Ctrl+N", kIdCreatePlaylist, 432, "Create new Playlist"), Separator(),
         Popup("Studio Contents",
               {Item("Select All Music in Studio", "Ctrl+A", kIdSelectAll, 433, "Select all music in Studio"),
                Item("Unselect All Music in Studio", "Ctrl+U", kIdUnselectAll, 434, "Unselect all music in Studio"),
                Item("Remove Selected Music from Studio", "Del", kIdRemoveSelected, 435,
                     "Remove selected music from Studio"),
                Item("Remove All Music from Studio", "Ctrl+Del", kIdRemoveAll, 436, "Remove all music from Studio")}),
         Popup("Mobile Device",
               {Item("Select All Music in Mobile Device", "", kIdDeviceSelectAll, 437,
                     "Select all music in Mobile Device"),
                Item("Unselect All Music in Mobile Device", "", kIdDeviceUnselectAll, 438,
                     "Unselect all music in Mobile Device"),
                Item("Delete Selected Music from Mobile Device", "", kIdDeviceDeleteSelected, 439,
                     "Delete selected music from Mobile Device"),
                Item("Delete All Music from Mobile Device", "", kIdDeviceDeleteAll, 440,
                     "Delete all music from Mobile Device")})}));
    menu.push_back(Popup("&Options", {Item("Single Play", "Alt+1", kIdSinglePlay, 441, "Switch to single playback mode"),
                                      Item("Continuous Play", "Alt+2", kIdContinuousPlay, 442,
                                           "Switch to continuous playback mode"),
                                      Item("Random Play", "Alt+3", kIdRandomPlay, 443, "Switch to random playback mode"),
                                      Separator(),
                                      Item("Skins", "Ctrl+B", kIdSkins, 444, "Browse for Small Player skins"),
                                      Separator(),
                                      Item("Preferences", "Ctrl+P", kIdPreferences, 445, "Program preferences")}));
    menu.push_back(Popup("&Help", {Item("&Help Topics", "", kIdHelpTopics, 446, "Opens Help"), Separator(),
                                   Item("&About Lyrabox 3.0...", "", kIdAbout, 447,
                                        "Displays information About Lyrabox")}));
    return menu;
}

void CollectCommands(const std::vector<MenuNode>& nodes, std::vector<const MenuNode*>& out) {
    for (const MenuNode& n : nodes) {
        if (n.kind == Kind::Item)
            out.push_back(&n);
        else if (n.kind == Kind::Popup)
            CollectCommands(n.items, out);
    }
}

// Finds `command` in a depth-first walk that counts every item as the
// localiser does; the position goes to `counter`.
bool FindPosition(const std::vector<MenuNode>& nodes, int command, int& counter) {
    for (const MenuNode& n : nodes) {
        if (n.kind == Kind::Item && n.command == command)
            return true;
        ++counter;
        if (n.kind == Kind::Popup && FindPosition(n.items, command, counter))
            return true;
    }
    return false;
}

} // namespace

std::string MenuNode::MenuText() const {
    std::string t(text);
    if (!shortcut.empty()) {
        t += '\t';
        t += shortcut;
    }
    return t;
}

const std::vector<MenuNode>& MainMenu() {
    static const std::vector<MenuNode> menu = BuildMainMenu();
    return menu;
}

std::vector<const MenuNode*> MenuCommands() {
    std::vector<const MenuNode*> out;
    CollectCommands(MainMenu(), out);
    return out;
}

const MenuNode* FindMenuCommand(int command) {
    for (const MenuNode* n : MenuCommands())
        if (n->command == command)
            return n;
    return nullptr;
}

std::string CommandText(int command, const CLocalize& localize) {
    const MenuNode* n = FindMenuCommand(command);
    if (!n)
        return {};
    int position = 0;
    FindPosition(MainMenu(), command, position);
    const int id = position < static_cast<int>(CLocalize::kMenuTextIds.size()) ? CLocalize::kMenuTextIds[position] : 0;
    std::string text = id ? localize.Get(id, n->MenuText()) : n->MenuText();
    text = text.substr(0, text.find('\t'));
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i; // "&&" is one "&"
        plain += text[i];
    }
    return plain;
}

std::string CommandPrompt(int command, const CLocalize& localize) {
    if (const MenuNode* n = FindMenuCommand(command))
        return localize.Get(n->promptId, n->prompt);
    switch (command) {
    case kIdSmallPlayer:
        return Tr(localize, texts::kSmallPlayerPrompt);
    case kIdNextPage:
        return Tr(localize, texts::kNextPagePrompt);
    case kIdPreviousPage:
        return Tr(localize, texts::kPreviousPagePrompt);
    default:
        return {};
    }
}

const std::vector<Accelerator>& AcceleratorTable() {
    static const std::vector<Accelerator> table = {
        {"Ctrl+1", kIdPageMusicStudio},
        {"Ctrl+2", kIdPageCdPlayer},
        {"Ctrl+3", kIdPageClubOrvik},
        {"Alt+1", kIdSinglePlay},
        {"Alt+2", kIdContinuousPlay},
        {"Alt+3", kIdRandomPlay},
        {"Ctrl+A", kIdSelectAll},
        {"Ctrl+U", kIdUnselectAll},
        {"Ctrl+B", kIdSkins},
        {"Ctrl+E", kIdEditItem},
        {"Ctrl+F", kIdSearch},
        {"Ctrl+N", kIdCreatePlaylist},
        {"Ctrl+P", kIdPreferences},
        {"Ctrl+T", kIdTransfer},
        {"Ctrl+Del", kIdRemoveAll},
        {"Ctrl+Space", kIdSmallPlayer},
        {"Ctrl+Tab", kIdNextPage},
        {"Ctrl+F6", kIdNextPage},
        {"Ctrl+Shift+Tab", kIdPreviousPage},
        {"Ctrl+Shift+F6", kIdPreviousPage},
        {"Ctrl+F4", kIdExit},
        {"Ctrl+Shift+F4", kIdExit},
        {"Alt+X", kIdExit},
        {"F1", kIdHelp},
        {"Shift+F1", kIdContextHelp},
        {"Ctrl+O", kIdFileOpen},
    };
    return table;
}

int AcceleratorCommand(std::string_view keys) {
    for (const Accelerator& a : AcceleratorTable())
        if (a.keys == keys)
            return a.command;
    return 0;
}

PageCode NextPage(int current) {
    switch (current) {
    case kPageMusicStudio:
        return kPageCdPlayer;
    case kPageCdPlayer:
        return kPageClubOrvik;
    case kPageClubOrvik:
        return kPageMusicStudio;
    default:
        return kPageNone;
    }
}

PageCode PreviousPage(int current) {
    switch (current) {
    case kPageMusicStudio:
        return kPageClubOrvik;
    case kPageCdPlayer:
        return kPageMusicStudio;
    case kPageClubOrvik:
        return kPageCdPlayer;
    default:
        return kPageNone;
    }
}

PageCode PageOfCommand(int command) {
    switch (command) {
    case kIdPageMusicStudio:
        return kPageMusicStudio;
    case kIdPageCdPlayer:
        return kPageCdPlayer;
    case kIdPageClubOrvik:
        return kPageClubOrvik;
    default:
        return kPageNone;
    }
}

int TemplateIndexOfPage(int page) {
    switch (page) {
    case kPageCdPlayer:
        return 0;
    case kPageClubOrvik:
        return 1;
    case kPageMusicStudio:
        return 2;
    default:
        return -1;
    }
}

PageCode PageOfTemplateIndex(int index) {
    switch (index) {
    case 0:
        return kPageCdPlayer;
    case 1:
        return kPageClubOrvik;
    case 2:
        return kPageMusicStudio;
    default:
        return kPageNone;
    }
}

const std::array<StripButtonLayout, 3>& StripButtons() {
    // Each caption lies under its image, 5 pixels below it.
    static const std::array<StripButtonLayout, 3> buttons{{
        {kPageMusicStudio, {0, 15, 100, 65}, {5, 70, 95, 110}, 153, "Music Studio"},
        {kPageCdPlayer, {0, 128, 100, 178}, {5, 183, 95, 223}, 154, "CD Player"},
        {kPageClubOrvik, {0, 241, 100, 291}, {5, 296, 95, 336}, 155, "Club Orvik"},
    }};
    return buttons;
}

int StripButtonAt(int x, int y) {
    const auto& buttons = StripButtons();
    for (size_t i = 0; i < buttons.size(); ++i) {
        const StripButtonLayout& b = buttons[i];
        if (b.image.Contains(x, y) || StripRect{0, b.caption.top, kStripWidth, b.caption.bottom}.Contains(x, y))
            return static_cast<int>(i);
    }
    return -1;
}

bool PageStripState::Select(PageCode page) {
    bool changed = false;
    const auto& buttons = StripButtons();
    for (size_t i = 0; i < buttons.size(); ++i) {
        const bool on = buttons[i].page == page;
        const int img = on ? kSelected : kNormal;
        const int sec = on ? -1 : 0;
        changed = changed || image[i] != img || second[i] != sec;
        image[i] = img;
        second[i] = sec;
    }
    return changed;
}

PageCode PageStripState::Selected() const {
    const auto& buttons = StripButtons();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (image[i] == kSelected)
            return buttons[i].page;
    return kPageNone;
}

unsigned PageHelpContext(int page) {
    switch (page) {
    case kPageMusicStudio:
        return kHelpMusicStudio;
    case kPageCdPlayer:
        return kHelpCdPlayer;
    case kPageClubOrvik:
        return kHelpClubOrvik;
    default:
        return kHelpMainWindow;
    }
}

HelpRequest ResolveHelp(std::optional<unsigned> frameworkContext, const HelpTarget& target) {
    HelpRequest request;
    if (frameworkContext)
        request.context = *frameworkContext;
    else
        request.defaultTopic = true;
    switch (target.kind) {
    case HelpTarget::Kind::MainWindow:
        return HelpRequest{false, kHelpMainWindow};
    case HelpTarget::Kind::PageStrip:
        for (size_t i = 0; i < kStripHelpRegions.size(); ++i)
            if (kStripHelpRegions[i].Contains(target.x, target.y))
                return HelpRequest{false, kStripHelpContexts[i]};
        // Below the third region (or beside the strip): the default topic.
        return HelpRequest{true, 0};
    case HelpTarget::Kind::Other:
    case HelpTarget::Kind::Elsewhere:
        break;
    }
    return request;
}

std::string Tr(const CLocalize& localize, UiText text) {
    return localize.Get(text.id, text.english);
}

} // namespace lyb
