// Temporal noise shaping of one block: the prediction-gain decision, the
// quantised reflection coefficients and the filtering of the spectrum.
#ifndef TESSEL_CORE_COD_CHAN_H
#define TESSEL_CORE_COD_CHAN_H

#include "core/psy_conf.h"
#include "core/psyout.h"

// Analyses `spectrum` (cfg->lines values of one block or window) and, when
// the prediction gain reaches tns.gainOn, filters it in place and describes
// the filter in `out`. coefResOverride 3 or 4 forces that resolution.
void TnsProcessBlock(const PsyConfiguration* cfg, int shortBlock, int coefResOverride, float* spectrum,
                     TnsWindowData* out);

// Strongest onset in the n samples of a block's window: the largest ratio
// (dB) of a segment's energy over the quietest segment before it.
float TnsOnsetDb(const float* samples, int n);

// Per band of the filter region [w->startBand, w->stopBand): the factor by
// which the decoder's synthesis filter of `w` raises white quantisation
// noise in that band. Bands outside the region are left as they are.
void TnsNoiseGains(const TnsWindowData* w, const int* sfbOffset, float* gain);

// Bitstream helpers (also used by tests): quantised index <-> reflection
// coefficient at a resolution of 3 or 4 bits.
int TnsQuantiseCoef(float parcor, int coefRes);
float TnsDequantiseCoef(int index, int coefRes);

// Reflection coefficients -> prediction error filter a[0..order] (a[0] = 1).
void TnsParcorToLpc(const float* parcor, int order, float* lpc);

// The decoder's inverse (all-pole) filter over lines [start, end).
void TnsSynthesis(float* spectrum, int start, int end, const float* lpc, int order);

#endif
