#include "core/ms_stereo.h"

ErrorRecord* MsStereoProcess(const MsOptions* opt, PsyOutPair* pair, PsyOutChannel* left, PsyOutChannel* right,
                             int* msUsed, int* maskPresent) {
  const int spg = left->sfbPerGroup;
  const int groups = left->groups;
  const int nb = left->maxSfbPerGroup > right->maxSfbPerGroup ? left->maxSfbPerGroup : right->maxSfbPerGroup;
  int n = nb * groups;
  float lossLr = 0.0f, gainMs = 0.0f;
  for (int g = 0; g < groups; ++g) {
    for (int b = 0; b < spg; ++b) {
      int idx = g * spg + b;
      msUsed[idx] = 0;
      if (b >= nb) continue;
      float gain = (left->sfbPe[idx] + right->sfbPe[idx]) * opt->msFac - pair->sfbPeMid[idx] - pair->sfbPeSide[idx];
      if (opt->msDebug == 1) {
        msUsed[idx] = 1;
      } else if (opt->msDebug == 2) {
        msUsed[idx] = (b & 1) ? 1 : 0;
      } else if (opt->msDebug == 0) {
        if (gain >= 0.0f) {
          msUsed[idx] = 1;
          gainMs += gain;
        } else {
          lossLr -= gain;
        }
      } else {
        return ERROR_NEW("MsStereoProcess", "this is not a valid ms debug mode");
      }
    }
  }
  if (opt->msDebug == 0 && opt->msMask && n > 0) {
    int all = -1;
    if (lossLr < 0.75f * static_cast<float>(n)) all = 1;
    else if (gainMs != 0.0f && gainMs < 0.75f * static_cast<float>(n)) all = 0;
    if (all >= 0)
      for (int g = 0; g < groups; ++g)
        for (int b = 0; b < nb; ++b) msUsed[g * spg + b] = all;
  }
  int used = 0;
  for (int g = 0; g < groups; ++g) {
    for (int b = 0; b < nb; ++b) {
      int idx = g * spg + b;
      if (!msUsed[idx]) continue;
      ++used;
      for (int i = left->sfbOffsets[idx]; i < left->sfbOffsets[idx + 1]; ++i) {
        float l = left->groupedSpectrum[i], r = right->groupedSpectrum[i];
        left->groupedSpectrum[i] = 0.5f * (l + r);
        right->groupedSpectrum[i] = 0.5f * (l - r);
      }
      left->sfbEnergy[idx] = pair->sfbEnergyMid[idx];
      right->sfbEnergy[idx] = pair->sfbEnergySide[idx];
      left->sfbThreshold[idx] = pair->sfbThresholdMid[idx];
      right->sfbThreshold[idx] = pair->sfbThresholdSide[idx];
      left->sfbPe[idx] = pair->sfbPeMid[idx];
      right->sfbPe[idx] = pair->sfbPeSide[idx];
    }
  }
  for (int i = 0; i < n && i < MAX_GROUPED_SFB; ++i) pair->msUsed[i] = 0;
  for (int g = 0; g < groups; ++g)
    for (int b = 0; b < spg; ++b) pair->msUsed[g * spg + b] = msUsed[g * spg + b];
  *maskPresent = used == 0 ? 0 : (used == n ? 2 : 1);
  return nullptr;
}
