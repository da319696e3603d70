#include "app/localize.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Encodes UTF-8 test text as the UTF-16LE bytes of a language file.
std::string Le(const std::u16string& units) {
    std::string out;
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

TEST(Localize, LinesSetSlotsAndDefaultsFillTheRest) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"336=X\r\n12=\r\n100=Hello world\r\n"));
    EXPECT_EQ(loc.Get(336, "Unable to load registry settings."), "X");
    EXPECT_EQ(loc.Get(12, "Default"), "Default"); // empty slot gives the default
    EXPECT_EQ(loc.Get(100, "x"), "Hello world");
    EXPECT_EQ(loc.Get(101, "English"), "English");
    EXPECT_EQ(loc.Get(-1, "neg"), "neg");
    EXPECT_EQ(loc.Get(500, "big"), "big");
}

TEST(Localize, IdentifierRules) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"abc=Y\r\n500=ignored\r\nno equals here\r\n7=a=b\r\n"
                         u"7=later wins\r\n0008=eight\r\n"));
    EXPECT_EQ(loc.Get(0, "d"), "Y");
    EXPECT_EQ(loc.Get(7, "d"), "later wins");
    EXPECT_EQ(loc.Get(8, "d"), "eight");
    // Only the first 20 units are the identifier: 21 digits read as the first 20.
    lyb::CLocalize loc2;
    loc2.LoadFromBytes(Le(u"000000000000000000042=deep\r\n"));
    EXPECT_EQ(loc2.Get(4, "d"), "deep");
}

TEST(Localize, LineEndsAndLastLine) {
    lyb::CLocalize loc;
    // A lone CR stays in the text; the last line needs no line end; a LF alone does not end a line.
    loc.LoadFromBytes(Le(u"1=a\rb\r\n2=x\ny\r\n3=tail"));
    EXPECT_EQ(loc.Get(1, "d"), "a\rb");
    EXPECT_EQ(loc.Get(2, "d"), "x\ny");
    EXPECT_EQ(loc.Get(3, "d"), "tail");
}

TEST(Localize, ByteOrderMarkReadsAsIdentifierZero) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"\uFEFF5=five\r\n"));
    EXPECT_EQ(loc.Get(0, "d"), "five");
    EXPECT_EQ(loc.Get(5, "d"), "d");
}

TEST(Localize, FixedSiteSlotsAfterALoad) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"6=overwritten\r\n155=x\r\n"));
    const std::string site(lyb::CLocalize::kSiteAddress);
    EXPECT_EQ(loc.Get(6, "d"), site + "\tCtrl+3");
    EXPECT_EQ(loc.Get(155, "d"), site);
    EXPECT_EQ(loc.Get(182, "d"), site);
    EXPECT_EQ(loc.Get(413, "d"), site);
}

TEST(Localize, MissingFileLeavesDefaultsEverywhere) {
    lyb::CLocalize loc;
    loc.SetPath("/nonexistent-folder-for-test/lang.dat");
    loc.Load();
    EXPECT_EQ(loc.Get(6, "Menu"), "Menu");
    EXPECT_EQ(loc.Get(336, "E"), "E");
}

TEST(Localize, LoadsFromFile) {
    const std::string path = testing::TempDir() + "lang_test.dat";
    {
        std::ofstream out(path, std::ios::binary);
        out << Le(u"210=Einstellungen\r\n");
    }
    lyb::CLocalize loc;
    loc.SetPath(path);
    loc.Load();
    EXPECT_EQ(loc.Get(210, "Preferences"), "Einstellungen");
    std::remove(path.c_str());
}

TEST(Localize, InterfaceCodePageReplacesWhatItCannotHold) {
    lyb::CLocalize loc; // 1252
    EXPECT_EQ(loc.ToInterfaceText(u"caf\u00e9 \u0416"), "caf\u00e9 ?");
    loc.SetCodePage(1251);
    EXPECT_EQ(loc.ToInterfaceText(u"\u0416\u00e9"), "\u0416?");
    loc.SetCodePage(65001);
    EXPECT_EQ(loc.ToInterfaceText(u"\u0416\u00e9"), "\u0416\u00e9");
    loc.SetCodePage(4242); // unknown: one "?" per unit
    EXPECT_EQ(loc.ToInterfaceText(u"abc"), "???");
    // Lone surrogates: "?" for the interface text, " " for the system text.
    loc.SetCodePage(1252);
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(loc.ToInterfaceText(lone), "a?b");
    EXPECT_EQ(loc.ToAnsiText(lone), "a b");
}

TEST(Localize, RightToLeftCodePagesKeepEveryLetter) {
    // Hebrew and Vietnamese pages hold a letter back for combining marks;
    // the last letter of a text must still arrive.
    lyb::CLocalize loc;
    loc.SetCodePage(1255);
    EXPECT_EQ(loc.ToInterfaceText(u"\u05de\u05d5\u05db\u05df"), "\u05de\u05d5\u05db\u05df");
    loc.LoadFromBytes(Le(u"450=\u05de\u05d5\u05db\u05df\r\n117=\u05d2\u05d5\u05d3\u05dc"));
    EXPECT_EQ(loc.Get(450, "Ready"), "\u05de\u05d5\u05db\u05df");
    EXPECT_EQ(loc.Get(117, "Size"), "\u05d2\u05d5\u05d3\u05dc");
    loc.SetCodePage(1256);
    EXPECT_EQ(loc.ToInterfaceText(u"\u0645\u0644\u0641"), "\u0645\u0644\u0641");
    loc.SetCodePage(1258);
    EXPECT_EQ(loc.ToInterfaceText(u"Vi\u1ec7t"), "Vi\u1ec7t");
}

TEST(Localize, SlotTextIsLimitedWithoutSplittingCharacters) {
    lyb::CLocalize loc;
    loc.SetCodePage(1251);
    std::u16string longText(2000, u'\u0416');
    std::string cut = loc.ToInterfaceText(longText);
    EXPECT_EQ(cut.size(), 1023u * 2); // 1023 code-page bytes, two UTF-8 bytes each
    std::u16string line = u"9=" + std::u16string(3000, u'z') + u"\r\n10=next\r\n";
    loc.LoadFromBytes(Le(line));
    EXPECT_EQ(loc.Get(10, "d"), "next");
    EXPECT_LE(loc.Get(9, "d").size(), 1023u);
    EXPECT_EQ(lyb::TruncateUtf8("\u00e9\u00e9", 3), "\u00e9");
}

// A plain menu tree for the walk.
struct TestMenu : lyb::LocalizableMenu {
    struct Item {
        std::string text;
        bool separator = false;
        std::unique_ptr<TestMenu> sub;
    };
    std::vector<Item> items;
    int ItemCount() const override { return static_cast<int>(items.size()); }
    bool IsTextItem(int i) const override { return !items[static_cast<size_t>(i)].separator; }
    std::string ItemText(int i) const override { return items[static_cast<size_t>(i)].text; }
    void SetItemText(int i, const std::string& t) override { items[static_cast<size_t>(i)].text = t; }
    lyb::LocalizableMenu* SubMenu(int i) override { return items[static_cast<size_t>(i)].sub.get(); }
};

TEST(Localize, MenuWalkIsDepthFirstAndCountsEveryItem) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"1=Datei\r\n2=Neu\r\n3=Offen\r\n4=Vier\r\n"));
    TestMenu root;
    auto file = std::make_unique<TestMenu>();
    file->items.push_back({"New", false, nullptr});
    file->items.push_back({"Open", false, nullptr});
    file->items.push_back({"", true, nullptr});
    root.items.push_back({"File", false, std::move(file)});
    root.items.push_back({"Edit", false, nullptr});
    EXPECT_EQ(loc.LocalizeMenu(root, 0), 5);
    EXPECT_EQ(root.items[0].text, "Datei");
    EXPECT_EQ(root.items[0].sub->items[0].text, "Neu");
    EXPECT_EQ(root.items[0].sub->items[1].text, "Offen");
    EXPECT_EQ(root.items[1].text, "Vier"); // position 4 -> id 4 after the separator position
}

TEST(Localize, MenuPositionsBeyondTheTableKeepTheirText) {
    lyb::CLocalize loc;
    loc.LoadFromBytes(Le(u"1=one\r\n"));
    TestMenu root;
    root.items.push_back({"Tail", false, nullptr});
    EXPECT_EQ(loc.LocalizeMenu(root, 43), 44);
    EXPECT_EQ(root.items[0].text, "Tail");
}

} // namespace
