// Band helpers of the quantiser.
#ifndef TESSEL_CORE_AUX_FUNC_H
#define TESSEL_CORE_AUX_FUNC_H

#include "core/errorhnd.h"
#include "core/psyout.h"

// Checks that every band below the coded limit has lines and a positive
// threshold (" zero sfb width", " threshold <= FLT_MIN").
ErrorRecord* CheckBands(const PsyOutChannel* ch);

// Scalefactor (absolute, bitstream scale) at which the quantisation noise of
// a band with the given threshold and form factor (sum of sqrt|x|) meets the
// threshold.
int EstimateScalefactor(float threshold, float formFactor);
// Smallest scalefactor that keeps the band's largest |x|^0.75 at or below 8191.
int MinimumScalefactor(float maxPow34);
// 2^(-3/16 (sf - 100)) for sf 0..255.
float QuantStep(int sf);

#endif
