#include "core/sw_cont.h"

#include <cmath>

namespace {

// Attack factors per rate class and level; 0 disables a level.
const float kAttackFactor[2][3] = {{0.094f, 0.08f, 0.0f}, {0.06f, 0.06f, 0.06f}};
// Per-segment decay of the stored levels.
const float kDecay[3] = {0.4f, 0.7f, 0.9f};
constexpr float kHighPass = 0.92f;
constexpr float kMinLevel = 5.0f;
constexpr float kLoudLevel = 327.68f;

int Rank(int sequence) {
  switch (sequence) {
    case EIGHT_SHORT: return 3;
    case LONG_START: return 2;
    case LONG_STOP: return 1;
    default: return 0;
  }
}

void SplitRun(int len, int* groupLen, int* groups) {
  int parts = len > 6 ? 3 : (len > 3 ? 2 : 1);
  for (int p = 0; p < parts; ++p) {
    // Earlier parts take the remainder: 8 -> 3, 3, 2; 5 -> 3, 2.
    const int size = len / parts + (p < len % parts ? 1 : 0);
    groupLen[(*groups)++] = size;
  }
}

}  // namespace

void BlockSwitchInit(BlockSwitchState* s, int rateClass) {
  *s = BlockSwitchState{};
  s->rateClass = rateClass;
  s->lastSequence = ONLY_LONG;
}

int BlockSwitchDetect(BlockSwitchState* s, const float* x, int stride, int flags[TRANS_FAC]) {
  const float* factor = kAttackFactor[s->rateClass >= 2 ? 1 : 0];
  int any = 0;
  s->attackStrength = 0;
  for (int w = 0; w < TRANS_FAC; ++w) flags[w] = 0;
  for (int seg = 0; seg < ATTACK_SEGMENTS; ++seg) {
    double sum = 0.0;
    for (int i = 0; i < ATTACK_SEGMENT_LEN; ++i) {
      const float in = x[size_t(seg * ATTACK_SEGMENT_LEN + i) * size_t(stride)];
      const float y = kHighPass * (s->hpY1 + in - s->hpX1);
      s->hpX1 = in;
      s->hpY1 = y;
      sum += double(y) * y;
    }
    const float e = float(std::sqrt(sum / ATTACK_SEGMENT_LEN));
    int attack = 0;
    if (e >= kMinLevel) {
      for (int l = 0; l < 3; ++l) {
        if (factor[l] > 0.0f && s->level[l] < e * factor[l]) attack = 1;
      }
    }
    if (attack) {
      flags[seg / (ATTACK_SEGMENTS / TRANS_FAC)] = 1;
      any = 1;
      const int strength = e > kLoudLevel ? 2 : 1;
      if (strength > s->attackStrength) s->attackStrength = strength;
    }
    // The stored levels lag one segment behind, so an onset that straddles
    // a segment border is still measured against the level before it.
    for (int l = 0; l < 3; ++l) {
      const float decayed = s->level[l] * kDecay[l];
      s->level[l] = s->prevSegment > decayed ? s->prevSegment : decayed;
    }
    s->prevSegment = e;
  }
  return any;
}

int BlockSwitchNextSequence(int last, int attack) {
  if (attack) return (last == ONLY_LONG || last == LONG_STOP) ? LONG_START : EIGHT_SHORT;
  return (last == ONLY_LONG || last == LONG_STOP) ? ONLY_LONG : LONG_STOP;
}

int BlockSwitchGroup(const int flags[TRANS_FAC], int groupLen[MAX_GROUPS]) {
  int groups = 0;
  int runStart = 0;
  for (int w = 1; w <= TRANS_FAC; ++w) {
    if (w == TRANS_FAC || flags[w]) {
      SplitRun(w - runStart, groupLen, &groups);
      runStart = w;
    }
  }
  if (groups == 1) {
    groupLen[0] = 3;
    groupLen[1] = 3;
    groupLen[2] = 2;
    groups = 3;
  }
  return groups;
}

ErrorRecord* BlockEnergyStoreCreate(BlockEnergyStore* store, int bands, const float* quiet) {
  store->ring = nullptr;
  store->bands = bands;
  if (bands <= 0 || bands > MAX_SFB_SHORT) return ERROR_NEW("BlockEnergyStoreCreate", "invalid function parameter");
  ErrorRecord* e = CreateFloatModuloBuffer(ENERGY_STORE_BLOCKS, bands, 0.0f, &store->ring);
  if (e) return ERROR_PASS(e, "BlockEnergyStoreCreate");
  float start[MAX_SFB_SHORT];
  for (int b = 0; b < bands; ++b) {
    start[b] = (quiet[b] > 0.0f ? 10.0f * std::log10(quiet[b]) : -130.0f) - 5.0f;
  }
  for (int r = 0; r < ENERGY_STORE_BLOCKS; ++r) FloatModuloPush(store->ring, start);
  return nullptr;
}

void BlockEnergyStoreDestroy(BlockEnergyStore* store) {
  DestroyFloatModuloBuffer(store->ring);
  store->ring = nullptr;
}

void BlockEnergyStoreConfirm(BlockEnergyStore* store, const float logEnergy[TRANS_FAC][MAX_SFB_SHORT],
                             int flags[TRANS_FAC]) {
  const int bands = store->bands;
  for (int w = 0; w < TRANS_FAC; ++w) {
    if (flags[w]) {
      int rises = 0;
      for (int b = 0; b < bands && !rises; ++b) {
        float mean = 0.0f;
        for (int r = 0; r < ENERGY_STORE_BLOCKS; ++r) mean += FloatModuloRecord(store->ring, r)[b];
        mean /= float(ENERGY_STORE_BLOCKS);
        rises = logEnergy[w][b] > mean + ENERGY_STORE_RISE_DB;
      }
      flags[w] = rises;
    }
    FloatModuloPush(store->ring, logEnergy[w]);
  }
}

void BlockSwitchFrame(BlockSwitchState* s, const float* lookahead, int stride, int allowShort,
                      BlockSwitchResult* out, BlockEnergyStore* store, const float (*logEnergy)[MAX_SFB_SHORT]) {
  int flags[TRANS_FAC];
  int attack = BlockSwitchDetect(s, lookahead, stride, flags);
  if (store && store->ring && logEnergy) {
    BlockEnergyStoreConfirm(store, logEnergy, flags);
    attack = 0;
    for (int w = 0; w < TRANS_FAC; ++w) attack |= flags[w];
  }
  int seq = BlockSwitchNextSequence(s->lastSequence, attack || s->prevAttack);
  if (!allowShort) {
    // Close an open short sequence cleanly, otherwise stay long.
    seq = (s->lastSequence == LONG_START || s->lastSequence == EIGHT_SHORT) ? LONG_STOP : ONLY_LONG;
  }
  out->sequence = seq;
  for (int w = 0; w < TRANS_FAC; ++w) out->flags[w] = s->prevFlags[w];
  if (seq == EIGHT_SHORT) {
    out->groups = BlockSwitchGroup(out->flags, out->groupLen);
  } else {
    out->groups = 1;
    out->groupLen[0] = 1;
  }
  s->lastSequence = seq;
  s->prevAttack = allowShort ? attack : 0;
  for (int w = 0; w < TRANS_FAC; ++w) s->prevFlags[w] = allowShort ? flags[w] : 0;
}

void BlockSwitchSync(BlockSwitchState* a, BlockSwitchState* b, BlockSwitchResult* ra, BlockSwitchResult* rb) {
  const int seq = Rank(ra->sequence) >= Rank(rb->sequence) ? ra->sequence : rb->sequence;
  ra->sequence = rb->sequence = seq;
  a->lastSequence = b->lastSequence = seq;
  if (seq == EIGHT_SHORT) {
    for (int w = 0; w < TRANS_FAC; ++w) ra->flags[w] = rb->flags[w] = (ra->flags[w] || rb->flags[w]) ? 1 : 0;
    ra->groups = BlockSwitchGroup(ra->flags, ra->groupLen);
    rb->groups = ra->groups;
    for (int g = 0; g < ra->groups; ++g) rb->groupLen[g] = ra->groupLen[g];
  } else {
    ra->groups = rb->groups = 1;
    ra->groupLen[0] = rb->groupLen[0] = 1;
  }
}
