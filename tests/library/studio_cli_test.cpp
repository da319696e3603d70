// lyb30-studio run as a user runs it: the page's scenario through the
// command line, the files it leaves, its refusal while the Studio is held,
// the tag commands and the search.
#include "library/id3v2_tag.h"
#include "library/music_doc.h"
#include "platform/instance.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace lyb;
using namespace lyb::test;

namespace {

struct CliResult {
    int status = -1;
    std::string out;
};

class StudioCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_have = HaveTool("ffmpeg") && MakeMp3(*s_dir / "song.mp3", "-id3v2_version 0", 2.0) &&
                 MakeAac(*s_dir / "song.aac", 3.0);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_have)
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        studio = dir / "home/data.ms";
        music = dir / "music";
    }
    std::string Put(const std::string& name, const char* from = "song.mp3") {
        const std::string path = music + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(*s_dir / from, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    CliResult Cli(const std::string& args) {
        CliResult r;
        const std::string cmd = "cd " + Quote(dir.path()) + " && " + Quote(LYB30_STUDIO_BIN) + " --studio " +
                                Quote(studio) + " " + args + " 2>&1";
        r.out = Capture(cmd + "; echo \"#status=$?\"");
        const size_t at = r.out.rfind("#status=");
        if (at != std::string::npos) {
            r.status = std::atoi(r.out.c_str() + at + 8);
            r.out.erase(at);
        }
        return r;
    }
    /// `list --expand --tsv` as "number title length artist" lines (and the totals line).
    std::vector<std::string> List() {
        const CliResult r = Cli("list --expand --tsv");
        EXPECT_EQ(r.status, 0) << r.out;
        std::vector<std::string> lines;
        size_t pos = r.out.find('\n') + 1; // past the headings
        while (pos < r.out.size()) {
            size_t end = r.out.find('\n', pos);
            std::string line = r.out.substr(pos, end - pos);
            std::vector<std::string> cells;
            size_t p = 0;
            while (true) {
                size_t tab = line.find('\t', p);
                cells.push_back(line.substr(p, tab == std::string::npos ? std::string::npos : tab - p));
                if (tab == std::string::npos)
                    break;
                p = tab + 1;
            }
            if (cells.size() >= 5)
                lines.push_back(cells[0] + " " + cells[1] + " " + cells[2] + " " + cells[4]);
            else
                lines.push_back(line);
            pos = end + 1;
        }
        return lines;
    }
    std::vector<std::string> StudioTitles() const { return test::StudioTitles(studio); }
    static std::vector<std::string> Entries(const std::string& file) { return M3UEntries(file); }

    static TempDir* s_dir;
    static bool s_have;
    TempDir dir;
    std::string studio;
    std::string music;
};

TempDir* StudioCli::s_dir = nullptr;
bool StudioCli::s_have = false;

} // namespace

TEST_F(StudioCli, ScriptedScenarioThroughTheCommandLine) {
    const std::string a = Put("a.mp3"), b = Put("b.mp3"), c = Put("c.aac", "song.aac");
    WriteFile(music + "/Rock.m3u", "#EXTM3U\r\n" + a + "\r\n" + b + "\r\n");

    // Add three files and a playlist (relative paths are made absolute).
    CliResult r = Cli("add music/a.mp3 music/b.mp3 music/c.aac music/Rock.m3u");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "4 entries added\n");
    // Listed with the playlist's tracks under it; lengths measured.
    EXPECT_EQ(List(), (std::vector<std::string>{"1 a 00:02 ", "2 b 00:02 ", "3 c 00:03 ", "4 Rock 00:04 ",
                                                "4.1 a 00:02 ", "4.2 b 00:02 ", "total\t00:11\t" +
                                                    FormatSize(static_cast<uint32_t>(
                                                        4 * std::filesystem::file_size(a) +
                                                        std::filesystem::file_size(c)))}));
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "b", "c", "Rock"}));

    // Move c up; the playlist's second track up within it.
    ASSERT_EQ(Cli("move-up 3 4.2").status, 0);
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "c", "b", "Rock"}));
    EXPECT_EQ(Entries(music + "/Rock.m3u"), (std::vector<std::string>{b, a}));

    // Cut the playlist and paste it twice at the end.
    r = Cli("cut 4 --times 2");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "c", "b", "Rock", "Copy of Rock"}));
    EXPECT_EQ(Entries(music + "/Copy of Rock.m3u"), (std::vector<std::string>{b, a}));

    // Edit c's tag.
    ASSERT_EQ(Cli("edit 2 --title Charlie --artist 'The Band'").status, 0);
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(c));
    EXPECT_EQ(tag.GetTitle(), "Charlie");
    EXPECT_EQ(tag.GetArtist(), "The Band");
    EXPECT_EQ(StudioTitles()[1], "Charlie");

    // Create a playlist of c and b.
    r = Cli("create-playlist music/Mix.m3u 2 3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Entries(music + "/Mix.m3u"), (std::vector<std::string>{c, b}));
    EXPECT_EQ(StudioTitles().back(), "Mix");

    // Remove the pasted copy and the new playlist; their files stay.
    ASSERT_EQ(Cli("remove 5 6").status, 0);
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"a", "Charlie", "b", "Rock"}));
    EXPECT_TRUE(std::filesystem::exists(music + "/Mix.m3u"));
    const auto listed = List();
    EXPECT_EQ(listed[1], "2 Charlie 00:03 The Band");
    EXPECT_EQ(listed.size(), 7u);

    // A file added into the playlist is counted as added.
    r = Cli("add --into 4 music/c.aac");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "1 entry added\n");
    EXPECT_EQ(Entries(music + "/Rock.m3u"), (std::vector<std::string>{b, a, c}));
}

TEST_F(StudioCli, RefusesToWriteWhileTheStudioIsHeld) {
    Put("a.mp3");
    ASSERT_EQ(Cli("add music/a.mp3").status, 0);
    const std::string before = ReadFile(studio);
    {
        // As lyb30 holds it for its whole run.
        auto lock = MakeStudioLock(studio);
        ASSERT_EQ(lock->Acquire(), GuardResult::Acquired);
        const CliResult r = Cli("remove 1");
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.out.find("lyb30 is running and holds the Music Studio"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(studio), before);
        // Reading is allowed.
        EXPECT_EQ(Cli("list").status, 0);
    }
    EXPECT_EQ(Cli("remove 1").status, 0);
    EXPECT_EQ(ReadFile(studio), "");
}

TEST_F(StudioCli, TagShowPlaylistSearchAndBadInput) {
    const std::string a = Put("a.mp3");
    CliResult r = Cli("tag music/a.mp3 --title 'Song A' --artist Someone");
    ASSERT_EQ(r.status, 0) << r.out;
    r = Cli("show music/a.mp3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Title:  Song A\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Artist: Someone\n"), std::string::npos);
    EXPECT_NE(r.out.find("Length: 00:02\n"), std::string::npos);
    if (HaveTool("ffprobe")) {
        const std::string probe = Capture("ffprobe -v error -show_entries format_tags=title,artist -of "
                                          "default=nw=1 " + Quote(a));
        EXPECT_NE(probe.find("title=Song A"), std::string::npos) << probe;
        EXPECT_NE(probe.find("artist=Someone"), std::string::npos) << probe;
    }
    // A file without a tag keeps having none with --no-create.
    const std::string plain = Put("plain.mp3");
    const std::string bytes = ReadFile(plain);
    EXPECT_EQ(Cli("tag music/plain.mp3 --title X --no-create").status, 1);
    EXPECT_EQ(ReadFile(plain), bytes);

    // A playlist from files: only music files of enabled formats go in.
    WriteFile(music + "/notes.txt", "x");
    r = Cli("playlist music/Road music/a.mp3 music/notes.txt music/plain.mp3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Entries(music + "/Road.M3U"), (std::vector<std::string>{a, plain}));
    EXPECT_EQ(StudioTitles(), (std::vector<std::string>{"Road"}));

    // The search adds what the Studio does not hold yet.
    Put("deep/x.aac", "song.aac");
    r = Cli("search music --subfolders --quiet");
    ASSERT_EQ(r.status, 0) << r.out;
    // a, plain, x and the playlist, which the Studio holds already.
    EXPECT_EQ(r.out, "Found: 4  file(s) , Added: 3  file(s) to Music Studio\n");
    EXPECT_EQ(StudioTitles().size(), 4u);
    r = Cli("search music --type m3u --quiet");
    EXPECT_EQ(r.out, "Found: 1  file(s) , Added: 0  file(s) to Music Studio\n");

    // Bad input: clear messages, nothing changed.
    const std::string now = ReadFile(studio);
    EXPECT_EQ(Cli("remove 9").status, 2);
    EXPECT_EQ(Cli("remove 1.1.1").status, 2);
    EXPECT_EQ(Cli("move-up").status, 2);
    EXPECT_EQ(Cli("frobnicate").status, 2);
    EXPECT_EQ(Cli("edit 1 --artist Nobody").status, 2); // a playlist has no artist
    EXPECT_EQ(Cli("search music --type wav").status, 2);
    EXPECT_EQ(Cli("show music/notes.txt").status, 1);
    EXPECT_EQ(ReadFile(studio), now);
}
