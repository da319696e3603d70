// The filterbank transform: MDCT of 2048 (long) and 256 (short) points.
//
//   forward:  X[k] = 2 * sum_{n=0}^{N-1} x[n] cos(2 pi / N (n + n0)(k + 1/2)),
//             k = 0..N/2-1, n0 = (N/2 + 1) / 2   (x already windowed)
//   inverse:  y[n] = 2 / N * sum_{k=0}^{N/2-1} X[k] cos(2 pi / N (n + n0)(k + 1/2))
//
// The inverse output, windowed again and overlap-added with the neighbouring
// blocks, gives back the input for windows that fulfil the Princen-Bradley
// condition (sine and KBD windows and their start/stop combinations).
// Computed through a DCT-IV of N/2 points on a complex FFT of N/4 points
// (O(N log N)). A plan holds its work buffers: one thread at a time.
#ifndef TESSEL_CORE_MDCT_H
#define TESSEL_CORE_MDCT_H

#include "core/errorhnd.h"

struct MdctPlan;

// n is the window length, 2048 or 256; any other size gives
// "Oops...: MDCT not 2048 or 256 points long.".
ErrorRecord* MdctCreate(int n, MdctPlan** plan);
void MdctDestroy(MdctPlan* plan);
int MdctSize(const MdctPlan* plan);

// in: N windowed samples; out: N/2 coefficients. in and out must not overlap.
void MdctForward(const MdctPlan* plan, const float* in, float* out);
// in: N/2 coefficients; out: N samples (not windowed).
void MdctInverse(const MdctPlan* plan, const float* in, float* out);

// DCT-IV of M = N/2 points in place: X[k] = sum x[n] cos(pi/M (n+1/2)(k+1/2)).
void MdctDct4(const MdctPlan* plan, float* data);

#endif
