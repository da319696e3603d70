// Configuration of the model, built once per encoder and block type.
#ifndef TESSEL_CORE_PSY_CONF_H
#define TESSEL_CORE_PSY_CONF_H

#include "core/cb_param.h"
#include "core/errorhnd.h"
#include "core/psyconst.h"
#include "core/psyparam.h"

struct PsyConfiguration {
  int sampleRate;
  int bitratePerChannel;
  int lines;                         // 1024 or 128
  int sfbCnt;
  int sfbOffset[MAX_SFB_LONG + 1];
  int bandwidthLine;                 // first line above the bandwidth
  int bmax;                          // bands inside the bandwidth (0: no limit)
  int rateClass;                     // 0 above 24000 Hz, 1 above 12000 Hz, else 2
  PsyPartitions parts;
  float spreading[MAX_CB * MAX_CB];  // [target * count + source], column-normalised
  short spreadFirst[MAX_CB];         // per target: first and one past the last source
  short spreadEnd[MAX_CB];           // with a non-zero weight
  PsyBlockParams block;
  TnsParams tns;
  ThrParams thr;
};

// The bandwidth table: layout by channel count, rate and bitrate per channel.
ErrorRecord* PsyBandwidthLookup(int nChannels, int sampleRate, int bitratePerChannel, int* bandwidthHz);

// Builds a block type's configuration; bandwidthHz from the table above.
ErrorRecord* PsyConfigure(int sampleRate, int bitratePerChannel, int mono, int shortBlock, int bandwidthHz,
                          PsyConfiguration* out);

// The "lp-adjust" refinement: moves the line to the nearest band border
// within 2.5 % (first choice) or 5 % (second) of it.
int PsyAdjustLowpass(int line, int sfbCnt, const int* sfbOffset);

int PsyRateClass(int sampleRate);

#endif
