#include "core/ms_chan.h"

#include "core/de_psych.h"

ErrorRecord* MsComputePair(const PsyOutChannel* l, const PsyOutChannel* r, PsyOutPair* pair) {
  if (l->windowSequence != r->windowSequence || l->groups != r->groups || l->sfbCnt != r->sfbCnt) {
    return ERROR_NEW("MsComputePair", "left and right channel have different blocktype");
  }
  for (int g = 0; g < l->groups; ++g) {
    if (l->groupLen[g] != r->groupLen[g]) {
      return ERROR_NEW("MsComputePair", "left and right channel have different blocktype");
    }
  }
  for (int b = 0; b < l->sfbCnt; ++b) {
    double em = 0.0, es = 0.0;
    for (int k = l->sfbOffsets[b]; k < l->sfbOffsets[b + 1]; ++k) {
      const double m = 0.5 * (double(l->groupedSpectrum[k]) + r->groupedSpectrum[k]);
      const double s = 0.5 * (double(l->groupedSpectrum[k]) - r->groupedSpectrum[k]);
      em += m * m;
      es += s * s;
    }
    const float tl = l->sfbThreshold[b], tr = r->sfbThreshold[b];
    const float t = 0.5f * (tl < tr ? tl : tr);
    const int lines = l->sfbOffsets[b + 1] - l->sfbOffsets[b];
    pair->sfbEnergyMid[b] = float(em);
    pair->sfbEnergySide[b] = float(es);
    pair->sfbThresholdMid[b] = t;
    pair->sfbThresholdSide[b] = t;
    pair->sfbPeMid[b] = PeBand(float(em), t, lines);
    pair->sfbPeSide[b] = PeBand(float(es), t, lines);
    pair->msUsed[b] = 0;
  }
  pair->valid = 1;
  return nullptr;
}
