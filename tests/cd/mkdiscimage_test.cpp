#include <gtest/gtest.h>

#include <cstdlib>

#include "cd/extraction_sink.h"
#include "cd_test_support.h"
#include "platform/cdrom/virtual_drive.h"

namespace lyb {
namespace {

void WriteWav(const std::filesystem::path& p, const std::vector<std::uint8_t>& pcm) {
    std::vector<std::uint8_t> head(44);
    WriteWaveHeader(head.data(), std::uint32_t(pcm.size()));
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), 44);
    out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
}

TEST(MkDiscImage, WavFilesBecomeTracksPaddedToWholeFrames) {
    auto dir = test::TempDir("mkdisc");
    std::vector<std::uint8_t> a(2352 * 10 + 100), b(2352 * 3);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = std::uint8_t(i * 7);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t(i * 13 + 1);
    WriteWav(dir / "a.wav", a);
    WriteWav(dir / "b.wav", b);
    { std::ofstream(dir / "data.iso") << "data track"; }
    std::string cmd = std::string(MKDISCIMAGE) + " -o " + (dir / "disc.cue").string() + " --data " +
                      (dir / "data.iso").string() + " " + (dir / "a.wav").string() + " " + (dir / "b.wav").string() +
                      " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string error;
    auto drive = VirtualDrive::Load((dir / "disc.cue").string(), {}, error);
    ASSERT_TRUE(drive) << error;
    const auto& s = drive->Sheet();
    ASSERT_EQ(s.tracks.size(), 3u);
    EXPECT_EQ(s.tracks[0].frames, 11u);
    EXPECT_EQ(s.tracks[1].lba, 11u);
    EXPECT_FALSE(s.tracks[2].audio);
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(drive->ImageBytes(0, 11, got));
    EXPECT_TRUE(std::equal(a.begin(), a.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + std::ptrdiff_t(a.size()), got.end(), [](std::uint8_t v) { return v == 0; }));
    ASSERT_TRUE(drive->ImageBytes(11, 3, got));
    EXPECT_EQ(got, b);
    // A file that is not CD audio is refused.
    WriteWav(dir / "c.wav", {});
    std::vector<std::uint8_t> mono = test::ReadFile(dir / "c.wav");
    mono[22] = 1;
    std::ofstream(dir / "c.wav", std::ios::binary).write(reinterpret_cast<const char*>(mono.data()), 44);
    cmd = std::string(MKDISCIMAGE) + " -o " + (dir / "bad.cue").string() + " " + (dir / "c.wav").string() +
          " 2> /dev/null";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace lyb
