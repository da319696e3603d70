// Quantiser, noiseless coding, reservoir, set-up and frame-writer tests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/aac_rom.h"
#include "core/aacencifc.h"
#include "core/bit_aac.h"
#include "core/bit_enc.h"
#include "core/bit_fram.h"
#include "core/bitbuffer.h"
#include "core/cm_utils.h"
#include "core/huff_tab.h"
#include "core/loopmain.h"
#include "core/ms_stereo.h"
#include "core/noiseless.h"
#include "core/uci.h"

namespace {

struct Buffer {
  BitBuffer b;
  Buffer() { BitBufferCreate(&b, 1 << 16); }
  ~Buffer() { BitBufferDestroy(&b); }
};

TEST(EncoderBitBuffer, WritesMostSignificantBitFirstAndPatches) {
  Buffer buf;
  BitBufferWrite(&buf.b, 0xFFF, 12);
  BitBufferWrite(&buf.b, 0x1, 1);
  BitBufferWrite(&buf.b, 0x0, 2);
  BitBufferWrite(&buf.b, 0x1, 1);
  BitBufferWrite(&buf.b, 0xDEADBEEF, 32);
  EXPECT_EQ(buf.b.writePos, 48);
  EXPECT_EQ(buf.b.data[0], 0xFF);
  EXPECT_EQ(buf.b.data[1], 0xF9);
  EXPECT_EQ(BitBufferReadAt(&buf.b, 16, 32), 0xDEADBEEFu);
  BitBufferWriteAt(&buf.b, 20, 0x0, 8);
  EXPECT_EQ(BitBufferReadAt(&buf.b, 16, 32), 0xD00DBEEFu);
  EXPECT_EQ(buf.b.writePos, 48);
}

TEST(EncoderBitBuffer, CrcMatchesBytewiseReference) {
  // CRC-16 0x8005, start 0xFFFF, MSB first, over "123456789" is 0xAEE7.
  uint16_t crc = 0xFFFF;
  for (const char* p = "123456789"; *p; ++p) crc = Crc16Bits(crc, static_cast<unsigned char>(*p), 8);
  EXPECT_EQ(crc, 0xAEE7);
  Buffer buf;
  buf.b.crcOn = 1;
  BitBufferCoverCrc(&buf.b, 72);
  for (const char* p = "123456789"; *p; ++p) BitBufferWrite(&buf.b, static_cast<unsigned char>(*p), 8);
  EXPECT_EQ(BitBufferCrc(&buf.b), 0xAEE7);
  // A stretch longer than its element is padded with zero bits.
  Buffer pad;
  pad.b.crcOn = 1;
  BitBufferCoverCrc(&pad.b, 16);
  BitBufferWrite(&pad.b, 0xA5, 8);
  BitBufferEndCrcRegion(&pad.b);
  BitBufferWrite(&pad.b, 0xFF, 8);  // not covered
  EXPECT_EQ(BitBufferCrc(&pad.b), Crc16Bits(Crc16Bits(0xFFFF, 0xA5, 8), 0, 8));
}

TEST(EncoderFill, FillElementRules) {
  Buffer six;
  EXPECT_EQ(WriteFillElements(&six.b, 6), 0);
  Buffer seven;
  EXPECT_EQ(WriteFillElements(&seven.b, 7), 7);
  EXPECT_EQ(BitBufferReadAt(&seven.b, 0, 7), (6u << 4) | 0u);
  Buffer big;
  int f = 8 * 300 + 7;
  int written = WriteFillElements(&big.b, f);
  EXPECT_GT(written, f - 7);
  EXPECT_LE(written, f);
  EXPECT_EQ(BitBufferReadAt(&big.b, 0, 3), 6u);
  EXPECT_EQ(BitBufferReadAt(&big.b, 3, 4), 15u);
  EXPECT_EQ(BitBufferReadAt(&big.b, 7, 8), 255u);
  // The first element carries 269 bytes; the next one starts right after.
  int second = 3 + 4 + 8 + 269 * 8;
  EXPECT_EQ(BitBufferReadAt(&big.b, second, 3), 6u);
}

TEST(EncoderBudget, StereoAt128kAnd44100) {
  FrameBudget f;
  FrameBudgetInit(&f, 44100, 128000, 2);
  EXPECT_EQ(f.averageBytes, 371);
  EXPECT_EQ(f.remainder, 22900);
  EXPECT_EQ(f.reservoirBits, 9320);
  EXPECT_EQ(f.fullnessBits, 7456);
  EXPECT_EQ(FrameBudgetNext(&f), 371 * 8);      // accumulator 22900
  EXPECT_EQ(FrameBudgetNext(&f), 372 * 8);      // passes 44100
  long long total = 0;
  for (int i = 0; i < 44100; ++i) total += FrameBudgetNext(&f);
  // Over many frames the average is exact to a byte.
  long long expected = 128ll * 128000 * 8;  // 44100 frames: exactly the bitrate's bytes
  EXPECT_NEAR(static_cast<double>(total), static_cast<double>(expected), 2.0 * 8);
}

TEST(EncoderBudget, NoReservoirAboveSixBitsPerSample) {
  FrameBudget f;
  FrameBudgetInit(&f, 44100, 2 * 6 * 44100 + 2000, 2);
  EXPECT_EQ(f.reservoirBits, 0);
  EXPECT_EQ(f.fullnessBits, 0);
  // Every surplus bit becomes fill.
  EXPECT_EQ(ReservoirUpdate(&f, 123), 123);
}

TEST(EncoderBudget, ReservoirOverflowAndByteRemainderBecomeFill) {
  FrameBudget f;
  FrameBudgetInit(&f, 44100, 128000, 2);
  EXPECT_EQ(ReservoirUpdate(&f, 3), 3);                       // not a whole byte
  EXPECT_EQ(f.fullnessBits, 7456);
  EXPECT_EQ(ReservoirUpdate(&f, 9320 - 7456 + 100), 100);     // above the size
  EXPECT_EQ(f.fullnessBits, 9320);
}

// Bits counted for a band equal the bits the writer puts out.
TEST(EncoderHuffman, CountMatchesWrittenBitsInEveryBook) {
  std::mt19937 rng(7);
  for (int book = 1; book <= 11; ++book) {
    int lav = kHuffBooks[book].lav;
    if (book == 11) lav = 8191;
    QcChannel ch;
    std::memset(&ch, 0, sizeof(ch));
    static int offsets[3] = {0, 32, 64};
    ch.sfbOffsets = offsets;
    ch.groups = 1;
    ch.groupLen[0] = 1;
    ch.sfbPerGroup = 2;
    ch.maxSfb = 2;
    ch.windowSequence = ONLY_LONG;
    std::uniform_int_distribution<int> d(-lav, lav);
    for (int i = 0; i < 64; ++i) {
      int v = d(rng);
      if (!kHuffBooks[book].isSigned && book != 11 && v < -lav) v = -lav;
      ch.quant[i] = static_cast<short>(v);
    }
    ch.nSections[0] = 1;
    ch.sections[0][0] = {book, 0, 2};
    int counted = CountBandBits(ch.quant, 32, book) + CountBandBits(ch.quant + 32, 32, book);
    ASSERT_LT(counted, HUFF_INFINITY) << book;
    Buffer buf;
    WriteSpectralData(&buf.b, &ch);
    EXPECT_EQ(buf.b.writePos, counted) << "book " << book;
  }
  short big[4] = {2, 0, 0, 0};
  EXPECT_EQ(CountBandBits(big, 4, 1), HUFF_INFINITY);
}

TEST(EncoderHuffman, SectioningCountsEqualWrittenBits) {
  std::mt19937 rng(3);
  QcChannel ch;
  std::memset(&ch, 0, sizeof(ch));
  static int offsets[50];
  for (int b = 0; b <= 49; ++b) offsets[b] = b * 20;  // 980 lines
  ch.sfbOffsets = offsets;
  ch.groups = 1;
  ch.groupLen[0] = 1;
  ch.sfbPerGroup = 49;
  ch.maxSfb = 49;
  ch.windowSequence = ONLY_LONG;
  for (int b = 0; b < 49; ++b) {
    int lav = (b % 7 == 3) ? 0 : (b < 10 ? 40 : (b < 30 ? 3 : 1));
    std::uniform_int_distribution<int> d(-lav, lav);
    for (int i = offsets[b]; i < offsets[b + 1]; ++i) ch.quant[i] = static_cast<short>(d(rng));
    ch.scalefactor[b] = 100 + (b % 5);
  }
  for (int exact = 0; exact <= 1; ++exact) {
    SectionChannel(&ch, exact);
    int sfBits = CountScalefactorBits(&ch);
    Buffer buf;
    WriteSectionData(&buf.b, &ch);
    EXPECT_EQ(buf.b.writePos, ch.sectionBits);
    int p = buf.b.writePos;
    WriteScalefactorData(&buf.b, &ch);
    EXPECT_EQ(buf.b.writePos - p, sfBits);
    p = buf.b.writePos;
    WriteSpectralData(&buf.b, &ch);
    EXPECT_EQ(buf.b.writePos - p, ch.spectralBits);
  }
}

TEST(EncoderAdts, HeaderBytesAndCrcLength) {
  Buffer buf;
  AdtsHeader h = {1, 4, 2, 0, 0, 0x7FF, 1};
  ASSERT_EQ(WriteAdtsHeader(&buf.b, &h), nullptr);
  EXPECT_EQ(buf.b.writePos, 56);
  const unsigned char expect[4] = {0xFF, 0xF9, 0x50, 0x80};
  EXPECT_EQ(std::memcmp(buf.b.data, expect, 4), 0);
  Buffer crc;
  h.crc = 1;
  ASSERT_EQ(WriteAdtsHeader(&crc.b, &h), nullptr);
  EXPECT_EQ(crc.b.writePos, 72);
  EXPECT_EQ(crc.b.data[1], 0xF8);  // protection_absent 0
  h.blocksPerFrame = 5;
  ErrorRecord* e = WriteAdtsHeader(&crc.b, &h);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ErrorFirstMessage(e), "wrong number of blocks in frame");
  ErrorFree(e);
}

TEST(EncoderSetup, ParameterSetAndCodingRate) {
  ParameterSet row;
  int rate = 0;
  ASSERT_EQ(ChooseParameterSet(2, 2, 128000, 44100, &row, &rate), nullptr);
  EXPECT_EQ(row.bound, 64000);
  EXPECT_EQ(rate, 44100);
  ASSERT_EQ(ChooseParameterSet(2, 2, 64000, 44100, &row, &rate), nullptr);
  EXPECT_EQ(row.bound, 32000);
  EXPECT_EQ(rate, 32000);
  ASSERT_EQ(ChooseParameterSet(1, 1, 16000, 48000, &row, &rate), nullptr);
  EXPECT_EQ(row.flags, 0x14);
  struct Case { int config, ch, bitrate; const char* msg; } cases[] = {
      {2, 2, 7000, "bitrates < 8000 not supported by ISO MPEG-2 AAC"},
      {2, 2, 330000, "bitrates > 320000 not supported by ISO MPEG-2 AAC"},
      {3, 3, 128000, "invalid channel configuration"},
      {5, 5, 32000, "no parameter set for this bitrate and channel mode"},
  };
  for (const Case& c : cases) {
    ErrorRecord* e = ChooseParameterSet(c.config, c.ch, c.bitrate, 44100, &row, &rate);
    ASSERT_NE(e, nullptr) << c.msg;
    EXPECT_STREQ(ErrorFirstMessage(e), c.msg);
    ErrorFree(e);
  }
}

TEST(EncoderSetup, RefusalCodesInOrder) {
  struct Case { uint16_t ch, bits; uint32_t rate, bitrate; uint16_t format, order; int code; } cases[] = {
      {2, 16, 22050, 128000, 1, 0, SETUP_BAD_RATE},
      {2, 16, 22050, 7, 1, 0, SETUP_BAD_RATE},            // rate checked first
      {2, 33, 44100, 128000, 1, 0, SETUP_BAD_BITS},
      {2, 16, 44100, 127000, 1, 0, SETUP_BAD_BITRATE},
      {2, 16, 44100, 8000, 1, 0, SETUP_BITRATE_TOO_LOW},
      {6, 16, 44100, 96000, 1, 0, SETUP_BITRATE_TOO_LOW},
      {1, 16, 44100, 320000, 1, 0, SETUP_BITRATE_TOO_HIGH},
      {2, 16, 44100, 128000, 3, 0, SETUP_BAD_STREAM_FORMAT},
      {2, 16, 44100, 128000, 1, 3, SETUP_BAD_CHANNEL_ORDER},
      {3, 16, 44100, 128000, 1, 0, SETUP_BAD_CHANNELS},
  };
  for (const Case& c : cases) {
    StreamParams sp = {c.ch, c.bits, c.rate, c.rate, c.bitrate, c.format, 0, c.order};
    AacRun run;
    EXPECT_EQ(AacSetupStream(&sp, &run), c.code) << c.ch << " " << c.rate << " " << c.bitrate;
    EXPECT_EQ(run.encoder, nullptr);
  }
  StreamParams ok = {2, 16, 44100, 44100, 128000, 1, 0, 0};
  AacRun run;
  ASSERT_EQ(AacSetupStream(&ok, &run), SETUP_OK);
  EXPECT_EQ(ok.codingRate, 44100u);
  EXPECT_EQ(run.converter, nullptr);
  EXPECT_EQ(AacRunInputSamples(&run), 2048);
  AacTeardownStream(&run);
}

// The option store of a run: a store that cannot be built is reported as
// "uci failure" (the interface passes no words, so only a store that cannot
// be created or filled gets there; too many words stand in for that here).
TEST(EncoderSetup, OptionStoreFailureIsUciFailure) {
  std::vector<std::string> words(UCI_MAX_ENTRIES + 1, "w");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  UciStore* store = nullptr;
  ErrorRecord* e = AacRunOptionsCreate(static_cast<int>(argv.size()), argv.data(), nullptr, nullptr, 0, &store);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ErrorFirstMessage(e), "uci failure");
  EXPECT_EQ(store, nullptr);
  ErrorFree(e);
  // A parameter set with tool flag 0x10 and an rpmin sets both options.
  ParameterSet row = {};
  row.flags = PSET_FLAG_EAH;
  row.rpmin = 1;
  ASSERT_EQ(AacRunOptionsCreate(0, nullptr, &row, nullptr, 0, &store), nullptr);
  int eah = 0;
  float rpmin = 0.0f;
  EXPECT_EQ(UciReadInt(store, "eah", 0, 1, "", &eah), UCI_OK);
  EXPECT_EQ(UciReadFloats(store, "rpmin", 1, 0.0f, 1.0f, "", " ", &rpmin), UCI_OK);
  EXPECT_EQ(eah, 1);
  EXPECT_FLOAT_EQ(rpmin, 1.0f);
  UciDestroy(&store);
}

// The recorded delay: one frame of look-ahead and one of transform overlap,
// plus the converter's filter when one is used.
TEST(EncoderSetup, RecordedDelay) {
  StreamParams direct = {2, 16, 44100, 44100, 128000, 1, 0, 0};
  AacRun run;
  ASSERT_EQ(AacSetupStream(&direct, &run), SETUP_OK);
  EXPECT_EQ(run.delay, 2048);
  AacTeardownStream(&run);
  StreamParams converted = {2, 16, 44100, 44100, 64000, 1, 0, 0};
  ASSERT_EQ(AacSetupStream(&converted, &run), SETUP_OK);
  ASSERT_NE(run.converter, nullptr);
  EXPECT_EQ(run.delay, 2048 + 14);
  AacTeardownStream(&run);
}

TEST(EncoderSetup, ChannelMapsAndElementLists) {
  int map[6];
  ASSERT_TRUE(BuildChannelMap(6, 0, map));
  const int expect6[6] = {2, 0, 1, 4, 5, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(map[i], expect6[i]);
  ASSERT_TRUE(BuildChannelMap(5, 1, map));
  const int expect5[5] = {4, 0, 1, 2, 3};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(map[i], expect5[i]);
  EXPECT_FALSE(BuildChannelMap(4, 0, map));
  ChannelConfig cfg;
  ASSERT_TRUE(BuildChannelConfig(7, TOOL_TNS | TOOL_MS, &cfg));
  ASSERT_EQ(cfg.nElements, 5);
  EXPECT_EQ(cfg.nChannels, 8);
  EXPECT_EQ(cfg.elements[3].type, ID_CPE);
  EXPECT_EQ(cfg.elements[3].instanceTag, 2);
  EXPECT_EQ(cfg.elements[4].type, ID_LFE);
  EXPECT_EQ(cfg.elements[4].tools, 0);
  EXPECT_EQ(cfg.elements[0].tools, TOOL_TNS);
  EXPECT_EQ(cfg.elements[1].tools, TOOL_TNS | TOOL_MS);
}

TEST(EncoderAdif, HeaderWithProgramConfigAndComment) {
  ChannelConfig cfg;
  ASSERT_TRUE(BuildChannelConfig(6, TOOL_TNS | TOOL_MS, &cfg));
  ProgramConfig pce;
  BuildProgramConfig(cfg.elements, cfg.nElements, 4, &pce);
  EXPECT_EQ(pce.nFront, 3);
  EXPECT_EQ(pce.nLfe, 1);
  EXPECT_STREQ(pce.comment, "Encoded by MPEG-2 AAC Brightline Encoder v2.0");
  Buffer buf;
  ASSERT_EQ(WriteAdifHeader(&buf.b, 128000, &pce), nullptr);
  EXPECT_EQ(std::memcmp(buf.b.data, "ADIF", 4), 0);
  EXPECT_EQ(BitBufferReadAt(&buf.b, 32, 3), 0u);        // no copyright id, original_copy, home
  EXPECT_EQ(BitBufferReadAt(&buf.b, 35, 1), 0u);        // constant rate
  EXPECT_EQ(BitBufferReadAt(&buf.b, 36, 23), 128000u);
  EXPECT_EQ(BitBufferReadAt(&buf.b, 59, 4), 0u);        // one program configuration element
  EXPECT_EQ(buf.b.writePos % 8, 0);
  size_t len = std::strlen(pce.comment);
  size_t end = static_cast<size_t>(buf.b.writePos / 8);
  EXPECT_EQ(buf.b.data[end - len - 1], len);
  EXPECT_EQ(std::memcmp(buf.b.data + end - len, pce.comment, len), 0);
  // Front elements: SCE 0, CPE 0, CPE 1 (is_cpe bit + tag), then the LFE tag.
  int pos = 63 + 20 + 4 + 2 + 4 + 4 + 4 + 4 + 2 + 3 + 4 + 3;
  EXPECT_EQ(BitBufferReadAt(&buf.b, 63 + 20 + 10, 4), 3u);  // num_front_channel_elements
  EXPECT_EQ(BitBufferReadAt(&buf.b, pos, 5), 0u);
  EXPECT_EQ(BitBufferReadAt(&buf.b, pos + 5, 5), 0x10u);
  EXPECT_EQ(BitBufferReadAt(&buf.b, pos + 10, 5), 0x11u);
}

struct PairFixture {
  PsyOutChannel l, r;
  PsyOutPair pair;
  int used[MAX_GROUPED_SFB];
  PairFixture() {
    std::memset(&l, 0, sizeof(l));
    l.groups = 1;
    l.sfbPerGroup = 10;
    l.maxSfbPerGroup = 10;
    for (int b = 0; b <= 10; ++b) l.sfbOffsets[b] = b * 4;
    r = l;
    std::memset(&pair, 0, sizeof(pair));
    for (int i = 0; i < 40; ++i) {
      l.groupedSpectrum[i] = 3.0f;
      r.groupedSpectrum[i] = 1.0f;
    }
  }
};

TEST(EncoderMs, DebugModesAndAllOnRule) {
  PairFixture f;
  MsOptions opt = {1.0f, 1, 2};
  int present = -1;
  ASSERT_EQ(MsStereoProcess(&opt, &f.pair, &f.l, &f.r, f.used, &present), nullptr);
  for (int b = 0; b < 10; ++b) EXPECT_EQ(f.used[b], b & 1) << b;
  EXPECT_EQ(present, 1);
  EXPECT_FLOAT_EQ(f.l.groupedSpectrum[4], 2.0f);   // band 1: mid
  EXPECT_FLOAT_EQ(f.r.groupedSpectrum[4], 1.0f);   // side
  EXPECT_FLOAT_EQ(f.l.groupedSpectrum[0], 3.0f);   // band 0 untouched

  PairFixture g;  // L/R slightly cheaper in every band: total loss 0.5 < 0.75 x 10
  for (int b = 0; b < 10; ++b) {
    g.l.sfbPe[b] = 10.0f;
    g.r.sfbPe[b] = 10.0f;
    g.pair.sfbPeMid[b] = 10.0f;
    g.pair.sfbPeSide[b] = 10.05f;
  }
  opt.msDebug = 0;
  ASSERT_EQ(MsStereoProcess(&opt, &g.pair, &g.l, &g.r, g.used, &present), nullptr);
  EXPECT_EQ(present, 2);
  opt.msDebug = 3;
  ErrorRecord* e = MsStereoProcess(&opt, &g.pair, &g.l, &g.r, g.used, &present);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ErrorFirstMessage(e), "this is not a valid ms debug mode");
  ErrorFree(e);
}

}  // namespace

namespace {

// A deterministic model output for a stereo long-block frame at 44100 Hz:
// a falling spectrum with a few tones, thresholds 12 dB under the energies.
void SyntheticPsyOut(PsyOut* out, int frame) {
  std::memset(out, 0, sizeof(*out));
  const AacRateTable* rt = AacFindRate(44100);
  out->nChannels = 2;
  out->nElements = 1;
  out->element[0].type = ID_CPE;
  out->element[0].nChannels = 2;
  out->element[0].channel[0] = 0;
  out->element[0].channel[1] = 1;
  out->element[0].pair.valid = 1;
  out->element[0].pair.commonWindow = 1;
  uint32_t lcg = 99u + static_cast<uint32_t>(frame);
  for (int c = 0; c < 2; ++c) {
    PsyOutChannel& ch = out->channel[c];
    ch.windowSequence = ONLY_LONG;
    ch.groups = 1;
    ch.groupLen[0] = 1;
    ch.sfbCnt = ch.sfbPerGroup = rt->sfbCntLong;
    ch.maxSfbPerGroup = 45;
    for (int b = 0; b <= rt->sfbCntLong; ++b) ch.sfbOffsets[b] = rt->sfbOffsetLong[b];
    for (int i = 0; i < 1024; ++i) {
      lcg = lcg * 1664525u + 1013904223u;
      float noise = (static_cast<float>(lcg >> 8) / 16777216.0f - 0.5f) * 20000.0f / (1.0f + static_cast<float>(i) / 40.0f);
      float tone = (i % 97 == 5) ? 400000.0f : 0.0f;
      ch.groupedSpectrum[i] = ch.spectrum[i] = noise + tone * (c == 0 ? 1.0f : 0.7f);
    }
    for (int b = 0; b < rt->sfbCntLong; ++b) {
      double e = 0;
      for (int i = ch.sfbOffsets[b]; i < ch.sfbOffsets[b + 1]; ++i) e += double(ch.spectrum[i]) * ch.spectrum[i];
      ch.sfbEnergy[b] = static_cast<float>(e) + 1.0f;
      ch.sfbThreshold[b] = ch.sfbEnergy[b] / 16.0f;
      ch.sfbPe[b] = static_cast<float>(ch.sfbOffsets[b + 1] - ch.sfbOffsets[b]) * 1.5f;
      ch.pe += ch.sfbPe[b];
    }
  }
  PsyOutPair& p = out->element[0].pair;
  for (int b = 0; b < rt->sfbCntLong; ++b) {
    p.sfbEnergyMid[b] = out->channel[0].sfbEnergy[b];
    p.sfbEnergySide[b] = out->channel[1].sfbEnergy[b] / 8.0f;
    p.sfbThresholdMid[b] = p.sfbEnergyMid[b] / 16.0f;
    p.sfbThresholdSide[b] = p.sfbEnergySide[b] / 16.0f;
    p.sfbPeMid[b] = out->channel[0].sfbPe[b];
    p.sfbPeSide[b] = out->channel[0].sfbPe[b] * 0.5f;
  }
}

// The coding half alone, from a fixed model output: its bytes change only
// when quantisation, rate control or bitstream writing change.
uint64_t CodingHalfHash(int bitrate, UciStore* options = nullptr) {
  AacEncConfig cfg;
  cfg.sampleRate = 44100;
  cfg.bitrate = bitrate;
  cfg.frameLength = 1024;
  cfg.adts = 1;
  EXPECT_TRUE(BuildChannelConfig(2, TOOL_TNS | TOOL_MS, &cfg.channels));
  AacEncoder* enc = nullptr;
  AacEncInfo info;
  ErrorRecord* ce = AacEncCreate(&cfg, options, &enc, &info);
  EXPECT_EQ(ce, nullptr);
  if (ce) return 0;
  static PsyOut psy;
  std::vector<unsigned char> out(4096), all;
  for (int f = 0; f < 6; ++f) {
    SyntheticPsyOut(&psy, f);
    int n = 0;
    ErrorRecord* e = AacEncCodeFrame(enc, &psy, out.data(), &n);
    EXPECT_EQ(e, nullptr) << ErrorFirstMessage(e);
    EXPECT_GT(n, 7);
    if (e || n <= 7) break;
    EXPECT_EQ(out[0], 0xFF);
    // Each frame spends its budget: the reservoir keeps the size near the average.
    EXPECT_LT(n, bitrate / 8 * 1024 / 44100 + 1200);
    all.insert(all.end(), out.begin(), out.begin() + n);
  }
  AacEncDestroy(enc);
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : all) h = (h ^ c) * 1099511628211ull;
  return h;
}

TEST(EncoderGolden, CodingHalfFromFixedModelOutput) {
  uint64_t h64 = CodingHalfHash(64000), h128 = CodingHalfHash(128000), h256 = CodingHalfHash(256000);
  EXPECT_EQ(h64, GOLDEN_CODING_64K) << std::hex << "0x" << h64 << "ull";
  EXPECT_EQ(h128, GOLDEN_CODING_128K) << std::hex << "0x" << h128 << "ull";
  EXPECT_EQ(h256, GOLDEN_CODING_256K) << std::hex << "0x" << h256 << "ull";
}

// Bands that carried values in the last long block stay coded while they
// are above their own threshold, even when a tight budget moves the offset
// past them: no band drops out for one frame (a spectral hole).
TEST(EncoderQuantiser, BandsCodedLastFrameAreHeld) {
  static PsyOut psy;
  static QcFrame qc;
  auto codedBands = [](const QcChannel& ch) {
    int n = 0;
    for (int b = 0; b < ch.maxSfb; ++b)
      for (int i = ch.sfbOffsets[b]; i < ch.sfbOffsets[b + 1]; ++i)
        if (ch.quant[i] != 0) {
          ++n;
          break;
        }
    return n;
  };
  auto run = [&](QcLoopState* s, int grant) {
    SyntheticPsyOut(&psy, 0);
    PsyOutChannel* pch[2] = {&psy.channel[0], &psy.channel[1]};
    QcChannel* qch[2] = {&qc.channel[0], &qc.channel[1]};
    int used = 0;
    ErrorRecord* e = QcQuantizeElement(s, 0, pch, qch, 2, 1, grant, &used);
    EXPECT_EQ(e, nullptr) << ErrorFirstMessage(e);
    ErrorFree(e);
    EXPECT_LE(used, grant);
    return codedBands(qc.channel[0]);
  };
  static QcLoopState fresh, carried;
  QcLoopInit(&fresh);
  QcLoopInit(&carried);
  const int generous = run(&carried, 20000);
  const int tightFresh = run(&fresh, 2600);
  const int tightHeld = run(&carried, 2600);
  EXPECT_GT(generous, tightFresh);
  EXPECT_GT(tightHeld, tightFresh);
}

// Close neighbours share the finer step; a band far from its neighbour, a
// band below its threshold and an uncoded band keep theirs.
TEST(EncoderQuantiser, CloseNeighboursShareTheFinerStep) {
  static PsyOut psy;
  SyntheticPsyOut(&psy, 0);
  PsyOutChannel& ch = psy.channel[0];
  ch.maxSfbPerGroup = 8;
  static QcPrep prep;
  const int base[8] = {100, 102, 110, 108, 255, 107, 90, 93};
  const float ratio[8] = {10, 10, 10, 10, 10, 10, 10, -3};
  for (int b = 0; b < 8; ++b) {
    prep.sfBase[b] = base[b];
    prep.ratioDb[b] = ratio[b];
  }
  prep.sfBase[8] = 77;  // beyond max_sfb
  prep.ratioDb[8] = 10;
  QcShareNeighbourSteps(&ch, &prep, 4);
  const int expect[9] = {100, 100, 108, 107, 255, 107, 90, 93, 77};
  for (int b = 0; b < 9; ++b) EXPECT_EQ(prep.sfBase[b], expect[b]) << "band " << b;
}

// "eah" keeps every band above its threshold coded when a tight budget
// raises the step sizes: at 64000 bit/s the stream differs from the one
// without the option; at 256000 bit/s no band is at risk and nothing changes.
TEST(EncoderOptions, EahChangesTightFramesOnly) {
  UciStore* eah = nullptr;
  ASSERT_EQ(UciCreate(0, nullptr, &eah), UCI_OK);
  ASSERT_EQ(UciSetValue(eah, "eah", "1"), UCI_OK);
  EXPECT_NE(CodingHalfHash(64000, eah), CodingHalfHash(64000));
  EXPECT_EQ(CodingHalfHash(256000, eah), CodingHalfHash(256000));
  UciDestroy(&eah);
}

}  // namespace
