// Encoder creation and the per-frame driver (model, M/S, bit distribution,
// quantisation, frame writing), and the stream set-up used by the interface.
#ifndef TESSEL_CORE_AACENCIFC_H
#define TESSEL_CORE_AACENCIFC_H

#include <cstdint>

#include "core/cm_utils.h"
#include "core/errorhnd.h"

struct AacEncoder;   // opaque
struct ResamplerState;
struct UciStore;

struct AacEncConfig {
  int sampleRate;          // coding rate
  int bitrate;
  int frameLength;         // 1024
  int adts;                // 1 ADTS, 0 ADIF
  ChannelConfig channels;
};

struct AacEncInfo {
  float sampleRate;
  float bandwidth;
  int delay;               // samples of the encoder's look-ahead: one frame, 1024
  int maxOutputBytes;      // 768 per channel
  int bitrate;
};

// Creates an encoder; reads the options of every module from `options`
// (null: every option keeps its default) during creation only.
ErrorRecord* AacEncCreate(const AacEncConfig* cfg, UciStore* options, AacEncoder** enc, AacEncInfo* info);
// Encodes one frame: pcm holds frameLength samples per channel, interleaved
// in encoder channel order, 16-bit full scale. out needs maxOutputBytes.
ErrorRecord* AacEncEncodeFrame(AacEncoder* enc, const float* pcm, unsigned char* out, int* nBytes);
// The coding half alone: M/S, bit distribution, quantisation and frame
// writing for a model output (modified in place). AacEncEncodeFrame runs the
// model and then this.
struct PsyOut;
ErrorRecord* AacEncCodeFrame(AacEncoder* enc, PsyOut* psy, unsigned char* out, int* nBytes);
void AacEncDestroy(AacEncoder* enc);

// Stream parameters of a run.
struct StreamParams {
  uint16_t channels;
  uint16_t bitsPerSample;
  uint32_t inputRate;
  uint32_t codingRate;
  uint32_t bitrate;
  uint16_t streamFormat;
  uint16_t bandwidth;
  uint16_t channelOrder;
};

// Everything a run owns besides the interface object. Runs share nothing:
// two runs may encode at the same time on two threads.
struct AacRun {
  AacEncoder* encoder;
  ResamplerState* converter;
  int channelMap[PSY_MAX_CHANNELS];
  int delay;               // decoder output lags the input by this many samples (coding rate)
  int configNumber;
  int maxOutputBytes;
  int streamType;          // 1 ADTS, 0 ADIF (settings record)
  ChannelConfig config;
  float resampled[PSY_MAX_CHANNELS * 1024];  // converter output of the frame
  float mapped[PSY_MAX_CHANNELS * 1024];     // the frame in encoder channel order
};

// An option set by name for a run (tools and tests; the interface sets none).
struct AacOption {
  const char* name;
  const char* value;
};

// The option store of one run: created from the word list (argc/argv, empty
// from the interface), then "eah" and "rpmin" as the parameter set asks,
// then the extra options. Fails with "uci failure" when the store cannot be
// made or filled; *store is then null.
ErrorRecord* AacRunOptionsCreate(int argc, const char* const* argv, const ParameterSet* row, const AacOption* extra,
                                 int nExtra, UciStore** store);

enum SetupCode {
  SETUP_OK = 0,
  SETUP_ENCODER_FAILED = 1,
  SETUP_BAD_RATE = 5,
  SETUP_BAD_BITS = 7,
  SETUP_BAD_BITRATE = 10,
  SETUP_BAD_STREAM_FORMAT = 12,
  SETUP_BAD_CHANNEL_ORDER = 14,
  SETUP_BAD_CHANNELS = 21,
  SETUP_NO_CONVERTER = 22,
  SETUP_BITRATE_TOO_LOW = 26,
  SETUP_BITRATE_TOO_HIGH = 27
};

// Checks the parameters, picks the parameter set, creates encoder and
// converter; completes sp. Returns a SetupCode; on failure run is empty.
// `extra` options (may be null) are set in the run's option store.
int AacSetupStream(StreamParams* sp, AacRun* run, const AacOption* extra = nullptr, int nExtra = 0);
void AacTeardownStream(AacRun* run);
// Input samples (all channels) the next frame needs.
int AacRunInputSamples(const AacRun* run);
// Encodes one frame of input samples (interleaved input order): converts
// the rate when needed and maps the channels. out needs run->maxOutputBytes.
ErrorRecord* AacRunEncodeFrame(AacRun* run, const float* input, unsigned char* out, int* nBytes);

#endif
