// Window shapes (sine, Kaiser-Bessel-derived) and the four window sequences
// of the filterbank, with the windowed MDCT of one frame and its inverse.
#ifndef TESSEL_CORE_WINDOW_H
#define TESSEL_CORE_WINDOW_H

#include "core/errorhnd.h"
#include "core/mdct.h"
#include "core/psyconst.h"

// Rising halves of the windows: long[shape][i], i < 1024, short[shape][i], i < 128.
// The falling half is the mirror image.
struct WindowTables {
  float longRise[2][FRAME_LEN_LONG];
  float shortRise[2][FRAME_LEN_SHORT];
};

// Fills the tables: sine sin(pi / N (i + 0.5)); KBD with alpha 4 (long) and
// 6 (short).
void WindowInit(WindowTables* tables);

// The KBD window of length n (rising half of n/2 values) for alpha.
void WindowKbdRise(float* rise, int n, double alpha);

// The modified Bessel function of the first kind, order 0 (Kaiser windows of
// the KBD shape and of the converter's filter design).
double BesselI0(double y);

// The filterbank of one channel: the plans and the window tables.
struct Filterbank {
  MdctPlan* longPlan;
  MdctPlan* shortPlan;
  WindowTables windows;
  float work[2 * FRAME_LEN_LONG];
};

ErrorRecord* FilterbankCreate(Filterbank** fb);
void FilterbankDestroy(Filterbank* fb);

// Windows the 2048 samples `in` (previous 1024 and current 1024) for the
// sequence and the shapes (prevShape: left half, shape: right half) and
// transforms them into 1024 lines; for EIGHT_SHORT the eight windows of 128
// lines follow each other. A long sequence with differing shapes in its two
// halves is refused ("different window shapes for long blocks not allowed");
// an unknown sequence gives "invalid block type parameter".
ErrorRecord* FilterbankForward(Filterbank* fb, int sequence, int prevShape, int shape, const float* in,
                               float* spectrum);

// Inverse: 1024 lines -> 2048 windowed samples to be overlap-added with the
// neighbouring frames (hop 1024).
ErrorRecord* FilterbankInverse(Filterbank* fb, int sequence, int prevShape, int shape, const float* spectrum,
                               float* out);

#endif
