#include "core/psy_chan.h"

#include <cstring>

void PsyOutLayout(const PsyConfiguration* cfg, int shortBlock, int groups, const int* groupLen, PsyOutChannel* out) {
  if (!shortBlock) {
    out->groups = 1;
    out->groupLen[0] = 1;
    out->sfbPerGroup = cfg->sfbCnt;
    out->sfbCnt = cfg->sfbCnt;
    for (int b = 0; b <= cfg->sfbCnt; ++b) out->sfbOffsets[b] = cfg->sfbOffset[b];
    for (int b = 0; b < cfg->sfbCnt; ++b) out->sfbWidth[b] = cfg->sfbOffset[b + 1] - cfg->sfbOffset[b];
    return;
  }
  out->groups = groups;
  out->sfbPerGroup = cfg->sfbCnt;
  out->sfbCnt = groups * cfg->sfbCnt;
  int pos = 0, i = 0;
  for (int g = 0; g < groups; ++g) {
    out->groupLen[g] = groupLen[g];
    for (int b = 0; b < cfg->sfbCnt; ++b, ++i) {
      const int width = cfg->sfbOffset[b + 1] - cfg->sfbOffset[b];
      out->sfbOffsets[i] = pos;
      out->sfbWidth[i] = width;
      pos += width * groupLen[g];
    }
  }
  out->sfbOffsets[i] = pos;
}

void PsyOutGroupSpectrum(const PsyConfiguration* cfg, PsyOutChannel* out) {
  if (out->windowSequence != EIGHT_SHORT) {
    std::memcpy(out->groupedSpectrum, out->spectrum, sizeof out->spectrum);
    return;
  }
  int pos = 0, window = 0;
  for (int g = 0; g < out->groups; ++g) {
    for (int b = 0; b < cfg->sfbCnt; ++b) {
      const int lo = cfg->sfbOffset[b], hi = cfg->sfbOffset[b + 1];
      for (int w = window; w < window + out->groupLen[g]; ++w) {
        const float* src = out->spectrum + w * FRAME_LEN_SHORT;
        for (int k = lo; k < hi; ++k) out->groupedSpectrum[pos++] = src[k];
      }
    }
    window += out->groupLen[g];
  }
}
