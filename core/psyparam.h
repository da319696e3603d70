// Parameter records of the model that depend on rate and bitrate: temporal
// noise shaping settings and the threshold parameter sets.
#ifndef TESSEL_CORE_PSYPARAM_H
#define TESSEL_CORE_PSYPARAM_H

#include "core/errorhnd.h"

struct TnsParams {
  int maxOrder;          // 12 long, 7 short
  float gainOn;          // 1.41: switch the filter on at this prediction gain
  float gainFine;        // 2.5: above it 4-bit coefficients
  float analysisLowHz;   // 2500 long, 3750 short
  float analysisHighHz;  // 16000
  float filterLowHz;     // 1275 long, 2750 short
  int tnsMaxBand;        // highest band (exclusive) of the coding rate
  // From the bitrate table.
  int tableValue0;       // first integer of the bitrate row (carried)
  int tableValue1;       // second integer of the bitrate row (carried)
  float lagWidth;        // lag-window width of this block type
  float lagWindow[32];   // exp(-0.5 (c (i + 0.5))^2)
  // Long blocks are filtered only when their window holds an onset: a
  // segment this many dB above a quieter one before it (0: always).
  float onsetDb;
  // Thresholds of the filtered bands are lowered by the noise gain of the
  // decoder's synthesis filter (1), or left as analysed (0).
  int noiseGainHeld;
};

// Fills the TNS record of a block type (shortBlock 0/1) for a coding rate,
// bitrate per channel and layout (mono 1 or other 0).
ErrorRecord* PsyGetTnsParams(int sampleRate, int bitratePerChannel, int mono, int shortBlock, TnsParams* out);

// Threshold parameter set of a bitrate per channel.
struct ThrParams {
  float rpmin;          // pre-echo control: threshold never below rpmin x own threshold
  float rpelev;         // allowed rise over the previous block's threshold (long blocks)
  float tonalSnrDb;     // required SNR of a tonal partition (dB, plus a Bark-dependent part)
  float noiseSnrDb;     // required SNR of a noise-like partition (dB)
  float lowBoostDb;     // added to the required SNR at 0 Bark, falling linearly to 0 at 24 Bark
  float hfQuietRiseDb;  // threshold in quiet raised by this many dB per Bark above 21 Bark (about 8 kHz)
  float tonalBarkDb;    // added to tonalSnrDb per Bark of the partition
};

ErrorRecord* PsyGetThrParams(int bitratePerChannel, ThrParams* out);

// "GetPsyBlockParam": block parameters of a block type: lines and the slopes
// of the spreading function (dB per Bark towards higher and lower partitions).
struct PsyBlockParams {
  int lines;
  float slopeUp;
  float slopeDown;
};
ErrorRecord* GetPsyBlockParam(int shortBlock, PsyBlockParams* out);

#endif
