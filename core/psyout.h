// The output of the psychoacoustic model for one frame: what the quantiser
// and the bitstream writer read.
//
// Layout of band data: for a long block (ONLY_LONG, LONG_START, LONG_STOP)
// there is one group of sfbPerGroup == sfbCnt bands; for EIGHT_SHORT the
// short band table is repeated once per window group, so band b of group g is
// index g * sfbPerGroup + b and sfbCnt = groups * sfbPerGroup. For a group,
// energy and threshold are the sums over the windows of that group.
//
// The spectrum is stored twice: `spectrum` in window order (window w of a
// short block starts at line w * 128), and `groupedSpectrum` in the order the
// bitstream carries it: group after group, and inside a group band after band
// with the windows of the group one after the other for each band. sfbOffsets
// index groupedSpectrum: band b of group g covers
// [sfbOffsets[g*sfbPerGroup+b], sfbOffsets[g*sfbPerGroup+b+1]), that is
// groupLen[g] * sfbWidth[b] lines. Both are taken after temporal noise
// shaping. For long blocks both arrays are equal.
//
// Energies are of the spectral values (sum of squares) in the scale of the
// MDCT output (16-bit full-scale input -> lines up to about 32768 x 512).
// Thresholds are the allowed distortion energy (same scale): a band whose
// energy does not exceed its threshold needs no bits. Thresholds are always
// > 0 (at least a small floor) so their logarithms are defined.
//
// Perceptual entropy: pe is the estimated number of bits the channel needs to
// code its spectrum at its thresholds; sfbPe holds the per-band share (used
// as the bit-cost estimate of a band in the M/S decision).
#ifndef TESSEL_CORE_PSYOUT_H
#define TESSEL_CORE_PSYOUT_H

#include "core/psyconst.h"

// Temporal noise shaping of one window (long block: window 0 only).
struct TnsWindowData {
  int numFilters;      // 0 or 1
  int coefRes;         // coefficient resolution in bits: 3 or 4 (bitstream coef_res = coefRes - 3)
  int length;          // filter region length in scalefactor bands (bitstream "length")
  int order;           // filter order, 0..12 long, 0..7 short
  int direction;       // 0: upward (bitstream direction bit)
  int coefCompress;    // 1 when every index fits in coefRes - 1 bits
  int coef[TNS_MAX_ORDER];  // quantised coefficient indices, signed (-8..7 at 4 bits, -4..3 at 3 bits)
  int startBand;       // first band filtered (informational)
  int stopBand;        // one past the last band filtered
  float predictionGain;
};

struct TnsData {
  int present;                       // tns_data_present: 1 when any window has a filter
  int numWindows;                    // 1 long, 8 short
  TnsWindowData window[TRANS_FAC];
};

struct PsyOutChannel {
  int windowSequence;                // WindowSequence
  int windowShape;                   // WindowShape
  int lastWindowSequence;            // sequence of the previous frame
  int groups;                        // number of window groups (1 for long blocks)
  int groupLen[MAX_GROUPS];          // windows per group (sum 8 for short, {1} for long)
  int sfbCnt;                        // bands in all groups together
  int sfbPerGroup;                   // bands of one group (long: sfbCnt)
  int maxSfbPerGroup;                // bands below the bandwidth (upper limit for max_sfb)
  int sfbOffsets[MAX_GROUPED_SFB + 1];   // grouped layout, see above; last is the end
  int sfbWidth[MAX_GROUPED_SFB];         // lines per band per window (short: of ONE window)
  int lowpassLine;                   // first line above the bandwidth (per window for short)
  int isLfe;                         // LFE channel: only lines 0..12 are non-zero
  float spectrum[FRAME_LEN_LONG];        // window order, after TNS
  float groupedSpectrum[FRAME_LEN_LONG]; // band-interleaved group order (bitstream order)
  float sfbEnergy[MAX_GROUPED_SFB];
  float sfbThreshold[MAX_GROUPED_SFB];
  float sfbSpreadEnergy[MAX_GROUPED_SFB];  // energy after spreading (masking capacity)
  float sfbPe[MAX_GROUPED_SFB];            // bit estimate per band at its threshold
  float pe;                                // sum of sfbPe plus side-information estimate
  float spectralVariation;                 // weight factor used this frame (0.4..1.0; 0.5 short)
  TnsData tns;
};

// Mid/side data of a channel pair (CPE with M/S allowed, common window).
// Mid = (L + R) / 2 and side = (L - R) / 2 line by line (so L = M + S and
// R = M - S as the decoder rebuilds them); the thresholds of both are half
// the smaller of the L and R thresholds, since the noise of M and S adds up
// in each output channel.
struct PsyOutPair {
  int valid;                         // 1 when the pair has M/S data this frame
  int commonWindow;                  // 1 when both channels share window sequence, shape and grouping
  int channel[2];                    // encoder channel numbers of left and right
  float sfbEnergyMid[MAX_GROUPED_SFB];
  float sfbEnergySide[MAX_GROUPED_SFB];
  float sfbThresholdMid[MAX_GROUPED_SFB];
  float sfbThresholdSide[MAX_GROUPED_SFB];
  float sfbPeMid[MAX_GROUPED_SFB];
  float sfbPeSide[MAX_GROUPED_SFB];
  int msUsed[MAX_GROUPED_SFB];       // cleared by the model; set by the M/S decision
};

struct PsyOutElement {
  int type;                          // ElementType
  int instanceTag;
  int nChannels;                     // 1 or 2
  int channel[2];                    // encoder channel numbers
  PsyOutPair pair;                   // for CPEs
};

struct PsyOut {
  int nChannels;
  int nElements;
  PsyOutChannel channel[PSY_MAX_CHANNELS];
  PsyOutElement element[PSY_MAX_ELEMENTS];
};

#endif
