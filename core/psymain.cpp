#include "core/psymain.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "core/aac_rom.h"
#include "core/ms_chan.h"
#include "core/psy_chan.h"
#include "core/psy_conf.h"
#include "core/uci.h"

namespace {

// Short windows pay off only above this bitrate per channel.
constexpr int kShortWindowBitrate = 37000;

}  // namespace

struct PsyKernel {
  int nChannels;
  int sampleRate;
  int bitrate;
  int nElements;
  PsyElement elements[PSY_MAX_ELEMENTS];
  int bandwidthHz;
  int allowShort;
  int windowShape;  // one shape for the whole stream
  PsyConfiguration* cfgLong;
  PsyConfiguration* cfgShort;
  PsyChannelSettings settings;
  Filterbank* fb;
  PsyChannel channel[PSY_MAX_CHANNELS];
  BlockSwitchResult sw[PSY_MAX_CHANNELS];
  float scratch[FRAME_LEN_LONG];
  float logEnergy[TRANS_FAC][MAX_SFB_SHORT];
};

ErrorRecord* PsyLookupBandwidth(int nChannels, int sampleRate, int bitratePerChannel, int* bandwidthHz) {
  return PsyBandwidthLookup(nChannels, sampleRate, bitratePerChannel, bandwidthHz);
}

void PsyDestroy(PsyKernel* k) {
  if (!k) return;
  for (PsyChannel& ch : k->channel) PsyChannelDestroy(&ch);
  FilterbankDestroy(k->fb);
  delete k->cfgLong;
  delete k->cfgShort;
  delete k;
}

namespace {

ErrorRecord* CheckElements(const PsyInit* init) {
  if (init->nElements < 1 || init->nElements > PSY_MAX_ELEMENTS || !init->elements) {
    return ERROR_NEW("PsyCreate", "invalid procedure parameters");
  }
  int used[PSY_MAX_CHANNELS] = {0};
  for (int i = 0; i < init->nElements; ++i) {
    const PsyElement& el = init->elements[i];
    const int n = el.type == ID_CPE ? 2 : 1;
    if (el.type != ID_SCE && el.type != ID_CPE && el.type != ID_LFE) {
      return ERROR_NEW("PsyCreate", "invalid procedure parameters");
    }
    if (el.type == ID_CPE && (el.commonWindowMode < 0 || el.commonWindowMode > 2)) {
      return ERROR_NEW("PsyCreate", "unsupported commonWindowMode");
    }
    for (int c = 0; c < n; ++c) {
      if (el.channel[c] < 0 || el.channel[c] >= init->nChannels || used[el.channel[c]]++) {
        return ERROR_NEW("PsyCreate", "invalid procedure parameters");
      }
    }
  }
  return nullptr;
}

}  // namespace

ErrorRecord* PsyCreate(const PsyInit* init, PsyKernel** kernel) {
  if (!kernel || !init) return ERROR_NEW("PsyCreate", "null pointer");
  *kernel = nullptr;
  if (init->nChannels > PSY_MAX_CHANNELS) return ERROR_NEW("PsyCreate", "number of channels too large");
  if (init->nChannels < 1 || init->frameLength != FRAME_LEN_LONG || init->bitrate <= 0) {
    return ERROR_NEW("PsyCreate", "invalid procedure parameters");
  }
  if (!AacFindRate(init->sampleRate)) return ERROR_NEW("PsyCreate", "error initializing sfbParam");
  ErrorRecord* e = CheckElements(init);
  if (e) return e;

  const int perChannel = init->bitrate / init->nChannels;
  int bandwidth = 0;
  e = PsyBandwidthLookup(init->nChannels, init->sampleRate, perChannel, &bandwidth);
  if (e) return ERROR_PASS(e, "PsyCreate");

  PsyKernel* k = new (std::nothrow) PsyKernel{};
  if (!k) return ERROR_NEW("PsyCreate", "out of memory");
  k->nChannels = init->nChannels;
  k->sampleRate = init->sampleRate;
  k->bitrate = init->bitrate;
  k->nElements = init->nElements;
  std::memcpy(k->elements, init->elements, sizeof(PsyElement) * size_t(init->nElements));
  k->bandwidthHz = bandwidth;
  k->allowShort = init->bitrate > kShortWindowBitrate * init->nChannels;
  // The Kaiser-Bessel-derived window at every rate: its far side lobes fall
  // much faster than the sine window's, so a strong line's leakage (and the
  // noise of coding it) stays near the line instead of spreading over the
  // quiet parts of the spectrum; in time it is more compact, which holds an
  // onset's noise closer to the onset. Measured by the perceptual grade on
  // tones, orchestral and electronic music it is the better shape here.
  k->windowShape = KBD_WINDOW;
  k->cfgLong = new (std::nothrow) PsyConfiguration{};
  k->cfgShort = new (std::nothrow) PsyConfiguration{};
  if (!k->cfgLong || !k->cfgShort) {
    PsyDestroy(k);
    return ERROR_NEW("PsyCreate", "out of memory");
  }
  const int mono = init->nChannels == 1;
  e = PsyConfigure(init->sampleRate, perChannel, mono, 0, bandwidth, k->cfgLong);
  if (!e) e = PsyConfigure(init->sampleRate, perChannel, mono, 1, bandwidth, k->cfgShort);
  if (e) {
    PsyDestroy(k);
    return ERROR_PASS(e, "PsyCreate");
  }

  // Tuning options (only when a store exists; absent options keep defaults).
  int lpAdjust = 0, noBmax = 0;
  float rpmin = k->cfgLong->thr.rpmin;
  if (init->options) {
    UciReadFlag(init->options, "lp-adjust", "enable adjustment of lowpass frequency",
                "the lowpass frequencies for short and long are adjustedto the nearest sfb-border", &lpAdjust);
    UciReadFlag(init->options, "nobmax", "disable bmax", "the bmax values for short and long are set to 0", &noBmax);
    UciReadFloats(init->options, "rpmin", 1, 0.0f, 1.0f, "maximum preecho control impact (long blocks)", " ", &rpmin);
  }
  if (lpAdjust) {
    for (PsyConfiguration* c : {k->cfgLong, k->cfgShort}) {
      c->bandwidthLine = PsyAdjustLowpass(c->bandwidthLine, c->sfbCnt, c->sfbOffset);
    }
  }
  if (noBmax) k->cfgLong->bmax = k->cfgShort->bmax = 0;
  k->settings.cfgLong = k->cfgLong;
  k->settings.cfgShort = k->cfgShort;
  k->settings.rpmin = rpmin;
  k->settings.maxSfbLong = k->cfgLong->bmax;
  k->settings.maxSfbShort = k->cfgShort->bmax;
  k->settings.tnsCoefRes = init->tnsCoefRes;

  e = FilterbankCreate(&k->fb);
  for (int c = 0; c < k->nChannels && !e; ++c) {
    e = PsyChannelCreate(&k->channel[c], k->cfgLong->rateClass, k->cfgLong, k->cfgShort);
    k->channel[c].lastShape = k->windowShape;
  }
  if (e) {
    PsyDestroy(k);
    return ERROR_PASS(e, "PsyCreate");
  }
  for (int i = 0; i < k->nElements; ++i) {
    const PsyElement& el = k->elements[i];
    const int n = el.type == ID_CPE ? 2 : 1;
    for (int c = 0; c < n; ++c) {
      PsyChannel& ch = k->channel[el.channel[c]];
      ch.isLfe = el.type == ID_LFE;
      ch.tnsOn = (el.tools & TOOL_TNS) && !ch.isLfe;
    }
  }
  *kernel = k;
  return nullptr;
}

ErrorRecord* PsyProcess(PsyKernel* k, const float* pcm, int allowShort, PsyOut* out) {
  if (!k || !pcm || !out) return ERROR_NEW("PsyProcess", "null pointer");
  const int n = k->nChannels;
  out->nChannels = n;
  out->nElements = k->nElements;
  for (int c = 0; c < n; ++c) {
    PsyChannel& ch = k->channel[c];
    FloatFifoPush(ch.history, pcm + c, FRAME_LEN_LONG, n);
    const int shortOk = allowShort && k->allowShort && !ch.isLfe;
    if (shortOk) {
      PsyChannelLookaheadEnergies(&ch, k->fb, k->cfgShort, k->logEnergy, k->scratch);
      BlockSwitchFrame(&ch.sw, ch.history->data + PSY_LOOKAHEAD_START, 1, shortOk, &k->sw[c], &ch.store,
                       k->logEnergy);
    } else {
      BlockSwitchFrame(&ch.sw, ch.history->data + PSY_LOOKAHEAD_START, 1, shortOk, &k->sw[c]);
    }
  }
  for (int i = 0; i < k->nElements; ++i) {
    const PsyElement& el = k->elements[i];
    if (el.type == ID_CPE && el.commonWindowMode == 2) {
      const int a = el.channel[0], b = el.channel[1];
      BlockSwitchSync(&k->channel[a].sw, &k->channel[b].sw, &k->sw[a], &k->sw[b]);
    }
  }
  for (int c = 0; c < n; ++c) {
    const BlockSwitchResult& r = k->sw[c];
    ErrorRecord* e = PsyChannelProcess(&k->channel[c], &k->settings, k->fb, r.sequence, k->windowShape, r.groups,
                                       r.groupLen, &out->channel[c]);
    if (e) return ERROR_PASS(e, "PsyProcess");
  }
  for (int i = 0; i < k->nElements; ++i) {
    const PsyElement& el = k->elements[i];
    PsyOutElement& oe = out->element[i];
    oe.type = el.type;
    oe.instanceTag = el.instanceTag;
    oe.nChannels = el.type == ID_CPE ? 2 : 1;
    oe.channel[0] = el.channel[0];
    oe.channel[1] = el.type == ID_CPE ? el.channel[1] : -1;
    PsyOutPair& pair = oe.pair;
    pair.valid = 0;
    pair.commonWindow = 0;
    pair.channel[0] = oe.channel[0];
    pair.channel[1] = oe.channel[1];
    std::memset(pair.msUsed, 0, sizeof pair.msUsed);
    if (el.type != ID_CPE) continue;
    const PsyOutChannel& l = out->channel[el.channel[0]];
    const PsyOutChannel& r = out->channel[el.channel[1]];
    bool same = el.commonWindowMode != 0 && l.windowSequence == r.windowSequence &&
                l.windowShape == r.windowShape && l.groups == r.groups;
    for (int g = 0; same && g < l.groups; ++g) same = l.groupLen[g] == r.groupLen[g];
    pair.commonWindow = same ? 1 : 0;
    if (same && (el.tools & TOOL_MS)) {
      ErrorRecord* e = MsComputePair(&l, &r, &pair);
      if (e) return ERROR_PASS(e, "PsyProcess");
    }
  }
  return nullptr;
}

float PsyGetBandwidth(const PsyKernel* k) { return k ? float(k->bandwidthHz) : 0.0f; }

int PsyGetBandwidthLine(const PsyKernel* k, int shortBlock) {
  if (!k) return 0;
  return shortBlock ? k->cfgShort->bandwidthLine : k->cfgLong->bandwidthLine;
}

int PsyGetSampleRate(const PsyKernel* k) { return k ? k->sampleRate : 0; }
