// lyb30-rip as a user runs it: over a virtual disc, from a shell.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "rip_test_support.h"

namespace lyb {
namespace {

struct RipCli : ::testing::Test {
    std::filesystem::path dir = test::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string cue;
    void SetUp() override {
        cue = test::MakeDiscFrom(dir, {{40, true}, {200, false, 440}, {150, false, 0}});
        std::filesystem::create_directories(dir / "out");
        std::filesystem::create_directories(dir / "reg");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    /// Runs the ripper with `args`; its exit status, stdout in `out`, stderr in `err`.
    int Run(const std::string& args, std::string* out = nullptr, std::string* err = nullptr,
            const std::string& env = "") {
        std::string cmd = "env LYB30_VIRTUAL_CD=" + test::Quote(cue) + " LYB30_REGISTRY_DIR=" +
                          test::Quote((dir / "reg").string()) + " " + env + " " + LYB30_RIP + " " + args + " > " +
                          test::Quote((dir / "stdout").string()) + " 2> " + test::Quote((dir / "stderr").string());
        int rc = std::system(cmd.c_str());
        if (out) *out = test::ReadText(dir / "stdout");
        if (err) *err = test::ReadText(dir / "stderr");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string Out() const { return test::Quote((dir / "out").string()); }
};

TEST_F(RipCli, ListsTheDriveAndTheDisc) {
    std::string out;
    ASSERT_EQ(Run("--list", &out), 0);
    EXPECT_NE(out.find("1  virtual:cd0 (LYRABOX VIRTUAL CD-ROM)"), std::string::npos) << out;
    EXPECT_NE(out.find(" 1  (data track)"), std::string::npos) << out;
    EXPECT_NE(out.find(" 2  00:02  0.45 Mb  AUDIO TRACK 02"), std::string::npos) << out;
}

TEST_F(RipCli, RipsChosenTracksWithTitlesAndLeavesTheSettingsAlone) {
    std::string out, err;
    ASSERT_EQ(Run("-o " + Out() + " -t 2,3 -b 96000 --title '2=AC/DC: Live?' -a 'The Artist' -A 'The Album'", &out,
                  &err),
              0)
        << err;
    auto first = dir / "out" / "AC_DC_ Live_.aac";
    EXPECT_NE(out.find("saved  " + first.string()), std::string::npos) << out;
    ASSERT_TRUE(std::filesystem::exists(first));
    ASSERT_TRUE(std::filesystem::exists(dir / "out" / "AUDIO TRACK 03.aac"));
    auto tags = test::FfprobeTags(first, dir);
    EXPECT_EQ(tags["title"], "AC/DC: Live?");
    EXPECT_EQ(tags["artist"], "The Artist");
    auto decoded = test::FfmpegDecode(first, dir);
    EXPECT_TRUE(decoded.errors.empty()) << decoded.errors;
    EXPECT_GE(decoded.Frames(), 200u * 588);
    EXPECT_GT(test::ToneShare(decoded.pcm, 0, 440.0), 0.9);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "reg")); // nothing the program would not write
}

TEST_F(RipCli, ExistingFilesAreSkippedUnlessOverwriteAndBothEnginesWork) {
    { std::ofstream(dir / "out" / "AUDIO TRACK 02.aac") << "mine"; }
    std::string err;
    ASSERT_EQ(Run("-o " + Out() + " -t 2 -q", nullptr, &err), 0);
    EXPECT_NE(err.find("exists; skipped"), std::string::npos) << err;
    EXPECT_EQ(test::ReadText(dir / "out" / "AUDIO TRACK 02.aac"), "mine");
    ASSERT_EQ(Run("-o " + Out() + " -t 2 -q --overwrite --aspi", nullptr, &err), 0) << err;
    EXPECT_GT(std::filesystem::file_size(dir / "out" / "AUDIO TRACK 02.aac"), 1000u);
    for (auto& e : std::filesystem::directory_iterator(dir / "out"))
        EXPECT_EQ(e.path().extension(), ".aac") << e.path(); // no partial file left
}

TEST_F(RipCli, FailuresAreClearAndNonZero) {
    std::string err;
    EXPECT_EQ(Run("--bogus", nullptr, &err), 2);
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos);
    EXPECT_EQ(Run("-t 2-1 -o " + Out()), 2);
    EXPECT_EQ(Run("-t 1 -o " + Out(), nullptr, &err), 1);
    EXPECT_NE(err.find("track 1 is a data track"), std::string::npos) << err;
    EXPECT_EQ(Run("-t 9 -o " + Out(), nullptr, &err), 1);
    EXPECT_NE(err.find("no track 9"), std::string::npos) << err;
    EXPECT_EQ(Run("-t 2 -o " + test::Quote((dir / "missing").string()), nullptr, &err), 1);
    EXPECT_NE(err.find("output folder does not exist"), std::string::npos) << err;
    EXPECT_EQ(Run("-t 2 -o " + Out(), nullptr, &err, "LYB30_VIRTUAL_CD_OPTIONS=no-medium"), 1);
    EXPECT_NE(err.find("no audio disc"), std::string::npos) << err;
    // A device named as the disc image gives no drive, never a hang or a crash.
    cue = "/dev/zero";
    EXPECT_EQ(Run("--list", nullptr, &err), 1);
    EXPECT_NE(err.find("no CD drive"), std::string::npos) << err;
}

} // namespace
} // namespace lyb
