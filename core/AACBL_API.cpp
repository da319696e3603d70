// The sample-rate converter: a polyphase FIR for rational factors L/M.
//
// Layout for speed: the prototype filter is stored per phase, each phase's
// taps reversed and zero-padded to a multiple of 8, so one output sample is a
// forward dot product of two contiguous float arrays. Each channel keeps a
// linear history buffer (the last taps-1 samples, the surplus, the new block),
// rewound once per frame.
#include "core/AACBL_API.h"
#include "core/window.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct RateFactor {
  int in, out, up, down;
};

const RateFactor kFactors[] = {
    {8000, 8000, 1, 1},       {11025, 8000, 320, 441},  {11025, 11025, 1, 1},    {12000, 8000, 2, 3},
    {12000, 11025, 147, 160}, {12000, 12000, 1, 1},     {16000, 8000, 1, 2},     {16000, 11025, 441, 640},
    {16000, 12000, 3, 4},     {16000, 16000, 1, 1},     {22050, 8000, 160, 441}, {22050, 11025, 1, 2},
    {22050, 12000, 80, 147},  {22050, 16000, 320, 441}, {22050, 22050, 1, 1},    {24000, 8000, 1, 3},
    {24000, 11025, 147, 320}, {24000, 12000, 1, 2},     {24000, 16000, 2, 3},    {24000, 22050, 147, 160},
    {24000, 24000, 1, 1},     {32000, 8000, 1, 4},      {32000, 11025, 441, 1280}, {32000, 12000, 3, 8},
    {32000, 16000, 1, 2},     {32000, 22050, 441, 640}, {32000, 24000, 3, 4},    {32000, 32000, 1, 1},
    {44100, 8000, 80, 441},   {44100, 11025, 1, 4},     {44100, 12000, 40, 147}, {44100, 16000, 160, 441},
    {44100, 22050, 1, 2},     {44100, 24000, 80, 147},  {44100, 32000, 320, 441}, {44100, 44100, 1, 1},
    {44100, 48000, 480, 441}, {48000, 8000, 1, 6},      {48000, 11025, 147, 640}, {48000, 12000, 1, 4},
    {48000, 16000, 1, 3},     {48000, 22050, 147, 320}, {48000, 24000, 1, 2},    {48000, 32000, 2, 3},
    {48000, 44100, 147, 160}, {48000, 48000, 1, 1},
};

constexpr int kMaxChannels = 8;
constexpr int kOutputPerChannel = 1024;

typedef float V8 __attribute__((vector_size(32)));

// Dot product of n floats (n a multiple of 8).
inline float Dot(const float* __restrict a, const float* __restrict b, int n) {
  V8 acc = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < n; i += 8) {
    V8 va, vb;  // unaligned loads
    std::memcpy(&va, a + i, sizeof va);
    std::memcpy(&vb, b + i, sizeof vb);
    acc += va * vb;
  }
  return ((acc[0] + acc[4]) + (acc[2] + acc[6])) + ((acc[1] + acc[5]) + (acc[3] + acc[7]));
}

// One channel's output samples of a frame. Built for the baseline and for
// AVX2 processors; the loader picks the variant once, by the processor's
// capabilities. The picking runs while the program is being loaded, before
// ThreadSanitizer's runtime is up, so that build keeps the baseline alone.
#if defined(__SANITIZE_THREAD__)
#define TESSEL_PROCESSOR_VARIANTS
#else
#define TESSEL_PROCESSOR_VARIANTS __attribute__((target_clones("avx2", "default")))
#endif
TESSEL_PROCESSOR_VARIANTS void FilterChannel(const float* __restrict poly, int kp,
                                                                      const int* stepPos, const int* stepPhase,
                                                                      const float* b, int hist, float* out,
                                                                      int stride, int count) {
  for (int m = 0; m < count; ++m) {
    const float* taps = poly + size_t(stepPhase[m]) * size_t(kp);
    out[size_t(m) * size_t(stride)] = Dot(taps, b + stepPos[m] - hist, kp);
  }
}

}  // namespace

struct ResamplerState {
  int channels;
  int up, down;                 // L, M
  int frameLength;              // output samples per call, all channels
  int taps;                     // N
  float* proto;                 // N prototype taps (scaled)
  int tapsPerPhase;             // padded to a multiple of 8
  float* poly;                  // up x tapsPerPhase, reversed per phase
  int phase;                    // carried across frames
  int inPerFrame;               // ceil(M x 1024 / L)
  int surplus;                  // unconsumed input samples per channel
  int bufLen;
  float* buf[kMaxChannels];     // history (tapsPerPhase - 1) + surplus + new block
  int* stepPos;                 // per output sample of a frame: buffer index of the newest sample
  int* stepPhase;               //   and the phase
  int error;                    // 0 usable, -1 no memory, -3 no table row
};

int ResamplerFactors(int inputRate, int outputRate, int* up, int* down) {
  for (const RateFactor& f : kFactors) {
    if (f.in == inputRate && f.out == outputRate) {
      if (up) *up = f.up;
      if (down) *down = f.down;
      return RESAMPLER_OK;
    }
  }
  return RESAMPLER_NO_TABLE_ROW;
}

void ResamplerDestroy(ResamplerState* s) {
  if (!s) return;
  std::free(s->proto);
  std::free(s->poly);
  for (float* b : s->buf) std::free(b);
  std::free(s->stepPos);
  std::free(s->stepPhase);
  std::free(s);
}

int ResamplerCreate(int inputRate, int outputRate, int channels, int frameLength, float bandwidthHz,
                    ResamplerState** state) {
  if (!state) return RESAMPLER_BAD_ARGUMENT;
  *state = nullptr;
  int up = 0, down = 0;
  if (ResamplerFactors(inputRate, outputRate, &up, &down) != RESAMPLER_OK) return RESAMPLER_NO_TABLE_ROW;
  if (channels < 1 || channels > kMaxChannels || frameLength != channels * kOutputPerChannel) {
    return RESAMPLER_BAD_ARGUMENT;
  }
  ResamplerState* s = static_cast<ResamplerState*>(std::calloc(1, sizeof(ResamplerState)));
  if (!s) return RESAMPLER_NO_MEMORY;
  s->channels = channels;
  s->up = up;
  s->down = down;
  s->frameLength = frameLength;

  // Prototype: Kaiser-windowed sinc, 1 + floor(28 L in / out) taps.
  const double ratio = double(inputRate) / double(outputRate);
  s->taps = 1 + int(std::floor(28.0 * up * ratio + 1e-9));
  const int n = s->taps;
  const double fc = (bandwidthHz - 1722.259136212625 * outputRate / inputRate) / inputRate / up;
  s->proto = static_cast<float*>(std::malloc(sizeof(float) * size_t(n)));
  if (!s->proto) {
    ResamplerDestroy(s);
    return RESAMPLER_NO_MEMORY;
  }
  const double i0Beta = BesselI0(3.6);
  const float gain = float(up * 0.99);
  const double centre = (n - 1) / 2.0;
  for (int i = 0; i < n; ++i) {
    const double d = i - centre;
    double v;
    if (d == 0.0) {
      v = 2.0 * fc;
    } else {
      const double x = n > 1 ? std::fabs(2.0 * i - n + 1) / (n - 1) : 0.0;
      const double w = BesselI0(3.6 * std::sqrt(std::fmax(0.0, 1.0 - x * x))) / i0Beta;
      v = w * std::sin(6.2831852 * fc * d) * 0.31830989161357204 / d;
    }
    s->proto[i] = float(v) * gain;
  }

  // Polyphase split: phase p holds h[p], h[p + L], ... reversed and padded.
  const int k = (n + up - 1) / up;
  s->tapsPerPhase = (k + 7) / 8 * 8;
  const int kp = s->tapsPerPhase;
  s->poly = static_cast<float*>(std::calloc(size_t(up) * size_t(kp), sizeof(float)));
  s->inPerFrame = int((int64_t(down) * kOutputPerChannel + up - 1) / up);
  s->bufLen = kp - 1 + s->inPerFrame + 8;
  for (int c = 0; c < channels; ++c) {
    s->buf[c] = static_cast<float*>(std::calloc(size_t(s->bufLen), sizeof(float)));
  }
  s->stepPos = static_cast<int*>(std::malloc(sizeof(int) * kOutputPerChannel));
  s->stepPhase = static_cast<int*>(std::malloc(sizeof(int) * kOutputPerChannel));
  bool ok = s->poly && s->stepPos && s->stepPhase;
  for (int c = 0; c < channels; ++c) ok = ok && s->buf[c];
  if (!ok) {
    ResamplerDestroy(s);
    return RESAMPLER_NO_MEMORY;
  }
  for (int p = 0; p < up; ++p) {
    float* row = s->poly + size_t(p) * size_t(kp);
    for (int j = 0; j < k; ++j) {
      const int t = p + j * up;
      if (t < n) row[kp - 1 - j] = s->proto[t];
    }
  }
  // Output 0 sits on input sample 0: the first step consumes it.
  s->phase = up;
  *state = s;
  return RESAMPLER_OK;
}

int ResamplerInputSamplesNeeded(const ResamplerState* s) {
  if (!s) return 0;
  return (s->inPerFrame - s->surplus) * s->channels;
}

int ResamplerConvert(ResamplerState* s, const float* input, float* output) {
  if (!s || !input || !output) return 0;
  const int ch = s->channels;
  const int kp = s->tapsPerPhase;
  const int hist = kp - 1;
  const int fresh = s->inPerFrame - s->surplus;
  const int start = hist + s->surplus;
  for (int c = 0; c < ch; ++c) {
    float* __restrict b = s->buf[c] + start;
    const float* in = input + c;
    for (int i = 0; i < fresh; ++i) b[i] = in[size_t(i) * size_t(ch)];
  }
  // The phase schedule is the same for every channel.
  int pos = hist - 1;  // newest consumed sample
  int phase = s->phase;
  const int up = s->up, down = s->down;
  for (int m = 0; m < kOutputPerChannel; ++m) {
    while (phase >= up) {
      ++pos;
      phase -= up;
    }
    s->stepPos[m] = pos;
    s->stepPhase[m] = phase;
    phase += down;
  }
  s->phase = phase;
  for (int c = 0; c < ch; ++c) {
    FilterChannel(s->poly, kp, s->stepPos, s->stepPhase, s->buf[c], hist, output + c, ch, kOutputPerChannel);
  }
  // Keep the history and the surplus for the next frame.
  const int end = start + fresh;
  const int surplus = end - (pos + 1);
  for (int c = 0; c < ch; ++c) {
    std::memmove(s->buf[c], s->buf[c] + (pos + 1 - hist), sizeof(float) * size_t(hist + surplus));
  }
  s->surplus = surplus;
  return s->frameLength;
}

int ResamplerDelay(const ResamplerState* s) { return s ? s->taps / s->down / 2 : 0; }
int ResamplerTaps(const ResamplerState* s) { return s ? s->taps : 0; }
const float* ResamplerCoefficients(const ResamplerState* s) { return s ? s->proto : nullptr; }
int ResamplerUp(const ResamplerState* s) { return s ? s->up : 0; }
int ResamplerDown(const ResamplerState* s) { return s ? s->down : 0; }
