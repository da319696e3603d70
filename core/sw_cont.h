// Block switching: attack detection on the look-ahead samples, the window
// sequence state machine, the grouping of eight short windows and the
// common-window synchronisation of channel pairs.
#ifndef TESSEL_CORE_SW_CONT_H
#define TESSEL_CORE_SW_CONT_H

#include "core/errorhnd.h"
#include "core/fifo_buf.h"
#include "core/psyconst.h"

inline constexpr int ATTACK_SEGMENTS = 32;
inline constexpr int ATTACK_SEGMENT_LEN = 32;

inline constexpr int ENERGY_STORE_BLOCKS = 12;
// A flagged window counts as an attack only when some band rises this far
// above its mean over the stored blocks.
inline constexpr float ENERGY_STORE_RISE_DB = 6.0f;

// The store of the last 12 short blocks' per-band log energies (dB) of a
// channel, started at the threshold in quiet minus 5 dB.
struct BlockEnergyStore {
  FloatModuloBuffer* ring;   // ENERGY_STORE_BLOCKS records of `bands` values
  int bands;
};

// quietThreshold: per band energy (0 stands for -130 dB).
ErrorRecord* BlockEnergyStoreCreate(BlockEnergyStore* store, int bands, const float* quietThreshold);
void BlockEnergyStoreDestroy(BlockEnergyStore* store);
// Clears flags of windows whose band energies do not rise over the store,
// then pushes the eight windows' log energies (dB) into it.
void BlockEnergyStoreConfirm(BlockEnergyStore* store, const float logEnergy[TRANS_FAC][MAX_SFB_SHORT],
                             int flags[TRANS_FAC]);

struct BlockSwitchState {
  int rateClass;
  float hpX1, hpY1;            // high-pass filter state
  float level[3];              // decaying maxima of the segment levels before the previous one
                               // (fast, medium, slow decay)
  float prevSegment;           // level of the previous segment (enters level[] one segment late)
  int lastSequence;            // WindowSequence of the previous frame
  int prevAttack;              // the previous look-ahead block had an attack
  int prevFlags[TRANS_FAC];    // its attack per short window (for the frame now coded)
  int attackStrength;          // 0 none, 1, 2 (loud) of the latest look-ahead block
};

void BlockSwitchInit(BlockSwitchState* s, int rateClass);

// Attack detection on 1024 samples read with `stride`. Segment levels are the
// RMS of the high-passed signal in 16-bit units. Fills flags[8] (attack per
// short window) and returns 1 when any window has an attack.
int BlockSwitchDetect(BlockSwitchState* s, const float* samples, int stride, int flags[TRANS_FAC]);

// Next sequence from the previous one and the attack decision.
int BlockSwitchNextSequence(int lastSequence, int attack);

// Grouping of eight short windows from their attack flags: a group starts at
// every attack; runs longer than 6 are cut into thirds, longer than 3 into
// halves; a single group becomes 3, 3, 2. Returns the number of groups.
int BlockSwitchGroup(const int flags[TRANS_FAC], int groupLen[MAX_GROUPS]);

// One frame of one channel: detects on the look-ahead, decides the sequence
// (long only unless allowShort), and for EIGHT_SHORT fills the grouping.
struct BlockSwitchResult {
  int sequence;
  int groups;
  int groupLen[MAX_GROUPS];
  int flags[TRANS_FAC];        // attack flags of the coded frame's windows
};
// With `store` and `logEnergy` (the band log energies of the look-ahead's
// eight short windows), detected attacks are confirmed against the store;
// both may be null.
void BlockSwitchFrame(BlockSwitchState* s, const float* lookahead, int stride, int allowShort,
                      BlockSwitchResult* out, BlockEnergyStore* store = nullptr,
                      const float (*logEnergy)[MAX_SFB_SHORT] = nullptr);

// Common window of a pair: both channels take the stronger sequence
// (EIGHT_SHORT > LONG_START > LONG_STOP > ONLY_LONG) and, when short, the
// grouping of the joined attack flags. Updates both states.
void BlockSwitchSync(BlockSwitchState* a, BlockSwitchState* b, BlockSwitchResult* ra, BlockSwitchResult* rb);

#endif
