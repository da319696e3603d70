#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "core/mdct.h"
#include "core/window.h"

namespace {

std::vector<double> DirectMdct(const std::vector<float>& x) {
  const int n = int(x.size());
  const double n0 = (n / 2.0 + 1.0) / 2.0;
  std::vector<double> out(static_cast<size_t>(n / 2));
  for (int k = 0; k < n / 2; ++k) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += x[size_t(i)] * std::cos(2.0 * M_PI / n * (i + n0) * (k + 0.5));
    out[size_t(k)] = 2.0 * s;
  }
  return out;
}

TEST(Mdct, RefusesOtherSizes) {
  for (int n : {0, 128, 512, 1024, 4096}) {
    MdctPlan* p = reinterpret_cast<MdctPlan*>(1);
    ErrorRecord* e = MdctCreate(n, &p);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->message, "Oops...: MDCT not 2048 or 256 points long.");
    EXPECT_EQ(p, nullptr);
    ErrorFree(e);
  }
}

TEST(Mdct, FastTransformEqualsDirectFormula) {
  const unsigned seed = 20261208;
  std::mt19937 rng(seed);
  std::normal_distribution<float> dist(0.0f, 1000.0f);
  for (int n : {256, 2048}) {
    MdctPlan* p = nullptr;
    ASSERT_EQ(MdctCreate(n, &p), nullptr);
    EXPECT_EQ(MdctSize(p), n);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x) v = dist(rng);
    std::vector<float> fast(static_cast<size_t>(n / 2));
    MdctForward(p, x.data(), fast.data());
    std::vector<double> ref = DirectMdct(x);
    double peak = 0.0, err = 0.0;
    for (int k = 0; k < n / 2; ++k) {
      peak = std::fmax(peak, std::fabs(ref[size_t(k)]));
      err = std::fmax(err, std::fabs(ref[size_t(k)] - fast[size_t(k)]));
    }
    EXPECT_LT(err / peak, 2e-6) << "seed " << seed << " n " << n;
    // The inverse against its formula.
    std::vector<float> back(static_cast<size_t>(n));
    MdctInverse(p, fast.data(), back.data());
    const double n0 = (n / 2.0 + 1.0) / 2.0;
    double ierr = 0.0, ipeak = 0.0;
    for (int i = 0; i < n; ++i) {
      double s = 0.0;
      for (int k = 0; k < n / 2; ++k) s += fast[size_t(k)] * std::cos(2.0 * M_PI / n * (i + n0) * (k + 0.5));
      s *= 2.0 / n;
      ipeak = std::fmax(ipeak, std::fabs(s));
      ierr = std::fmax(ierr, std::fabs(s - back[size_t(i)]));
    }
    EXPECT_LT(ierr / ipeak, 2e-6) << "seed " << seed << " n " << n;
    MdctDestroy(p);
  }
}

TEST(Windows, FulfilPrincenBradleyAndMatchTheirDefinitions) {
  WindowTables t;
  WindowInit(&t);
  for (int shape = 0; shape < 2; ++shape) {
    for (int i = 0; i < FRAME_LEN_LONG; ++i) {
      const float a = t.longRise[shape][i], b = t.longRise[shape][FRAME_LEN_LONG - 1 - i];
      ASSERT_NEAR(a * a + b * b, 1.0f, 1e-5f) << shape << " " << i;
    }
    for (int i = 0; i < FRAME_LEN_SHORT; ++i) {
      const float a = t.shortRise[shape][i], b = t.shortRise[shape][FRAME_LEN_SHORT - 1 - i];
      ASSERT_NEAR(a * a + b * b, 1.0f, 1e-5f);
    }
  }
  EXPECT_NEAR(t.longRise[0][0], std::sin(M_PI / 2048 * 0.5), 1e-7);
  // The first value of the long KBD window (alpha 4) of the standard.
  EXPECT_NEAR(t.longRise[1][0], 0.00029256, 2e-7);
  EXPECT_GT(std::fabs(t.shortRise[1][10] - t.shortRise[0][10]), 1e-3f);
}

// Runs a signal through a sequence of (window sequence, shape) frames and
// checks that overlap-add returns it.
void CheckSequence(const std::vector<std::pair<int, int>>& frames) {
  Filterbank* fb = nullptr;
  ASSERT_EQ(FilterbankCreate(&fb), nullptr);
  const int n = FRAME_LEN_LONG;
  const int count = int(frames.size());
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-20000.0f, 20000.0f);
  std::vector<float> signal(size_t((count + 1) * n));
  for (float& v : signal) v = dist(rng);
  std::vector<float> out(signal.size(), 0.0f);
  std::vector<float> spectrum(static_cast<size_t>(n)), block(size_t(2 * n));
  int prevShape = frames[0].second;
  for (int f = 0; f < count; ++f) {
    const int seq = frames[size_t(f)].first, shape = frames[size_t(f)].second;
    ErrorRecord* e = FilterbankForward(fb, seq, prevShape, shape, signal.data() + f * n, spectrum.data());
    ASSERT_EQ(e, nullptr) << ErrorFirstMessage(e);
    ASSERT_EQ(FilterbankInverse(fb, seq, prevShape, shape, spectrum.data(), block.data()), nullptr);
    for (int i = 0; i < 2 * n; ++i) out[size_t(f * n + i)] += block[size_t(i)];
    prevShape = shape;
  }
  // Every sample covered by two frames comes back.
  double err = 0.0;
  for (int i = n; i < count * n; ++i) err = std::fmax(err, std::fabs(out[size_t(i)] - signal[size_t(i)]));
  EXPECT_LT(err, 0.05) << "max error over the reconstructed span";
  FilterbankDestroy(fb);
}

TEST(Filterbank, ReconstructsEveryWindowSequenceAndShapeTransition) {
  CheckSequence({{ONLY_LONG, 0}, {ONLY_LONG, 0}, {LONG_START, 0}, {EIGHT_SHORT, 0}, {EIGHT_SHORT, 0},
                 {LONG_STOP, 0}, {ONLY_LONG, 0}});
  CheckSequence({{ONLY_LONG, 1}, {LONG_START, 1}, {EIGHT_SHORT, 1}, {LONG_STOP, 1}, {ONLY_LONG, 1}});
  // Shape changes at the short transitions: start sine -> short KBD -> stop
  // KBD -> long sine, and the other way round.
  CheckSequence({{ONLY_LONG, 0}, {LONG_START, 1}, {EIGHT_SHORT, 1}, {EIGHT_SHORT, 0}, {LONG_STOP, 0},
                 {ONLY_LONG, 0}});
  CheckSequence({{ONLY_LONG, 1}, {LONG_START, 0}, {EIGHT_SHORT, 1}, {LONG_STOP, 0}, {LONG_START, 1},
                 {LONG_STOP, 1}, {ONLY_LONG, 1}});
}

TEST(Filterbank, RefusesMixedLongShapesAndUnknownSequences) {
  Filterbank* fb = nullptr;
  ASSERT_EQ(FilterbankCreate(&fb), nullptr);
  std::vector<float> in(2048, 1.0f), spectrum(1024);
  ErrorRecord* e = FilterbankForward(fb, ONLY_LONG, 0, 1, in.data(), spectrum.data());
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ErrorFirstMessage(e), "different window shapes for long blocks not allowed");
  ErrorFree(e);
  e = FilterbankForward(fb, 7, 0, 0, in.data(), spectrum.data());
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(ErrorFirstMessage(e), "invalid block type parameter");
  ErrorFree(e);
  FilterbankDestroy(fb);
}

}  // namespace
