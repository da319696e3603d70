#include "core/cod_chan.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

// First band whose range holds the frequency (the last band for frequencies above).
int BandOfFrequency(const PsyConfiguration* cfg, float hz) {
  const int line = int(hz * 2.0f * float(cfg->lines) / float(cfg->sampleRate));
  for (int b = 0; b < cfg->sfbCnt; ++b) {
    if (cfg->sfbOffset[b + 1] > line) return b;
  }
  return cfg->sfbCnt - 1;
}

// Levinson-Durbin on r[0..order]: reflection coefficients and prediction gain.
float Levinson(const double* r, int order, float* parcor) {
  double a[TNS_MAX_ORDER + 1] = {1.0};
  double tmp[TNS_MAX_ORDER + 1];
  double err = r[0];
  for (int i = 0; i < order; ++i) parcor[i] = 0.0f;
  if (err <= 0.0) return 1.0f;
  for (int m = 1; m <= order; ++m) {
    double acc = r[m];
    for (int i = 1; i < m; ++i) acc += a[i] * r[m - i];
    const double k = -acc / err;
    if (!(std::fabs(k) < 1.0)) break;
    parcor[m - 1] = float(k);
    for (int i = 0; i <= m; ++i) tmp[i] = a[i];
    for (int i = 1; i < m; ++i) a[i] = tmp[i] + k * tmp[m - i];
    a[m] = k;
    err *= 1.0 - k * k;
    if (err <= r[0] * 1e-9) break;
  }
  return float(r[0] / err);
}

}  // namespace

int TnsQuantiseCoef(float parcor, int coefRes) {
  const double half = double(1 << (coefRes - 1));
  const double iqfac = (half - 0.5) / kHalfPi;
  const double iqfacM = (half + 0.5) / kHalfPi;
  const double a = std::asin(double(parcor));
  int index = int(std::lround(a * (a >= 0 ? iqfac : iqfacM)));
  const int hi = (1 << (coefRes - 1)) - 1, lo = -(1 << (coefRes - 1));
  if (index > hi) index = hi;
  if (index < lo) index = lo;
  return index;
}

float TnsDequantiseCoef(int index, int coefRes) {
  const double half = double(1 << (coefRes - 1));
  const double iqfac = (half - 0.5) / kHalfPi;
  const double iqfacM = (half + 0.5) / kHalfPi;
  return float(std::sin(index / (index >= 0 ? iqfac : iqfacM)));
}

void TnsParcorToLpc(const float* parcor, int order, float* lpc) {
  float tmp[TNS_MAX_ORDER + 1];
  lpc[0] = 1.0f;
  for (int m = 1; m <= order; ++m) {
    for (int i = 0; i < m; ++i) tmp[i] = lpc[i];
    for (int i = 1; i < m; ++i) lpc[i] = tmp[i] + parcor[m - 1] * tmp[m - i];
    lpc[m] = parcor[m - 1];
  }
}

void TnsSynthesis(float* x, int start, int end, const float* lpc, int order) {
  for (int n = start; n < end; ++n) {
    float y = x[n];
    for (int i = 1; i <= order && n - i >= start; ++i) y -= lpc[i] * x[n - i];
    x[n] = y;
  }
}

float TnsOnsetDb(const float* samples, int n) {
  // Eight segments of the window; the first difference weights the highs,
  // where the filter works and pre-echo is heard.
  constexpr int kSegments = 8;
  const int len = n / kSegments;
  if (len < 2) return 0.0f;
  double quietest = 0.0, ratio = 1.0;
  for (int s = 0; s < kSegments; ++s) {
    double e = 1e-3;  // keeps digital silence finite
    for (int i = s * len + 1; i < (s + 1) * len; ++i) {
      const double d = double(samples[i]) - samples[i - 1];
      e += d * d;
    }
    if (s > 0 && e / quietest > ratio) ratio = e / quietest;
    if (s == 0 || e < quietest) quietest = e;
  }
  return float(10.0 * std::log10(ratio));
}

void TnsNoiseGains(const TnsWindowData* w, const int* sfbOffset, float* gain) {
  if (!w->numFilters || w->order <= 0) return;
  float q[TNS_MAX_ORDER], lpc[TNS_MAX_ORDER + 1];
  for (int i = 0; i < w->order; ++i) q[i] = TnsDequantiseCoef(w->coef[i], w->coefRes);
  TnsParcorToLpc(q, w->order, lpc);
  // The decoder's filter starts at the region's first line with an empty
  // state: white noise at line start + n has grown by the energy of the
  // impulse response's first n + 1 taps.
  const int start = sfbOffset[w->startBand];
  const int len = sfbOffset[w->stopBand] - start;
  if (len <= 0 || len > FRAME_LEN_LONG) return;
  float h[FRAME_LEN_LONG] = {1.0f};
  TnsSynthesis(h, 0, len, lpc, w->order);
  double grown = 0.0, bandSum = 0.0;
  int band = w->startBand;
  for (int n = 0; n < len; ++n) {
    grown += double(h[n]) * h[n];
    bandSum += grown;
    if (start + n + 1 == sfbOffset[band + 1]) {
      const double g = bandSum / (sfbOffset[band + 1] - sfbOffset[band]);
      gain[band] = g > 1.0 ? float(g) : 1.0f;
      bandSum = 0.0;
      ++band;
    }
  }
}

void TnsProcessBlock(const PsyConfiguration* cfg, int shortBlock, int coefResOverride, float* spectrum,
                     TnsWindowData* out) {
  std::memset(out, 0, sizeof *out);
  const TnsParams& tp = cfg->tns;
  const int maxBand = tp.tnsMaxBand < cfg->sfbCnt ? tp.tnsMaxBand : cfg->sfbCnt;
  const int aLo = BandOfFrequency(cfg, tp.analysisLowHz);
  int aHi = BandOfFrequency(cfg, tp.analysisHighHz) + 1;
  if (aHi > maxBand) aHi = maxBand;
  const int fLo = BandOfFrequency(cfg, tp.filterLowHz);
  if (aHi <= aLo || maxBand <= fLo) return;
  const int lo = cfg->sfbOffset[aLo], hi = cfg->sfbOffset[aHi];
  const int order = tp.maxOrder;
  if (hi - lo <= order) return;
  double r[TNS_MAX_ORDER + 1];
  for (int i = 0; i <= order; ++i) {
    double acc = 0.0;
    for (int n = lo; n + i < hi; ++n) acc += double(spectrum[n]) * spectrum[n + i];
    r[i] = acc * tp.lagWindow[i];
  }
  if (r[0] <= 1e-9) return;
  float parcor[TNS_MAX_ORDER];
  const float gain = Levinson(r, order, parcor);
  out->predictionGain = gain;
  if (!(gain >= tp.gainOn)) return;
  int res = (shortBlock || gain > tp.gainFine) ? 4 : 3;
  if (coefResOverride == 3 || coefResOverride == 4) res = coefResOverride;
  int idx[TNS_MAX_ORDER];
  int used = 0;
  for (int i = 0; i < order; ++i) {
    idx[i] = TnsQuantiseCoef(parcor[i], res);
    if (idx[i] != 0) used = i + 1;
  }
  if (used == 0) return;
  float q[TNS_MAX_ORDER];
  for (int i = 0; i < used; ++i) q[i] = TnsDequantiseCoef(idx[i], res);
  float lpc[TNS_MAX_ORDER + 1];
  TnsParcorToLpc(q, used, lpc);
  // Analysis (all-zero) filter upwards over the filter region; the decoder
  // undoes it with the all-pole filter.
  const int start = cfg->sfbOffset[fLo], end = cfg->sfbOffset[maxBand];
  float state[TNS_MAX_ORDER] = {0};  // previous inputs, newest first
  for (int n = start; n < end; ++n) {
    const float x = spectrum[n];
    float y = x;
    for (int i = 1; i <= used; ++i) y += lpc[i] * state[i - 1];
    for (int i = used - 1; i > 0; --i) state[i] = state[i - 1];
    state[0] = x;
    spectrum[n] = y;
  }
  out->numFilters = 1;
  out->coefRes = res;
  out->order = used;
  out->length = cfg->sfbCnt - fLo;
  out->direction = 0;
  out->startBand = fLo;
  out->stopBand = maxBand;
  const int cmin = res == 4 ? -4 : -2, cmax = res == 4 ? 3 : 1;
  int compress = 1;
  for (int i = 0; i < used; ++i) {
    out->coef[i] = idx[i];
    if (idx[i] < cmin || idx[i] > cmax) compress = 0;
  }
  out->coefCompress = compress;
}
