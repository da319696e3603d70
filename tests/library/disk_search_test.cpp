// The disk search: the dialog's lists and texts, the walk over volumes and
// folders, its messages and timing, stopping, and the adding step.
#include "library/disk_search.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace lyb;
using namespace lyb::test;

namespace {

/// Records when each message was posted, then queues it for the test thread.
class RecordingTarget final : public MessageTarget {
  public:
    explicit RecordingTarget(MessageHandler handler) : m_queue(std::move(handler)) {}
    bool Post(Message message) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            posted.emplace_back(message.id, std::chrono::steady_clock::now());
        }
        return m_queue.Post(std::move(message));
    }
    std::intptr_t Send(Message message, std::intptr_t closedAnswer) override {
        return m_queue.Send(std::move(message), closedAnswer);
    }
    size_t PumpFor(int ms) { return m_queue.PumpFor(ms); }
    std::vector<std::pair<unsigned, std::chrono::steady_clock::time_point>> Posted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return posted;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::pair<unsigned, std::chrono::steady_clock::time_point>> posted;
    QueueMessageTarget m_queue;
};

class DiskSearchTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_have = HaveTool("ffmpeg") && MakeMp3(*s_dir / "song.mp3") && MakeAac(*s_dir / "song.aac");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_have)
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        fixed = dir / "fixed";
        removable = dir / "card";
        cd = dir / "cdrom";
        net = dir / "net";
        volumes = {{fixed, "/dev/sda1", "ext4", VolumeType::Fixed, 0, 0},
                   {removable, "/dev/sdb1", "vfat", VolumeType::Removable, 0, 0},
                   {cd, "/dev/sr0", "iso9660", VolumeType::CdRom, 0, 0},
                   {net, "server:/music", "nfs", VolumeType::Remote, 0, 0},
                   {fixed + "/proc", "proc", "proc", VolumeType::Virtual, 0, 0},
                   {fixed + "/inner", "/dev/sdc1", "ext4", VolumeType::Fixed, 0, 0}};
        doc = std::make_unique<CMusicDoc>(context);
        page = std::make_unique<StudioPage>(*doc, dir / "home/data.ms");
    }
    std::string Put(const std::string& path, const char* from = "song.mp3") {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(*s_dir / from, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    /// Starts the walk and handles its messages until it ended and the
    /// found files were added.
    void Run(DiskSearch& search) {
        search.StartOrStop();
        ASSERT_TRUE(search.Searching());
        for (int i = 0; i < 500 && search.Searching(); ++i) {
            target.PumpFor(20);
            while (search.AddSome(2)) {
            }
        }
        ASSERT_FALSE(search.Searching());
    }
    std::vector<std::string> StudioPaths() const {
        std::vector<std::string> out;
        for (const auto& item : doc->Collection().Items())
            out.push_back(item->path);
        return out;
    }

    static TempDir* s_dir;
    static bool s_have;
    TempDir dir;
    LibraryContext context;
    std::string fixed, removable, cd, net;
    std::vector<Volume> volumes;
    std::unique_ptr<CMusicDoc> doc;
    std::unique_ptr<StudioPage> page;
    DiskSearch* current = nullptr;
    RecordingTarget target{[this](const Message& m) -> std::intptr_t {
        if (current)
            current->OnMessage(m);
        return 0;
    }};
};

TempDir* DiskSearchTest::s_dir = nullptr;
bool DiskSearchTest::s_have = false;

} // namespace

TEST_F(DiskSearchTest, DialogListsTextsAndTypeCodes) {
    DiskSearch search(*page, &target, volumes);
    const auto texts = search.DialogTexts();
    EXPECT_EQ(texts.caption, "Search disks for music");
    EXPECT_EQ(texts.typesLabel, "File types to\nsearch for");
    EXPECT_EQ(texts.subfolders, "Search Subfolders");
    EXPECT_EQ(search.ButtonText(), "Start search");
    // "All drives", then the volumes music may be on, in order; never /proc.
    EXPECT_EQ(search.Drives(), (std::vector<std::string>{"All drives", removable, cd, fixed, fixed + "/inner", net}));
    search.Open(fixed + "/inner/music");
    EXPECT_EQ(search.Location(), fixed + "/inner/music");
    EXPECT_EQ(search.DriveSelection(), 4);
    EXPECT_FALSE(search.Subfolders());
    search.SelectDrive(0);
    EXPECT_EQ(search.Location(), "All drives");
    search.SelectDrive(2);
    EXPECT_EQ(search.Location(), cd);
    search.BrowseFolder(net + "/pop");
    EXPECT_EQ(search.Location(), net + "/pop");
    EXPECT_EQ(search.DriveSelection(), 5);
    search.BrowseFolder("");
    EXPECT_EQ(search.Location(), net + "/pop");

    EXPECT_EQ(search.TypeEntries(),
              (std::vector<std::string>{"All supported types", "MP3 audio files", "AAC audio files", "M3U playlist files"}));
    EXPECT_EQ(search.PatternText(), "*.mp3; *.aac; *.m3u");
    search.SelectTypes(3);
    EXPECT_EQ(search.TypeCode(), kSearchM3u);
    EXPECT_EQ(search.PatternText(), "*.m3u");
    search.SelectTypes(2);
    EXPECT_EQ(search.PatternText(), "*.acc");

    // The code counts the entries left out.
    context.formats = {true, true, false}; // LSE and AAC on, MP3 off
    CMusicDoc lseDoc(context);
    StudioPage lsePage(lseDoc, "");
    DiskSearch noMp3(lsePage, &target, volumes);
    EXPECT_EQ(noMp3.TypeEntries(),
              (std::vector<std::string>{"All supported types", "AAC audio files", "LSE audio files", "M3U playlist files"}));
    const int expected[] = {kSearchAllTypes, kSearchAac, kSearchLse, kSearchM3u};
    for (int position = 0; position < 4; ++position) {
        noMp3.SelectTypes(position);
        EXPECT_EQ(noMp3.TypeCode(), expected[position]) << position;
    }
    EXPECT_EQ(noMp3.PatternText(), "*.m3u");
    noMp3.SelectTypes(0);
    EXPECT_EQ(noMp3.PatternText(), "*.aac; *.lse; *.m3u");
    context.formats = {false, false, false};
    CMusicDoc noneDoc(context);
    StudioPage nonePage(noneDoc, "");
    DiskSearch none(nonePage, &target, volumes);
    ASSERT_EQ(none.TypeEntries().size(), 2u);
    none.SelectTypes(1);
    EXPECT_EQ(none.TypeCode(), kSearchM3u);
}

TEST_F(DiskSearchTest, AllDrivesSkipsRemovableAndCdVolumesAndWalksEachVolumeOnce) {
    const std::string a = Put(fixed + "/a.mp3"), b = Put(fixed + "/deep/er/b.aac", "song.aac");
    const std::string inner = Put(fixed + "/inner/i.mp3"), remote = Put(net + "/n.mp3");
    Put(removable + "/card.mp3");
    Put(cd + "/disc.mp3");
    Put(fixed + "/proc/never.mp3");
    DiskSearch search(*page, &target, volumes);
    current = &search;
    search.Open(fixed);
    search.SelectDrive(0);
    search.SetSubfolders(true);
    Run(search);
    // The inner volume is walked on its own, once; /proc never.
    EXPECT_EQ(search.Found(), 4);
    std::vector<std::string> paths = StudioPaths();
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> want = {a, b, inner, remote};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(paths, want);
    EXPECT_EQ(search.Status(), "Found: 4  file(s) , Added: 4  file(s) to Music Studio");
    EXPECT_EQ(search.ButtonText(), "Start search");
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(page->SaveCount(), 1);

    // Choosing the CD drive in the list searches it.
    search.SelectDrive(2);
    Run(search);
    EXPECT_EQ(search.Found(), 1);
    EXPECT_EQ(StudioPaths().back(), cd + "/disc.mp3");
    EXPECT_EQ(page->SelectedRows(), (std::vector<int>{4}));
}

TEST_F(DiskSearchTest, FolderSearchRulesEndingsSubfoldersDuplicatesAndTypes) {
    const std::string music = fixed + "/music";
    const std::string a = Put(music + "/a.mp3"), upper = Put(music + "/B.MP3");
    Put(music + "/c.Mp3");          // another letter case: not taken
    Put(music + "/d.lse");          // LSE files are never found
    Put(music + "/sub/e.mp3");
    WriteFile(music + "/list.m3u", "#EXTM3U\r\n" + a + "\r\n");
    std::filesystem::create_symlink(a, music + "/z-link.mp3"); // the same file through a second path
    std::filesystem::create_directory_symlink(music, music + "/sub/loop");
    DiskSearch search(*page, &target, volumes);
    current = &search;
    page->AddTracks({a}); // already in the Studio: skipped
    const int rowsBefore = page->RowCount();

    // Subfolders off; a folder typed without its trailing slash.
    search.Open(music);
    Run(search);
    EXPECT_EQ(search.Found(), 4); // a, B, list, z-link
    EXPECT_EQ(search.Added(), 3);
    std::vector<std::string> added = StudioPaths();
    std::sort(added.begin() + 1, added.end()); // the walk goes in the file system's order
    EXPECT_EQ(added, (std::vector<std::string>{a, upper, music + "/list.m3u", music + "/z-link.mp3"}));
    EXPECT_EQ(page->RowCount(), rowsBefore + 3);

    // Subfolders on: the link to a folder is not followed.
    search.SetSubfolders(true);
    search.SelectTypes(1); // MP3
    Run(search);
    EXPECT_EQ(search.Found(), 4); // a, B, z-link, sub/e
    EXPECT_EQ(search.Added(), 1);
    EXPECT_EQ(StudioPaths().back(), music + "/sub/e.mp3");

    // With the LSE switch on and "LSE audio files" chosen nothing is found.
    context.formats.lse = true;
    CMusicDoc lseDoc(context);
    StudioPage lsePage(lseDoc, "");
    DiskSearch lse(lsePage, &target, volumes);
    current = &lse;
    lse.Open(music + "/");
    lse.SetSubfolders(true);
    lse.SelectTypes(3);
    EXPECT_EQ(lse.TypeCode(), kSearchLse);
    Run(lse);
    EXPECT_EQ(lse.Found(), 0);
    EXPECT_EQ(lse.Status(), "Found: 0  file(s) , Added: 0  file(s) to Music Studio");

    // A folder that cannot be read finds nothing and ends normally.
    lse.SetLocation(music + "/missing");
    Run(lse);
    EXPECT_EQ(lse.Processed(), 0);
}

TEST_F(DiskSearchTest, StoppingAddsNothingAndProgressIsPostedAtMostEvery300ms) {
    std::filesystem::create_directories(fixed + "/many");
    for (int i = 0; i < 120; ++i)
        WriteFile(fixed + "/many/f" + std::to_string(i) + ".mp3", std::string(i == 0 ? "" : "x"));
    Put(fixed + "/many/real.mp3");
    DiskSearch search(*page, &target, volumes);
    current = &search;
    search.Open(fixed + "/many");
    // 20 ms after every second entry: about 1.2 s for the folder.
    search.SetTiming({2, 20, 300});
    Run(search);
    EXPECT_EQ(search.Processed(), 121);
    const auto posted = target.Posted();
    ASSERT_GE(posted.size(), 4u);
    for (size_t i = 1; i + 2 < posted.size(); ++i)
        EXPECT_GE(posted[i].second - posted[i - 1].second, std::chrono::milliseconds(295));
    EXPECT_EQ(posted.back().first, kSearchFinished);
    EXPECT_EQ(posted[posted.size() - 2].first, kSearchProgress); // the last count, once more

    // A slow walk stopped by the button: "Search stopped", nothing added.
    const int rows = page->RowCount();
    search.SetTiming({1, 30, 300});
    search.StartOrStop();
    EXPECT_EQ(search.ButtonText(), "Stop search");
    target.PumpFor(60);
    search.StartOrStop();
    for (int i = 0; i < 200 && search.Searching(); ++i)
        target.PumpFor(20);
    EXPECT_EQ(search.Status(), "Search stopped");
    EXPECT_EQ(search.ButtonText(), "Start search");
    EXPECT_LT(search.Processed(), 121);
    EXPECT_EQ(page->RowCount(), rows);

    // Closing while it runs stops it, waits, and clears the status line.
    search.StartOrStop();
    target.PumpFor(40);
    bool busyShown = false;
    const auto start = std::chrono::steady_clock::now();
    search.CloseSearch([&](bool on) { busyShown |= on; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(busyShown);
    EXPECT_FALSE(search.Searching());
    EXPECT_EQ(search.Status(), "");
    target.PumpFor(20);
    EXPECT_EQ(page->RowCount(), rows);
}

TEST_F(DiskSearchTest, WalkTakesOnlyTheExactEndings) {
    EXPECT_TRUE(SearchWalk::Takes("a.mp3", kSearchAllTypes));
    EXPECT_TRUE(SearchWalk::Takes("a.MP3", kSearchMp3));
    EXPECT_FALSE(SearchWalk::Takes("a.Mp3", kSearchAllTypes));
    EXPECT_FALSE(SearchWalk::Takes("a.mp3", kSearchAac));
    EXPECT_TRUE(SearchWalk::Takes("a.AAC", kSearchAac));
    EXPECT_TRUE(SearchWalk::Takes("x.m3u", kSearchM3u));
    EXPECT_FALSE(SearchWalk::Takes("x.m3u", kSearchMp3));
    EXPECT_FALSE(SearchWalk::Takes("x.lse", kSearchLse));
    EXPECT_FALSE(SearchWalk::Takes("x.LSE", kSearchAllTypes));
    EXPECT_FALSE(SearchWalk::Takes("mp3", kSearchAllTypes));
}
