#include "core/psy_chan.h"

#include <cmath>
#include <cstring>

#include "core/cod_chan.h"
#include "core/de_psych.h"
#include "core/thr_chan.h"

namespace {

// Lines an LFE channel keeps (0..12).
constexpr int kLfeLines = 13;
// The spectral variation weight of short blocks.
constexpr float kShortWeight = 0.5f;

}  // namespace

ErrorRecord* PsyChannelCreate(PsyChannel* ch, int rateClass, const PsyConfiguration* cfgLong,
                              const PsyConfiguration* cfgShort) {
  std::memset(ch, 0, sizeof *ch);
  ErrorRecord* e = CreateFloatFifoBuffer(PSY_HISTORY, 0.0f, &ch->history);
  if (e) return ERROR_PASS(e, "PsyChannelCreate");
  float quiet[MAX_SFB_LONG];
  ThrPartitionsToBands(cfgShort, cfgShort->parts.qsthr, quiet);
  e = BlockEnergyStoreCreate(&ch->store, cfgShort->sfbCnt, quiet);
  if (e) return ERROR_PASS(e, "PsyChannelCreate");
  BlockSwitchInit(&ch->sw, rateClass);
  ch->lastShape = SINE_WINDOW;
  ch->lastSequence = ONLY_LONG;
  for (int i = 0; i < cfgLong->parts.count; ++i) ch->prevThrLong[i] = cfgLong->parts.qsthr[i];
  return nullptr;
}

void PsyChannelDestroy(PsyChannel* ch) {
  DestroyFloatFifoBuffer(ch->history);
  ch->history = nullptr;
  BlockEnergyStoreDestroy(&ch->store);
}

void PsyChannelLookaheadEnergies(PsyChannel* ch, Filterbank* fb, const PsyConfiguration* cfgShort,
                                 float logEnergy[TRANS_FAC][MAX_SFB_SHORT], float* scratch) {
  // The next frame's transform covers history[1024, 3072).
  ErrorRecord* e = FilterbankForward(fb, EIGHT_SHORT, SINE_WINDOW, SINE_WINDOW, ch->history->data + FRAME_LEN_LONG,
                                     scratch);
  ErrorFree(e);  // fixed, valid arguments: cannot fail
  for (int w = 0; w < TRANS_FAC; ++w) {
    float energy[MAX_SFB_LONG];
    ThrBandEnergies(cfgShort, scratch + w * FRAME_LEN_SHORT, energy);
    for (int b = 0; b < cfgShort->sfbCnt && b < MAX_SFB_SHORT; ++b) {
      logEnergy[w][b] = energy[b] > 0.0f ? 10.0f * std::log10(energy[b]) : -130.0f;
    }
  }
}

ErrorRecord* PsyChannelProcess(PsyChannel* ch, const PsyChannelSettings* set, Filterbank* fb, int sequence,
                               int shape, int groups, const int* groupLen, PsyOutChannel* out) {
  if (ch->isLfe && sequence != ONLY_LONG) return ERROR_NEW("PsyChannelProcess", "encoder error: LFE must be long window");
  ErrorRecord* e = FilterbankForward(fb, sequence, ch->lastShape, shape, ch->history->data, ch->spectrum);
  if (e) return ERROR_PASS(e, "PsyChannelProcess");
  const bool shortBlock = sequence == EIGHT_SHORT;
  const PsyConfiguration* cfg = shortBlock ? set->cfgShort : set->cfgLong;
  out->windowSequence = sequence;
  out->windowShape = shape;
  out->lastWindowSequence = ch->lastSequence;
  out->isLfe = ch->isLfe;
  PsyOutLayout(cfg, shortBlock, groups, groupLen, out);
  std::memcpy(out->spectrum, ch->spectrum, sizeof out->spectrum);
  std::memset(&out->tns, 0, sizeof out->tns);
  out->tns.numWindows = shortBlock ? TRANS_FAC : 1;

  // Per window: thresholds from the unfiltered spectrum, then TNS, then energies.
  const int windows = shortBlock ? TRANS_FAC : 1;
  float winEnergy[TRANS_FAC][MAX_SFB_LONG];
  float winThr[TRANS_FAC][MAX_SFB_LONG];
  float winSpread[TRANS_FAC][MAX_SFB_LONG];
  const float weight = shortBlock ? kShortWeight : ThrSpectralVariation(out->spectrum, &ch->varC);
  out->spectralVariation = weight;
  int lowpass = cfg->bandwidthLine;
  if (ch->isLfe && lowpass > kLfeLines) lowpass = kLfeLines;
  out->lowpassLine = lowpass;
  const bool tnsHere = ch->tnsOn && !ch->isLfe &&
                       (cfg->tns.onsetDb <= 0.0f || TnsOnsetDb(ch->history->data, 2 * FRAME_LEN_LONG) >= cfg->tns.onsetDb);
  for (int w = 0; w < windows; ++w) {
    float* x = out->spectrum + w * cfg->lines;
    for (int k = lowpass; k < cfg->lines; ++k) x[k] = 0.0f;
    ThrBlockResult thr;
    ThrComputeBlock(cfg, x, weight, shortBlock ? nullptr : ch->prevThrLong, set->rpmin, &thr);
    ThrPartitionsToBands(cfg, thr.partThr, winThr[w]);
    ThrPartitionsToBands(cfg, thr.partSpread, winSpread[w]);
    if (tnsHere) {
      const TnsWindowData& tw = out->tns.window[w];
      TnsProcessBlock(cfg, shortBlock, set->tnsCoefRes, x, &out->tns.window[w]);
      if (tw.numFilters) out->tns.present = 1;
      // The quantiser works on the filtered lines; the noise it leaves there
      // grows by the synthesis filter's gain in the decoder, so the filtered
      // bands' thresholds are lowered by that gain to keep the decoded noise
      // where the model put it.
      if (tw.numFilters && cfg->tns.noiseGainHeld) {
        float gain[MAX_SFB_LONG];
        TnsNoiseGains(&tw, cfg->sfbOffset, gain);
        for (int b = tw.startBand; b < tw.stopBand; ++b) winThr[w][b] /= gain[b];
      }
    }
    ThrBandEnergies(cfg, x, winEnergy[w]);
  }
  // Band values per group: sums over the group's windows.
  int window = 0;
  for (int g = 0; g < out->groups; ++g) {
    for (int b = 0; b < cfg->sfbCnt; ++b) {
      double en = 0.0, th = 0.0, sp = 0.0;
      for (int w = window; w < window + out->groupLen[g]; ++w) {
        en += winEnergy[w][b];
        th += winThr[w][b];
        sp += winSpread[w][b];
      }
      const int i = g * cfg->sfbCnt + b;
      out->sfbEnergy[i] = float(en);
      out->sfbThreshold[i] = float(th);
      out->sfbSpreadEnergy[i] = float(sp);
    }
    window += out->groupLen[g];
  }
  // Bands the quantiser may code.
  int maxSfb = shortBlock ? set->maxSfbShort : set->maxSfbLong;
  if (maxSfb <= 0 || maxSfb > cfg->sfbCnt) maxSfb = cfg->sfbCnt;
  int lowpassBands = 0;
  for (int b = 0; b < cfg->sfbCnt; ++b) {
    if (cfg->sfbOffset[b] < lowpass) lowpassBands = b + 1;
  }
  if (maxSfb > lowpassBands) maxSfb = lowpassBands;
  out->maxSfbPerGroup = maxSfb;
  PsyOutGroupSpectrum(cfg, out);
  float pe = 0.0f;
  int coded = 0;
  for (int i = 0; i < out->sfbCnt; ++i) {
    const int lines = out->sfbOffsets[i + 1] - out->sfbOffsets[i];
    out->sfbPe[i] = PeBand(out->sfbEnergy[i], out->sfbThreshold[i], lines);
    if (out->sfbPe[i] > 0.0f) ++coded;
    pe += out->sfbPe[i];
  }
  out->pe = pe + PeSideBits(coded);
  ch->lastShape = shape;
  ch->lastSequence = sequence;
  return nullptr;
}
