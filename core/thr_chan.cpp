#include "core/thr_chan.h"

#include <cmath>

namespace {

// Smallest threshold handed out: keeps the quantiser's logarithms defined.
constexpr float kThrFloor = 1e-6f;
// Lines over which spectral flatness is measured around a partition.
constexpr int kFlatnessMinLines = 16;

// Tonality 0 (noise) .. 1 (pure tone) from the spectral flatness of the
// lines [lo, hi): flatness in dB divided by -30 (the transform leaks more
// than the windows of FFT-based models, so a flatness of -30 dB already
// marks a clean tone), limited to 0..1. cumEnergy and cumLog hold the sums
// of the line energies and of their logarithms from line 0 (one more entry
// than lines), so a range costs two differences.
float Tonality(const double* cumEnergy, const double* cumLog, int lo, int hi) {
  const int n = hi - lo;
  const double sum = cumEnergy[hi] - cumEnergy[lo];
  if (n < 2 || sum <= 0.0) return 0.0f;
  // 10 log10(geometric mean / arithmetic mean)
  const double sfmDb = 4.342944819032518 * ((cumLog[hi] - cumLog[lo]) / n - std::log(sum / n));
  double t = sfmDb / -30.0;
  if (t < 0.0) t = 0.0;
  if (t > 1.0) t = 1.0;
  return float(t);
}

}  // namespace

void ThrComputeBlock(const PsyConfiguration* cfg, const float* spectrum, float weight, float* prevThr, float rpmin,
                     ThrBlockResult* out) {
  const PsyPartitions& p = cfg->parts;
  const int n = p.count;
  const int minLines = cfg->lines == FRAME_LEN_LONG ? kFlatnessMinLines : kFlatnessMinLines / 2;
  float snrFactor[MAX_CB];
  double cumEnergy[FRAME_LEN_LONG + 1], cumLog[FRAME_LEN_LONG + 1];
  cumEnergy[0] = cumLog[0] = 0.0;
  for (int k = 0; k < cfg->lines; ++k) {
    const double e = double(spectrum[k]) * spectrum[k] + 1e-3;
    cumEnergy[k + 1] = cumEnergy[k] + e;
    cumLog[k + 1] = cumLog[k] + double(std::log(float(e)));
  }
  for (int i = 0; i < n; ++i) {
    double e = 0.0;
    for (int k = p.start[i]; k < p.start[i] + p.width[i]; ++k) e += double(spectrum[k]) * spectrum[k];
    out->partEnergy[i] = float(e);
    int lo = p.start[i], hi = p.start[i] + p.width[i];
    while (hi - lo < minLines) {
      if (lo > 0) --lo;
      if (hi - lo < minLines && hi < cfg->lines) ++hi;
      if (lo == 0 && hi == cfg->lines) break;
    }
    const float t = Tonality(cumEnergy, cumLog, lo, hi);
    double snrDb = t * (cfg->thr.tonalSnrDb + cfg->thr.tonalBarkDb * p.bark[i]) + (1.0f - t) * cfg->thr.noiseSnrDb;
    if (p.bark[i] < 24.0f) snrDb += cfg->thr.lowBoostDb * (24.0 - p.bark[i]) / 24.0;
    snrFactor[i] = float(std::exp(-0.23025850929940458 * snrDb));  // 10^(-snrDb / 10)
  }
  for (int i = 0; i < n; ++i) {
    const float* row = cfg->spreading + i * n;
    double s = 0.0;
    for (int j = cfg->spreadFirst[i]; j < cfg->spreadEnd[i]; ++j) s += double(row[j]) * out->partEnergy[j];
    out->partSpread[i] = float(s);
  }
  for (int i = 0; i < n; ++i) {
    float thr = out->partSpread[i] * snrFactor[i] * weight;
    if (thr < p.qsthr[i]) thr = p.qsthr[i];
    if (prevThr) {
      // Pre-echo control: a threshold may rise at most rpelev over the last
      // block's, but is never pulled below rpmin times itself.
      const float limit = cfg->thr.rpelev * prevThr[i];
      float controlled = thr < limit ? thr : limit;
      const float bottom = rpmin * thr;
      if (controlled < bottom) controlled = bottom;
      prevThr[i] = thr;
      thr = controlled;
    }
    if (thr < kThrFloor) thr = kThrFloor;
    out->partThr[i] = thr;
  }
}

void ThrBandEnergies(const PsyConfiguration* cfg, const float* spectrum, float* sfbEnergy) {
  for (int b = 0; b < cfg->sfbCnt; ++b) {
    double e = 0.0;
    for (int k = cfg->sfbOffset[b]; k < cfg->sfbOffset[b + 1]; ++k) e += double(spectrum[k]) * spectrum[k];
    sfbEnergy[b] = float(e);
  }
}

void ThrPartitionsToBands(const PsyConfiguration* cfg, const float* part, float* sfb) {
  const PsyPartitions& p = cfg->parts;
  int first = 0;  // first partition that ends after the band's start (monotone)
  for (int b = 0; b < cfg->sfbCnt; ++b) {
    const int lo = cfg->sfbOffset[b], hi = cfg->sfbOffset[b + 1];
    while (first < p.count && p.start[first] + p.width[first] <= lo) ++first;
    double sum = 0.0;
    for (int j = first; j < p.count && p.start[j] < hi; ++j) {
      const int s = p.start[j] > lo ? p.start[j] : lo;
      const int e = p.start[j] + p.width[j] < hi ? p.start[j] + p.width[j] : hi;
      if (e > s) sum += double(part[j]) * (e - s) / p.width[j];
    }
    sfb[b] = float(sum) > kThrFloor ? float(sum) : kThrFloor;
  }
}

float ThrSpectralVariation(const float* spectrum, float* c) {
  double total = 0.0;
  for (int blk = 0; blk < 13; ++blk) {
    const float* x = spectrum + 64 + blk * 64;
    double mean = 0.0;
    for (int k = 0; k < 64; ++k) mean += double(x[k]) * x[k];
    mean /= 64.0;
    if (mean <= 0.0) continue;
    double dev = 0.0;
    for (int k = 0; k < 64; ++k) dev += std::fabs(double(x[k]) * x[k] - mean);
    total += dev / 64.0 / mean;
  }
  const float avg = float(total * 0.07692308);
  *c = 0.3f * avg + 0.7f * *c;
  float factor = 1.65f - 0.9f * *c;
  if (factor < 0.4f) factor = 0.4f;
  if (factor > 1.0f) factor = 1.0f;
  return factor;
}
