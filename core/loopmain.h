// Quantisation and the rate loop: per element one step size offset common
// to its channels is searched so that the element's bits meet its grant.
#ifndef TESSEL_CORE_LOOPMAIN_H
#define TESSEL_CORE_LOOPMAIN_H

#include "core/errorhnd.h"
#include "core/psyout.h"
#include "core/qc_data.h"

struct QcPrep {
  float pow34[FRAME_LEN_LONG];        // |x|^0.75, grouped order
  int sfBase[MAX_GROUPED_SFB];        // scalefactor that meets the threshold
  int sfMin[MAX_GROUPED_SFB];         // no value above 8191
  float holdDb[MAX_GROUPED_SFB];      // a band above this ratio is coded whatever the offset
  float ratioDb[MAX_GROUPED_SFB];     // energy over threshold in dB; bands below the
                                      // coded limit or without lines: -1e9
};

struct QcLoopState {
  int lastOffset[PSY_MAX_ELEMENTS];   // offset found in the previous frame
  int eah;                            // option "eah"
  QcPrep prep[2];
  // Bands of each element's channels that carried values in the last frame
  // (long blocks only; codedValid 0 after a short block or at the start).
  unsigned char coded[PSY_MAX_ELEMENTS][2][MAX_SFB_LONG];
  int codedValid[PSY_MAX_ELEMENTS][2];
};

void QcLoopInit(QcLoopState* s);

// Neighbouring bands above their thresholds (in transmission order within
// each group) whose base scalefactors differ by at most `maxSteps` take the
// finer of the two.
void QcShareNeighbourSteps(const PsyOutChannel* p, QcPrep* prep, int maxSteps);

// Quantises the nCh channels of one element (nCh 2 with common window shares
// max_sfb) within `grantedBits` for section, scalefactor and spectral data.
// Fills out[] and returns the bits used in *usedBits. Fails with
// "inner loop failure before first outer loop" when nothing fits.
ErrorRecord* QcQuantizeElement(QcLoopState* s, int element, PsyOutChannel* const* psy, QcChannel* const* out,
                               int nCh, int commonWindow, int grantedBits, int* usedBits);

#endif
