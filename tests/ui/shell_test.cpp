// The shell's tables and rules without widgets: the menu against the
// localiser's numbering, the accelerators, the page cycle, the strip, the
// help rules, the help project file and the browser history.
#include "app/localize.h"
#include "platform/text.h"
#include "ui/shell/browser_history.h"
#include "ui/shell/help_project.h"
#include "ui/shell/main_commands.h"
#include "ui/shell/shell_texts.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace lyb;

namespace {

// The main menu as a plain tree the localiser walks.
class TableMenu final : public LocalizableMenu {
public:
    explicit TableMenu(const std::vector<MenuNode>& nodes) {
        for (const MenuNode& n : nodes) {
            items.push_back({n.kind == MenuNode::Kind::Separator, n.MenuText(), nullptr});
            if (n.kind == MenuNode::Kind::Popup)
                items.back().sub = std::make_unique<TableMenu>(n.items);
        }
    }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    bool IsTextItem(int i) const override { return !items[static_cast<size_t>(i)].separator; }
    std::string ItemText(int i) const override { return items[static_cast<size_t>(i)].text; }
    void SetItemText(int i, const std::string& t) override { items[static_cast<size_t>(i)].text = t; }
    LocalizableMenu* SubMenu(int i) override { return items[static_cast<size_t>(i)].sub.get(); }

    struct Item {
        bool separator;
        std::string text;
        std::unique_ptr<TableMenu> sub;
    };
    std::vector<Item> items;
};

std::string Utf16Lines(const std::vector<std::pair<int, std::string>>& lines) {
    std::string bytes;
    for (const auto& [id, text] : lines) {
        for (char16_t u : Utf8ToUtf16(std::to_string(id) + "=" + text + "\r\n")) {
            bytes.push_back(static_cast<char>(u & 0xFF));
            bytes.push_back(static_cast<char>(u >> 8));
        }
    }
    return bytes;
}

} // namespace

TEST(MainMenu, TheLocaliserNumbersEveryItemOfTheMenuAsTheLanguageFileDoes) {
    // A table whose every menu slot names itself.
    std::vector<std::pair<int, std::string>> lines;
    for (int id = 1; id <= 38; ++id)
        lines.emplace_back(id, "T" + std::to_string(id));
    CLocalize loc;
    loc.LoadFromBytes(Utf16Lines(lines));
    TableMenu menu(MainMenu());
    EXPECT_EQ(loc.LocalizeMenu(menu, 0), 41);
    auto text = [&](std::vector<int> path) {
        TableMenu* m = &menu;
        for (size_t i = 0; i + 1 < path.size(); ++i)
            m = m->items[static_cast<size_t>(path[i])].sub.get();
        return m->items[static_cast<size_t>(path.back())].text;
    };
    EXPECT_EQ(text({0}), "T1");         // File
    EXPECT_EQ(text({0, 0}), "T2");      // Transfer
    EXPECT_EQ(text({0, 1}), "T3");      // Search
    EXPECT_EQ(text({0, 4}), "T5");      // CD Player
    // Slot 6 always names the maker's site, with the page's shortcut.
    EXPECT_EQ(text({0, 5}), std::string(CLocalize::kSiteAddress) + "\tCtrl+3");
    EXPECT_EQ(text({0, 7}), "T7");      // Exit
    EXPECT_EQ(text({1, 4}), "T13");     // Eject CD
    EXPECT_EQ(text({2, 3}), "T19");     // Studio Contents
    EXPECT_EQ(text({2, 3, 2}), "T22");  // Remove Selected
    EXPECT_EQ(text({2, 4}), "T24");     // Mobile Device
    EXPECT_EQ(text({2, 4, 3}), "T28");  // Delete All
    EXPECT_EQ(text({3, 4}), "T34");     // Skins
    EXPECT_EQ(text({3, 6}), "T35");     // Preferences
    EXPECT_EQ(text({4}), "T36");        // Help
    EXPECT_EQ(text({4, 2}), "T38");     // About
    EXPECT_EQ(text({4, 1}), "");        // a separator keeps no text

    // Without a table every text is the English one with its shortcut.
    CLocalize english;
    TableMenu plain(MainMenu());
    english.LocalizeMenu(plain, 0);
    EXPECT_EQ(plain.items[0].sub->items[0].text, "Transfer Music to Mobile Device\tCtrl+T");
    EXPECT_EQ(plain.items[2].sub->items[3].sub->items[2].text, "Remove Selected Music from Studio\tDel");
}

TEST(MainMenu, CommandsPromptsAndAcceleratorsAgree) {
    const std::vector<const MenuNode*> commands = MenuCommands();
    EXPECT_EQ(commands.size(), 28u);
    std::set<int> numbers, promptIds;
    CLocalize english;
    for (const MenuNode* n : commands) {
        EXPECT_TRUE(numbers.insert(n->command).second) << n->command;
        EXPECT_TRUE(promptIds.insert(n->promptId).second) << n->promptId;
        EXPECT_GE(n->promptId, 420);
        EXPECT_LE(n->promptId, 447);
        EXPECT_FALSE(CommandPrompt(n->command, english).empty()) << n->command;
        // A shortcut shown is a key of the table for the same command, except
        // Del, which the table leaves out.
        if (!n->shortcut.empty() && n->shortcut != "Del")
            EXPECT_EQ(AcceleratorCommand(n->shortcut), n->command) << n->shortcut;
    }
    EXPECT_EQ(AcceleratorCommand("Del"), 0);
    EXPECT_EQ(AcceleratorTable().size(), 26u);
    EXPECT_EQ(AcceleratorCommand("Ctrl+Space"), kIdSmallPlayer);
    EXPECT_EQ(AcceleratorCommand("Ctrl+F6"), kIdNextPage);
    EXPECT_EQ(AcceleratorCommand("Ctrl+Shift+F6"), kIdPreviousPage);
    EXPECT_EQ(AcceleratorCommand("Ctrl+Shift+F4"), kIdExit);
    EXPECT_EQ(AcceleratorCommand("Shift+F1"), kIdContextHelp);
    EXPECT_EQ(AcceleratorCommand("Ctrl+O"), kIdFileOpen);
    EXPECT_EQ(CommandPrompt(kIdTransfer, english), "Transfer music from Music Studio to Mobile Device");
    EXPECT_EQ(CommandPrompt(kIdSmallPlayer, english), "Switch to Small Player");
    EXPECT_EQ(CommandPrompt(kIdFileOpen, english), "");
    // Prompts come from the table when it has them.
    CLocalize german;
    german.LoadFromBytes(Utf16Lines({{420, "Musik übertragen"}}));
    EXPECT_EQ(CommandPrompt(kIdTransfer, german), "Musik übertragen");
}

TEST(Pages, TheCycleAndTheTemplateOrder) {
    // Three times next from the Music Studio passes CD Player and Club Orvik.
    EXPECT_EQ(NextPage(kPageMusicStudio), kPageCdPlayer);
    EXPECT_EQ(NextPage(kPageCdPlayer), kPageClubOrvik);
    EXPECT_EQ(NextPage(kPageClubOrvik), kPageMusicStudio);
    EXPECT_EQ(PreviousPage(kPageMusicStudio), kPageClubOrvik);
    EXPECT_EQ(PreviousPage(kPageClubOrvik), kPageCdPlayer);
    EXPECT_EQ(PreviousPage(kPageCdPlayer), kPageMusicStudio);
    for (int other : {0, 4, -1}) {
        EXPECT_EQ(NextPage(other), kPageNone);
        EXPECT_EQ(PreviousPage(other), kPageNone);
    }
    EXPECT_EQ(PageOfCommand(kIdPageClubOrvik), kPageClubOrvik);
    EXPECT_EQ(PageOfCommand(kIdExit), kPageNone);
    for (int page : {1, 2, 3})
        EXPECT_EQ(PageOfTemplateIndex(TemplateIndexOfPage(page)), page);
    EXPECT_EQ(TemplateIndexOfPage(kPageCdPlayer), 0);
    EXPECT_EQ(TemplateIndexOfPage(kPageMusicStudio), 2);
}

TEST(PageStrip, LayoutStateAndButtonsUnderThePointer) {
    const auto& b = StripButtons();
    EXPECT_EQ(b[0].caption.left, 5);
    EXPECT_EQ(b[0].caption.top, 70);
    EXPECT_EQ(b[2].caption.bottom, 336);
    EXPECT_EQ(b[1].textId, 154);
    for (const auto& button : b) {
        EXPECT_EQ(button.image.Width(), kStripImageWidth);
        EXPECT_EQ(button.image.Height(), kStripImageHeight);
        EXPECT_LE(button.caption.bottom, kStripHeight);
    }
    EXPECT_EQ(StripButtonAt(50, 30), 0);
    EXPECT_EQ(StripButtonAt(50, 200), 1);
    EXPECT_EQ(StripButtonAt(10, 300), 2);
    EXPECT_EQ(StripButtonAt(50, 120), -1); // between the buttons
    EXPECT_EQ(StripButtonAt(50, 338), -1);

    PageStripState state;
    EXPECT_EQ(state.Selected(), kPageNone);
    EXPECT_TRUE(state.Select(kPageCdPlayer));
    EXPECT_EQ(state.image, (std::array<int, 3>{0, 2, 0}));
    EXPECT_EQ(state.second, (std::array<int, 3>{0, -1, 0}));
    EXPECT_FALSE(state.Select(kPageCdPlayer)); // nothing to redraw
    EXPECT_TRUE(state.Select(kPageMusicStudio));
    EXPECT_EQ(state.image, (std::array<int, 3>{2, 0, 0}));
    EXPECT_EQ(state.Selected(), kPageMusicStudio);
}

TEST(Help, TheContextRules) {
    using K = HelpTarget::Kind;
    const std::optional<unsigned> framework = 0x20081u;
    EXPECT_EQ(ResolveHelp(framework, {K::MainWindow, 0, 0}), (HelpRequest{false, kHelpMainWindow}));
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 50, 10}), (HelpRequest{false, 0x20081}));
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 50, 112}), (HelpRequest{false, 0x20081}));
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 50, 113}), (HelpRequest{false, 0x20069}));
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 50, 150}), (HelpRequest{false, 0x20069}));
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 0, 335}), (HelpRequest{false, 0x20068}));
    // Below the third region: the default topic, whatever was asked.
    EXPECT_EQ(ResolveHelp(framework, {K::PageStrip, 50, 336}), (HelpRequest{true, 0}));
    EXPECT_EQ(ResolveHelp(framework, {K::Other, 5, 5}), (HelpRequest{false, 0x20081}));
    EXPECT_EQ(ResolveHelp(std::nullopt, {K::Elsewhere, 0, 0}), (HelpRequest{true, 0}));
    EXPECT_EQ(ResolveHelp(std::nullopt, {K::MainWindow, 0, 0}), (HelpRequest{false, kHelpMainWindow}));
    EXPECT_EQ(PageHelpContext(kPageCdPlayer), 0x20069u);
}

TEST(HelpProject, SectionsLevelsMapAndPathsThatLeaveTheBundle) {
    const HelpProject p = ParseHelpProject("; comment\r\n"
                                           "[OPTIONS]\r\n"
                                           "Title = My Help \r\n"
                                           "Default topic=start.html\r\n"
                                           "[Contents]\n"
                                           "Start=start.html\n"
                                           "  Child=pages/child.html\n"
                                           "    Grandchild=gc.html\n"
                                           "Heading=\n"
                                           "Bad=../outside.html\n"
                                           "Abs=/etc/passwd\n"
                                           "[MAP]\n"
                                           "0x2008F=start.html\n"
                                           "131177=pages/child.html\n"
                                           "0x1FFFFFFFF=too-big.html\n"
                                           "zz=x.html\n"
                                           "0x20068=a/./b.html\n"
                                           "no equals sign\n");
    EXPECT_EQ(p.title, "My Help");
    EXPECT_EQ(p.defaultTopic, "start.html");
    ASSERT_EQ(p.contents.size(), 4u);
    EXPECT_EQ(p.contents[1].level, 1);
    EXPECT_EQ(p.contents[1].topic, "pages/child.html");
    EXPECT_EQ(p.contents[2].level, 2);
    EXPECT_EQ(p.contents[3].title, "Heading");
    EXPECT_EQ(p.contents[3].topic, "");
    EXPECT_EQ(p.TopicOf(0x2008F), "start.html");
    EXPECT_EQ(p.TopicOf(0x20069), "pages/child.html"); // 131177 in decimal
    EXPECT_EQ(p.TopicOf(0x20068), "");
    EXPECT_EQ(p.map.size(), 2u);
    for (const char* bad : {"", "/a", "a/../b", "..", "a//b", "a\\b", "c:x", "a/"})
        EXPECT_FALSE(IsSafeTopicPath(bad)) << bad;
    EXPECT_TRUE(IsSafeTopicPath("a/b.html"));
    EXPECT_TRUE(ParseHelpProject("").contents.empty());
}

TEST(BrowserHistory, BackForwardAndANewVisitDropsTheForwardEntries) {
    BrowserHistory h;
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_EQ(h.Back(), "");
    h.Visit("a");
    h.Visit("a"); // the same page again adds nothing
    h.Visit("b");
    h.Visit("c");
    EXPECT_EQ(h.Size(), 3);
    EXPECT_EQ(h.Back(), "b");
    EXPECT_EQ(h.Back(), "a");
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_EQ(h.Forward(), "b");
    h.Visit("d");
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_EQ(h.Size(), 3);
    EXPECT_EQ(h.Back(), "b");
    EXPECT_EQ(h.Current(), "b");
}
