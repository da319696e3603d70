// The LZHUF coder: the vectors of an independent implementation, round
// trips through our packer, and streams that end early or claim too much.
#include "setup/lzhuf.h"
#include "setup/packed_file.h"
#include "tests/setup/setup_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace lyb;
using namespace lyb::test;

namespace {

std::vector<std::uint8_t> Vector(const std::string& name) { return ReadBytes(TestData("setup/lzhuf/" + name)); }

class IndependentVectors : public testing::TestWithParam<const char*> {};

TEST_P(IndependentVectors, BareStreamAndPackedFileUnpackToTheOriginal) {
    const std::string name = GetParam();
    const std::vector<std::uint8_t> raw = Vector(name + ".raw");
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzhufDecode(Vector(name + ".lzh"), raw.size(), out), LzhufStatus::Ok);
    EXPECT_EQ(out, raw);

    const std::vector<std::uint8_t> pak = Vector(name + ".pak");
    const auto header = ReadPackedHeader(pak);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->tag, "PAKC");
    EXPECT_EQ(header->size, raw.size());
    std::vector<std::uint8_t> unpacked;
    ASSERT_EQ(UnpackFile(pak, [&](const std::uint8_t* d, std::size_t n) {
                  unpacked.insert(unpacked.end(), d, d + n);
                  return true;
              }),
              LzhufStatus::Ok);
    EXPECT_EQ(unpacked, raw);
}

TEST_P(IndependentVectors, OurPackerRoundTrips) {
    const std::vector<std::uint8_t> raw = Vector(std::string(GetParam()) + ".raw");
    const std::vector<std::uint8_t> stream = LzhufEncode(raw);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzhufDecode(stream, raw.size(), out), LzhufStatus::Ok);
    EXPECT_EQ(out, raw);
}

INSTANTIATE_TEST_SUITE_P(Lzhuf, IndependentVectors,
                         testing::Values("short", "repetitive", "text_wrap", "reconst_big", "empty"));

TEST(Lzhuf, RoundTripsMixedDataPastTheCountLimitAndTheRingWrap) {
    std::mt19937 rng(20240611u);
    std::vector<std::uint8_t> data;
    // Runs, text-like bytes and noise: every kind of symbol and distance.
    while (data.size() < 300000) {
        switch (rng() % 3) {
        case 0: data.insert(data.end(), 1 + rng() % 200, static_cast<std::uint8_t>(rng())); break;
        case 1:
            for (int i = 0; i < 500; ++i)
                data.push_back(static_cast<std::uint8_t>("the quick brown fox "[rng() % 20]));
            break;
        default:
            for (int i = 0; i < 300; ++i)
                data.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    const std::vector<std::uint8_t> stream = LzhufEncode(data);
    EXPECT_LT(stream.size(), data.size());
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzhufDecode(stream, data.size(), out), LzhufStatus::Ok);
    EXPECT_EQ(out, data);
}

TEST(Lzhuf, BlanksAtTheStartMatchTheRingsInitialFill) {
    const std::string text(5000, ' ');
    const std::vector<std::uint8_t> data(text.begin(), text.end());
    const std::vector<std::uint8_t> stream = LzhufEncode(data);
    EXPECT_LT(stream.size(), 200u);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(LzhufDecode(stream, data.size(), out), LzhufStatus::Ok);
    EXPECT_EQ(out, data);
}

TEST(Lzhuf, UnpacksInBlocksOfTheCopySize) {
    const std::vector<std::uint8_t> raw = Vector("reconst_big.raw");
    std::vector<std::size_t> blocks;
    ASSERT_EQ(LzhufDecode(Vector("reconst_big.lzh"), raw.size(),
                          [&](const std::uint8_t*, std::size_t n) {
                              blocks.push_back(n);
                              return true;
                          },
                          30000),
              LzhufStatus::Ok);
    EXPECT_EQ(blocks, (std::vector<std::size_t>{30000, 30000, 10000}));
}

TEST(Lzhuf, AStreamThatEndsEarlyIsRefusedAtEveryCut) {
    const std::vector<std::uint8_t> raw = Vector("text_wrap.raw");
    const std::vector<std::uint8_t> stream = Vector("text_wrap.lzh");
    for (std::size_t cut = 0; cut + 1 < stream.size(); cut += 97) {
        std::vector<std::uint8_t> out;
        const LzhufStatus s =
            LzhufDecode(std::span(stream).first(cut), raw.size(), out);
        EXPECT_TRUE(s == LzhufStatus::Truncated || s == LzhufStatus::TooLarge) << cut;
        EXPECT_TRUE(out.empty());
    }
}

TEST(Lzhuf, ASizeLargerThanTheStreamCanHoldIsRefusedBeforeAnyOutput) {
    const std::vector<std::uint8_t> stream = Vector("short.lzh");
    bool called = false;
    EXPECT_EQ(LzhufDecode(stream, 0xFFFFFFFFull,
                          [&](const std::uint8_t*, std::size_t) {
                              called = true;
                              return true;
                          }),
              LzhufStatus::TooLarge);
    EXPECT_FALSE(called);
    // A size just within the bound but beyond the data: the stream runs out.
    std::vector<std::uint8_t> out;
    EXPECT_EQ(LzhufDecode(stream, LzhufMaxUnpacked(stream.size()), out), LzhufStatus::Truncated);
}

TEST(Lzhuf, ASmallerSizeThanTheStreamWasMadeForStopsThereOrOverruns) {
    const std::vector<std::uint8_t> raw = Vector("repetitive.raw");
    const std::vector<std::uint8_t> stream = Vector("repetitive.lzh");
    std::vector<std::uint8_t> out;
    // A cut inside a match: the match would run past the stored size.
    EXPECT_EQ(LzhufDecode(stream, raw.size() - 1, out), LzhufStatus::Overrun);
    EXPECT_TRUE(out.empty());
}

TEST(Lzhuf, AFailingReceiverStopsTheUnpacking) {
    const std::vector<std::uint8_t> raw = Vector("reconst_big.raw");
    int calls = 0;
    EXPECT_EQ(LzhufDecode(Vector("reconst_big.lzh"), raw.size(),
                          [&](const std::uint8_t*, std::size_t) { return ++calls < 2; }, 1000),
              LzhufStatus::SinkFailed);
    EXPECT_EQ(calls, 2);
}

TEST(PackedFile, TagsAreRecognisedAndAnythingElseIsPlain) {
    for (std::string_view tag : kPackedTags) {
        std::vector<std::uint8_t> head(tag.begin(), tag.end());
        head.insert(head.end(), {5, 0, 0, 0, 9, 9, 9, 9});
        const auto h = ReadPackedHeader(head);
        ASSERT_TRUE(h) << tag;
        EXPECT_EQ(h->size, 5u);
    }
    const std::string plain = "PAKc\x05\0\0\0\0\0\0\0";
    EXPECT_FALSE(ReadPackedHeader(std::vector<std::uint8_t>(plain.begin(), plain.end())));
    const std::string shortTag = "PAKC\x05";
    EXPECT_FALSE(ReadPackedHeader(std::vector<std::uint8_t>(shortTag.begin(), shortTag.end())));
}

TEST(PackedFile, APlainFileIsHandedOnUnchanged) {
    const std::string text = "#!/bin/sh\necho not packed\n";
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    std::vector<std::uint8_t> out;
    ASSERT_EQ(UnpackFile(bytes, [&](const std::uint8_t* d, std::size_t n) {
                  out.insert(out.end(), d, d + n);
                  return true;
              }),
              LzhufStatus::Ok);
    EXPECT_EQ(out, bytes);
}

TEST(PackedFile, MakePackedFileWritesTheHeaderOfTheIndependentCoder) {
    const std::vector<std::uint8_t> raw = Vector("short.raw");
    const std::vector<std::uint8_t> ours = MakePackedFile(raw);
    const std::vector<std::uint8_t> theirs = Vector("short.pak");
    ASSERT_GE(ours.size(), kPackedHeaderSize);
    EXPECT_TRUE(std::equal(theirs.begin(), theirs.begin() + 12, ours.begin()));
}

} // namespace
