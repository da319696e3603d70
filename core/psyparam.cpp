#include "core/psyparam.h"

#include <cmath>

#include "core/aac_rom.h"

namespace {

struct TnsRateRow {
  int minBitrate, maxBitrate;
  int v0, v1;
  float lagLong, lagShort;
};

const TnsRateRow kTnsMono[] = {
    {4000, 12000, 0, 1, 0.6f, 0.6f},   {12001, 17999, 1, 1, 0.6f, 0.6f}, {18000, 28000, 0, 1, 0.5f, 0.5f},
    {28001, 36000, 0, 3, 0.8f, 0.3f},  {36001, 52000, 0, 3, 0.5f, 0.1f}, {52001, 320000, 0, 3, 0.3f, 0.1f},
};
const TnsRateRow kTnsOther[] = {
    {4000, 12000, 0, 1, 0.6f, 0.6f},   {12001, 17999, 1, 1, 0.6f, 0.6f}, {18000, 28000, 0, 1, 0.5f, 0.5f},
    {28001, 36000, 0, 3, 0.5f, 0.3f},  {36001, 52000, 0, 3, 0.5f, 0.1f}, {52001, 320000, 0, 3, 0.3f, 0.1f},
};

}  // namespace

ErrorRecord* PsyGetTnsParams(int sampleRate, int bitratePerChannel, int mono, int shortBlock, TnsParams* out) {
  if (!out) return ERROR_NEW("PsyGetTnsParams", "null pointer");
  const AacRateTable* rate = AacFindRate(sampleRate);
  if (!rate) return ERROR_NEW("PsyGetTnsParams", "wrong samplerate");
  out->maxOrder = shortBlock ? 7 : 12;
  out->gainOn = 1.41f;
  out->gainFine = 2.5f;
  out->analysisLowHz = shortBlock ? 3750.0f : 2500.0f;
  out->analysisHighHz = 16000.0f;
  out->filterLowHz = shortBlock ? 2750.0f : 1275.0f;
  out->tnsMaxBand = shortBlock ? rate->tnsMaxBandsShort : rate->tnsMaxBandsLong;
  const TnsRateRow* rows = mono ? kTnsMono : kTnsOther;
  const TnsRateRow* row = nullptr;
  for (int i = 0; i < 6; ++i) {
    if (bitratePerChannel >= rows[i].minBitrate && bitratePerChannel <= rows[i].maxBitrate) row = &rows[i];
  }
  if (!row) row = bitratePerChannel < 4000 ? &rows[0] : &rows[5];
  out->tableValue0 = row->v0;
  out->tableValue1 = row->v1;
  out->lagWidth = shortBlock ? row->lagShort : row->lagLong;
  // With short windows at hand (the rates from 40000 per channel up), a
  // long block's filter pays off only where the window holds an onset: on
  // steady pulse trains (voiced speech, strummed chords) it only moves the
  // noise within a block that masks it anyway, and the filter's noise gain
  // costs bits. Below, long blocks carry every onset and keep the filter
  // whenever it predicts.
  const bool shortWindowRates = bitratePerChannel >= 40000;
  out->onsetDb = shortBlock || !shortWindowRates ? 0.0f : 14.0f;
  out->noiseGainHeld = shortWindowRates ? 1 : 0;
  const int lines = shortBlock ? 128 : 1024;
  const double c = sampleRate * double(out->lagWidth) * 0.003141593 / lines;
  for (int i = 0; i < 32; ++i) {
    const double x = c * (i + 0.5);
    out->lagWindow[i] = float(std::exp(-0.5 * x * x));
  }
  return nullptr;
}

ErrorRecord* PsyGetThrParams(int bitratePerChannel, ThrParams* out) {
  if (!out) return ERROR_NEW("PsyGetThrParams", "null pointer");
  if (bitratePerChannel <= 0) return ERROR_NEW("PsyGetThrParams", "invalid function parameter");
  // Lower rates cannot pay for high SNRs. From 24000 up to 37000 per
  // channel only long windows are used, so pre-echo can be fought only
  // through the threshold: an onset block's threshold may be pulled down to
  // 1.3 times the previous block's, by up to 30 dB, which draws bits from
  // the reservoir into the onset. Noise-like parts get a required SNR close
  // to tonal parts': measured, a wide tonal/noise gap starves noisy bands.
  //
  // The masking the spreading predicts in the low partitions is computed
  // over a whole block, while bass notes and kicks change within it, and one
  // partition there spans several of the ear's much narrower low bands: the
  // noise the model allows there is heard. Every set therefore asks for more
  // SNR the lower the partition, 22 dB more at the bottom of the Bark scale.
  //
  // Below 40000 per channel the bits do not stretch to the whole bandwidth
  // on dense music: spread over it, every band is coded coarsely and the
  // top bands come and go between frames. The threshold in quiet of those
  // sets rises by 30 dB per Bark above 21 Bark (about 8 kHz), so that only
  // loud content up there is still coded and the bits go below it. The
  // stream's bandwidth stays what the table says. Measured at 64000 bit/s
  // stereo, every item of both bench corpora graded better.
  //
  // From 40000 per channel up a tonal partition's required SNR is the same
  // at every Bark: the extra SNR asked of high tonal partitions coded their
  // noise-like neighbours coarser than the ear allows (measured on both
  // corpora at 96000, 128000 and 256000 bit/s stereo).
  if (bitratePerChannel < 24000) {
    *out = ThrParams{0.6f, 2.0f, 12.0f, 3.0f, 22.0f, 30.0f, 0.5f};
  } else if (bitratePerChannel < 40000) {
    *out = ThrParams{0.001f, 1.3f, 15.0f, 12.0f, 22.0f, 30.0f, 0.5f};
  } else if (bitratePerChannel < 64000) {
    *out = ThrParams{0.3f, 2.0f, 18.0f, 5.0f, 22.0f, 0.0f, 0.0f};
  } else {
    *out = ThrParams{0.2f, 2.0f, 21.0f, 12.0f, 22.0f, 0.0f, 0.0f};
  }
  return nullptr;
}

ErrorRecord* GetPsyBlockParam(int shortBlock, PsyBlockParams* out) {
  if (!out) return ERROR_NEW("GetPsyBlockParam", "null pointer");
  if (shortBlock != 0 && shortBlock != 1) return ERROR_NEW("GetPsyBlockParam", "invalid block type parameter");
  // Two-slope spreading in Bark: masking reaches further upwards than downwards.
  if (shortBlock) {
    *out = PsyBlockParams{128, 20.0f, 30.0f};
  } else {
    *out = PsyBlockParams{1024, 15.0f, 27.0f};
  }
  return nullptr;
}
