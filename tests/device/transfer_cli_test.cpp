// The transfer through the library command line, run as a user runs it,
// with a simulated phone: the phones, the card's list, Studio rows and files
// and playlists to the card, the overwrite choice, and no phone at all.
#include "tests/library/test_util.h"

#include "library/id3v2_tag.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lyb {
namespace {

namespace fs = std::filesystem;
using namespace lyb::test;

struct CliResult {
    int status = -1;
    std::string out;
};

class TransferCli : public testing::Test {
protected:
    TempDir dir;
    std::string card = dir / "card";

    void SetUp() override {
        if (!HaveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed to make test files";
        fs::create_directories(card);
        WriteFile(dir / "phones.txt", "Orvik Mobile | Orvik QRX-4 | card\nAcme | Stick | card\n");
        ASSERT_TRUE(MakeMp3(dir / "one  .mp3",
                            "-id3v2_version 3 -write_id3v1 1 -metadata title=One -metadata artist=First", 1.0));
        ASSERT_TRUE(MakeMp3(dir / "two.mp3", "-id3v2_version 4 -metadata title=Two", 1.0));
        WriteFile(dir / "list.m3u", "#EXTM3U\ntwo.mp3\none  .mp3\n");
    }
    CliResult Cli(const std::string& args, const std::string& phones = "phones.txt") {
        CliResult r;
        const std::string cmd = "cd " + Quote(dir.path()) + " && LYB30_SIM_USB=" + Quote(dir / phones) + " " +
                                Quote(LYB30_STUDIO_BIN) + " --studio " + Quote(dir / "data.ms") + " " + args +
                                " 2>&1";
        r.out = Capture(cmd + "; echo \"#status=$?\"");
        const size_t at = r.out.rfind("#status=");
        if (at != std::string::npos) {
            r.status = std::atoi(r.out.c_str() + at + 8);
            r.out.erase(at);
        }
        return r;
    }
};

TEST_F(TransferCli, ListsThePhonesAndTransfersFilesAndPlaylistsToTheCard) {
    CliResult r = Cli("devices");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("1  Orvik QRX-4  (Orvik Mobile)  " + card + "/  used ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("Stick"), std::string::npos);

    r = Cli("transfer-files --quiet list.m3u");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Transferred successfully: 2 track(s)\nCouldn't transfer: 0 track(s)"), std::string::npos)
        << r.out;
    // Trailing blanks are gone from the name; the tag is version 4 with the file's texts.
    ASSERT_TRUE(fs::exists(card + "/one.mp3"));
    ID3v2Tag tag;
    ASSERT_TRUE(tag.ReadTag(card + "/one.mp3"));
    EXPECT_EQ(tag.MajorVersion(), 4);
    EXPECT_EQ(tag.GetTitle(), "One");
    EXPECT_EQ(tag.GetArtist(), "First");
    const std::string one = ReadFile(dir / "one  .mp3");
    const std::string copy = ReadFile(card + "/one.mp3");
    EXPECT_EQ(copy.substr(copy.size() - 128), one.substr(one.size() - 128));

    r = Cli("card");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("One "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Two "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("00:01"), std::string::npos) << r.out;

    // Again: the card's files are kept unless --overwrite.
    WriteFile(card + "/two.mp3", "the card's own");
    r = Cli("transfer-files --quiet two.mp3");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("already exists: kept"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(card + "/two.mp3"), "the card's own");
    r = Cli("transfer-files --quiet --overwrite two.mp3 missing.mp3");
    EXPECT_EQ(r.status, 1) << r.out; // one path could not be read
    EXPECT_NE(r.out.find("not a music file it can transfer: " + (dir / "missing.mp3")), std::string::npos);
    EXPECT_NE(ReadFile(card + "/two.mp3"), "the card's own");
}

TEST_F(TransferCli, TransfersStudioRowsAPlaylistWithItsTracks) {
    ASSERT_EQ(Cli("add list.m3u").status, 0);
    CliResult r = Cli("transfer --quiet 1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(card + "/one.mp3"));
    EXPECT_TRUE(fs::exists(card + "/two.mp3"));
    EXPECT_EQ(Cli("transfer 7").status, 2);
}

TEST_F(TransferCli, WithoutAPhoneNothingIsTransferred) {
    WriteFile(dir / "none.txt", "Acme | Stick | card\n");
    CliResult r = Cli("transfer-files --quiet two.mp3", "none.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no phone found"), std::string::npos) << r.out;
    EXPECT_EQ(Cli("devices", "none.txt").out, "No Devices Found\n");
    r = Cli("card --device 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no phone 2 (1 to 1)"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(card));
}

} // namespace
} // namespace lyb
