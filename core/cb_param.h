// Psychoacoustic partitions: groups of spectral lines at least a third of a
// Bark wide, derived from the scalefactor bands, with their thresholds in
// quiet.
#ifndef TESSEL_CORE_CB_PARAM_H
#define TESSEL_CORE_CB_PARAM_H

#include "core/errorhnd.h"

inline constexpr int MAX_CB = 115;

struct PsyPartitions {
  int count;
  int width[MAX_CB];     // lines
  int start[MAX_CB];     // first line
  float bark[MAX_CB];    // centre (mean of the edge values), at most 24
  float qsthr[MAX_CB];   // threshold in quiet (energy, MDCT scale)
};

// Bark value of a frequency in Hz.
double CbBark(double hz);

// Level of the threshold in quiet in dB at a Bark value (table, linearly
// interpolated; 0 dB stands for the energy 16887.8 per line).
double CbQuietLevel(double bark);

// Builds the partitions of a block type: lines 1024 or 128, the band table
// (sfbCnt + 1 offsets). Fails with "MAX_CB too small" beyond MAX_CB partitions.
ErrorRecord* CbBuildPartitions(int sampleRate, int lines, int sfbCnt, const short* sfbOffset, PsyPartitions* out);

#endif
