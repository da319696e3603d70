#include "core/window.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Offset of the first short window inside the 2048-sample block.
constexpr int kShortStart = (FRAME_LEN_LONG - FRAME_LEN_SHORT) / 2 * 1;  // 448

// Builds the full 2048-point analysis window of a long-type sequence.
ErrorRecord* LongWindow(const WindowTables& t, int sequence, int prevShape, int shape, float* w) {
  const int n = FRAME_LEN_LONG;
  const int s = FRAME_LEN_SHORT;
  switch (sequence) {
    case ONLY_LONG:
      if (prevShape != shape) {
        return ERROR_NEW("FilterbankForward", "different window shapes for long blocks not allowed");
      }
      for (int i = 0; i < n; ++i) {
        w[i] = t.longRise[prevShape][i];
        w[2 * n - 1 - i] = t.longRise[shape][i];
      }
      return nullptr;
    case LONG_START:
      for (int i = 0; i < n; ++i) w[i] = t.longRise[prevShape][i];
      for (int i = n; i < n + kShortStart; ++i) w[i] = 1.0f;
      for (int i = 0; i < s; ++i) w[n + kShortStart + i] = t.shortRise[shape][s - 1 - i];
      for (int i = n + kShortStart + s; i < 2 * n; ++i) w[i] = 0.0f;
      return nullptr;
    case LONG_STOP:
      for (int i = 0; i < kShortStart; ++i) w[i] = 0.0f;
      for (int i = 0; i < s; ++i) w[kShortStart + i] = t.shortRise[prevShape][i];
      for (int i = kShortStart + s; i < n; ++i) w[i] = 1.0f;
      for (int i = 0; i < n; ++i) w[2 * n - 1 - i] = t.longRise[shape][i];
      return nullptr;
    default:
      return ERROR_NEW("FilterbankForward", "invalid block type parameter");
  }
}

}  // namespace

// I0 as the series 1 + sum ((y/2)^k / k!)^2, summed until a term falls below
// 1e-41 of the sum.
double BesselI0(double y) {
  double sum = 1.0, term = 1.0;
  const double half = y / 2.0;
  for (int k = 1; k < 2000; ++k) {
    term *= half / k;
    const double sq = term * term;
    sum += sq;
    if (sq < 1e-41 * sum) break;
  }
  return sum;
}

void WindowKbdRise(float* rise, int n, double alpha) {
  // Kaiser kernel over n/2 + 1 points, cumulated and normalised.
  const int half = n / 2;
  double total = 0.0;
  double kernel[FRAME_LEN_LONG + 1];
  for (int i = 0; i <= half; ++i) {
    const double r = (i - half / 2.0) / (half / 2.0);
    kernel[i] = BesselI0(kPi * alpha * std::sqrt(std::fmax(0.0, 1.0 - r * r)));
    total += kernel[i];
  }
  double run = 0.0;
  for (int i = 0; i < half; ++i) {
    run += kernel[i];
    rise[i] = float(std::sqrt(run / total));
  }
}

void WindowInit(WindowTables* t) {
  for (int i = 0; i < FRAME_LEN_LONG; ++i) t->longRise[SINE_WINDOW][i] = float(std::sin(kPi / 2048.0 * (i + 0.5)));
  for (int i = 0; i < FRAME_LEN_SHORT; ++i) t->shortRise[SINE_WINDOW][i] = float(std::sin(kPi / 256.0 * (i + 0.5)));
  WindowKbdRise(t->longRise[KBD_WINDOW], 2048, 4.0);
  WindowKbdRise(t->shortRise[KBD_WINDOW], 256, 6.0);
}

ErrorRecord* FilterbankCreate(Filterbank** fb) {
  if (!fb) return ERROR_NEW("FilterbankCreate", "null pointer");
  *fb = nullptr;
  Filterbank* f = new (std::nothrow) Filterbank{};
  if (!f) return ERROR_NEW("FilterbankCreate", "out of memory");
  ErrorRecord* e = MdctCreate(2048, &f->longPlan);
  if (!e) e = MdctCreate(256, &f->shortPlan);
  if (e) {
    FilterbankDestroy(f);
    return ERROR_PASS(e, "FilterbankCreate");
  }
  WindowInit(&f->windows);
  *fb = f;
  return nullptr;
}

void FilterbankDestroy(Filterbank* fb) {
  if (!fb) return;
  MdctDestroy(fb->longPlan);
  MdctDestroy(fb->shortPlan);
  delete fb;
}

ErrorRecord* FilterbankForward(Filterbank* fb, int sequence, int prevShape, int shape, const float* in,
                               float* spectrum) {
  if (prevShape < 0 || prevShape > 1 || shape < 0 || shape > 1) {
    return ERROR_NEW("FilterbankForward", "invalid function parameter");
  }
  const WindowTables& t = fb->windows;
  float* w = fb->work;
  if (sequence == EIGHT_SHORT) {
    const int s = FRAME_LEN_SHORT;
    for (int win = 0; win < TRANS_FAC; ++win) {
      const float* x = in + kShortStart + win * s;
      const int left = win == 0 ? prevShape : shape;
      for (int i = 0; i < s; ++i) {
        w[i] = x[i] * t.shortRise[left][i];
        w[2 * s - 1 - i] = x[2 * s - 1 - i] * t.shortRise[shape][i];
      }
      MdctForward(fb->shortPlan, w, spectrum + win * s);
    }
    return nullptr;
  }
  float window[2 * FRAME_LEN_LONG];
  ErrorRecord* e = LongWindow(t, sequence, prevShape, shape, window);
  if (e) return e;
  for (int i = 0; i < 2 * FRAME_LEN_LONG; ++i) w[i] = in[i] * window[i];
  MdctForward(fb->longPlan, w, spectrum);
  return nullptr;
}

ErrorRecord* FilterbankInverse(Filterbank* fb, int sequence, int prevShape, int shape, const float* spectrum,
                               float* out) {
  if (prevShape < 0 || prevShape > 1 || shape < 0 || shape > 1) {
    return ERROR_NEW("FilterbankInverse", "invalid function parameter");
  }
  const WindowTables& t = fb->windows;
  if (sequence == EIGHT_SHORT) {
    const int s = FRAME_LEN_SHORT;
    std::memset(out, 0, sizeof(float) * 2 * FRAME_LEN_LONG);
    float* y = fb->work;
    for (int win = 0; win < TRANS_FAC; ++win) {
      MdctInverse(fb->shortPlan, spectrum + win * s, y);
      const int left = win == 0 ? prevShape : shape;
      float* o = out + kShortStart + win * s;
      for (int i = 0; i < s; ++i) {
        o[i] += y[i] * t.shortRise[left][i];
        o[2 * s - 1 - i] += y[2 * s - 1 - i] * t.shortRise[shape][i];
      }
    }
    return nullptr;
  }
  float window[2 * FRAME_LEN_LONG];
  ErrorRecord* e = LongWindow(t, sequence, prevShape, shape, window);
  if (e) return ERROR_PASS(e, "FilterbankInverse");
  MdctInverse(fb->longPlan, spectrum, fb->work);
  for (int i = 0; i < 2 * FRAME_LEN_LONG; ++i) out[i] = fb->work[i] * window[i];
  return nullptr;
}
