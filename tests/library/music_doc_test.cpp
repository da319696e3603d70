// The collection, the display helpers, "data.ms" and the document's
// start-up modes with the background length probes.
#include "app/localize.h"
#include "library/media_info.h"
#include "library/music_doc.h"
#include "platform/message_target.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace lyb;
using namespace lyb::test;

TEST(DisplayHelpers, LengthSizeAndType) {
    EXPECT_EQ(FormatLength(3599), "59:59");
    EXPECT_EQ(FormatLength(3600), "01:00:00");
    EXPECT_EQ(FormatLength(0), "00:00");
    EXPECT_EQ(FormatLength(kNoLength), "??:??");
    EXPECT_EQ(FormatLength(86400 + 3661), "01:01:01"); // hours within a day
    MusicItem item;
    item.length = kNoLength;
    EXPECT_EQ(FormatLengthSeconds(item), "-1");
    item.length = 215;
    EXPECT_EQ(FormatLengthSeconds(item), "215");
    EXPECT_EQ(FormatSize(1023), "0 Kb");
    EXPECT_EQ(FormatSize(3597312), "3513 Kb");
    item.type = kItemPls;
    EXPECT_EQ(TypeName(item), "PLS");
    item.type = 0;
    EXPECT_EQ(TypeName(item), "Unknown type");
    item.type = kItemAac;
    EXPECT_EQ(TypeName(item), "AAC");

    // Through the interface language table.
    std::u16string lang = u"102=Emm-pee-three\r\n363=KiB\r\n";
    std::string bytes(reinterpret_cast<const char*>(lang.data()), lang.size() * 2);
    CLocalize localize;
    localize.LoadFromBytes(bytes);
    item.type = kItemMp3;
    EXPECT_EQ(TypeName(item, &localize), "Emm-pee-three");
    EXPECT_EQ(FormatSize(2048, &localize), "2 KiB");
    item.type = kItemLse;
    EXPECT_EQ(TypeName(item, &localize), "LSE");
}

TEST(MusicItemModel, DeriveTitleAndTotals) {
    MusicItem item;
    item.path = "/music/dir.v2/Song Name.mp3";
    item.DeriveTitle();
    EXPECT_EQ(item.title, "Song Name");
    EXPECT_TRUE(item.flags & kTitleKnown);
    item.title = "Kept";
    item.DeriveTitle();
    EXPECT_EQ(item.title, "Kept");

    MusicCollection collection;
    auto add = [&](uint32_t size, uint32_t length) {
        auto t = std::make_unique<Track>();
        t->size = size;
        t->length = length;
        collection.Append(std::move(t));
    };
    add(0xFFFFFFF0u, 10);
    add(0x20, kNoLength);
    add(5, 20);
    collection.RecomputeTotals();
    EXPECT_EQ(collection.Totals().size, 0x15u); // wraps at 32 bits
    EXPECT_EQ(collection.Totals().length, 30u);
}

namespace {

class Studio : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_have = HaveTool("ffmpeg") && MakeMp3(*s_dir / "plain.mp3") &&
                 MakeMp3(*s_dir / "tagged.mp3", "-id3v2_version 4 -metadata title=TagTitle "
                                                "-metadata artist=TagArtist") &&
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
    }
    std::string Song(const std::string& name, const char* from = "plain.mp3") {
        const std::string path = dir / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(*s_dir / from, path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    std::vector<std::string> Paths(const MusicCollection& c) {
        std::vector<std::string> out;
        for (const auto& item : c.Items())
            out.push_back(item->path);
        return out;
    }

    static TempDir* s_dir;
    static bool s_have;
    TempDir dir;
    FakeEngine engine;
    LibraryContext context;
};

TempDir* Studio::s_dir = nullptr;
bool Studio::s_have = false;

} // namespace

TEST_F(Studio, AddFileAcceptsWhatTheSwitchesAllow) {
    MusicCollection c;
    const std::string a = Song("a.mp3");
    WriteFile(dir / "p.M3U", "#EXTM3U\n" + a + "\n");
    WriteFile(dir / "q.m3u", "no header");
    WriteFile(dir / "r.M3u", "#EXTM3U\n" + a + "\n");
    EXPECT_TRUE(c.AddFile(a, false, context));
    EXPECT_TRUE(c.AddFile(a, false, context)); // no duplicate check
    EXPECT_TRUE(c.AddFile(dir / "p.M3U", false, context));
    EXPECT_TRUE(c.AddFile(dir / "q.m3u", true, context)); // always added, even empty
    EXPECT_TRUE(c.AddFile(dir / "gone.m3u", false, context));
    EXPECT_FALSE(c.AddFile(dir / "r.M3u", false, context));
    EXPECT_FALSE(c.AddFile(dir / "missing.mp3", false, context));
    ASSERT_EQ(c.Count(), 5u);
    EXPECT_EQ(c.Item(0)->path, dir / "q.m3u");
    EXPECT_EQ(c.Item(0)->type, uint32_t(kItemM3u));
    EXPECT_EQ(c.Item(0)->title, "q");
    EXPECT_EQ(static_cast<Playlist*>(c.Item(3))->ChildCount(), 1u);

    const std::string aac = Song("x.aac", "plain.aac");
    context.formats.aac = false;
    EXPECT_FALSE(c.AddFile(aac, false, context));
    context.formats.aac = true;
    context.formats.mp3 = false;
    EXPECT_FALSE(c.AddFile(a, false, context));
    EXPECT_TRUE(c.AddFile(aac, false, context));
    EXPECT_EQ(c.Item(c.Count() - 1)->title, "x");
}

TEST_F(Studio, ScanFolderIsRecursiveAndOrdered) {
    Song("b.mp3");
    Song("a.mp3");
    Song("sub/c.aac", "plain.aac");
    Song("sub/deeper/d.mp3");
    WriteFile(dir / "notes.txt", "x");
    WriteFile(dir / "sub/list.m3u", "#EXTM3U\n");
    std::filesystem::create_directory_symlink(dir.path(), dir / "sub/loop");
    MusicCollection c;
    c.ScanFolder(dir.path(), context);
    EXPECT_EQ(Paths(c), (std::vector<std::string>{dir / "a.mp3", dir / "b.mp3", dir / "sub/c.aac",
                                                  dir / "sub/deeper/d.mp3", dir / "sub/list.m3u"}));
    MusicCollection none;
    none.ScanFolder("", context);
    none.ScanFolder(dir / "missing", context);
    EXPECT_TRUE(none.Empty());
}

TEST_F(Studio, StudioFileRoundTrip) {
    const std::string a = Song("a.mp3"), b = Song("b.mp3"), t = Song("t.mp3", "tagged.mp3");
    WriteFile(dir / "list.m3u", "#EXTM3U\n" + a + "\n");
    CMusicDoc doc(context);
    for (const std::string& p : {b, a, t, dir / "list.m3u", a})
        ASSERT_TRUE(doc.Collection().AddFile(p, false, context));
    doc.Collection().Item(0)->artist = "Someone";
    const std::string studio = dir / "data.ms";
    ASSERT_TRUE(doc.SaveStudio(studio));
    const std::string text = ReadFile(studio);
    EXPECT_EQ(text.substr(0, text.find("\r\n", text.find("\r\n") + 2) + 2), "b\r\n" + b + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "data.m~"));

    CMusicDoc back(context);
    EXPECT_EQ(back.LoadStudio(studio), 5u);
    EXPECT_EQ(Paths(back.Collection()), Paths(doc.Collection()));
    EXPECT_EQ(back.Collection().Item(0)->artist, "Someone");
    EXPECT_EQ(back.Collection().Item(2)->title, "TagTitle");
    EXPECT_EQ(back.Collection().Item(3)->type, uint32_t(kItemM3u));

    // Entries whose file is gone disappear with the next save.
    std::filesystem::remove(b);
    CMusicDoc after(context);
    after.LoadStudio(studio);
    ASSERT_TRUE(after.SaveStudio(studio));
    CMusicDoc again(context);
    EXPECT_EQ(again.LoadStudio(studio), 4u);
    EXPECT_EQ(again.Collection().Item(0)->path, a);
    EXPECT_EQ(CMusicDoc().LoadStudio(dir / "missing.ms"), 0u);
}

// One file name that is not UTF-8 used to decide the encoding of the whole
// file: the other non-ASCII entries became unreadable and the next save
// dropped them (1 of 4 came back).
TEST_F(Studio, EncodingIsDecidedPerLineAndPathsKeepTheirBytes) {
    const std::vector<std::string> names = {"Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga.mp3",
                                            "\xC3\x84rzte.mp3", "caf\xE9.mp3", "ascii.mp3"};
    for (const std::string& name : names)
        Song("music/" + name);
    CMusicDoc doc(context);
    doc.Collection().ScanFolder(dir / "music", context);
    ASSERT_EQ(doc.Collection().Count(), 4u);
    doc.Collection().Item(0)->artist = "Bj\xC3\xB6rk";
    const std::string studio = dir / "data.ms";
    ASSERT_TRUE(doc.SaveStudio(studio));
    CMusicDoc back(context);
    EXPECT_EQ(back.LoadStudio(studio), 4u);
    EXPECT_EQ(Paths(back.Collection()), Paths(doc.Collection())); // byte for byte
    EXPECT_EQ(back.Collection().Item(0)->artist, "Bj\xC3\xB6rk");
    // A second round trip changes nothing.
    ASSERT_TRUE(back.SaveStudio(dir / "again.ms"));
    EXPECT_EQ(ReadFile(dir / "again.ms"), ReadFile(studio));

    // Lines other programs or versions wrote in a single-byte code page sit
    // beside UTF-8 ones: each text line is read in its own encoding.
    CMusicDoc mixed(context);
    EXPECT_EQ(mixed.LoadStudioFromBytes("Caf\xE9\r\n" + Paths(doc.Collection())[3] +
                                        "\r\nBj\xC3\xB6rk\r\nt\r\n" + Paths(doc.Collection())[1] +
                                        "\r\nCr\xE8me\r\n"),
              2u);
    EXPECT_EQ(mixed.Collection().Item(0)->title, "Caf\xC3\xA9");
    EXPECT_EQ(mixed.Collection().Item(0)->artist, "Bj\xC3\xB6rk");
    EXPECT_EQ(mixed.Collection().Item(1)->artist, "Cr\xC3\xA8me");

    // The same holds for a playlist of these files.
    M3UPlaylist list;
    list.path = dir / "all.m3u";
    for (const auto& item : doc.Collection().Items())
        list.AppendChild(item->Clone());
    ASSERT_TRUE(list.WriteM3U(list.path));
    M3UPlaylist read;
    read.path = list.path;
    read.Load(list.path, context);
    ASSERT_EQ(read.ChildCount(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(read.Child(i)->path, list.Child(i)->path);
}

// A FIFO named like a playlist or a music file used to block the scan for
// good: opening it for reading waits for a writer.
TEST_F(Studio, AFifoOrDeviceNamedLikeMusicNeverBlocksTheScan) {
    const std::string a = Song("music/a.mp3");
    ASSERT_EQ(::mkfifo((dir / "music/list.m3u").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "music/song.mp3").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "data.ms").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "music/zero.aac");
    auto scan = std::async(std::launch::async, [&] {
        CMusicDoc doc(context);
        doc.Collection().ScanFolder(dir / "music", context);
        doc.LoadStudio(dir / "data.ms");
        MusicItem record;
        const int fifo = GetMediaInfo(dir / "music/song.mp3", record, context);
        return std::make_pair(doc.Collection().Count(), fifo);
    });
    if (scan.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let the blocked reader go before failing.
        for (const char* name : {"music/list.m3u", "music/song.mp3", "data.ms"})
            ::close(::open((dir / name).c_str(), O_WRONLY | O_NONBLOCK));
        FAIL() << "the scan blocked on a FIFO";
    }
    const auto [count, fifo] = scan.get();
    // The FIFO named like a playlist still enters as an empty playlist (an
    // M3U name is always added); nothing is read from it.
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(fifo, -1);
}

TEST_F(Studio, StoredTitleFillsOnlyWhatTheFileDoesNotSay) {
    const std::string a = Song("a.mp3"), t = Song("t.mp3", "tagged.mp3");
    CMusicDoc doc(context);
    doc.LoadStudioFromBytes("My Title\r\n" + a + "\r\nMy Artist\r\nOther\r\n" + t +
                            "\r\nOther Artist\r\n");
    ASSERT_EQ(doc.Collection().Count(), 2u);
    EXPECT_EQ(doc.Collection().Item(0)->title, "My Title");
    EXPECT_EQ(doc.Collection().Item(0)->artist, "My Artist");
    EXPECT_EQ(doc.Collection().Item(1)->title, "TagTitle");
    EXPECT_EQ(doc.Collection().Item(1)->artist, "TagArtist");
}

TEST_F(Studio, LongLinesLegacyTextAndBrokenFiles) {
    std::string rel;
    for (int i = 0; i < 8; ++i)
        rel += std::string(50, char('a' + i)) + "/";
    const std::string longPath = Song(rel + "Caf\xC3\xA9.mp3");
    const std::string b = Song("b.mp3");
    ASSERT_GT(longPath.size(), 259u);
    CMusicDoc doc(context);
    // A long title and a long path do not shift the grouping of what follows.
    EXPECT_EQ(doc.LoadStudioFromBytes(std::string(1000, 'T') + "\r\n" + longPath + "\r\n\r\n" +
                                      "b\n" + b + "\nArtist B\n"),
              2u);
    EXPECT_EQ(doc.Collection().Item(0)->path, longPath);
    EXPECT_EQ(doc.Collection().Item(1)->artist, "Artist B");

    // A file of an older version in code page 1252.
    const std::string legacy = "t\r\n" + dir / "Caf\xE9.mp3" + "\r\nCr\xE8me\r\n";
    Song("Caf\xC3\xA9.mp3");
    CMusicDoc old(context);
    EXPECT_EQ(old.LoadStudioFromBytes(legacy), 1u);
    EXPECT_EQ(old.Collection().Item(0)->artist, "Cr\xC3\xA8me");

    // Incomplete groups, garbage and NULs.
    CMusicDoc broken(context);
    EXPECT_EQ(broken.LoadStudioFromBytes("only a title\r\n" + b), 0u);
    EXPECT_EQ(broken.LoadStudioFromBytes(std::string("\0\xFF\xFE\r\n\n\n\n\r", 9)), 0u);
    EXPECT_EQ(broken.LoadStudioFromBytes("x\n" + b + "\n"), 0u);
    EXPECT_EQ(broken.LoadStudioFromBytes("x\n" + b + "\n\n"), 1u); // an empty artist line
}

TEST_F(Studio, StartUpModesAndProbes) {
    const std::string a = Song("music/a.mp3"), b = Song("music/b.aac", "plain.aac");
    WriteFile(dir / "music/list.m3u", "#EXTM3U\n" + a + "\n");
    engine.mp3Seconds[a] = 61.5;
    engine.aacMilliseconds[b] = 1500;
    std::vector<std::pair<std::string, intptr_t>> posted;
    QueueMessageTarget target([&](const Message& m) {
        posted.emplace_back(std::any_cast<std::string>(m.payload), m.lparam);
        return intptr_t(0);
    });
    StudioStartup startup;
    startup.programFolder = dir.path();
    startup.defaultMusicFolder = dir / "music";
    startup.probeTarget = &target;

    {
        CMusicDoc blank(context);
        startup.mode = 0;
        EXPECT_TRUE(blank.OnNewDocument(startup));
        EXPECT_TRUE(blank.Collection().Empty());
        EXPECT_EQ(blank.PlayItemIndex(), -1);
        EXPECT_EQ(blank.PlayPlaylistIndex(), -2);
    }

    CMusicDoc scan(context);
    startup.mode = 2;
    std::vector<bool> busy;
    startup.busy = [&](bool on) {
        busy.push_back(on);
        EXPECT_EQ(engine.LengthQueriesEnabled(), false);
    };
    ASSERT_TRUE(scan.OnNewDocument(startup));
    // Loading does not wait for lengths: none is asked on this thread (the
    // probes in the background may have begun already).
    EXPECT_EQ(engine.CallsOnThisThread(), 0);
    EXPECT_TRUE(engine.LengthQueriesEnabled());
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    startup.busy = nullptr;
    ASSERT_EQ(scan.Collection().Count(), 3u);
    for (const auto& item : scan.Collection().Items())
        EXPECT_EQ(item->IsPlaylist() ? static_cast<Playlist*>(item.get())->Child(0)->length
                                     : item->length,
                  kNoLength);
    WaitForDurationProbes();
    target.Pump();
    ASSERT_EQ(posted.size(), 3u);
    for (const auto& [path, seconds] : posted)
        EXPECT_EQ(scan.ApplyDuration(path, uint32_t(seconds)), path == a ? 2u : 1u);
    EXPECT_EQ(scan.Collection().Item(0)->length, 61u);
    EXPECT_EQ(scan.Collection().Item(1)->length, 1u);
    EXPECT_TRUE(scan.Collection().Item(0)->flags & kInfoRead);
    auto* list = static_cast<Playlist*>(scan.Collection().Item(2));
    EXPECT_EQ(list->Child(0)->length, 61u);
    EXPECT_EQ(list->length, 61u);
    EXPECT_EQ(scan.Collection().Totals().length, 61u + 1u + 61u);

    // The page's save step renames playlists to their titles, then writes data.ms.
    list->title = "Renamed";
    const std::string studio = CMusicDoc::StudioPath(dir.path());
    ASSERT_TRUE(scan.SaveAll(studio));
    EXPECT_TRUE(std::filesystem::exists(dir / "music/Renamed.m3u"));

    CMusicDoc previous(context);
    startup.mode = 1;
    startup.probeTarget = nullptr;
    ASSERT_TRUE(previous.OnOpenDocument(startup, b));
    ASSERT_EQ(previous.Collection().Count(), 4u);
    EXPECT_EQ(previous.Collection().Item(0)->path, b);
    EXPECT_EQ(previous.PendingPlayIndex(), 0);
    EXPECT_EQ(previous.Collection().Item(3)->path, dir / "music/Renamed.m3u");

    CMusicDoc rejected(context);
    startup.mode = 0;
    EXPECT_TRUE(rejected.OnOpenDocument(startup, dir / "nothing.wav"));
    EXPECT_EQ(rejected.PendingPlayIndex(), -1);
}

TEST_F(Studio, DocumentCancelsItsProbes) {
    const std::string a = Song("a.mp3");
    engine.mp3Seconds[a] = 5;
    int delivered = 0;
    auto target = std::make_unique<QueueMessageTarget>([&](const Message&) { return ++delivered; });
    {
        CMusicDoc doc(context);
        for (int i = 0; i < 300; ++i)
            doc.Collection().AddFile(a, false, context);
        doc.ProbeDurations(target.get());
    } // the document's end drops what is queued for its target
    const int calls = engine.calls;
    WaitForDurationProbes();
    EXPECT_EQ(engine.calls, calls);
    EXPECT_LT(calls, 300 + 300);
}
