// Exact lengths: the MP3 frame scan and the ADTS frame count, checked
// against decoders we did not write and against streams built byte by byte.
#include "platform/media/exact_length.h"

#include "../library/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace lyb {
namespace {

std::string Data(const char* name) { return std::string(std::getenv("LYB_TEST_DATA")) + "/player/" + name; }

// Samples per channel that ffmpeg decodes from the file.
long FfmpegSamples(const std::string& path) {
    const std::string out = test::Capture("ffmpeg -v error -i " + test::Quote(path) +
                                          " -f s16le -ac 1 -ar 44100 - 2>/dev/null | wc -c");
    return std::atol(out.c_str()) / 2;
}

TEST(ExactLength, Mp3WithoutHeaderMatchesTheDecodedSamples) {
    double s = 0;
    ASSERT_TRUE(Mp3ExactSeconds(Data("vbr-noheader.mp3"), s));
    // The file holds 3 s of audio; a decoder's estimate from the first frame
    // says 2.88 s. The scan counts every frame.
    EXPECT_NEAR(s, 3.0, 0.06);
    if (test::HaveTool("ffmpeg")) {
        EXPECT_NEAR(s * 44100, static_cast<double>(FfmpegSamples(Data("vbr-noheader.mp3"))), 1152);
    }
}

TEST(ExactLength, Mp3WithGaplessHeader) {
    double s = 0;
    ASSERT_TRUE(Mp3ExactSeconds(Data("tone.mp3"), s));
    EXPECT_NEAR(s, 2.0, 0.001);
}

TEST(ExactLength, NotMp3) {
    double s = 0;
    EXPECT_FALSE(Mp3ExactSeconds(Data("not-audio.mp3"), s));
    EXPECT_FALSE(Mp3ExactSeconds(Data("missing.mp3"), s));
}

TEST(ExactLength, AdtsFrameCountMatchesFfprobe) {
    const AdtsScan scan = ScanAdtsFile(Data("tone.aac"));
    ASSERT_TRUE(scan.Valid());
    EXPECT_EQ(scan.sampleRate, 44100u);
    EXPECT_EQ(scan.channels, 1u);
    EXPECT_EQ(scan.skippedBytes, 0u);
    EXPECT_NEAR(scan.milliseconds, scan.frames * 1024 * 1000.0 / 44100, 1e-6);
    if (test::HaveTool("ffprobe")) {
        const std::string packets = test::Capture("ffprobe -v error -count_packets -select_streams a:0 "
                                                  "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                                  test::Quote(Data("tone.aac")));
        EXPECT_EQ(scan.frames, std::strtoull(packets.c_str(), nullptr, 10));
    }
}

// One ADTS frame: 44100 Hz (index 4), stereo, no CRC, `length` bytes in all,
// `blocks` raw data blocks.
std::string Frame(unsigned length, unsigned blocks = 1, unsigned rateIndex = 4) {
    std::string f(length, '\0');
    f[0] = char(0xFF);
    f[1] = char(0xF1);
    f[2] = char((1 << 6) | (rateIndex << 2) | 0);
    f[3] = char((2 << 6) | ((length >> 11) & 3));
    f[4] = char((length >> 3) & 0xFF);
    f[5] = char(((length & 7) << 5) | 0x1F);
    f[6] = char(0xFC | ((blocks - 1) & 3));
    return f;
}

AdtsScan ScanBytes(const std::string& bytes) {
    test::TempDir dir;
    test::WriteFile(dir / "s.aac", bytes);
    return ScanAdtsFile(dir / "s.aac");
}

TEST(ExactLength, AdtsBehindTagsAndAroundDamage) {
    // Two ID3v2 tags (the second with a footer), frames, 50 bytes of damage
    // holding a stray sync, frames, a trailing ID3v1 tag.
    std::string tag1 = std::string("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + std::string(10, '\0');
    std::string tag2 = std::string("ID3\x04\x00\x10\x00\x00\x00\x05", 10) + std::string(5, 'p') + "3DI\x04" +
                       std::string(6, '\0');
    std::string damage(50, 'z');
    damage[20] = char(0xFF);
    damage[21] = char(0xF1);
    std::string bytes = tag1 + tag2 + Frame(200) + Frame(300, 2) + damage + Frame(100) + Frame(120);
    bytes += "TAG" + std::string(125, ' ');
    const AdtsScan scan = ScanBytes(bytes);
    EXPECT_EQ(scan.frames, 4u);
    EXPECT_EQ(scan.samples, 5u * 1024);
    EXPECT_NEAR(scan.milliseconds, 5 * 1024 * 1000.0 / 44100, 1e-9);
    EXPECT_EQ(scan.skippedBytes, 50u + 128u);
}

TEST(ExactLength, AdtsCutOffFrameAndEmptyFiles) {
    std::string bytes = Frame(200) + Frame(200).substr(0, 150);
    EXPECT_EQ(ScanBytes(bytes).frames, 1u);
    EXPECT_FALSE(ScanBytes("").Valid());
    EXPECT_FALSE(ScanBytes(std::string(4000, '\xFF')).Valid());
    double ms = 0;
    EXPECT_FALSE(AdtsExactMilliseconds(Data("missing.aac"), ms));
}

TEST(ExactLength, AdtsRateChangesAreSummedPerFrame) {
    // 44100 Hz then 22050 Hz (index 7).
    const AdtsScan scan = ScanBytes(Frame(100, 1, 4) + Frame(100, 1, 7));
    EXPECT_EQ(scan.sampleRate, 44100u);
    EXPECT_NEAR(scan.milliseconds, 1024 * 1000.0 / 44100 + 1024 * 1000.0 / 22050, 1e-9);
}

} // namespace
} // namespace lyb
