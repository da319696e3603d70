// Plain timing harness: each measurement takes the best of several runs.
#include <fftw3.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/AACBL_API.h"
#include "core/mdct.h"
#include "core/psymain.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestSeconds(int repeats, F&& body) {
  double best = 1e30;
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = Clock::now();
    body();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

volatile float g_sink;

void BenchMdct(int n, int iterations) {
  MdctPlan* plan = nullptr;
  ErrorRecord* e = MdctCreate(n, &plan);
  if (e) {
    ErrorFree(e);
    return;
  }
  std::vector<float> in(static_cast<size_t>(n)), out(static_cast<size_t>(n / 2));
  for (int i = 0; i < n; ++i) in[size_t(i)] = float(std::sin(i * 0.37) * 1000.0);
  const double ours = BestSeconds(5, [&] {
    for (int i = 0; i < iterations; ++i) {
      MdctForward(plan, in.data(), out.data());
      in[size_t(i % n)] += out[3] * 1e-12f;
    }
  });
  const int m = n / 2;
  float* a = fftwf_alloc_real(size_t(m));
  float* b = fftwf_alloc_real(size_t(m));
  fftwf_plan p = fftwf_plan_r2r_1d(m, a, b, FFTW_REDFT11, FFTW_MEASURE);
  for (int i = 0; i < m; ++i) a[i] = in[size_t(i)];
  const double peer = BestSeconds(5, [&] {
    for (int i = 0; i < iterations; ++i) {
      fftwf_execute(p);
      a[i % m] += b[3] * 1e-12f;
    }
  });
  g_sink = out[1] + b[1];
  std::printf("MDCT %4d: ours %8.1f ns, FFTW REDFT11(%d) %8.1f ns, ratio ours/FFTW %.2f\n", n,
              ours / iterations * 1e9, m, peer / iterations * 1e9, ours / peer);
  fftwf_destroy_plan(p);
  fftwf_free(a);
  fftwf_free(b);
  MdctDestroy(plan);
}

// Direct FIR with the same prototype: for every output sample the full
// convolution of the zero-stuffed input, skipping the zero samples.
void DirectConvert(const float* h, int taps, int up, int down, const std::vector<float>& x, std::vector<float>& y) {
  const long outCount = long(y.size());
  for (long m = 0; m < outCount; ++m) {
    const long pos = m * down;  // position in the up-sampled stream
    double acc = 0.0;
    for (int t = int(pos % up); t < taps; t += up) {
      const long idx = (pos - t) / up;
      if (idx < 0) break;
      if (idx < long(x.size())) acc += double(h[t]) * x[size_t(idx)];
    }
    y[size_t(m)] = float(acc);
  }
}

void BenchConverter() {
  const int channels = 2;
  const double seconds = 20.0;
  ResamplerState* s = nullptr;
  if (ResamplerCreate(44100, 32000, channels, channels * 1024, 14000.0f, &s) != RESAMPLER_OK) return;
  const int frames = int(seconds * 32000 / 1024);
  std::vector<float> in(size_t(ResamplerInputSamplesNeeded(s)) + 16), out(size_t(channels) * 1024);
  for (size_t i = 0; i < in.size(); ++i) in[i] = float(std::sin(double(i) * 0.01) * 8000.0);
  const double t = BestSeconds(3, [&] {
    for (int f = 0; f < frames; ++f) {
      ResamplerConvert(s, in.data(), out.data());
      in[0] = out[5];
    }
  });
  const double audio = double(frames) * 1024 / 32000;
  std::printf("Converter 44100->32000 stereo: %.1f ms for %.1f s of audio = %.0fx real time\n", t * 1e3, audio,
              audio / t);
  // The direct FIR on one channel for 2 s of audio, scaled to stereo per second.
  const int outSamples = 2 * 32000;
  std::vector<float> x(static_cast<size_t>(outSamples * 441 / 320 + 64)), y(static_cast<size_t>(outSamples));
  for (size_t i = 0; i < x.size(); ++i) x[i] = float(std::sin(double(i) * 0.01) * 8000.0);
  const double td = BestSeconds(1, [&] {
    DirectConvert(ResamplerCoefficients(s), ResamplerTaps(s), ResamplerUp(s), ResamplerDown(s), x, y);
  });
  const double directRealtime = 2.0 / (td * channels);
  std::printf("Direct FIR (same taps): %.0fx real time stereo; polyphase converter is %.1fx faster\n",
              directRealtime, (audio / t) / directRealtime);
  g_sink = y[100];
  ResamplerDestroy(s);
}

// The whole model per frame (stereo, 44100 Hz, 128000 bit/s, TNS and M/S on).
void BenchPsy() {
  const PsyElement el[] = {{ID_CPE, 0, {0, 1}, TOOL_TNS | TOOL_MS, 2}};
  PsyInit init{2, 1024, 44100, 128000, 1, el, 0, nullptr};
  PsyKernel* k = nullptr;
  ErrorRecord* e = PsyCreate(&init, &k);
  if (e) {
    ErrorFree(e);
    return;
  }
  PsyOut* out = new PsyOut;
  std::vector<float> pcm(2048);
  unsigned seed = 1;
  for (float& v : pcm) {
    seed = seed * 1664525u + 1013904223u;
    v = float(int(seed >> 16) - 32768) * 0.1f;
  }
  const int frames = 2000;
  const double t = BestSeconds(3, [&] {
    for (int f = 0; f < frames; ++f) {
      ErrorFree(PsyProcess(k, pcm.data(), 1, out));
      pcm[size_t(f % 2048)] += out->channel[0].spectrum[7] * 1e-9f;
    }
  });
  std::printf("Psychoacoustic model 44100 Hz stereo: %.1f us per frame = %.0fx real time\n", t / frames * 1e6,
              frames * 1024.0 / 44100.0 / t);
  delete out;
  PsyDestroy(k);
}

}  // namespace

int main() {
  BenchMdct(2048, 20000);
  BenchMdct(256, 100000);
  BenchConverter();
  BenchPsy();
  return 0;
}
