// Mid/side decision of a channel pair and the replacement of the channel
// data by mid and side data.
#ifndef TESSEL_CORE_MS_STEREO_H
#define TESSEL_CORE_MS_STEREO_H

#include "core/errorhnd.h"
#include "core/psyout.h"

struct MsOptions {
  float msFac;     // "msFac": weight of the L/R cost, 0..10000 (default 1)
  int msMask;      // 1 unless "no-ms-mask"
  int msDebug;     // "msDeb": 0, 1 all bands, 2 odd bands
};

// Decides per band (and group) and applies M/S in place. msUsed receives the
// mask; *maskPresent 0 (none), 1 (per band) or 2 (all).
ErrorRecord* MsStereoProcess(const MsOptions* opt, PsyOutPair* pair, PsyOutChannel* left, PsyOutChannel* right,
                             int* msUsed, int* maskPresent);

#endif
