// M3U playlists: the header rule, "#EXTINF" parsing, nesting and loops,
// relative entries, writing in both forms, and saving under the title.
#include "library/music_doc.h"
#include "library/music_item.h"
#include "test_util.h"

#include <gtest/gtest.h>

using namespace lyb;
using namespace lyb::test;

namespace {

class M3U : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_haveMp3 = HaveTool("ffmpeg") && MakeMp3(*s_dir / "plain.mp3") &&
                    MakeMp3(*s_dir / "tagged.mp3", "-id3v2_version 4 -metadata title=TagTitle "
                                                   "-metadata artist=TagArtist");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_haveMp3)
            GTEST_SKIP() << "ffmpeg is needed to make test files";
    }
    // A copy of the untagged (or tagged) MP3 file at `name` inside the test folder.
    std::string Song(const std::string& name, bool tagged = false) {
        const std::string path = dir / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(*s_dir / (tagged ? "tagged.mp3" : "plain.mp3"), path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    M3UPlaylist Read(const std::string& path) {
        M3UPlaylist playlist;
        playlist.path = path;
        playlist.DeriveTitle();
        playlist.Load(path, context);
        return playlist;
    }

    static TempDir* s_dir;
    static bool s_haveMp3;
    TempDir dir;
    LibraryContext context;
};

TempDir* M3U::s_dir = nullptr;
bool M3U::s_haveMp3 = false;

} // namespace

TEST_F(M3U, ExtinfLinesAreSplitAtFirstCommaAndLastDash) {
    const std::string a = Song("a.mp3"), b = Song("b.mp3"), c = Song("c.mp3"), d = Song("d.mp3");
    const std::string t = Song("t.mp3", true);
    WriteFile(dir / "list.m3u", "#EXTM3U\r\n"
                                "#EXTINF:215,Artist - Title\r\n" +
                                    a +
                                    "\r\n"
                                    "#EXTINF:215,OnlyTitle\r\n" +
                                    b +
                                    "\r\n"
                                    "#EXTINF:215,A - B - C\r\n" +
                                    c +
                                    "\r\n"
                                    "#EXTINF:215,Pending - Kept\r\n"
                                    "#EXTINF:215\r\n" +
                                    d +
                                    "\r\n"
                                    "#EXTINF:1,Other - Name\r\n" +
                                    t +
                                    "\r\n"
                                    "#EXTINF:1,Lost - Entry\r\n" +
                                    dir / "missing.mp3" +
                                    "\r\n"
                                    "#EXTINF:1,Cleared - ByBlank\r\n\r\n" +
                                    a +
                                    "\r\n"
                                    "#comment line\r\n");
    M3UPlaylist list = Read(dir / "list.m3u");
    ASSERT_EQ(list.ChildCount(), 6u);
    EXPECT_EQ(list.Child(0)->artist, "Artist");
    EXPECT_EQ(list.Child(0)->title, "Title");
    EXPECT_EQ(list.Child(1)->artist, "");
    EXPECT_EQ(list.Child(1)->title, "OnlyTitle");
    EXPECT_EQ(list.Child(2)->artist, "A - B");
    EXPECT_EQ(list.Child(2)->title, "C");
    // A line without a comma changes nothing: the values before it stay pending.
    EXPECT_EQ(list.Child(3)->artist, "Pending");
    EXPECT_EQ(list.Child(3)->title, "Kept");
    // The tag's texts win over the playlist's.
    EXPECT_EQ(list.Child(4)->title, "TagTitle");
    EXPECT_EQ(list.Child(4)->artist, "TagArtist");
    // An empty line clears the pending texts.
    EXPECT_EQ(list.Child(5)->title, "a");
    EXPECT_EQ(list.Child(5)->artist, "");
    for (size_t i = 0; i < list.ChildCount(); ++i)
        EXPECT_EQ(list.Child(i)->flags & kTitleKnown, uint32_t(kTitleKnown));
    uint32_t size = 0;
    for (const MusicItem* child : list.Children())
        size += child->size;
    EXPECT_EQ(list.size, size);
}

TEST_F(M3U, HeaderRule) {
    const std::string a = Song("a.mp3");
    WriteFile(dir / "late.m3u", "\xEF\xBB\xBFjunk #EXTM3U here\n" + a + "\n");
    EXPECT_EQ(Read(dir / "late.m3u").ChildCount(), 1u);
    WriteFile(dir / "plain.m3u", a + "\n#EXTM3U\n" + a + "\n");
    EXPECT_EQ(Read(dir / "plain.m3u").ChildCount(), 0u);
    WriteFile(dir / "empty.m3u", "");
    EXPECT_EQ(Read(dir / "empty.m3u").ChildCount(), 0u);
    M3UPlaylist missing = Read(dir / "missing.m3u");
    EXPECT_EQ(missing.ChildCount(), 0u);
    EXPECT_TRUE(missing.Visited().empty());
}

TEST_F(M3U, NestedPlaylistsAreFlattenedAndLoopsStop) {
    const std::string a1 = Song("a1.mp3"), b1 = Song("b1.mp3");
    const std::string pa = dir / "A.m3u", pb = dir / "B.m3u";
    WriteFile(pa, "#EXTM3U\n" + a1 + "\n" + pb + "\n" + pa + "\n");
    WriteFile(pb, "#EXTM3U\n" + b1 + "\n" + pa + "\n" + dir / "./A.m3u" + "\nB.m3u\n");
    M3UPlaylist list = Read(pa);
    ASSERT_EQ(list.ChildCount(), 2u);
    EXPECT_EQ(list.Child(0)->path, a1);
    EXPECT_EQ(list.Child(1)->path, b1);
    ASSERT_EQ(list.Visited().size(), 2u);
    EXPECT_EQ(list.Visited()[0], pa);
    EXPECT_EQ(list.Visited()[1], pb);

    // A deep chain of distinct playlists ends at the nesting limit.
    const std::string leaf = Song("leaf.mp3");
    for (int i = 0; i < 100; ++i)
        WriteFile(dir / ("n" + std::to_string(i) + ".m3u"),
                  "#EXTM3U\n" + leaf + "\nn" + std::to_string(i + 1) + ".m3u\n");
    M3UPlaylist deep = Read(dir / "n0.m3u");
    EXPECT_GT(deep.ChildCount(), 10u);
    EXPECT_LT(deep.ChildCount(), 100u);
}

TEST_F(M3U, RelativeEntriesNameFilesBesideThePlaylist) {
    const std::string e = Song("sub/e.mp3");
    Song("lists/f.mp3");
    WriteFile(dir / "lists/rel.m3u", "#EXTM3U\n../sub/e.mp3\nf.mp3\n");
    M3UPlaylist list = Read(dir / "lists/rel.m3u");
    ASSERT_EQ(list.ChildCount(), 2u);
    EXPECT_EQ(list.Child(0)->path, dir / "lists/../sub/e.mp3");
    EXPECT_EQ(list.Child(1)->path, dir / "lists/f.mp3");
}

TEST_F(M3U, LongLinesAndLegacyText) {
    // A path far beyond 259 characters, in nested folders.
    std::string rel;
    for (int i = 0; i < 12; ++i)
        rel += std::string(40, char('a' + i)) + "/";
    const std::string longPath = Song(rel + "song.mp3");
    ASSERT_GT(longPath.size(), 500u);
    // An "#EXTINF" text in a single-byte code page (an older file).
    WriteFile(dir / "old.m3u", "#EXTM3U\r\n#EXTINF:3,Caf\xE9 - Cr\xE8me\r\n" + longPath + "\r\n");
    M3UPlaylist list = Read(dir / "old.m3u");
    ASSERT_EQ(list.ChildCount(), 1u);
    EXPECT_EQ(list.Child(0)->path, longPath);
    EXPECT_EQ(list.Child(0)->artist, "Caf\xC3\xA9");
    EXPECT_EQ(list.Child(0)->title, "Cr\xC3\xA8me");
}

TEST_F(M3U, WriteAndReadBack) {
    M3UPlaylist list;
    list.path = dir / "mix.m3u";
    list.title = "mix";
    const std::string a = Song("a.mp3"), b = Song("b.mp3");
    auto one = std::make_unique<Track>();
    one->path = a;
    one->title = "Song - With Dash";
    one->artist = "Band";
    one->length = 215;
    auto two = std::make_unique<Track>();
    two->path = b;
    two->title = "Two";
    two->length = kNoLength;
    list.AppendChild(std::move(one));
    list.AppendChild(std::move(two));
    ASSERT_TRUE(list.WriteM3U(list.path));
    EXPECT_EQ(ReadFile(list.path), "#EXTM3U\r\n#EXTINF:215,Band - Song - With Dash\r\n" + a +
                                       "\r\n#EXTINF:-1, - Two\r\n" + b + "\r\n");
    M3UPlaylist back = Read(list.path);
    ASSERT_EQ(back.ChildCount(), 2u);
    EXPECT_EQ(back.Child(0)->path, a);
    // A title holding " - " comes back split at its last " - ".
    EXPECT_EQ(back.Child(0)->artist, "Band - Song");
    EXPECT_EQ(back.Child(0)->title, "With Dash");
    EXPECT_EQ(back.Child(1)->path, b);
    EXPECT_EQ(back.Child(1)->artist, "");
    EXPECT_EQ(back.Child(1)->title, "Two");
    EXPECT_FALSE(list.WriteM3U(dir / "no/such/folder/x.m3u"));
}

TEST_F(M3U, DeviceFormIsRelativeToTheVolumeRoot) {
    M3UPlaylist list;
    auto on = std::make_unique<Track>();
    on->path = "/media/card/Music/a.mp3";
    on->length = 1;
    auto off = std::make_unique<Track>();
    off->path = "/home/u/b.mp3";
    off->length = 2;
    auto cd = std::make_unique<Track>();
    cd->path = "/dev/sr0/Track05.cda";
    cd->length = 3;
    list.AppendChild(std::move(on));
    list.AppendChild(std::move(off));
    list.AppendChild(std::move(cd));
    const std::string text = list.RenderM3U(true, "/media/card/");
    EXPECT_NE(text.find("\r\n/Music/a.mp3\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n/home/u/b.mp3\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n/Track05.cda\r\n"), std::string::npos);
    ASSERT_TRUE(list.WriteDeviceM3U(dir / "dev.m3u", "/media/card"));
    EXPECT_EQ(ReadFile(dir / "dev.m3u"), list.RenderM3U(true, "/media/card"));
    // Kinds that are not M3U playlists write nothing.
    Playlist plain;
    EXPECT_FALSE(plain.WriteDeviceM3U(dir / "p.m3u", "/"));
    EXPECT_FALSE(plain.Save());
    EXPECT_FALSE(plain.ApplyTitleToPath());
    EXPECT_FALSE(std::filesystem::exists(dir / "p.m3u"));
}

TEST_F(M3U, SaveRenamesTheFileToTheTitle) {
    const std::string a = Song("a.mp3");
    WriteFile(dir / "Old.m3u", "#EXTM3U\n" + a + "\n");
    M3UPlaylist list = Read(dir / "Old.m3u");
    list.title = "New Name";
    ASSERT_TRUE(list.Save());
    EXPECT_EQ(list.path, dir / "New Name.m3u");
    EXPECT_FALSE(std::filesystem::exists(dir / "Old.m3u"));
    EXPECT_EQ(Read(dir / "New Name.m3u").ChildCount(), 1u);
    // The rename never replaces another file; the title is not a path.
    WriteFile(dir / "Taken.m3u", "keep");
    list.title = "Taken";
    EXPECT_FALSE(list.Save());
    EXPECT_EQ(ReadFile(dir / "Taken.m3u"), "keep");
    EXPECT_EQ(list.path, dir / "New Name.m3u");
    list.title = "../escape";
    EXPECT_FALSE(list.Save());
    // ApplyTitleToPath touches no file.
    list.title = "Copy of New Name";
    EXPECT_TRUE(list.ApplyTitleToPath());
    EXPECT_EQ(list.path, dir / "Copy of New Name.m3u");
    EXPECT_FALSE(std::filesystem::exists(list.path));
    EXPECT_TRUE(list.Save()); // the first save writes it under the new name
    EXPECT_TRUE(std::filesystem::exists(list.path));
    EXPECT_TRUE(std::filesystem::exists(dir / "New Name.m3u"));
    // SaveForDevice writes the device form.
    list.title = "Dev";
    ASSERT_TRUE(list.SaveForDevice(dir.path()));
    EXPECT_NE(ReadFile(dir / "Dev.m3u").find("\r\n/a.mp3\r\n"), std::string::npos);
}

TEST_F(M3U, InsertFileAndCopies) {
    const std::string a = Song("a.mp3"), b = Song("b.mp3");
    WriteFile(dir / "two.m3u", "#EXTM3U\n" + a + "\n" + b + "\n");
    M3UPlaylist list;
    list.path = dir / "two.m3u";
    EXPECT_TRUE(list.InsertFile(a, false, context));
    EXPECT_FALSE(list.InsertFile(dir / "two.m3u", false, context));
    EXPECT_TRUE(list.InsertFile(dir / "two.m3u", true, context));
    EXPECT_FALSE(list.InsertFile(dir / "two.M3u", true, context)); // not a playlist ending
    ASSERT_EQ(list.ChildCount(), 3u);
    EXPECT_EQ(list.size, 0u); // the caller recomputes
    list.RecomputeTotals();
    EXPECT_EQ(list.size, 3 * list.Child(0)->size);
    context.formats.mp3 = false;
    EXPECT_FALSE(list.InsertFile(a, false, context));
    context.formats.mp3 = true;

    // A copy owns copies of the children.
    list.expanded = 1;
    M3UPlaylist copy(list);
    ASSERT_EQ(copy.ChildCount(), 3u);
    EXPECT_NE(copy.Child(0), list.Child(0));
    EXPECT_EQ(copy.Child(0)->path, list.Child(0)->path);
    EXPECT_EQ(copy.expanded, 1);
    std::unique_ptr<MusicItem> clone = list.Clone();
    ASSERT_TRUE(clone->IsPlaylist());
    EXPECT_EQ(static_cast<Playlist&>(*clone).ChildCount(), 3u);

    // A borrowing playlist never deletes what it points at.
    {
        M3UPlaylist borrowing;
        borrowing.SetBorrowed(true);
        EXPECT_TRUE(borrowing.AppendBorrowed(list.Child(0)));
        EXPECT_TRUE(borrowing.AppendBorrowed(&list));
        EXPECT_TRUE(borrowing.WriteM3U(dir / "made.m3u"));
    }
    EXPECT_EQ(list.Child(0)->path, a);
    M3UPlaylist made = Read(dir / "made.m3u");
    EXPECT_EQ(made.ChildCount(), 3u); // the playlist entry is read as a nested playlist
}

// Playlists other programs wrote used to be rewritten on every Studio save:
// entries that could not be read now were dropped and relative entries
// became absolute.
TEST_F(M3U, APlaylistIsRewrittenOnlyWhenItChangedAndKeepsWhatCannotBeReadNow) {
    const std::string a = Song("music/a.mp3"), b = Song("music/b.mp3"), c = Song("music/c.mp3");
    WriteFile(dir / "music/d.flac", "fLaC");
    const char* data = std::getenv("LYB_TEST_DATA");
    ASSERT_NE(data, nullptr);
    const std::string foreign =
        ReadFile(std::string(data) + "/library/m3u/rewrite-dropped-unreadable-entries.m3u");
    ASSERT_FALSE(foreign.empty());
    const std::string file = dir / "lists/trip.m3u";
    std::filesystem::create_directories(dir / "lists");
    WriteFile(file, foreign);
    CMusicDoc doc(context);
    ASSERT_TRUE(doc.Collection().AddFile(file, false, context));
    auto* list = static_cast<M3UPlaylist*>(doc.Collection().Item(0));
    ASSERT_EQ(list->ChildCount(), 2u);
    // Unchanged: the Studio's save leaves the file as its writer left it,
    // even after the lengths were measured.
    list->Child(0)->length = 123;
    EXPECT_FALSE(list->Changed());
    ASSERT_TRUE(doc.SaveAll(dir / "data.ms"));
    EXPECT_EQ(ReadFile(file), foreign);

    // Changed: the unreadable entries stay in place as written, the
    // relative entry stays relative.
    ASSERT_TRUE(list->InsertFile(c, false, context));
    EXPECT_TRUE(list->Changed());
    ASSERT_TRUE(doc.SaveAll(dir / "data.ms"));
    EXPECT_EQ(ReadFile(file), "#EXTM3U\r\n"
                              "#PLAYLIST:Road trip\r\n"
                              "#EXTINF:123,Band - Relative\r\n"
                              "../music/a.mp3\r\n"
                              "#EXTINF:20,Gone - On a stick\r\n"
                              "/media/stick/missing.mp3\r\n"
                              "#EXTINF:30,Other - Format\r\n"
                              "../music/d.flac\r\n"
                              "#EXTINF:0, - b\r\n"
                              "./../music/b.mp3\r\n"
                              "#EXTINF:0, - c\r\n" +
                                  c +
                                  "\r\n"
                                  "missing.m3u\r\n"
                                  "#EXTINF:5,Tail - Missing\r\n"
                                  "tail.mp3\r\n");
    EXPECT_FALSE(list->Changed());

    // Removing an entry keeps the lines before it where they were.
    list->RemoveChild(1);
    ASSERT_TRUE(list->Save());
    const std::string after = ReadFile(file);
    EXPECT_NE(after.find("../music/d.flac\r\n#EXTINF:0, - c\r\n"), std::string::npos) << after;
    EXPECT_EQ(after.find("b.mp3"), std::string::npos);
}

// A playlist opened through a relative path used to be written with paths
// relative to the current folder, which the next read took as relative to
// the playlist's folder: the folder came in twice and every entry was lost.
TEST_F(M3U, APlaylistOpenedThroughARelativePathKeepsItsEntries) {
    Song("lists/a.mp3");
    const std::string b = Song("music/b.mp3");
    WriteFile(dir / "lists/rel.m3u", "#EXTM3U\na.mp3\n../music/b.mp3\n");
    const std::string before = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    MusicCollection c;
    const bool added = c.AddFile("lists/rel.m3u", false, context);
    std::filesystem::current_path(before);
    ASSERT_TRUE(added);
    auto* list = static_cast<M3UPlaylist*>(c.Item(0));
    EXPECT_EQ(list->path, dir / "lists/rel.m3u");
    ASSERT_EQ(list->ChildCount(), 2u);
    EXPECT_EQ(list->Child(0)->path, dir / "lists/a.mp3");
    ASSERT_TRUE(list->InsertFile(b, false, context));
    ASSERT_TRUE(list->Save());
    EXPECT_EQ(ReadFile(dir / "lists/rel.m3u"),
              "#EXTM3U\r\n#EXTINF:0, - a\r\na.mp3\r\n#EXTINF:0, - b\r\n../music/b.mp3\r\n"
              "#EXTINF:0, - b\r\n" +
                  b + "\r\n");
    EXPECT_EQ(Read(dir / "lists/rel.m3u").ChildCount(), 3u);
}
