#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/AACBL_API.h"

namespace {

struct Converter {
  ResamplerState* s = nullptr;
  ~Converter() { ResamplerDestroy(s); }
};

TEST(Resampler, TableFactorsAndRefusedPairs) {
  int up = 0, down = 0;
  EXPECT_EQ(ResamplerFactors(44100, 32000, &up, &down), RESAMPLER_OK);
  EXPECT_EQ(up, 320);
  EXPECT_EQ(down, 441);
  EXPECT_EQ(ResamplerFactors(48000, 11025, &up, &down), RESAMPLER_OK);
  EXPECT_EQ(up, 147);
  EXPECT_EQ(down, 640);
  EXPECT_EQ(ResamplerFactors(44100, 48000, &up, &down), RESAMPLER_OK);
  EXPECT_EQ(up, 480);
  ResamplerState* s = reinterpret_cast<ResamplerState*>(1);
  EXPECT_EQ(ResamplerCreate(22050, 32000, 2, 2048, 14000.0f, &s), RESAMPLER_NO_TABLE_ROW);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(ResamplerCreate(44100, 32000, 2, 1000, 14000.0f, &s), RESAMPLER_BAD_ARGUMENT);
}

TEST(Resampler, FortyFourOneToThirtyTwoDesign) {
  Converter c;
  ASSERT_EQ(ResamplerCreate(44100, 32000, 2, 2048, 14000.0f, &c.s), RESAMPLER_OK);
  EXPECT_EQ(ResamplerTaps(c.s), 12349);
  EXPECT_EQ(ResamplerDelay(c.s), 14);
  EXPECT_EQ(ResamplerInputSamplesNeeded(c.s), 2 * 1412);
  // The filter is symmetric (linear phase).
  const float* h = ResamplerCoefficients(c.s);
  for (int i = 0; i < 12349 / 2; i += 97) EXPECT_FLOAT_EQ(h[i], h[12348 - i]);
}

TEST(Resampler, EqualRatesGiveA29TapLowPass) {
  Converter c;
  ASSERT_EQ(ResamplerCreate(48000, 48000, 1, 1024, 15000.0f, &c.s), RESAMPLER_OK);
  EXPECT_EQ(ResamplerTaps(c.s), 29);
  EXPECT_EQ(ResamplerInputSamplesNeeded(c.s), 1024);
  EXPECT_EQ(ResamplerDelay(c.s), 14);
  // Centre tap: 2 fc x L x 0.99 with fc = (15000 - 1722.26) / 48000.
  const double fc = (15000.0 - 1722.259136212625) / 48000.0;
  EXPECT_NEAR(ResamplerCoefficients(c.s)[14], 2.0 * fc * 0.99, 1e-6);
}

// Input consumed over many frames matches the exact rational rate, and the
// surplus carried between frames stays small.
TEST(Resampler, SurplusCarryKeepsTheRate) {
  Converter c;
  ASSERT_EQ(ResamplerCreate(44100, 32000, 1, 1024, 14000.0f, &c.s), RESAMPLER_OK);
  std::vector<float> in(2000, 0.0f), out(1024);
  long total = 0;
  const int frames = 300;
  for (int f = 0; f < frames; ++f) {
    const int need = ResamplerInputSamplesNeeded(c.s);
    ASSERT_GE(need, 1410);
    ASSERT_LE(need, 1412);
    total += need;
    ASSERT_EQ(ResamplerConvert(c.s, in.data(), out.data()), 1024);
  }
  const double exact = 1024.0 * frames * 441.0 / 320.0;
  EXPECT_NEAR(double(total), exact, 3.0);
}

// Runs a sine through the converter and returns the output amplitude
// (after the filter has settled) relative to the input amplitude.
double Gain(int inRate, int outRate, float bandwidth, double hz, int* delayOut = nullptr) {
  Converter c;
  if (ResamplerCreate(inRate, outRate, 1, 1024, bandwidth, &c.s) != RESAMPLER_OK) return -1;
  std::vector<float> in(4096), out(1024);
  std::vector<float> all;
  long n = 0;
  for (int f = 0; f < 12; ++f) {
    const int need = ResamplerInputSamplesNeeded(c.s);
    for (int i = 0; i < need; ++i, ++n) in[size_t(i)] = float(10000.0 * std::sin(2.0 * M_PI * hz * double(n) / inRate));
    ResamplerConvert(c.s, in.data(), out.data());
    all.insert(all.end(), out.begin(), out.end());
  }
  // Least-squares fit of a sine at hz over the settled part.
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t m = 4096; m < all.size(); ++m) {
    const double ph = 2.0 * M_PI * hz * double(m) / outRate;
    const double s = std::sin(ph), co = std::cos(ph);
    ss += s * s;
    cc += co * co;
    sc += s * co;
    ys += all[m] * s;
    yc += all[m] * co;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  if (delayOut) {
    // Output m holds the input at m - delay: phase lag in output samples.
    double lag = -std::atan2(b, a) / (2.0 * M_PI * hz / outRate);
    *delayOut = int(std::lround(lag));
  }
  return std::sqrt(a * a + b * b) / 10000.0;
}

TEST(Resampler, FrequencyResponseAndDelay) {
  // 44100 -> 32000, bandwidth 14000 Hz: cut-off about 12750 Hz.
  double lo = 1e9, hi = 0;
  for (double hz : {100.0, 1000.0, 3000.0, 6000.0, 9000.0, 11000.0}) {
    const double g = Gain(44100, 32000, 14000.0f, hz);
    lo = std::fmin(lo, g);
    hi = std::fmax(hi, g);
  }
  const double rippleDb = 20.0 * std::log10(hi / lo);
  EXPECT_LT(rippleDb, 0.2) << "passband ripple";
  EXPECT_NEAR(hi, 0.99, 0.02) << "passband gain";
  // Everything from 15 kHz to the input's Nyquist frequency (what would
  // alias into the output band) is at least 40 dB down.
  for (double hz = 15030.0; hz < 22050.0; hz += 500.0) {
    const double g = Gain(44100, 32000, 14000.0f, hz);
    EXPECT_LT(20.0 * std::log10(g), -40.0) << hz << " Hz stopband";
  }
  int delay = 0;
  Gain(44100, 32000, 14000.0f, 500.0, &delay);
  EXPECT_EQ(delay, 14);
  // Equal rates: a band limit only.
  EXPECT_NEAR(Gain(48000, 48000, 15000.0f, 1000.0), 0.99, 0.03);
  Gain(48000, 48000, 15000.0f, 300.0, &delay);
  EXPECT_EQ(delay, 14);
}

// Every pair of the table builds, with 1 + floor(28 M) taps, the delay
// taps / M / 2, and a first frame of ceil(1024 M / L) input samples.
TEST(Resampler, EveryTablePairBuilds) {
  const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  int pairs = 0;
  for (int in : rates) {
    for (int out : rates) {
      int up = 0, down = 0;
      if (ResamplerFactors(in, out, &up, &down) != RESAMPLER_OK) continue;
      ++pairs;
      Converter c;
      ASSERT_EQ(ResamplerCreate(in, out, 1, 1024, float(out) * 0.45f, &c.s), RESAMPLER_OK) << in << "->" << out;
      EXPECT_EQ(ResamplerTaps(c.s), 1 + 28 * down) << in << "->" << out;
      EXPECT_EQ(ResamplerDelay(c.s), (1 + 28 * down) / down / 2);
      EXPECT_EQ(ResamplerInputSamplesNeeded(c.s), (1024 * down + up - 1) / up);
      std::vector<float> x(size_t(ResamplerInputSamplesNeeded(c.s)), 1.0f), y(1024);
      EXPECT_EQ(ResamplerConvert(c.s, x.data(), y.data()), 1024);
    }
  }
  EXPECT_EQ(pairs, 46);
}

TEST(Resampler, UpsamplingPassesTheBand) {
  // 44100 -> 48000 (480/441) with a bandwidth of 19000 Hz.
  EXPECT_NEAR(Gain(44100, 48000, 19000.0f, 5000.0), 0.99, 0.02);
  EXPECT_LT(20.0 * std::log10(Gain(44100, 48000, 19000.0f, 21500.0)), -30.0);
}

TEST(Resampler, ChannelsStayApartAndInterleaved) {
  Converter c;
  ASSERT_EQ(ResamplerCreate(48000, 32000, 2, 2048, 14000.0f, &c.s), RESAMPLER_OK);
  std::vector<float> in(size_t(ResamplerInputSamplesNeeded(c.s))), out(2048);
  for (size_t i = 0; i < in.size(); i += 2) {
    in[i] = 1000.0f;  // left: DC
    in[i + 1] = 0.0f;
  }
  for (int f = 0; f < 3; ++f) {
    in.resize(size_t(ResamplerInputSamplesNeeded(c.s)));
    for (size_t i = 0; i < in.size(); i += 2) {
      in[i] = 1000.0f;
      in[i + 1] = 0.0f;
    }
    ResamplerConvert(c.s, in.data(), out.data());
  }
  EXPECT_NEAR(out[1000], 990.0f, 15.0f);
  EXPECT_FLOAT_EQ(out[1001], 0.0f);
}

}  // namespace
