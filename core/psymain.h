// The per-frame driver of the filterbank and psychoacoustic model.
//
//   PsyKernel* psy = nullptr;
//   ErrorRecord* e = PsyCreate(&init, &psy);      // reads the uci options
//   ... per frame: e = PsyProcess(psy, pcm, allowShort, &out);
//   PsyDestroy(psy);
//
// Creation allocates everything; PsyProcess never allocates, never does I/O
// and fails only on inconsistent block types. The kernel is single-threaded.
#ifndef TESSEL_CORE_PSYMAIN_H
#define TESSEL_CORE_PSYMAIN_H

#include "core/errorhnd.h"
#include "core/psyconst.h"
#include "core/psyout.h"

struct UciStore;

// One syntactic element of the channel configuration.
struct PsyElement {
  int type;               // ID_SCE, ID_CPE or ID_LFE
  int instanceTag;
  int channel[2];         // encoder channel numbers (channel[1] for CPEs only)
  int tools;              // TOOL_TNS and/or TOOL_MS
  int commonWindowMode;   // CPE only: 0 independent windows, 1 common window when
                          // both channels decide alike, 2 always common (if one
                          // channel needs short windows both take them). Other
                          // values: "unsupported commonWindowMode".
};

struct PsyInit {
  int nChannels;          // 1..PSY_MAX_CHANNELS ("number of channels too large")
  int frameLength;        // must be 1024
  int sampleRate;         // coding rate in Hz (one of the twelve standard rates)
  int bitrate;            // total bits per second of all channels
  int nElements;          // entries of `elements`
  const PsyElement* elements;  // copied; encoder channel order as in the element list
  int tnsCoefRes;         // 0: automatic; 3 or 4 forces that TNS coefficient resolution
  UciStore* options;      // tuning options of the run, or null (defaults)
};

struct PsyKernel;   // opaque

// Creates the model. Reads the options "lp-adjust", "nobmax" and "rpmin"
// from init->options when it is given. On failure *kernel is null and the
// chain carries the reason ("invalid block type parameter",
// "error initializing sfbParam", "error initializing thrParam",
// "error initializing codParam: no parameter set found for this combination
// of bit rate, sample rate and channel mode", "MAX_CB too small",
// "out of memory", ...).
ErrorRecord* PsyCreate(const PsyInit* init, PsyKernel** kernel);

// Processes one frame. `pcm` holds 1024 samples per channel, interleaved in
// encoder channel order (pcm[i * nChannels + ch]), 16-bit full scale.
// `allowShort` 0 forces long windows. Short windows are used only when the
// bitrate is above 37000 x channels in any case. `out` is filled completely;
// it belongs to the caller and is large (about 100 KiB): keep it off small
// stacks. The transform of call k covers the input of calls k-2 and k-1
// (2048 samples); the samples of call k are the look-ahead of the block
// switching. A decoder's output therefore lags the input by 2048 samples.
ErrorRecord* PsyProcess(PsyKernel* kernel, const float* pcm, int allowShort, PsyOut* out);

// Frees the kernel (null is a no-op).
void PsyDestroy(PsyKernel* kernel);

// The audio bandwidth in Hz fixed at creation.
float PsyGetBandwidth(const PsyKernel* kernel);
// First spectral line above the bandwidth for long (1024 lines) and short
// (128 lines) blocks.
int PsyGetBandwidthLine(const PsyKernel* kernel, int shortBlock);
int PsyGetSampleRate(const PsyKernel* kernel);

// The bandwidth table alone: layout by channel count (1, 2, 5 or 6; other
// counts use the stereo entries), coding rate, bits per second per channel.
// Returns 0 and fills *bandwidthHz, or the codParam error.
ErrorRecord* PsyLookupBandwidth(int nChannels, int sampleRate, int bitratePerChannel, int* bandwidthHz);

#endif
