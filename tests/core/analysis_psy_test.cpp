#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/aac_rom.h"
#include "core/cb_param.h"
#include "core/cod_chan.h"
#include "core/fifo_buf.h"
#include "core/window.h"
#include "core/psy_conf.h"
#include "core/psymain.h"
#include "core/sw_cont.h"
#include "core/uci.h"

namespace {

const PsyElement kMono[] = {{ID_SCE, 0, {0, -1}, TOOL_TNS, 0}};
const PsyElement kStereo[] = {{ID_CPE, 0, {0, 1}, TOOL_TNS | TOOL_MS, 2}};
const PsyElement kSix[] = {{ID_SCE, 0, {0, -1}, TOOL_TNS, 0},
                           {ID_CPE, 0, {1, 2}, TOOL_TNS | TOOL_MS, 2},
                           {ID_CPE, 1, {3, 4}, TOOL_TNS | TOOL_MS, 2},
                           {ID_LFE, 0, {5, -1}, 0, 0}};

struct Kernel {
  PsyKernel* k = nullptr;
  ~Kernel() { PsyDestroy(k); }
};

ErrorRecord* Make(Kernel* out, int channels, int rate, int bitrate, const PsyElement* el, int nEl,
                  UciStore* options = nullptr) {
  PsyInit init{channels, 1024, rate, bitrate, nEl, el, 0, options};
  return PsyCreate(&init, &out->k);
}

std::string Message(ErrorRecord* e) {
  std::string m = ErrorFirstMessage(e);
  ErrorFree(e);
  return m;
}

// Frames of interleaved samples: silence with one loud decaying click.
std::vector<float> ClickSignal(int channels, int frames, long clickAt) {
  std::vector<float> s(size_t(frames) * 1024 * size_t(channels), 0.0f);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  for (int i = 0; i < 200; ++i) {
    const float v = 25000.0f * std::exp(-i / 40.0f) * d(rng);
    for (int c = 0; c < channels; ++c) s[size_t(clickAt + i) * size_t(channels) + size_t(c)] = v;
  }
  return s;
}

std::vector<int> Sequences(PsyKernel* k, int channels, const std::vector<float>& s, int channel, int allowShort = 1) {
  auto out = std::make_unique<PsyOut>();
  std::vector<int> seq;
  const int frames = int(s.size() / 1024 / size_t(channels));
  for (int f = 0; f < frames; ++f) {
    ErrorRecord* e = PsyProcess(k, s.data() + size_t(f) * 1024 * size_t(channels), allowShort, out.get());
    EXPECT_EQ(e, nullptr) << ErrorFirstMessage(e);
    seq.push_back(out->channel[channel].windowSequence);
  }
  return seq;
}

TEST(PsyBandwidth, TableCases) {
  int bw = 0;
  ASSERT_EQ(PsyLookupBandwidth(2, 44100, 64000, &bw), nullptr);
  EXPECT_EQ(bw, 15848);
  ASSERT_EQ(PsyLookupBandwidth(2, 32000, 32000, &bw), nullptr);
  EXPECT_EQ(bw, 14000);
  ASSERT_EQ(PsyLookupBandwidth(1, 44100, 64000, &bw), nullptr);
  EXPECT_EQ(bw, 15159);
  ASSERT_EQ(PsyLookupBandwidth(6, 48000, 64000, &bw), nullptr);
  EXPECT_EQ(bw, 15000);
  EXPECT_EQ(Message(PsyLookupBandwidth(1, 44100, 20000, &bw)),
            "error initializing codParam: no parameter set found for this combination of bit rate, sample rate and "
            "channel mode");
  Kernel k;
  ASSERT_EQ(Make(&k, 2, 44100, 128000, kStereo, 1), nullptr);
  EXPECT_FLOAT_EQ(PsyGetBandwidth(k.k), 15848.0f);
  EXPECT_EQ(PsyGetBandwidthLine(k.k, 0), int(std::lround(15848.0 * 2048 / 44100)));
}

TEST(PsyPartitions, AtMost115AndCoveringEveryLineForEveryRate) {
  for (const AacRateTable& t : kAacRateTables) {
    for (int shortBlock = 0; shortBlock < 2; ++shortBlock) {
      PsyPartitions p;
      const int lines = shortBlock ? 128 : 1024;
      ErrorRecord* e = CbBuildPartitions(t.sampleRate, lines, shortBlock ? t.sfbCntShort : t.sfbCntLong,
                                         shortBlock ? t.sfbOffsetShort : t.sfbOffsetLong, &p);
      ASSERT_EQ(e, nullptr) << t.sampleRate << " " << ErrorFirstMessage(e);
      ASSERT_LE(p.count, MAX_CB);
      int next = 0;
      for (int i = 0; i < p.count; ++i) {
        ASSERT_EQ(p.start[i], next) << t.sampleRate;
        ASSERT_GT(p.width[i], 0);
        next += p.width[i];
        if (i > 0) {
          EXPECT_GT(p.bark[i], p.bark[i - 1] - 1e-6f);
        }
        EXPECT_LE(p.bark[i], 24.0f);
        EXPECT_GT(p.qsthr[i], 0.0f);
      }
      EXPECT_EQ(next, lines);
    }
  }
}

TEST(PsyCreateErrors, Messages) {
  Kernel k;
  PsyElement seven[7] = {};
  EXPECT_EQ(Message(Make(&k, 7, 44100, 128000, seven, 7)), "number of channels too large");
  PsyElement bad = {ID_CPE, 0, {0, 1}, 0, 3};
  EXPECT_EQ(Message(Make(&k, 2, 44100, 128000, &bad, 1)), "unsupported commonWindowMode");
  EXPECT_EQ(Message(Make(&k, 2, 22000, 128000, kStereo, 1)), "error initializing sfbParam");
  EXPECT_EQ(k.k, nullptr);
}

TEST(BlockSwitching, CastanetClickGoesStartShortStopLong) {
  Kernel k;
  ASSERT_EQ(Make(&k, 2, 44100, 128000, kStereo, 1), nullptr);
  const std::vector<float> s = ClickSignal(2, 16, 10 * 1024 + 100);
  auto out = std::make_unique<PsyOut>();
  std::vector<int> left, right;
  for (int f = 0; f < 16; ++f) {
    ASSERT_EQ(PsyProcess(k.k, s.data() + size_t(f) * 2048, 1, out.get()), nullptr);
    left.push_back(out->channel[0].windowSequence);
    right.push_back(out->channel[1].windowSequence);
    EXPECT_EQ(out->element[0].pair.commonWindow, 1);
  }
  for (int f = 0; f < 10; ++f) EXPECT_EQ(left[size_t(f)], ONLY_LONG) << f;
  EXPECT_EQ(left[10], LONG_START);
  EXPECT_EQ(left[11], EIGHT_SHORT);
  EXPECT_EQ(left[12], LONG_STOP);
  for (int f = 13; f < 16; ++f) EXPECT_EQ(left[size_t(f)], ONLY_LONG) << f;
  EXPECT_EQ(left, right);
}

TEST(BlockSwitching, NoShortWindowsAt64000Stereo) {
  Kernel k;
  ASSERT_EQ(Make(&k, 2, 32000, 64000, kStereo, 1), nullptr);
  const std::vector<float> s = ClickSignal(2, 12, 6 * 1024 + 500);
  for (int seq : Sequences(k.k, 2, s, 0)) EXPECT_EQ(seq, ONLY_LONG);
  // The caller can switch short windows off too.
  Kernel k2;
  ASSERT_EQ(Make(&k2, 2, 44100, 128000, kStereo, 1), nullptr);
  for (int seq : Sequences(k2.k, 2, s, 1, 0)) EXPECT_EQ(seq, ONLY_LONG);
}

TEST(BlockSwitching, GroupingRules) {
  int len[MAX_GROUPS];
  const int none[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(BlockSwitchGroup(none, len), 3);
  EXPECT_EQ(len[0], 3);
  EXPECT_EQ(len[1], 3);
  EXPECT_EQ(len[2], 2);
  const int at5[8] = {0, 0, 0, 0, 0, 1, 0, 0};
  ASSERT_EQ(BlockSwitchGroup(at5, len), 3);  // run of 5 halved, then a run of 3
  EXPECT_EQ(len[0], 3);
  EXPECT_EQ(len[1], 2);
  EXPECT_EQ(len[2], 3);
  const int at2and3[8] = {0, 0, 1, 1, 0, 0, 0, 0};
  ASSERT_EQ(BlockSwitchGroup(at2and3, len), 4);  // 2 | 1 | 5 -> 3, 2
  EXPECT_EQ(len[0], 2);
  EXPECT_EQ(len[1], 1);
  EXPECT_EQ(len[2], 3);
  EXPECT_EQ(len[3], 2);
  // An EIGHT_SHORT frame started by the previous frame's attack, with no
  // attack inside, is grouped 3, 3, 2.
  BlockSwitchState st;
  BlockSwitchInit(&st, 0);
  st.lastSequence = LONG_START;
  st.prevAttack = 1;
  std::vector<float> quiet(1024, 0.0f);
  BlockSwitchResult r;
  BlockSwitchFrame(&st, quiet.data(), 1, 1, &r);
  EXPECT_EQ(r.sequence, EIGHT_SHORT);
  ASSERT_EQ(r.groups, 3);
  EXPECT_EQ(r.groupLen[0], 3);
  EXPECT_EQ(r.groupLen[1], 3);
  EXPECT_EQ(r.groupLen[2], 2);
  BlockSwitchFrame(&st, quiet.data(), 1, 1, &r);
  EXPECT_EQ(r.sequence, LONG_STOP);
}

TEST(PsyOutput, EnergiesThresholdsAndShortLayout) {
  Kernel k;
  ASSERT_EQ(Make(&k, 1, 44100, 96000, kMono, 1), nullptr);
  auto out = std::make_unique<PsyOut>();
  std::vector<float> pcm(1024);
  long n = 0;
  for (int f = 0; f < 4; ++f) {
    for (float& v : pcm) v = float(8000.0 * std::sin(2.0 * M_PI * 1000.0 * double(n++) / 44100.0));
    ASSERT_EQ(PsyProcess(k.k, pcm.data(), 1, out.get()), nullptr);
  }
  const PsyOutChannel& c = out->channel[0];
  ASSERT_EQ(c.windowSequence, ONLY_LONG);
  ASSERT_EQ(c.sfbCnt, 49);
  int toneBand = -1;
  for (int b = 0; b < c.sfbCnt; ++b) {
    double e = 0.0;
    for (int i = c.sfbOffsets[b]; i < c.sfbOffsets[b + 1]; ++i) e += double(c.spectrum[i]) * c.spectrum[i];
    EXPECT_NEAR(c.sfbEnergy[b], e, 1e-3 * e + 1e-3);
    EXPECT_GT(c.sfbThreshold[b], 0.0f);
    if (c.sfbOffsets[b] <= 46 && c.sfbOffsets[b + 1] > 46) toneBand = b;  // 1000 Hz is line 46.4
  }
  ASSERT_GE(toneBand, 0);
  EXPECT_GT(c.sfbEnergy[toneBand], 100.0f * c.sfbThreshold[toneBand])
      << "a clean tone needs a signal-to-mask ratio of at least 20 dB";
  EXPECT_GT(c.sfbPe[toneBand], 0.0f);
  EXPECT_LT(c.sfbEnergy[40], c.sfbThreshold[40]);  // nothing at 12 kHz
  EXPECT_GT(c.pe, 0.0f);
  EXPECT_GE(c.spectralVariation, 0.4f);
  EXPECT_LE(c.spectralVariation, 1.0f);
  EXPECT_LE(c.maxSfbPerGroup, c.sfbCnt);
  for (int i = c.lowpassLine; i < 1024; ++i) ASSERT_EQ(c.spectrum[i], 0.0f);
}

TEST(PsyOutput, ShortBlocksAreGroupedAndInterleaved) {
  Kernel k;
  ASSERT_EQ(Make(&k, 1, 48000, 128000, kMono, 1), nullptr);
  const std::vector<float> s = ClickSignal(1, 8, 4 * 1024 + 300);
  auto out = std::make_unique<PsyOut>();
  bool seen = false;
  for (int f = 0; f < 8; ++f) {
    ASSERT_EQ(PsyProcess(k.k, s.data() + size_t(f) * 1024, 1, out.get()), nullptr);
    const PsyOutChannel& c = out->channel[0];
    if (c.windowSequence != EIGHT_SHORT) continue;
    seen = true;
    int total = 0;
    for (int g = 0; g < c.groups; ++g) total += c.groupLen[g];
    EXPECT_EQ(total, 8);
    EXPECT_EQ(c.sfbPerGroup, 14);
    EXPECT_EQ(c.sfbCnt, 14 * c.groups);
    EXPECT_EQ(c.sfbOffsets[c.sfbCnt], 1024);
    // Band b of group 0 holds the lines of its windows one after the other.
    const int b = 3;
    const int lo = c.sfbOffsets[b];
    const int width = c.sfbWidth[b];
    EXPECT_EQ(c.sfbOffsets[b + 1] - lo, width * c.groupLen[0]);
    const int bandStart = 12;  // short band 3 starts at line 12 at 48 kHz
    for (int w = 0; w < c.groupLen[0]; ++w) {
      for (int i = 0; i < width; ++i) {
        ASSERT_EQ(c.groupedSpectrum[lo + w * width + i], c.spectrum[w * 128 + bandStart + i]);
      }
    }
    double e = 0.0;
    for (int i = lo; i < c.sfbOffsets[b + 1]; ++i) e += double(c.groupedSpectrum[i]) * c.groupedSpectrum[i];
    EXPECT_NEAR(c.sfbEnergy[b], e, 1e-3 * e + 1e-3);
  }
  EXPECT_TRUE(seen);
}

TEST(PsyOutput, MidSideOfEqualChannels) {
  Kernel k;
  ASSERT_EQ(Make(&k, 2, 44100, 128000, kStereo, 1), nullptr);
  auto out = std::make_unique<PsyOut>();
  std::vector<float> pcm(2048);
  std::mt19937 rng(11);
  std::normal_distribution<float> d(0.0f, 2000.0f);
  for (int f = 0; f < 3; ++f) {
    for (size_t i = 0; i < pcm.size(); i += 2) pcm[i] = pcm[i + 1] = d(rng);
    ASSERT_EQ(PsyProcess(k.k, pcm.data(), 1, out.get()), nullptr);
  }
  const PsyOutPair& p = out->element[0].pair;
  ASSERT_EQ(p.valid, 1);
  const PsyOutChannel& l = out->channel[0];
  for (int b = 0; b < l.sfbCnt; ++b) {
    EXPECT_NEAR(p.sfbEnergyMid[b], l.sfbEnergy[b], 1e-3f * l.sfbEnergy[b] + 1e-3f);
    EXPECT_LE(p.sfbEnergySide[b], 1e-6f * l.sfbEnergy[b] + 1e-3f);
    EXPECT_FLOAT_EQ(p.sfbThresholdMid[b], 0.5f * l.sfbThreshold[b]);
    EXPECT_EQ(p.msUsed[b], 0);
  }
}

TEST(PsyOutput, LfeKeepsLongWindowsAndThirteenLines) {
  Kernel k;
  ASSERT_EQ(Make(&k, 6, 48000, 384000, kSix, 4), nullptr);
  const std::vector<float> s = ClickSignal(6, 8, 3 * 1024 + 200);
  auto out = std::make_unique<PsyOut>();
  bool centreShort = false;
  for (int f = 0; f < 8; ++f) {
    ASSERT_EQ(PsyProcess(k.k, s.data() + size_t(f) * 6 * 1024, 1, out.get()), nullptr);
    const PsyOutChannel& lfe = out->channel[5];
    EXPECT_EQ(lfe.windowSequence, ONLY_LONG);
    EXPECT_EQ(lfe.isLfe, 1);
    for (int i = 13; i < 1024; ++i) ASSERT_EQ(lfe.spectrum[i], 0.0f);
    EXPECT_EQ(lfe.tns.present, 0);
    if (out->channel[0].windowSequence == EIGHT_SHORT) centreShort = true;
  }
  EXPECT_TRUE(centreShort);
  EXPECT_EQ(out->element[3].type, ID_LFE);
}

// A block with a sharp temporal envelope switches TNS on; the decoder's
// synthesis filter with the transmitted coefficients gives back the
// unfiltered spectrum.
TEST(Tns, FilterDecisionAndInverse) {
  PsyConfiguration* cfg = new PsyConfiguration{};
  ASSERT_EQ(PsyConfigure(44100, 64000, 0, 0, 16000, cfg), nullptr);
  // Spectrum of a single impulse inside the block: a cosine across lines.
  std::vector<float> x(1024);
  for (int k = 0; k < 1024; ++k) x[size_t(k)] = float(1000.0 * std::cos(M_PI / 1024 * 300.5 * (k + 0.5)));
  std::vector<float> orig = x;
  TnsWindowData t;
  TnsProcessBlock(cfg, 0, 0, x.data(), &t);
  ASSERT_EQ(t.numFilters, 1);
  EXPECT_GE(t.predictionGain, 1.41f);
  EXPECT_GE(t.order, 1);
  EXPECT_LE(t.order, 12);
  EXPECT_EQ(t.coefRes, t.predictionGain > 2.5f ? 4 : 3);
  EXPECT_EQ(t.stopBand, 42);  // the TNS maximum band of 44100 Hz long blocks
  EXPECT_EQ(t.length, cfg->sfbCnt - t.startBand);
  float q[TNS_MAX_ORDER], lpc[TNS_MAX_ORDER + 1];
  for (int i = 0; i < t.order; ++i) {
    EXPECT_GE(t.coef[i], -(1 << (t.coefRes - 1)));
    EXPECT_LT(t.coef[i], 1 << (t.coefRes - 1));
    q[i] = TnsDequantiseCoef(t.coef[i], t.coefRes);
  }
  TnsParcorToLpc(q, t.order, lpc);
  TnsSynthesis(x.data(), cfg->sfbOffset[t.startBand], cfg->sfbOffset[t.stopBand], lpc, t.order);
  for (size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(x[k], orig[k], 0.05f) << k;
  // White noise has no prediction gain: no filter.
  std::mt19937 rng(5);
  std::normal_distribution<float> d(0.0f, 1000.0f);
  for (float& v : x) v = d(rng);
  TnsProcessBlock(cfg, 0, 0, x.data(), &t);
  EXPECT_EQ(t.numFilters, 0);
  delete cfg;
}

TEST(PsyOptions, RpminAndLowpassAdjust) {
  // rpmin 1 switches pre-echo control off: the onset block keeps a higher threshold.
  auto onset = [](bool optionsOn) {
    UciStore* options = nullptr;
    if (optionsOn) {
      UciCreate(0, nullptr, &options);
      UciSetValue(options, "rpmin", "1");
      UciSetValue(options, "lp-adjust", "");
    }
    Kernel k;
    EXPECT_EQ(Make(&k, 1, 44100, 96000, kMono, 1, options), nullptr);
    UciDestroy(&options);
    auto out = std::make_unique<PsyOut>();
    std::vector<float> pcm(1024, 0.0f);
    std::mt19937 rng(9);
    std::normal_distribution<float> d(0.0f, 3000.0f);
    double thr = 0.0;
    int line = PsyGetBandwidthLine(k.k, 0);
    for (int f = 0; f < 6; ++f) {
      if (f >= 3) {
        for (float& v : pcm) v = d(rng);
      }
      EXPECT_EQ(PsyProcess(k.k, pcm.data(), 0, out.get()), nullptr);
      if (f == 4) {
        // Bands inside the bandwidth (above it only the threshold in quiet is left).
        for (int b = 0; b < out->channel[0].maxSfbPerGroup; ++b) thr += out->channel[0].sfbThreshold[b];
      }
    }
    return std::make_pair(thr, line);
  };
  const auto plain = onset(false);
  const auto tuned = onset(true);
  EXPECT_GT(tuned.first, plain.first * 1.5);
  const AacRateTable* t = AacFindRate(44100);
  bool border = false;
  for (int b = 0; b <= t->sfbCntLong; ++b) border = border || t->sfbOffsetLong[b] == tuned.second;
  EXPECT_TRUE(border) << tuned.second;
}

}  // namespace

namespace {

// The whole analysis chain, block switching included, is a perfect
// reconstruction filterbank: inverse transforms of the delivered spectra,
// overlap-added, give back the (band-limited) input one frame late.
TEST(PsyPipeline, DeliveredSpectraReconstructTheInput) {
  const PsyElement plain[] = {{ID_CPE, 0, {0, 1}, 0, 2}};
  Kernel k;
  ASSERT_EQ(Make(&k, 2, 48000, 192000, plain, 1), nullptr);
  Filterbank* fb = nullptr;
  ASSERT_EQ(FilterbankCreate(&fb), nullptr);
  const int frames = 14;
  std::vector<float> s(size_t(frames) * 2048, 0.0f);
  for (int i = 0; i < frames * 1024; ++i) {
    // Tones well inside the bandwidth, and a tone burst with a hard onset.
    float v = float(2000.0 * std::sin(2.0 * M_PI * 440.0 * i / 48000.0));
    const int t = i - (7 * 1024 + 300);
    if (t >= 0 && t < 600) {
      // 48-sample raised-cosine edges keep the burst inside the bandwidth.
      const int edge = t < 300 ? t : 599 - t;
      const double ramp = edge < 48 ? 0.5 - 0.5 * std::cos(M_PI * edge / 48.0) : 1.0;
      v += float(25000.0 * ramp * std::sin(2.0 * M_PI * 2000.0 * i / 48000.0));
    }
    s[size_t(i) * 2] = v;
    s[size_t(i) * 2 + 1] = 0.5f * v;
  }
  auto out = std::make_unique<PsyOut>();
  std::vector<float> rebuilt(size_t(frames + 2) * 1024, 0.0f), block(2048);
  int prevShape = SINE_WINDOW;
  bool sawShort = false;
  for (int f = 0; f < frames; ++f) {
    ASSERT_EQ(PsyProcess(k.k, s.data() + size_t(f) * 2048, 1, out.get()), nullptr);
    const PsyOutChannel& c = out->channel[0];
    sawShort = sawShort || c.windowSequence == EIGHT_SHORT;
    ASSERT_EQ(FilterbankInverse(fb, c.windowSequence, prevShape, c.windowShape, c.spectrum, block.data()), nullptr);
    prevShape = c.windowShape;
    // Frame f's transform covers input samples [(f - 2) * 1024, f * 1024).
    for (int i = 0; i < 2048; ++i) {
      const long pos = long(f - 2) * 1024 + i;
      if (pos >= 0) rebuilt[size_t(pos)] += block[size_t(i)];
    }
  }
  EXPECT_TRUE(sawShort) << "the burst switches to short windows";
  double err = 0.0, sig = 0.0;
  for (int i = 1024; i < (frames - 2) * 1024; ++i) {
    const double d = rebuilt[size_t(i)] - s[size_t(i) * 2];
    err += d * d;
    sig += double(s[size_t(i) * 2]) * s[size_t(i) * 2];
  }
  EXPECT_GT(10.0 * std::log10(sig / err), 40.0) << "reconstruction SNR in dB";
  FilterbankDestroy(fb);
}

// Every frame uses the Kaiser-Bessel-derived window (its first left half
// included), whether short windows are allowed or not, and where they are
// not the delivered spectra still rebuild the input.
TEST(PsyPipeline, KaiserBesselWindowAtEveryRate) {
  const PsyElement pair[] = {{ID_CPE, 0, {0, 1}, 0, 2}};
  Kernel longOnly, switching;
  ASSERT_EQ(Make(&longOnly, 2, 32000, 64000, pair, 1), nullptr);
  ASSERT_EQ(Make(&switching, 2, 44100, 128000, pair, 1), nullptr);
  Filterbank* fb = nullptr;
  ASSERT_EQ(FilterbankCreate(&fb), nullptr);
  const int frames = 12;
  std::vector<float> s(size_t(frames) * 2048, 0.0f);
  for (int i = 0; i < frames * 1024; ++i) {
    float v = float(3000.0 * std::sin(2.0 * M_PI * 500.0 * i / 32000.0));
    const int t = i - (6 * 1024 + 100);
    if (t >= 0 && t < 400) {
      const int edge = t < 200 ? t : 399 - t;
      const double ramp = edge < 48 ? 0.5 - 0.5 * std::cos(M_PI * edge / 48.0) : 1.0;
      v += float(20000.0 * ramp * std::sin(2.0 * M_PI * 3000.0 * i / 32000.0));
    }
    s[size_t(i) * 2] = v;
    s[size_t(i) * 2 + 1] = -v;
  }
  auto out = std::make_unique<PsyOut>();
  std::vector<float> rebuilt(size_t(frames + 2) * 1024, 0.0f), block(2048);
  int prevShape = KBD_WINDOW;
  for (int f = 0; f < frames; ++f) {
    ASSERT_EQ(PsyProcess(longOnly.k, s.data() + size_t(f) * 2048, 1, out.get()), nullptr);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(out->channel[c].windowSequence, ONLY_LONG) << "frame " << f;
      EXPECT_EQ(out->channel[c].windowShape, KBD_WINDOW) << "frame " << f;
    }
    const PsyOutChannel& c = out->channel[0];
    ASSERT_EQ(FilterbankInverse(fb, c.windowSequence, prevShape, c.windowShape, c.spectrum, block.data()), nullptr);
    prevShape = c.windowShape;
    for (int i = 0; i < 2048; ++i) {
      const long pos = long(f - 2) * 1024 + i;
      if (pos >= 0) rebuilt[size_t(pos)] += block[size_t(i)];
    }
    ASSERT_EQ(PsyProcess(switching.k, s.data() + size_t(f) * 2048, 1, out.get()), nullptr);
    EXPECT_EQ(out->channel[0].windowShape, KBD_WINDOW) << "frame " << f;
  }
  double err = 0.0, sig = 0.0;
  for (int i = 1024; i < (frames - 2) * 1024; ++i) {
    const double d = rebuilt[size_t(i)] - s[size_t(i) * 2];
    err += d * d;
    sig += double(s[size_t(i) * 2]) * s[size_t(i) * 2];
  }
  EXPECT_GT(10.0 * std::log10(sig / err), 40.0) << "reconstruction SNR in dB";
  FilterbankDestroy(fb);
}

TEST(HistoryBuffers, FifoAndRing) {
  FloatFifoBuffer* f = nullptr;
  ASSERT_EQ(CreateFloatFifoBuffer(4, -1.0f, &f), nullptr);
  const float in[] = {1, 10, 2, 20, 3, 30};
  FloatFifoPush(f, in, 3, 2);  // every second value
  EXPECT_EQ(f->data[0], -1.0f);
  EXPECT_EQ(f->data[1], 1.0f);
  EXPECT_EQ(f->data[3], 3.0f);
  DestroyFloatFifoBuffer(f);
  ErrorRecord* e = CreateFloatFifoBuffer(0, 0.0f, &f);
  EXPECT_EQ(Message(e), "CreateFloatFifoBuffer failed");
  FloatModuloBuffer* r = nullptr;
  ASSERT_EQ(CreateFloatModuloBuffer(3, 2, 0.5f, &r), nullptr);
  const float a[] = {1, 2}, b[] = {3, 4};
  FloatModuloPush(r, a);
  FloatModuloPush(r, b);
  EXPECT_EQ(FloatModuloRecord(r, 0)[1], 4.0f);
  EXPECT_EQ(FloatModuloRecord(r, 1)[0], 1.0f);
  EXPECT_EQ(FloatModuloRecord(r, 2)[0], 0.5f);
  FloatModuloPush(r, a);
  FloatModuloPush(r, a);
  EXPECT_EQ(FloatModuloRecord(r, 2)[0], 3.0f);
  DestroyFloatModuloBuffer(r);
  EXPECT_EQ(Message(CreateFloatModuloBuffer(0, 2, 0.0f, &r)), "CreateFloatModuloBuffer failed");
}

}  // namespace

namespace {

// Every coding rate with a bandwidth entry: the model runs on noise and
// clicks and delivers finite, consistent figures.
TEST(PsyAllRates, FiniteConsistentOutput) {
  struct Case {
    int rate, bitrate;
  } cases[] = {{8000, 16000},  {11025, 24000}, {12000, 24000}, {16000, 40000}, {22050, 56000}, {24000, 64000},
               {32000, 96000}, {44100, 128000}, {48000, 160000}};
  for (const Case& c : cases) {
    Kernel k;
    ErrorRecord* e = Make(&k, 2, c.rate, c.bitrate, kStereo, 1);
    ASSERT_EQ(e, nullptr) << c.rate << " " << ErrorFirstMessage(e);
    std::vector<float> s = ClickSignal(2, 10, 5 * 1024 + 77);
    std::mt19937 rng(unsigned(c.rate));
    std::normal_distribution<float> d(0.0f, 500.0f);
    for (float& v : s) v += d(rng);
    auto out = std::make_unique<PsyOut>();
    for (int f = 0; f < 10; ++f) {
      ASSERT_EQ(PsyProcess(k.k, s.data() + size_t(f) * 2048, 1, out.get()), nullptr);
      for (int ch = 0; ch < 2; ++ch) {
        const PsyOutChannel& o = out->channel[ch];
        ASSERT_EQ(o.sfbOffsets[o.sfbCnt], 1024) << c.rate;
        ASSERT_LE(o.maxSfbPerGroup, o.sfbPerGroup);
        ASSERT_TRUE(std::isfinite(o.pe));
        for (int b = 0; b < o.sfbCnt; ++b) {
          ASSERT_TRUE(std::isfinite(o.sfbEnergy[b]) && o.sfbEnergy[b] >= 0.0f) << c.rate << " band " << b;
          ASSERT_TRUE(std::isfinite(o.sfbThreshold[b]) && o.sfbThreshold[b] > 0.0f) << c.rate << " band " << b;
          ASSERT_GE(o.sfbPe[b], 0.0f);
        }
        for (int w = 0; w < o.tns.numWindows; ++w) {
          const TnsWindowData& t = o.tns.window[w];
          if (!t.numFilters) continue;
          ASSERT_LE(t.order, o.windowSequence == EIGHT_SHORT ? 7 : 12);
          ASSERT_LE(t.length, o.windowSequence == EIGHT_SHORT ? 15 : 63);
          ASSERT_LE(t.stopBand, o.sfbPerGroup);
        }
      }
    }
  }
}

}  // namespace

namespace {

TEST(BlockSwitching, EnergyStoreConfirmsOnlyRisingWindows) {
  BlockEnergyStore store;
  float quiet[4] = {1e4f, 1e4f, 0.0f, 1e4f};  // 40 dB, -130 dB for zero, each minus 5 dB
  ASSERT_EQ(BlockEnergyStoreCreate(&store, 4, quiet), nullptr);
  EXPECT_FLOAT_EQ(FloatModuloRecord(store.ring, 11)[0], 35.0f);
  EXPECT_FLOAT_EQ(FloatModuloRecord(store.ring, 0)[2], -135.0f);
  float steady[TRANS_FAC][MAX_SFB_SHORT] = {};
  for (auto& w : steady) {
    for (int b = 0; b < 4; ++b) w[b] = 60.0f;
  }
  int flags[TRANS_FAC] = {1, 0, 0, 0, 0, 0, 0, 1};
  BlockEnergyStoreConfirm(&store, steady, flags);
  EXPECT_EQ(flags[0], 1);  // 60 dB over a store at 35 dB: a rise
  int none[TRANS_FAC] = {};
  BlockEnergyStoreConfirm(&store, steady, none);
  // Now the store holds 60 dB everywhere: an equal block is no attack, a
  // block 10 dB louder in one band is.
  int again[TRANS_FAC] = {1, 1, 0, 0, 0, 0, 0, 0};
  float louder[TRANS_FAC][MAX_SFB_SHORT];
  for (int w = 0; w < TRANS_FAC; ++w) {
    for (int b = 0; b < 4; ++b) louder[w][b] = 60.0f;
  }
  louder[1][3] = 70.0f;
  BlockEnergyStoreConfirm(&store, louder, again);
  EXPECT_EQ(again[0], 0);
  EXPECT_EQ(again[1], 1);
  BlockEnergyStoreDestroy(&store);
}

}  // namespace

namespace {

// Energy over threshold (dB) of the band holding `hz` after a few frames of
// a steady mono tone of amplitude `amp` (16-bit scale).
double ToneMargin(int bitrate, double hz, double amp) {
  Kernel k;
  EXPECT_EQ(Make(&k, 1, 44100, bitrate, kMono, 1), nullptr);
  auto out = std::make_unique<PsyOut>();
  std::vector<float> pcm(1024);
  long n = 0;
  for (int f = 0; f < 6; ++f) {
    for (float& v : pcm) v = float(amp * std::sin(2.0 * M_PI * hz * double(n++) / 44100.0));
    EXPECT_EQ(PsyProcess(k.k, pcm.data(), 1, out.get()), nullptr);
  }
  const PsyOutChannel& c = out->channel[0];
  const int line = int(hz * 2048.0 / 44100.0);
  for (int b = 0; b < c.sfbCnt; ++b)
    if (c.sfbOffsets[b] <= line && c.sfbOffsets[b + 1] > line)
      return 10.0 * std::log10(double(c.sfbEnergy[b]) / double(c.sfbThreshold[b]));
  return -1e9;
}

TEST(PsyThresholdInQuiet, QuietHighTonesAtHighRatesOnlyLoudOnesAtLowRates) {
  // A 14 kHz tone of amplitude 10 (20 dB above one LSB) is above what young
  // listeners hear, and above the model's threshold at a high rate.
  EXPECT_GT(ToneMargin(96000, 14000.0, 10.0), 3.0);
  // Ten times weaker, it is not.
  EXPECT_LT(ToneMargin(96000, 14000.0, 1.0), 0.0);
  // Below 40000 bit/s per channel only loud content above 8 kHz counts:
  // a quiet 10 kHz tone is coded at 96000 but not at 32000 bit/s ...
  EXPECT_GT(ToneMargin(96000, 10000.0, 10.0), 10.0);
  EXPECT_LT(ToneMargin(32000, 10000.0, 10.0), 0.0);
  // ... a loud one at both, and a tone below 8 kHz is judged alike.
  EXPECT_GT(ToneMargin(32000, 10000.0, 3000.0), 10.0);
  EXPECT_NEAR(ToneMargin(32000, 5000.0, 10.0), ToneMargin(96000, 5000.0, 10.0), 6.0);
}

}  // namespace

namespace {

// Per frame of a mono signal: the long block's TNS record and thresholds.
struct TnsFrame {
  int filters = 0;
  TnsWindowData window{};
  std::vector<float> thr;
};

std::vector<TnsFrame> TnsFrames(int bitrate, const std::vector<float>& s, int tools, int allowShort) {
  const PsyElement mono[] = {{ID_SCE, 0, {0, -1}, tools, 0}};
  Kernel k;
  EXPECT_EQ(Make(&k, 1, 44100, bitrate, mono, 1), nullptr);
  auto out = std::make_unique<PsyOut>();
  std::vector<TnsFrame> frames;
  for (size_t f = 0; f + 1024 <= s.size(); f += 1024) {
    ErrorRecord* e = PsyProcess(k.k, s.data() + f, allowShort, out.get());
    EXPECT_EQ(e, nullptr) << ErrorFirstMessage(e);
    const PsyOutChannel& c = out->channel[0];
    TnsFrame r;
    r.filters = c.tns.window[0].numFilters;
    r.window = c.tns.window[0];
    r.thr.assign(c.sfbThreshold, c.sfbThreshold + c.sfbCnt);
    frames.push_back(r);
  }
  return frames;
}

// Glottal-like pulses every 5 ms, each a short decaying burst: a steady
// envelope at the scale of a block, sharp at the scale of a pulse.
std::vector<float> PulseTrain(int frames) {
  std::vector<float> s(size_t(frames) * 1024);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  for (size_t i = 0; i < s.size(); ++i) {
    const size_t phase = i % 220;
    s[i] = 12000.0f * std::exp(-float(phase) / 12.0f) * d(rng) + 300.0f * d(rng);
  }
  return s;
}

}  // namespace

// The gain the decoder's all-pole filter gives white noise, band by band:
// it grows from the region's start towards 1 / (1 - k^2) for one reflection
// coefficient k, and it is what filtering real noise shows.
TEST(Tns, NoiseGainOfTheSynthesisFilter) {
  PsyConfiguration* cfg = new PsyConfiguration{};
  ASSERT_EQ(PsyConfigure(44100, 64000, 0, 0, 16000, cfg), nullptr);
  float gain[MAX_SFB_LONG];
  for (float& g : gain) g = -1.0f;
  TnsWindowData none{};
  TnsNoiseGains(&none, cfg->sfbOffset, gain);
  EXPECT_EQ(gain[20], -1.0f);  // no filter: nothing to lower
  TnsWindowData one{};
  one.numFilters = 1;
  one.order = 1;
  one.coefRes = 4;
  one.coef[0] = 5;
  one.startBand = 10;
  one.stopBand = 42;
  const double k = TnsDequantiseCoef(5, 4);
  TnsNoiseGains(&one, cfg->sfbOffset, gain);
  EXPECT_EQ(gain[9], -1.0f);
  EXPECT_EQ(gain[42], -1.0f);
  EXPECT_LT(gain[10], gain[11]);
  EXPECT_NEAR(gain[41], 1.0 / (1.0 - k * k), 1e-3 / (1.0 - k * k));

  // The filter of a block with one click, applied to white noise as the
  // decoder applies it to quantisation noise.
  std::vector<float> x(1024);
  for (int i = 0; i < 1024; ++i) x[size_t(i)] = float(1000.0 * std::cos(M_PI / 1024 * 300.5 * (i + 0.5)));
  TnsWindowData t;
  TnsProcessBlock(cfg, 0, 0, x.data(), &t);
  ASSERT_EQ(t.numFilters, 1);
  TnsNoiseGains(&t, cfg->sfbOffset, gain);
  float q[TNS_MAX_ORDER], lpc[TNS_MAX_ORDER + 1];
  for (int i = 0; i < t.order; ++i) q[i] = TnsDequantiseCoef(t.coef[i], t.coefRes);
  TnsParcorToLpc(q, t.order, lpc);
  std::mt19937 rng(11);
  std::normal_distribution<float> d(0.0f, 1.0f);
  std::vector<double> before(MAX_SFB_LONG), after(MAX_SFB_LONG);
  const int lo = cfg->sfbOffset[t.startBand], hi = cfg->sfbOffset[t.stopBand];
  for (int round = 0; round < 400; ++round) {
    std::vector<float> n(1024);
    for (float& v : n) v = d(rng);
    for (int b = t.startBand; b < t.stopBand; ++b)
      for (int i = cfg->sfbOffset[b]; i < cfg->sfbOffset[b + 1]; ++i) before[size_t(b)] += double(n[size_t(i)]) * n[size_t(i)];
    TnsSynthesis(n.data(), lo, hi, lpc, t.order);
    for (int b = t.startBand; b < t.stopBand; ++b)
      for (int i = cfg->sfbOffset[b]; i < cfg->sfbOffset[b + 1]; ++i) after[size_t(b)] += double(n[size_t(i)]) * n[size_t(i)];
  }
  EXPECT_GT(gain[t.stopBand - 1], 2.0f);
  for (int b = t.startBand; b < t.stopBand; ++b)
    EXPECT_NEAR(after[size_t(b)] / before[size_t(b)] / gain[b], 1.0, 0.15) << "band " << b;
  delete cfg;
}

TEST(Tns, OnsetMeasureCountsOnlyRises) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  std::vector<float> steady(2048), onset(2048), decay(2048);
  for (size_t i = 0; i < 2048; ++i) {
    steady[i] = 5000.0f * d(rng);
    onset[i] = (i < 1536 ? 20.0f : 8000.0f) * d(rng);
    decay[i] = (i < 512 ? 8000.0f : 20.0f) * d(rng);
  }
  EXPECT_LT(TnsOnsetDb(steady.data(), 2048), 3.0f);
  EXPECT_GT(TnsOnsetDb(onset.data(), 2048), 40.0f);
  EXPECT_LT(TnsOnsetDb(decay.data(), 2048), 3.0f);
  EXPECT_LT(TnsOnsetDb(PulseTrain(2).data(), 2048), 10.0f);
  std::vector<float> silent(2048, 0.0f);
  EXPECT_FLOAT_EQ(TnsOnsetDb(silent.data(), 2048), 0.0f);
}

// From 40000 bit/s per channel, long blocks are filtered at onsets only, and
// a filtered block's bands ask for less noise by the filter's noise gain;
// below, the filter follows the prediction gain alone.
TEST(Tns, LongBlocksFilterAtOnsetsAndHoldTheDecodedNoise) {
  const std::vector<float> pulses = PulseTrain(12);
  int lowRate = 0, highRate = 0;
  const auto low = TnsFrames(32000, pulses, TOOL_TNS, 0);
  const auto high = TnsFrames(64000, pulses, TOOL_TNS, 0);
  for (size_t f = 3; f < low.size(); ++f) {
    lowRate += low[f].filters;
    highRate += high[f].filters;
  }
  EXPECT_GE(lowRate, 3);
  EXPECT_EQ(highRate, 0);

  // One click after silence, kept in long blocks: filtered at both rates.
  const std::vector<float> click = ClickSignal(1, 8, 4 * 1024 + 300);
  const auto plain = TnsFrames(64000, click, 0, 0);
  const auto held = TnsFrames(64000, click, TOOL_TNS, 0);
  const auto kept = TnsFrames(32000, click, TOOL_TNS, 0);
  const auto keptPlain = TnsFrames(32000, click, 0, 0);
  int filtered = 0;
  for (size_t f = 0; f < held.size(); ++f) {
    if (!held[f].filters) continue;
    ++filtered;
    const TnsWindowData& w = held[f].window;
    PsyConfiguration cfg{};
    ASSERT_EQ(PsyConfigure(44100, 64000, 1, 0, 16000, &cfg), nullptr);
    float gain[MAX_SFB_LONG];
    TnsNoiseGains(&w, cfg.sfbOffset, gain);
    for (int b = 0; b < int(plain[f].thr.size()); ++b) {
      const float expect = b >= w.startBand && b < w.stopBand ? plain[f].thr[size_t(b)] / gain[b] : plain[f].thr[size_t(b)];
      EXPECT_NEAR(held[f].thr[size_t(b)], expect, 1e-4f * expect) << "frame " << f << " band " << b;
    }
    ASSERT_TRUE(kept[f].filters);
    for (size_t b = 0; b < kept[f].thr.size(); ++b) EXPECT_FLOAT_EQ(kept[f].thr[b], keptPlain[f].thr[b]);
  }
  EXPECT_GE(filtered, 1);
}
