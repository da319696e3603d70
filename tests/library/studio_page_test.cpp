// The Music Studio page driven headless: the rows, the totals and the files
// on disk ("data.ms" and the M3U files) after every command.
#include "library/id3v2_tag.h"
#include "library/media_info.h"
#include "library/studio_page.h"
#include "platform/message_target.h"
#include "platform/prompt.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace lyb;
using namespace lyb::test;

namespace {

class StudioPageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_have = HaveTool("ffmpeg") && MakeMp3(*s_dir / "plain.mp3") &&
                 MakeMp3(*s_dir / "tagged.mp3", "-id3v2_version 4 -metadata title=Alpha -metadata artist=ArtA") &&
                 MakeAac(*s_dir / "plain.aac");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_have)
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        context.engine = &engine;
        context.prompt = &prompt;
        studioFile = dir / "home/lyrabox/data.ms";
        doc = std::make_unique<CMusicDoc>(context);
        page = std::make_unique<StudioPage>(*doc, studioFile);
        page->SetPlayback(playback);
    }

    /// A copy of one of the made files, with a length the fake engine reports.
    std::string Song(const std::string& name, uint32_t seconds, const char* from = "plain.mp3") {
        const std::string path = dir / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(*s_dir / from, path, std::filesystem::copy_options::overwrite_existing);
        if (std::string(from).ends_with(".aac"))
            engine.aacMilliseconds[path] = seconds * 1000.0;
        else
            engine.mp3Seconds[path] = seconds;
        return path;
    }
    uint32_t SongBytes(const char* from = "plain.mp3") {
        return static_cast<uint32_t>(std::filesystem::file_size(*s_dir / from));
    }

    /// The rows as their title cells; a playlist's tracks are indented.
    std::vector<std::string> Rows() const {
        std::vector<std::string> out;
        for (int row = 0; row < page->RowCount(); ++row)
            out.push_back((page->Row(row).IsChild() ? "  " : "") + page->CellText(row, kColumnTitle));
        return out;
    }
    /// "data.ms" as (title, path, artist) lines.
    std::vector<std::string> StudioLines() const { return Lines(studioFile); }
    std::vector<std::string> StudioTitles() const { return test::StudioTitles(studioFile); }
    void Select(std::initializer_list<int> rows, int focus = -2) {
        page->SetSelectedRows(rows);
        page->SetFocusRow(focus == -2 ? (rows.size() ? *rows.begin() : -1) : focus);
    }

    static TempDir* s_dir;
    static bool s_have;
    TempDir dir;
    FakeEngine engine;
    ScriptedPrompt prompt;
    LibraryContext context;
    std::string studioFile;
    std::unique_ptr<CMusicDoc> doc;
    std::unique_ptr<StudioPage> page;
    bool playing = false;
    int stops = 0;
    StudioPlayback playback{[this] { return playing; }, [this] {
                                ++stops;
                                playing = false;
                            },
                            nullptr, nullptr};
};

TempDir* StudioPageTest::s_dir = nullptr;
bool StudioPageTest::s_have = false;

} // namespace

TEST_F(StudioPageTest, ScriptedScenarioKeepsRowsTotalsAndFiles) {
    const std::string a = Song("music/a.mp3", 60), b = Song("music/b.mp3", 120);
    const std::string c = Song("music/c.mp3", 30);
    const std::string rock = dir / "lists/Rock.m3u";
    std::filesystem::create_directories(dir / "lists");
    WriteFile(rock, "#EXTM3U\r\n" + a + "\r\n" + b + "\r\n");
    const uint32_t bytes = SongBytes();

    // Add three files and a playlist.
    page->AddTracks({a, b, c, rock});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "Rock"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(page->TotalLengthText(), "06:30"); // 60 + 120 + 30 + the playlist's 180
    EXPECT_EQ(page->TotalSizeText(), FormatSize(5 * bytes));
    EXPECT_EQ(page->CellText(3, kColumnType), "M3U");
    EXPECT_EQ(page->CellText(3, kColumnLength), "03:00");
    EXPECT_EQ(page->CellText(0, kColumnLocation), a);
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "b", "c", "Rock"}));
    EXPECT_EQ(StudioLines()[10], rock);
    EXPECT_EQ(M3UEntries(rock), (std::vector<std::string>{a, b}));
    EXPECT_EQ(page->SelectedSizeText(), FormatSize(5 * bytes)); // the playlist counts with its size

    // Expand the playlist: its tracks show under it.
    ASSERT_TRUE(page->ToggleExpanded(3));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "Rock", "  a", "  b"}));
    EXPECT_FALSE(page->ToggleExpanded(4)); // a track row has no expander
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0, 1, 2, 3})); // the selection stayed with the items

    // Move c up, and the playlist's second track up within it.
    Select({2, 5});
    page->MoveUp();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "c", "b", "Rock", "  b", "  a"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{1, 4}));
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "c", "b", "Rock"}));
    EXPECT_EQ(M3UEntries(rock), (std::vector<std::string>{b, a}));

    // Cut the playlist and paste it twice with no focused row.
    Select({3});
    page->Cut();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(page->TotalLengthText(), "03:30");
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_TRUE(std::filesystem::exists(rock)); // removing never deletes files
    page->SetFocusRow(-1);
    page->Paste();
    page->Paste();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "c", "b", "Rock", "Copy of Rock"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{4}));
    EXPECT_EQ(page->TotalLengthText(), "09:30");
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "c", "b", "Rock", "Copy of Rock"}));
    const std::string copyOfRock = dir / "lists/Copy of Rock.m3u";
    EXPECT_EQ(StudioLines()[13], copyOfRock);
    EXPECT_EQ(M3UEntries(copyOfRock), (std::vector<std::string>{b, a}));
    EXPECT_EQ(M3UEntries(rock), (std::vector<std::string>{b, a}));

    // Edit track c: its tag takes the texts.
    Select({1});
    ASSERT_TRUE(page->CanEdit());
    EditDialogSpec dlg = page->EditItemDialog();
    EXPECT_EQ(dlg.mode, EditMode::Track);
    EXPECT_EQ(dlg.caption, "Edit Track");
    EXPECT_EQ(dlg.title, "c");
    ASSERT_TRUE(page->EditItem("Charlie", "The Band"));
    EXPECT_EQ(page->CellText(1, kColumnTitle), "Charlie");
    EXPECT_EQ(page->CellText(1, kColumnArtist), "The Band");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(c));
    EXPECT_EQ(tag.GetTitle(), "Charlie");
    EXPECT_EQ(tag.GetArtist(), "The Band");
    EXPECT_EQ(tag.GetLength(), 30u);
    EXPECT_EQ(StudioLines()[3], "Charlie");
    EXPECT_EQ(StudioLines()[5], "The Band");

    // Edit the pasted playlist: its file takes the title as its name.
    Select({4});
    EXPECT_EQ(page->EditItemDialog().mode, EditMode::Playlist);
    ASSERT_TRUE(page->EditItem("Classics", ""));
    const std::string classics = dir / "lists/Classics.m3u";
    EXPECT_TRUE(std::filesystem::exists(classics));
    EXPECT_FALSE(std::filesystem::exists(copyOfRock));
    EXPECT_EQ(page->CellText(4, kColumnLocation), classics);
    EXPECT_EQ(StudioLines()[13], classics);

    // Create a playlist of c and b.
    Select({1, 2});
    FileDialogSpec save = page->CreatePlaylistDialog();
    EXPECT_EQ(save.defaultExt, "M3U");
    ASSERT_EQ(save.filters.size(), 1u);
    EXPECT_EQ(save.filters[0].text, "M3U playlist files (*.M3U)");
    ASSERT_TRUE(page->CreatePlaylist(dir / "lists/Mix"));
    const std::string mix = dir / "lists/Mix.M3U";
    EXPECT_EQ(M3UEntries(mix), (std::vector<std::string>{c, b}));
    EXPECT_NE(ReadFile(mix).find("#EXTINF:30,The Band - Charlie\r\n"), std::string::npos);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "Charlie", "b", "Rock", "Classics", "Mix"}));
    EXPECT_EQ(page->FocusRow(), 5);
    EXPECT_EQ(page->TotalLengthText(), "12:00");
    EXPECT_EQ(StudioTitles().back(), "Mix");

    // Remove the two playlists at the end: their files stay.
    Select({4, 5});
    page->RemoveSelected();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "Charlie", "b", "Rock"}));
    EXPECT_EQ(page->SelectedCount(), 0);
    EXPECT_EQ(page->TotalLengthText(), "06:30");
    // The edited file grew by its new tag; the record follows.
    EXPECT_EQ(page->TotalSizeText(), FormatSize(4 * bytes + static_cast<uint32_t>(std::filesystem::file_size(c))));
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "Charlie", "b", "Rock"}));
    EXPECT_TRUE(std::filesystem::exists(mix));
    EXPECT_TRUE(std::filesystem::exists(classics));

    // The next start in "Previous session" mode reads the same Studio.
    CMusicDoc again(context);
    StudioStartup startup;
    startup.mode = 1;
    startup.studioFile = studioFile;
    again.OnNewDocument(startup);
    ASSERT_EQ(again.Collection().Count(), 4u);
    EXPECT_EQ(again.Collection().Item(1)->title, "Charlie");
    EXPECT_EQ(again.Collection().Item(3)->path, rock);
}

TEST_F(StudioPageTest, AddTracksFilterFollowsTheFormatSwitches) {
    page->SetFolders("/music", "/lists");
    FileDialogSpec dlg = page->AddTracksDialog();
    ASSERT_EQ(dlg.filters.size(), 5u);
    EXPECT_EQ(dlg.filters[0].text, "All supported types (*.MP3, *.AAC, *.M3U)");
    EXPECT_EQ(dlg.filters[0].pattern, "*.MP3;*.AAC;*.M3U");
    EXPECT_EQ(dlg.filters[1].text, "Media files (*.MP3, *.AAC)");
    EXPECT_EQ(dlg.filters[1].pattern, "*.MP3;*.AAC");
    EXPECT_EQ(dlg.filters[2].text, "M3U playlist files (*.M3U)");
    EXPECT_EQ(dlg.filters[3].text, "MP3 audio files (*.MP3)");
    EXPECT_EQ(dlg.filters[4].text, "AAC audio files (*.AAC)");
    EXPECT_EQ(dlg.defaultExt, "MP3");
    EXPECT_EQ(dlg.folder, "/music");
    EXPECT_TRUE(dlg.multiSelect);

    context.formats = {true, true, false}; // LSE and AAC on, MP3 off
    CMusicDoc lse(context);
    StudioPage noMp3(lse, "");
    dlg = noMp3.AddTracksDialog();
    ASSERT_EQ(dlg.filters.size(), 5u);
    EXPECT_EQ(dlg.filters[0].text, "All supported types (*.AAC, *.LSE, *.M3U)");
    EXPECT_EQ(dlg.filters[0].pattern, "*.AAC;*.LSE;*.M3U");
    EXPECT_EQ(dlg.filters[1].text, "Media files (*.AAC, *.LSE)");
    EXPECT_EQ(dlg.filters[3].text, "AAC audio files (*.AAC)");
    EXPECT_EQ(dlg.filters[4].text, "LSE audio files (*.LSE)");
    EXPECT_EQ(dlg.defaultExt, "AAC");

    context.formats = {false, false, false};
    CMusicDoc none(context);
    StudioPage off(none, "");
    dlg = off.AddTracksDialog();
    ASSERT_EQ(dlg.filters.size(), 2u);
    EXPECT_EQ(dlg.filters[0].text, "All supported types (*.M3U)");
    EXPECT_EQ(dlg.filters[0].pattern, "*.M3U");
    EXPECT_EQ(dlg.filters[1].text, "M3U playlist files (*.M3U)");
    EXPECT_EQ(dlg.defaultExt, "M3U");
}

TEST_F(StudioPageTest, AddTracksTargetsAFocusedPlaylist) {
    const std::string a = Song("a.mp3", 10), b = Song("b.mp3", 20), x = Song("x.aac", 5, "plain.aac");
    const std::string list = dir / "L.m3u", other = dir / "Other.m3u";
    WriteFile(list, "#EXTM3U\r\n" + a + "\r\n");
    WriteFile(other, "#EXTM3U\r\n");
    page->AddTracks({list});
    ASSERT_TRUE(page->ToggleExpanded(0));
    Select({0});
    // Into the playlist: tracks appended, the M3U file set aside to the top level.
    page->AddTracks({b, other, x});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"L", "  a", "  b", "  x", "Other"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(page->CellText(0, kColumnLength), "00:35");
    EXPECT_EQ(M3UEntries(list), (std::vector<std::string>{a, b, x}));
    // A focused track row of the playlist targets it too.
    Select({1});
    page->AddTracks({a});
    EXPECT_EQ(Rows().size(), 6u);
    EXPECT_EQ(Rows()[4], "  a");
    // A playlist that is one of several selected rows does not.
    Select({0, 5}, 0);
    page->AddTracks({b});
    EXPECT_EQ(Rows().back(), "b");
    // Files the switches refuse are skipped without a message.
    page->AddTracks({dir / "missing.mp3", dir / "L.m3u.txt"});
    EXPECT_EQ(Rows().back(), "b");
    EXPECT_TRUE(prompt.asked().empty());
}

TEST_F(StudioPageTest, PasteCasesAndCopyTitles) {
    const std::string a = Song("A.mp3", 1), b = Song("B.mp3", 2), c = Song("C.mp3", 3);
    WriteFile(dir / "Rock.m3u", "#EXTM3U\r\n" + a + "\r\n");
    page->AddTracks({a, b, c, dir / "Rock.m3u"});
    // Two tracks pasted onto a focused track C end up as B, A, C.
    Select({0, 1});
    page->Copy();
    EXPECT_EQ(page->ClipboardSize(), 2u);
    Select({2});
    page->Paste();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"A", "B", "B", "A", "C", "Rock"}));
    EXPECT_EQ(page->FocusRow(), 4); // the focus stays on C

    // Rock pasted twice: Copy of Rock, then Copy of Copy of Rock, each with its file.
    Select({5});
    page->Copy();
    page->SetFocusRow(-1);
    page->Paste();
    page->Paste();
    EXPECT_EQ(Rows().back(), "Copy of Copy of Rock");
    EXPECT_EQ(Rows()[6], "Copy of Rock");
    EXPECT_EQ(M3UEntries(dir / "Copy of Rock.m3u"), (std::vector<std::string>{a}));
    EXPECT_EQ(M3UEntries(dir / "Copy of Copy of Rock.m3u"), (std::vector<std::string>{a}));

    // A file that lies there already is never taken over by a pasted copy.
    WriteFile(dir / "Copy of Copy of Copy of Rock.m3u", "#EXTM3U\r\nkeep me\r\n");
    page->Paste();
    EXPECT_EQ(Rows().back(), "Copy of Copy of Copy of Copy of Rock");
    EXPECT_EQ(ReadFile(dir / "Copy of Copy of Copy of Rock.m3u"), "#EXTM3U\r\nkeep me\r\n");

    // Onto a focused playlist: its tracks, flattened, appended.
    Select({0, 5}); // A and Rock
    page->Copy();
    Select({6});    // Copy of Rock
    page->Paste();
    EXPECT_EQ(M3UEntries(dir / "Copy of Rock.m3u"), (std::vector<std::string>{a, a, a}));
    // Onto a focused track of a playlist: inserted before it, in reverse.
    page->ToggleExpanded(6);
    Select({0, 1}); // A, B
    page->Copy();
    Select({8});    // the second track of Copy of Rock
    page->Paste();
    EXPECT_EQ(M3UEntries(dir / "Copy of Rock.m3u"), (std::vector<std::string>{a, b, a, a, a}));
    // An empty clipboard does nothing.
    CMusicDoc other(context);
    StudioPage fresh(other, "");
    fresh.Paste();
    EXPECT_EQ(fresh.RowCount(), 0);
    EXPECT_EQ(fresh.SaveCount(), 0);
}

TEST_F(StudioPageTest, MovingKeepsBlocksAtTheEdgesAndThePlayPosition) {
    std::vector<std::string> songs;
    for (const char* n : {"1", "2", "3", "4", "5"})
        songs.push_back(Song(std::string(n) + ".mp3", 1));
    page->AddTracks(songs);
    doc->SetPlayPosition(2, -1); // "3" is being played
    playing = true;
    // The first row stays; the others move.
    Select({0, 2, 4});
    page->MoveUp();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "3", "2", "5", "4"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(doc->PlayItemIndex(), 1);
    // A selected block at the top does not move at all.
    Select({0, 1});
    page->MoveUp();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "3", "2", "5", "4"}));
    // Down: the last row stays.
    Select({3, 4});
    page->MoveDown();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "3", "2", "5", "4"}));
    Select({1});
    page->MoveDown();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "2", "3", "5", "4"}));
    EXPECT_EQ(doc->PlayItemIndex(), 2);
    EXPECT_EQ(doc->PlayPlaylistIndex(), -1);
    EXPECT_EQ(stops, 0);

    // A playlist's first track does not move up; an expanded playlist moves with its tracks.
    WriteFile(dir / "P.m3u", "#EXTM3U\r\n" + songs[0] + "\r\n" + songs[1] + "\r\n");
    page->AddTracks({dir / "P.m3u"});
    page->ToggleExpanded(5);
    Select({6});
    page->MoveUp();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "2", "3", "5", "4", "P", "  1", "  2"}));
    Select({5});
    page->MoveUp();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "2", "3", "5", "P", "  1", "  2", "4"}));
    // The last track of a playlist does not move down out of it.
    Select({6});
    page->MoveDown();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "2", "3", "5", "P", "  1", "  2", "4"}));
    Select({5});
    page->MoveDown();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1", "2", "3", "5", "P", "  2", "  1", "4"}));
}

TEST_F(StudioPageTest, RemovingThePlayingTrackStopsPlaybackAndKeepsItsFile) {
    const std::string a = Song("a.mp3", 1), b = Song("b.mp3", 2), c = Song("c.mp3", 3);
    page->AddTracks({a, b, c});
    doc->SetPlayPosition(2, -1); // c plays
    playing = true;
    doc->RandomHistory() = {doc->Collection().Item(0), doc->Collection().Item(2)};
    // Removing another item keeps the position on c.
    Select({0});
    page->RemoveSelected();
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(doc->PlayItemIndex(), 1);
    EXPECT_EQ(doc->RandomHistory().size(), 1u); // the removed item left the history
    // Removing c stops playback; the file stays.
    Select({1});
    EXPECT_EQ(page->PlayingItem(), doc->Collection().Item(1));
    page->RemoveSelected();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(std::filesystem::exists(c));
    EXPECT_EQ(doc->PlayItemIndex(), -1);
    EXPECT_EQ(doc->PlayPlaylistIndex(), -2);
    EXPECT_TRUE(doc->RandomHistory().empty());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b"}));

    // A playlist holding the playing track stops it too.
    WriteFile(dir / "P.m3u", "#EXTM3U\r\n" + a + "\r\n");
    page->AddTracks({dir / "P.m3u"});
    doc->SetPlayPosition(0, 1);
    playing = true;
    Select({1});
    page->RemoveSelected();
    EXPECT_EQ(stops, 2);

    // Remove all: playback stops, "data.ms" is empty, files stay.
    playing = true;
    page->RemoveAll();
    EXPECT_EQ(stops, 3);
    EXPECT_EQ(page->RowCount(), 0);
    EXPECT_EQ(ReadFile(studioFile), "");
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_EQ(page->TotalLengthText(), "00:00");
}

TEST_F(StudioPageTest, EditingAReadOnlyFileKeepsTheOldTexts) {
    const std::string t = Song("t.mp3", 5, "tagged.mp3");
    page->AddTracks({t});
    Select({0});
    const std::string before = ReadFile(t);
    if (::geteuid() == 0) {
        // Permissions do not bind the superuser: a folder in the file's place
        // cannot be opened for update either.
        std::filesystem::rename(t, dir / "t.keep");
        std::filesystem::create_directory(t);
    } else {
        std::filesystem::permissions(t, std::filesystem::perms::owner_read);
    }
    EXPECT_FALSE(page->EditItem("New", "Someone"));
    ASSERT_EQ(prompt.asked().size(), 1u);
    EXPECT_EQ(prompt.asked()[0].text,
              "Can't modify media info. Check to see if the file attribute is set to read-only.");
    EXPECT_EQ(page->CellText(0, kColumnTitle), "Alpha");
    EXPECT_EQ(page->CellText(0, kColumnArtist), "ArtA");
    EXPECT_EQ(StudioLines()[0], "Alpha");
    if (::geteuid() != 0) {
        EXPECT_EQ(ReadFile(t), before);
    }

    // Declining to create a tag keeps the old texts too; the file is unchanged.
    const std::string plain = Song("p.mp3", 5);
    page->AddTracks({plain});
    Select({1});
    prompt.Push(PromptAnswer::Cancel);
    const std::string plainBefore = ReadFile(plain);
    EXPECT_FALSE(page->EditTitleInPlace(1, "Other"));
    EXPECT_EQ(page->CellText(1, kColumnTitle), "p");
    EXPECT_EQ(ReadFile(plain), plainBefore);
    // Accepting it writes a new tag in front of the audio.
    EXPECT_TRUE(page->EditArtistInPlace(1, "Solo"));
    EXPECT_EQ(page->CellText(1, kColumnArtist), "Solo");
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(plain));
    EXPECT_EQ(tag.GetArtist(), "Solo");
    EXPECT_EQ(ReadFile(plain).substr(tag.Size() + 10), plainBefore);

    // A playlist title that cannot name a file leaves the title.
    WriteFile(dir / "P.m3u", "#EXTM3U\r\n");
    page->AddTracks({dir / "P.m3u"});
    EXPECT_FALSE(page->EditTitleInPlace(2, "a/b"));
    EXPECT_EQ(page->CellText(2, kColumnTitle), "P");
    EXPECT_FALSE(page->CanEditArtistInPlace(2));
    // Titles are cut to 255 characters.
    EXPECT_TRUE(page->EditTitleInPlace(1, std::string(300, 'x')));
    EXPECT_EQ(page->CellText(1, kColumnTitle), std::string(255, 'x'));
}

TEST_F(StudioPageTest, DropOnListMovesOrCopiesIntoPlaylistsAndTheTopLevel) {
    const std::string a = Song("a.mp3", 1), b = Song("b.mp3", 2), c = Song("c.mp3", 3);
    WriteFile(dir / "P.m3u", "#EXTM3U\r\n" + c + "\r\n");
    page->AddTracks({a, b, dir / "P.m3u"});
    const auto menu = page->DropMenu();
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, "Move");
    EXPECT_TRUE(menu[0].isDefault);
    EXPECT_EQ(menu[2].text, "Cancel");

    // Yes: appended to the playlist; Move takes them away.
    prompt.Push(PromptAnswer::Yes);
    EXPECT_TRUE(page->DropOnList({0}, 2, DropChoice::Move));
    EXPECT_EQ(prompt.asked().back().text, "Insert into Playlist?");
    EXPECT_EQ(prompt.asked().back().buttons, PromptButtons::YesNoCancel);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "P"}));
    EXPECT_EQ(M3UEntries(dir / "P.m3u"), (std::vector<std::string>{c, a}));
    // Cancel in the question abandons the drop.
    prompt.Push(PromptAnswer::Cancel);
    EXPECT_FALSE(page->DropOnList({0}, 1, DropChoice::Copy));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "P"}));
    // No: placed at the top level at the drop place, as a copy.
    page->ToggleExpanded(1);
    prompt.Push(PromptAnswer::No);
    EXPECT_TRUE(page->DropOnList({2}, 1, DropChoice::Copy));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "c", "P", "  c", "  a"}));
    // A playlist's track moved onto a top-level track leaves the playlist.
    EXPECT_TRUE(page->DropOnList({4}, 0, DropChoice::Move));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c", "P", "  c"}));
    EXPECT_EQ(M3UEntries(dir / "P.m3u"), (std::vector<std::string>{c}));
    // Dropped below the last row: moved to the end.
    EXPECT_TRUE(page->DropOnList({0}, -1, DropChoice::Move));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "c", "P", "  c", "a"}));
    // A playlist copied at the top level gets its own title and file.
    EXPECT_TRUE(page->DropOnList({2}, 0, DropChoice::Copy));
    EXPECT_EQ(Rows()[0], "Copy of P");
    EXPECT_TRUE(std::filesystem::exists(dir / "Copy of P.m3u"));
    // A playlist is never moved into itself.
    prompt.Push(PromptAnswer::Yes);
    EXPECT_FALSE(page->DropOnList({3}, 4, DropChoice::Move));
    EXPECT_FALSE(page->DropOnList({0}, 1, DropChoice::Cancel));
}

TEST_F(StudioPageTest, ContextMenuGreyingAndTexts) {
    auto enabled = [](const std::vector<MenuEntry>& menu) {
        std::string out;
        for (const auto& e : menu)
            out += e.command == kCmdSeparator ? '|' : e.enabled ? '1' : '0';
        return out;
    };
    auto menu = page->ContextMenu(-1);
    ASSERT_EQ(menu.size(), 12u);
    EXPECT_EQ(menu[0].text, "Play");
    EXPECT_TRUE(menu[0].isDefault);
    EXPECT_EQ(menu[1].text, "Edit...");
    EXPECT_EQ(menu[11].text, "Unselect All");
    EXPECT_EQ(enabled(menu), "000000|00|00"); // empty list
    page->AddTracks({Song("a.mp3", 1), Song("b.mp3", 1)});
    page->UnselectAll();
    EXPECT_EQ(enabled(page->ContextMenu(-1)), "000000|00|10");
    Select({0, 1});
    EXPECT_EQ(enabled(page->ContextMenu(0)), "101110|11|11"); // two rows: no Edit
    Select({0});
    page->Copy();
    EXPECT_EQ(enabled(page->ContextMenu(1)), "111111|11|11");

    EXPECT_EQ(page->ColumnHeading(kColumnTitle), "Track or playlist title");
    EXPECT_EQ(page->ColumnHeading(kColumnLocation), "Location");
    EXPECT_EQ(StudioPage::ColumnUnits(kColumnTitle) + StudioPage::ColumnUnits(kColumnLength) +
                  StudioPage::ColumnUnits(kColumnSize) + StudioPage::ColumnUnits(kColumnArtist) +
                  StudioPage::ColumnUnits(kColumnType) + StudioPage::ColumnUnits(kColumnLocation),
              9);
    EXPECT_EQ(page->ToolTip(StudioControl::AddButton), "Add Track(s) to the Music Studio");
    EXPECT_EQ(page->ToolTip(StudioControl::SizeField), "Music selected size");
}

TEST_F(StudioPageTest, TransferGathersTracksInRowOrder) {
    const std::string a = Song("a.mp3", 1), b = Song("b.mp3", 2), c = Song("c.mp3", 3);
    WriteFile(dir / "P.m3u", "#EXTM3U\r\n" + b + "\r\n" + c + "\r\n");
    page->AddTracks({a, dir / "P.m3u"});
    page->ToggleExpanded(1);
    std::vector<MusicItem> handed;
    int cd = 0, stopped = 0;
    bool device = false;
    page->SetTransfer({[&] { return cd; }, [&] { return device; }, [&] { ++stopped; },
                       [&](std::vector<MusicItem> r) {
                           EXPECT_TRUE(page->Busy());
                           handed = std::move(r);
                       }});
    Select({0, 1, 2}); // a, the playlist and its first track
    EXPECT_FALSE(page->TransferEnabled());
    EXPECT_FALSE(page->TransferSelected()); // no device
    device = true;
    page->SelectionEdited();
    EXPECT_TRUE(page->TransferEnabled());
    cd = 3;
    page->SelectionEdited();
    EXPECT_FALSE(page->TransferEnabled());
    EXPECT_FALSE(page->TransferSelected());
    cd = 0;
    ASSERT_TRUE(page->TransferSelected());
    EXPECT_EQ(stopped, 1);
    EXPECT_FALSE(page->Busy());
    ASSERT_EQ(handed.size(), 3u);
    EXPECT_EQ(handed[0].path, a);
    EXPECT_EQ(handed[1].path, b);
    EXPECT_EQ(handed[2].path, c);
    // A track row of an unselected playlist gives its own record.
    Select({3});
    EXPECT_EQ(page->GatherSelectedRecords().size(), 1u);
    EXPECT_EQ(page->GatherSelectedRecords()[0].path, c);
    // The selected size counts a playlist once.
    Select({1, 2});
    EXPECT_EQ(page->SelectedBytes(), doc->Collection().Item(1)->size);
}

TEST_F(StudioPageTest, StartUpProbesLengthsAndDurationReadyUpdatesRows) {
    const std::string a = Song("m/a.mp3", 61), b = Song("m/b.aac", 7, "plain.aac");
    WriteFile(dir / "m/P.m3u", "#EXTM3U\r\n" + a + "\r\n");
    QueueMessageTarget target([&](const Message& m) -> std::intptr_t {
        if (m.id == kDurationReady)
            page->OnDurationReady(std::any_cast<std::string>(m.payload), static_cast<uint32_t>(m.lparam));
        return 0;
    });
    StudioStartup startup;
    startup.mode = 2;
    startup.defaultMusicFolder = dir / "m";
    startup.probeTarget = &target;
    doc->OnNewDocument(startup);
    page->RebuildRows();
    page->ShowTotals();
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_EQ(page->CellText(0, kColumnTitle), "P");
    // Loading never waits for lengths: they are unknown until the probes answer.
    EXPECT_EQ(page->CellText(1, kColumnLength), "??:??");
    int cellsChanged = 0;
    page->AddListener([&](const StudioChange& c) { cellsChanged += (c.flags & StudioChange::kCells) ? 1 : 0; });
    WaitForDurationProbes();
    target.Pump();
    EXPECT_EQ(page->CellText(0, kColumnLength), "01:01"); // the playlist's total
    EXPECT_EQ(page->CellText(1, kColumnLength), "01:01");
    EXPECT_EQ(page->CellText(2, kColumnLength), "00:07");
    EXPECT_EQ(page->TotalLengthText(), "02:09");
    EXPECT_GE(cellsChanged, 2);
    CancelDurationProbes(&target);
}

TEST_F(StudioPageTest, OpenAndPlayPutsTheFileFirstAndStartsPlayback) {
    int plays = 0;
    playback.playSelection = [&] { ++plays; };
    page->SetPlayback(playback);
    page->AddTracks({Song("a.mp3", 1)});
    EXPECT_FALSE(page->OpenAndPlay("%cd"));
    EXPECT_FALSE(page->OpenAndPlay(dir / "missing.mp3"));
    ASSERT_TRUE(page->OpenAndPlay(Song("b.mp3", 1)));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0}));
    EXPECT_EQ(page->FocusRow(), 0);
    EXPECT_EQ(StudioTitles().front(), "b");
    // The start-up plays the file opened by name.
    EXPECT_FALSE(page->StartUp());
    doc->SetPendingPlayIndex(0);
    EXPECT_TRUE(page->StartUp());
    EXPECT_EQ(plays, 1);
}

TEST_F(StudioPageTest, DroppedFoldersAreScannedAndSearchResultsSkipPathsPresent) {
    const std::string a = Song("d/a.mp3", 1);
    Song("d/sub/b.mp3", 1);
    page->DropFiles({dir / "d"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0, 1}));
    const int before = page->RowCount();
    std::vector<std::string> status;
    const std::string c = Song("d/c.mp3", 1);
    const size_t added = page->AddFoundFiles({a, c, c, dir / "d/none.mp3"}, 0, 10,
                                             [&](const std::string& p) { status.push_back(p); });
    page->FinishAddingFound(before);
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(status, (std::vector<std::string>{c, dir / "d/none.mp3"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "b", "c"}));
}
