// Mid/side energies and thresholds of a channel pair, per band and group.
// Mid = (L + R) / 2 and side = (L - R) / 2, so that L = M + S and R = M - S
// as the decoder rebuilds them.
#ifndef TESSEL_CORE_MS_CHAN_H
#define TESSEL_CORE_MS_CHAN_H

#include "core/errorhnd.h"
#include "core/psyout.h"

// Fills pair from the two channels' grouped spectra, thresholds and band
// layout. Both channels must share the window sequence and grouping
// ("left and right channel have different blocktype" otherwise). The noise of
// M and S adds up in L and R, so each gets half the smaller threshold.
ErrorRecord* MsComputePair(const PsyOutChannel* left, const PsyOutChannel* right, PsyOutPair* pair);

#endif
