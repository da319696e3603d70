// The ".nms" reader on files made by the skin maker and on broken ones.
#include "player/skin_file.h"

#include "../library/test_util.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

namespace lyb {
namespace {

SkinPicture Gradient() {
    SkinPicture p;
    p.rgb.resize(size_t(skin::kWidth) * skin::kHeight * 3);
    for (int y = 0; y < skin::kHeight; ++y)
        for (int x = 0; x < skin::kWidth; ++x) {
            const size_t at = (size_t(y) * skin::kWidth + size_t(x)) * 3;
            p.rgb[at] = static_cast<std::uint8_t>(x);
            p.rgb[at + 1] = static_cast<std::uint8_t>(y);
            p.rgb[at + 2] = static_cast<std::uint8_t>(x ^ y);
        }
    return p;
}

void PutLe32(std::string& s, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + size_t(i)] = static_cast<char>(v >> (8 * i));
}

TEST(SkinFile, WrittenSkinReadsBackWithItsLayout) {
    const std::string bytes = WriteSkinBytes(Gradient(), "Ann Author", "A test skin");
    ASSERT_EQ(bytes.size(), 281010u);
    EXPECT_EQ(bytes.substr(0, 2), "NS");
    EXPECT_EQ(bytes.substr(154, 2), "BM");
    const SkinFile s = ReadSkinBytes(bytes);
    ASSERT_TRUE(s.ok) << s.failedCheck;
    EXPECT_EQ(s.author, "Ann Author");
    EXPECT_EQ(s.description, "A test skin");
    // Rows are stored bottom-up as BGR: the top-left pixel is the last row's first.
    EXPECT_EQ(static_cast<unsigned char>(bytes[154 + 54 + 311 * 900 + 2]), 0u);  // red of (0, 0)
    EXPECT_EQ(static_cast<unsigned char>(bytes[154 + 54 + 0 * 900 + 1]), 311u & 0xFF); // green of (0, 311)
    EXPECT_EQ(s.picture.Pixel(86, 105), (86u << 16) | (105u << 8) | (86u ^ 105u));
    EXPECT_EQ(s.picture.Pixel(299, 311), (299u & 0xFF) << 16 | (311u & 0xFF) << 8 | ((299u ^ 311u) & 0xFF));
}

TEST(SkinFile, SignatureBytesTwoAndThreeAreFree) {
    std::string bytes = WriteSkinBytes(Gradient(), "a", "d");
    bytes[2] = '\xEE';
    bytes[3] = 'Q';
    EXPECT_TRUE(ReadSkinBytes(bytes).ok);
}

TEST(SkinFile, RefusalsNameTheFailedCheck) {
    const std::string good = WriteSkinBytes(Gradient(), "a", "d");
    struct Case {
        std::string bytes;
        const char* check;
    };
    std::string wide = good;
    PutLe32(wide, 154 + 18, 301);
    std::string tall = good;
    PutLe32(tall, 154 + 22, 313);
    std::string topDown = good;
    PutLe32(topDown, 154 + 22, static_cast<std::uint32_t>(-312));
    std::string wrongSig = good;
    wrongSig[1] = 'X';
    std::string notBmp = good;
    notBmp[154] = 'P';
    const Case cases[] = {
        {"NS", "skinfile.Read(header,4)!=4"},
        {wrongSig, "(header[0]!='N')||(header[1]!='S')"},
        {good.substr(0, 40), "skinfile.Read(author,50)!=50"},
        {good.substr(0, 100), "skinfile.Read(descr,100)!=100"},
        {good.substr(0, 281009), "skinfile.ReadHuge(skn,280856)!=280856"},
        {wide, "(bmih.biWidth!=300)||(bmih.biHeight!=312)"},
        {tall, "(bmih.biWidth!=300)||(bmih.biHeight!=312)"},
        {topDown, "(bmih.biWidth!=300)||(bmih.biHeight!=312)"},
        {notBmp, "(bmfh.bfType!='MB')"},
    };
    for (const Case& c : cases) {
        const SkinFile s = ReadSkinBytes(c.bytes);
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(s.failedCheck, c.check);
    }
    EXPECT_FALSE(ReadSkinFile("/nonexistent/skin.nms").ok);
    EXPECT_TRUE(ReadSkinFile("/nonexistent/skin.nms").failedCheck.empty());
}

TEST(SkinFile, PixelsComeFromByte54WhateverTheHeaderSays) {
    std::string bytes = WriteSkinBytes(Gradient(), "a", "d");
    PutLe32(bytes, 154 + 10, 1078); // a pixel offset as if there were a colour table
    bytes[154 + 28] = 8;             // and 8 bits per pixel: neither is looked at
    const SkinFile s = ReadSkinBytes(bytes);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.picture.Pixel(10, 20), (10u << 16) | (20u << 8) | (10u ^ 20u));
}

TEST(SkinFile, TextsStopAtTheirFirstNulAndOldCodePagesAreRead) {
    std::string bytes = WriteSkinBytes(Gradient(), "", "");
    const std::string author = std::string("J\xFCrgen", 6) + '\0' + "junk";
    bytes.replace(4, author.size(), author);
    const SkinFile s = ReadSkinBytes(bytes);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.author, "J\xC3\xBCrgen"); // Windows-1252 u-umlaut as UTF-8
    // A long UTF-8 text is cut at a character boundary, keeping its terminator.
    const std::string longText(48, 'x');
    const SkinFile cut = ReadSkinBytes(WriteSkinBytes(Gradient(), longText + "\xC3\xA9\xC3\xA9", ""));
    EXPECT_EQ(cut.author, longText);
}

TEST(SkinFile, LargerFileReadsItsFirst281010Bytes) {
    test::TempDir dir;
    test::WriteFile(dir / "big.nms", WriteSkinBytes(Gradient(), "a", "d") + std::string(5000, 'z'));
    EXPECT_TRUE(ReadSkinFile(dir / "big.nms").ok);
}

#ifdef LYB_MKSKIN
// Skins made by the skin maker: the shipped ones and one from a picture.
TEST(SkinFile, SkinsMadeByTheTool) {
    for (const char* name : {"simple.nms", "ocean.nms"}) {
        const SkinFile s = ReadSkinFile(std::string(LYB_SKINS_DIR) + "/" + name);
        ASSERT_TRUE(s.ok) << name << ": " << s.failedCheck;
        EXPECT_EQ(s.author, "Lyrabox");
        EXPECT_FALSE(s.description.empty());
        // The time and title colours are set and differ from the panel behind the text.
        EXPECT_NE(s.picture.Pixel(86, 105), s.picture.Pixel(100, 30));
        EXPECT_NE(s.picture.Pixel(171, 105), s.picture.Pixel(200, 30));
    }
    test::TempDir dir;
    ASSERT_TRUE(test::Run("ffmpeg -v error -f lavfi -i testsrc=s=640x480 -frames:v 1 " + (dir / "p.png")));
    ASSERT_TRUE(test::Run(std::string(LYB_MKSKIN) + " --author Me --description Mine --picture " + (dir / "p.png") +
                          " -o " + (dir / "mine.nms")));
    const SkinFile s = ReadSkinFile(dir / "mine.nms");
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.author, "Me");
    EXPECT_EQ(s.description, "Mine");
    // A sheet of the wrong size is refused with a message, and nothing is written.
    ASSERT_TRUE(test::Run("ffmpeg -v error -f lavfi -i color=c=red:s=301x312,format=rgb24 -frames:v 1 " + (dir / "w.png")));
    EXPECT_FALSE(test::Run(std::string(LYB_MKSKIN) + " --sheet " + (dir / "w.png") + " -o " + (dir / "w.nms")));
    EXPECT_FALSE(test::fs::exists(dir / "w.nms"));
    // --check reports the failed check of a broken skin.
    std::string broken = test::ReadFile(dir / "mine.nms");
    broken[0] = 'X';
    test::WriteFile(dir / "broken.nms", broken);
    EXPECT_NE(test::Capture(std::string(LYB_MKSKIN) + " --check " + (dir / "broken.nms"))
                  .find("(header[0]!='N')||(header[1]!='S')"),
              std::string::npos);
}
#endif

} // namespace
} // namespace lyb
