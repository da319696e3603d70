// The sample-rate converter in front of the encoder: turns blocks of
// interleaved input samples into exactly 1024 output samples per channel at
// the coding rate, low-pass filtered at the encoder's bandwidth.
//
//   ResamplerState* rs = nullptr;
//   int rc = ResamplerCreate(44100, 32000, 2, 2 * 1024, bandwidthHz, &rs);
//   per frame:
//     int need = ResamplerInputSamplesNeeded(rs);     // all channels together
//     ResamplerConvert(rs, in /* need samples */, out /* 2 * 1024 */);
//   ResamplerDestroy(rs);
//
// The filter is built once in ResamplerCreate; conversion never allocates.
#ifndef TESSEL_CORE_AACBL_API_H
#define TESSEL_CORE_AACBL_API_H

enum ResamplerResult {
  RESAMPLER_OK = 0,
  RESAMPLER_NO_MEMORY = -1,
  RESAMPLER_NO_TABLE_ROW = -3,   // the pair of rates is not in the conversion table
  RESAMPLER_BAD_ARGUMENT = -4    // channel count or frame length not usable
};

struct ResamplerState;   // opaque

// Looks up the rational factor up/down (L/M) of a pair of rates; returns 0
// when the pair is in the table, else RESAMPLER_NO_TABLE_ROW.
int ResamplerFactors(int inputRate, int outputRate, int* up, int* down);

// Creates a converter for `channels` interleaved channels. frameLength is
// channels x 1024 (the output samples of one call, all channels).
// bandwidthHz sets the cut-off. On failure *state is null and the result is
// RESAMPLER_NO_TABLE_ROW, RESAMPLER_NO_MEMORY or RESAMPLER_BAD_ARGUMENT.
int ResamplerCreate(int inputRate, int outputRate, int channels, int frameLength, float bandwidthHz,
                    ResamplerState** state);

// Input samples (all channels together) the next ResamplerConvert consumes.
int ResamplerInputSamplesNeeded(const ResamplerState* state);

// Converts exactly ResamplerInputSamplesNeeded() interleaved input samples
// into frameLength interleaved output samples. Returns the number of output
// samples written.
int ResamplerConvert(ResamplerState* state, const float* input, float* output);

// Filter delay in output samples: taps / down / 2 (integer division).
int ResamplerDelay(const ResamplerState* state);
// Number of prototype filter taps and the factors (for inspection/tests).
int ResamplerTaps(const ResamplerState* state);
const float* ResamplerCoefficients(const ResamplerState* state);
int ResamplerUp(const ResamplerState* state);
int ResamplerDown(const ResamplerState* state);

// Frees the converter (null is a no-op).
void ResamplerDestroy(ResamplerState* state);

#endif
