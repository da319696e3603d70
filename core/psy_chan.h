// Per-channel state of the model and the analysis of one channel's frame.
#ifndef TESSEL_CORE_PSY_CHAN_H
#define TESSEL_CORE_PSY_CHAN_H

#include "core/fifo_buf.h"
#include "core/psy_conf.h"
#include "core/psyout.h"
#include "core/sw_cont.h"
#include "core/window.h"

// Samples held per channel: the 2048 of the transform and the look-ahead.
inline constexpr int PSY_HISTORY = 3 * FRAME_LEN_LONG;
// Where the attack detector reads (1024 samples): the region the next
// frame's short windows cover.
inline constexpr int PSY_LOOKAHEAD_START = 2 * FRAME_LEN_LONG - (FRAME_LEN_LONG - FRAME_LEN_SHORT) / 2;

struct PsyChannel {
  FloatFifoBuffer* history;          // PSY_HISTORY samples, oldest first
  BlockSwitchState sw;
  int lastShape;                     // window shape of the previous frame
  int lastSequence;
  int isLfe;
  int tnsOn;
  float varC;                        // smoothed spectral variation figure
  float prevThrLong[MAX_CB];         // last long block's partition thresholds
  BlockEnergyStore store;            // last 12 short blocks' band log energies
  float spectrum[FRAME_LEN_LONG];    // transform output of the frame
};

struct PsyChannelSettings {
  const PsyConfiguration* cfgLong;
  const PsyConfiguration* cfgShort;
  float rpmin;                       // pre-echo control bottom, 1 = off
  int maxSfbLong;                    // band limit of long blocks (bmax or all)
  int maxSfbShort;
  int tnsCoefRes;
};

ErrorRecord* PsyChannelCreate(PsyChannel* ch, int rateClass, const PsyConfiguration* cfgLong,
                              const PsyConfiguration* cfgShort);

// Band log energies (dB) of the eight short windows the next frame would use,
// from the look-ahead part of the history. scratch: 1024 floats.
void PsyChannelLookaheadEnergies(PsyChannel* ch, Filterbank* fb, const PsyConfiguration* cfgShort,
                                 float logEnergy[TRANS_FAC][MAX_SFB_SHORT], float* scratch);
void PsyChannelDestroy(PsyChannel* ch);

// Transforms and analyses one frame of the channel whose block decision is
// already made (sequence, groups); fills `out` completely except the pair data.
ErrorRecord* PsyChannelProcess(PsyChannel* ch, const PsyChannelSettings* set, Filterbank* fb, int sequence,
                               int shape, int groups, const int* groupLen, PsyOutChannel* out);

// Fills the grouped band layout of `out` (sfbOffsets, sfbWidth, counts) for
// a long block or for the given grouping of a short block.
void PsyOutLayout(const PsyConfiguration* cfg, int shortBlock, int groups, const int* groupLen, PsyOutChannel* out);

// Interleaves the window-ordered spectrum into the grouped order.
void PsyOutGroupSpectrum(const PsyConfiguration* cfgShort, PsyOutChannel* out);

#endif
