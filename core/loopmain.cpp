#include "core/loopmain.h"

#include <cmath>
#include <cstring>

#include "core/aux_func.h"
#include "core/noiseless.h"

void QcLoopInit(QcLoopState* s) {
  std::memset(s->lastOffset, 0, sizeof(s->lastOffset));
  std::memset(s->codedValid, 0, sizeof(s->codedValid));
  s->eah = 0;
}

void QcShareNeighbourSteps(const PsyOutChannel* p, QcPrep* prep, int maxSteps) {
  for (int g = 0; g < p->groups; ++g) {
    int prev = -1;
    for (int b = 0; b < p->maxSfbPerGroup; ++b) {
      const int idx = g * p->sfbPerGroup + b;
      if (prep->sfBase[idx] >= 255 || !(prep->ratioDb[idx] > 0.0f)) continue;
      if (prev >= 0) {
        const int d = prep->sfBase[idx] - prep->sfBase[prev];
        if (d > 0 && d <= maxSteps) prep->sfBase[idx] = prep->sfBase[prev];
        else if (d < 0 && -d <= maxSteps) prep->sfBase[prev] = prep->sfBase[idx];
      }
      prev = idx;
    }
  }
}

namespace {

enum { OFFSET_MIN = -100, OFFSET_MAX = 155 };
// Neighbouring bands whose steps differ by at most this many 1.5 dB steps
// share the finer step (see QcQuantizeElement).
constexpr int kShareSteps = 4;
// Limits of the per-band correction in 1.5 dB steps (finer / coarser).
enum { CORR_UP = 4, CORR_DOWN = 2 };

// Hold of the bands: with "eah" every band above its own threshold stays
// coded however far the offset rises. Otherwise a band that carried values
// in the last long block keeps being coded while it stays above its own
// threshold: a band that drops out in one frame and is back in the next is
// a spectral hole that is heard, more than the few bits it saves.
void Prepare(const PsyOutChannel* p, QcPrep* prep, int eah, const unsigned char* lastCoded) {
  for (int g = 0; g < p->groups; ++g) {
    for (int b = 0; b < p->sfbPerGroup; ++b) {
      int idx = g * p->sfbPerGroup + b;
      int from = p->sfbOffsets[idx], to = p->sfbOffsets[idx + 1];
      float ff = 0.0f, mx = 0.0f;
      for (int i = from; i < to; ++i) {
        float a = std::fabs(p->groupedSpectrum[i]);
        float r = std::sqrt(a);
        float v = std::sqrt(a * r);
        prep->pow34[i] = v;
        ff += r;
        if (v > mx) mx = v;
      }
      bool coded = b < p->maxSfbPerGroup && ff > 0.0f && p->sfbEnergy[idx] > 0.0f;
      prep->ratioDb[idx] = coded ? 10.0f * std::log10(p->sfbEnergy[idx] / p->sfbThreshold[idx]) : -1e9f;
      prep->sfMin[idx] = MinimumScalefactor(mx);
      prep->sfBase[idx] = coded ? EstimateScalefactor(p->sfbThreshold[idx], ff) : 255;
      prep->holdDb[idx] = eah || (lastCoded && lastCoded[b]) ? 0.0f : 1e9f;
    }
  }
}

void QuantizeBand(const float* pow34, const float* spectrum, short* q, int n, int sf) {
  float step = QuantStep(sf);
  for (int i = 0; i < n; ++i) {
    int v = static_cast<int>(pow34[i] * step + 0.4054f);
    if (v > MAX_QUANT) v = MAX_QUANT;
    q[i] = static_cast<short>(spectrum[i] < 0.0f ? -v : v);
  }
}

bool BandNonZero(const QcChannel* ch, int idx) {
  int from = ch->sfbOffsets[idx], to = ch->sfbOffsets[idx + 1];
  for (int i = from; i < to; ++i)
    if (ch->quant[i] != 0) return true;
  return false;
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Energy-over-threshold (dB) a band needs to be coded at `offset`. The
// offset moves every threshold by 1.5 dB per step: a band is coded when its
// energy lies above its moved threshold, so that with bits to spare
// (negative offsets) bands below the mask are coded as well. A band whose
// hold is lower needs only that (see Prepare).
inline float ActiveDb(int offset, float hold) {
  const float moved = 1.5f * static_cast<float>(offset);
  return moved < hold ? moved : hold;
}

// Quantises one channel with every band's scalefactor = base + offset (never
// below the overflow limit) and keeps neighbouring coded scalefactors within
// 60 of each other.
void QuantizeChannel(const PsyOutChannel* p, const QcPrep* prep, QcChannel* ch, int offset) {
  int nz[MAX_GROUPED_SFB];
  for (int g = 0; g < p->groups; ++g) {
    for (int b = 0; b < p->sfbPerGroup; ++b) {
      int idx = g * p->sfbPerGroup + b;
      int from = p->sfbOffsets[idx], n = p->sfbOffsets[idx + 1] - from;
      if (!(prep->ratioDb[idx] > ActiveDb(offset, prep->holdDb[idx]))) {
        std::memset(ch->quant + from, 0, sizeof(short) * static_cast<size_t>(n));
        ch->scalefactor[idx] = 0;
        nz[idx] = 0;
        continue;
      }
      int sf = prep->sfBase[idx] + offset;
      if (sf < prep->sfMin[idx]) sf = prep->sfMin[idx];
      sf = Clamp(sf, 0, 255);
      ch->scalefactor[idx] = sf;
      QuantizeBand(prep->pow34 + from, p->groupedSpectrum + from, ch->quant + from, n, sf);
      nz[idx] = BandNonZero(ch, idx) ? 1 : 0;
    }
  }
  // Difference limit over the coded bands in transmission order.
  for (int pass = 0; pass < 8; ++pass) {
    bool changed = false;
    int prev = -1;
    for (int g = 0; g < p->groups; ++g) {
      for (int b = 0; b < p->maxSfbPerGroup; ++b) {
        int idx = g * p->sfbPerGroup + b;
        if (!nz[idx]) continue;
        if (prev >= 0) {
          int d = ch->scalefactor[idx] - ch->scalefactor[prev];
          int fix = -1, value = 0;
          if (d > 60) {
            if (ch->scalefactor[prev] + 60 >= prep->sfMin[idx]) {
              fix = idx;
              value = ch->scalefactor[prev] + 60;
            } else {
              fix = prev;
              value = ch->scalefactor[idx] - 60;
            }
          } else if (d < -60) {
            if (ch->scalefactor[idx] + 60 >= prep->sfMin[prev]) {
              fix = prev;
              value = ch->scalefactor[idx] + 60;
            } else {
              fix = idx;
              value = ch->scalefactor[prev] - 60;
            }
          }
          if (fix >= 0) {
            ch->scalefactor[fix] = value;
            int from = p->sfbOffsets[fix], n = p->sfbOffsets[fix + 1] - from;
            QuantizeBand(prep->pow34 + from, p->groupedSpectrum + from, ch->quant + from, n, value);
            nz[fix] = BandNonZero(ch, fix) ? 1 : 0;
            changed = true;
          }
        }
        if (nz[idx]) prev = idx;
      }
    }
    if (!changed) break;
  }
}

struct Pow43Table {
  float v[MAX_QUANT + 1];
  Pow43Table() {
    for (int i = 0; i <= MAX_QUANT; ++i) v[i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
  }
};
const Pow43Table kPow43;

inline float Pow43(int q) { return kPow43.v[q < 0 ? -q : q]; }

void CorrectScalefactors(const PsyOutChannel* p, QcPrep* prep, QcChannel* ch, int offset) {
  QuantizeChannel(p, prep, ch, offset);
  for (int g = 0; g < p->groups; ++g) {
    for (int b = 0; b < p->maxSfbPerGroup; ++b) {
      int idx = g * p->sfbPerGroup + b;
      if (!(prep->ratioDb[idx] > ActiveDb(offset, prep->holdDb[idx]))) continue;
      int sf = ch->scalefactor[idx];
      if (sf <= prep->sfMin[idx]) continue;
      float a = std::pow(2.0f, 0.25f * static_cast<float>(sf - SF_OFFSET));
      double noise = 0.0;
      for (int i = p->sfbOffsets[idx]; i < p->sfbOffsets[idx + 1]; ++i) {
        double d = std::fabs(p->groupedSpectrum[i]) - Pow43(ch->quant[i]) * a;
        noise += d * d;
      }
      double target = p->sfbThreshold[idx] * std::pow(10.0, 0.15 * offset);
      if (noise <= 0.0 || target <= 0.0) continue;
      double db = 10.0 * std::log10(noise / target);
      int steps = static_cast<int>(std::lround(db / 1.5));
      if (steps > CORR_UP) steps = CORR_UP;
      if (steps < -CORR_DOWN) steps = -CORR_DOWN;
      prep->sfBase[idx] -= steps;
    }
  }
}

int TrimmedMaxSfb(const QcChannel* ch, int limit) {
  for (int b = limit - 1; b >= 0; --b)
    for (int g = 0; g < ch->groups; ++g)
      if (BandNonZero(ch, g * ch->sfbPerGroup + b)) return b + 1;
  return 0;
}

void CopyLayout(const PsyOutChannel* p, QcChannel* ch) {
  ch->windowSequence = p->windowSequence;
  ch->windowShape = p->windowShape;
  ch->groups = p->groups;
  for (int g = 0; g < MAX_GROUPS; ++g) ch->groupLen[g] = g < p->groups ? p->groupLen[g] : 0;
  ch->sfbPerGroup = p->sfbPerGroup;
  ch->sfbOffsets = p->sfbOffsets;
  ch->tns = &p->tns;
  ch->isLfe = p->isLfe;
}

// Quantises all channels at `offset` and counts their bits.
int Trial(QcLoopState* s, PsyOutChannel* const* psy, QcChannel* const* out, int nCh, int commonWindow, int offset,
          int exact) {
  int maxSfb = 0;
  for (int c = 0; c < nCh; ++c) {
    QuantizeChannel(psy[c], &s->prep[c], out[c], offset);
    out[c]->maxSfb = TrimmedMaxSfb(out[c], psy[c]->maxSfbPerGroup);
    if (out[c]->maxSfb > maxSfb) maxSfb = out[c]->maxSfb;
  }
  int bits = 0;
  for (int c = 0; c < nCh; ++c) {
    if (commonWindow) out[c]->maxSfb = maxSfb;
    SectionChannel(out[c], exact);
    int sfBits = CountScalefactorBits(out[c]);
    if (sfBits >= HUFF_INFINITY) return HUFF_INFINITY;
    bits += out[c]->sectionBits + out[c]->spectralBits + sfBits;
  }
  return bits;
}

}  // namespace

ErrorRecord* QcQuantizeElement(QcLoopState* s, int element, PsyOutChannel* const* psy, QcChannel* const* out,
                               int nCh, int commonWindow, int grantedBits, int* usedBits) {
  int lines = 0;
  for (int c = 0; c < nCh; ++c) {
    ErrorRecord* e = CheckBands(psy[c]);
    if (e) return ERROR_PASS(e, "QcQuantizeElement");
    CopyLayout(psy[c], out[c]);
    const bool held = psy[c]->windowSequence != EIGHT_SHORT && s->codedValid[element][c];
    Prepare(psy[c], &s->prep[c], s->eah, held ? s->coded[element][c] : nullptr);
    for (int g = 0; g < psy[c]->groups; ++g)
      for (int b = 0; b < psy[c]->maxSfbPerGroup; ++b)
        if (s->prep[c].ratioDb[g * psy[c]->sfbPerGroup + b] > 0.0f)
          lines += psy[c]->sfbOffsets[g * psy[c]->sfbPerGroup + b + 1] - psy[c]->sfbOffsets[g * psy[c]->sfbPerGroup + b];
  }
  if (lines < 1) lines = 1;

  // One measuring pass at last frame's offset: where the real quantisation
  // noise misses the noise the estimate aimed at (small values, bands that
  // fall to zero), the band's scalefactor is corrected by whole 1.5 dB steps.
  {
    int ref = Clamp(s->lastOffset[element], OFFSET_MIN, OFFSET_MAX);
    for (int c = 0; c < nCh; ++c) CorrectScalefactors(psy[c], &s->prep[c], out[c], ref);
  }
  // A band's threshold is the average over its width, and its noise spreads
  // evenly over that width, up to the edges next to its neighbours; where a
  // neighbour asks for a step at most 6 dB finer, the band takes that step
  // too (and the neighbour the band's, where the band's is the finer). The
  // noise spectrum then follows the finer of two close neighbours instead of
  // stepping up and down between them, and the shared steps cost one-bit
  // scalefactor differences. Measured by the perceptual grade at 64000 and
  // 128000 bit/s on both bench corpora and on held-out music (no change at
  // 256000).
  for (int c = 0; c < nCh; ++c) QcShareNeighbourSteps(psy[c], &s->prep[c], kShareSteps);

  // Search the smallest offset whose bits fit: bracket from last frame's
  // offset with steps estimated from the bit excess, then bisect.
  int start = Clamp(s->lastOffset[element], OFFSET_MIN, OFFSET_MAX);
  int okOffset = OFFSET_MAX + 1, failOffset = OFFSET_MIN - 1;
  int okBits = 0;
  int offset = start;
  for (int trial = 0; trial < 24; ++trial) {
    int bits = Trial(s, psy, out, nCh, commonWindow, offset, 0);
    if (bits <= grantedBits) {
      okOffset = offset;
      okBits = bits;
    } else {
      failOffset = offset;
    }
    if (okOffset - failOffset <= 1) break;
    int next;
    if (okOffset > OFFSET_MAX) {  // no fit yet: step up
      int diff = bits - grantedBits;
      int step = static_cast<int>(std::lround(16.0 * diff / (3.0 * lines)));
      if (step < 1) step = 1;
      if (trial > 0) step = step * 2;
      next = offset + step;
      if (next > OFFSET_MAX) next = OFFSET_MAX;
      if (next <= failOffset) next = failOffset + 1;
    } else if (failOffset < OFFSET_MIN) {  // everything fits so far: step down
      int diff = grantedBits - bits;
      int step = static_cast<int>(std::lround(16.0 * diff / (3.0 * lines)));
      if (step < 1) step = 1;
      if (trial > 0) step = step * 2;
      next = offset - step;
      if (next < OFFSET_MIN) next = OFFSET_MIN;
    } else {
      next = (okOffset + failOffset) / 2;
    }
    if (next == offset) break;
    offset = next;
  }
  if (okOffset > OFFSET_MAX) return ERROR_NEW("QcQuantizeElement", "inner loop failure before first outer loop");
  s->lastOffset[element] = okOffset;
  // Final pass at the chosen offset with the full section search, which
  // never needs more bits than the quick count.
  int finalBits = Trial(s, psy, out, nCh, commonWindow, okOffset, 1);
  if (finalBits > okBits) finalBits = Trial(s, psy, out, nCh, commonWindow, okOffset, 0);
  if (finalBits > grantedBits) return ERROR_NEW("QcQuantizeElement", "inner loop failure before first outer loop");
  *usedBits = finalBits;
  for (int c = 0; c < nCh; ++c) {
    s->codedValid[element][c] = psy[c]->windowSequence != EIGHT_SHORT;
    if (!s->codedValid[element][c]) continue;
    for (int b = 0; b < psy[c]->sfbPerGroup && b < MAX_SFB_LONG; ++b)
      s->coded[element][c][b] = b < out[c]->maxSfb && BandNonZero(out[c], b) ? 1 : 0;
  }
  return nullptr;
}
