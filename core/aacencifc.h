// Encoder creation and the per-frame driver (model, M/S, bit distribution,
// quantisation, frame writing), and the stream set-up used by the interface.
#ifndef TESSEL_CORE_AACENCIFC_H
#define TESSEL_CORE_AACENCIFC_H

#include <cstdint>

#include "core/cm_utils.h"
#include "core/errorhnd.h"

struct AacEncoder;   // opaque
struct ResamplerState;

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
  int delay;               // frame length + 1/16: 1088
  int maxOutputBytes;      // 768 per channel
  int bitrate;
};

// Creates an encoder; reads the options of every module from the option
// store (when one exists) during creation.
ErrorRecord* AacEncCreate(const AacEncConfig* cfg, AacEncoder** enc, AacEncInfo* info);
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

// Everything a run owns besides the interface object.
struct AacRun {
  AacEncoder* encoder;
  ResamplerState* converter;
  int channelMap[PSY_MAX_CHANNELS];
  int delay;
  int configNumber;
  int maxOutputBytes;
  int streamType;          // 1 ADTS, 0 ADIF (settings record)
  ChannelConfig config;
};

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
int AacSetupStream(StreamParams* sp, AacRun* run);
void AacTeardownStream(AacRun* run);
// Input samples (all channels) the next frame needs.
int AacRunInputSamples(const AacRun* run);
// Encodes one frame of input samples (interleaved input order): maps the
// channels, converts the rate when needed. scratch holds channels x 1024.
ErrorRecord* AacRunEncodeFrame(AacRun* run, const float* input, float* scratch, unsigned char* out, int* nBytes);

#endif
