#include "core/mdct.h"

#include <cmath>
#include <cstdlib>
#include <new>

// Split-format complex FFT (separate real and imaginary arrays) in the
// Stockham autosort form: no bit reversal, every stage reads one buffer and
// writes the other, and the inner loops run over contiguous memory so the
// compiler can vectorise them.
namespace {

constexpr double kPi = 3.14159265358979323846;

struct FftStage {
  int radix;      // 4 or 2
  int n;          // sub-transform length at this stage
  int s;          // stride
  const float* wr;  // twiddles: radix-1 per p, laid out [p*(radix-1) + j]
  const float* wi;
};

}  // namespace

struct MdctPlan {
  int n;        // window length N
  int m;        // coefficients, N/2
  int fftLen;   // N/4
  int stageCount;
  FftStage stages[12];
  float* twR;       // all stage twiddles
  float* twI;
  float* preR;      // DCT-IV pre-rotation exp(-i pi n / M)
  float* preI;
  float* postR;     // DCT-IV post-rotation exp(-i pi (k + 1/4) / M)
  float* postI;
  float* bufR[2];   // FFT work buffers (plans are used by one thread at a time)
  float* bufI[2];
  float* fold;      // M samples
};

namespace {

// One radix-4 stage: n-point sub-transforms at stride s.
void Radix4(const FftStage& st, const float* __restrict xr, const float* __restrict xi, float* __restrict yr,
            float* __restrict yi) {
  const int m = st.n / 4;
  const int s = st.s;
  for (int p = 0; p < m; ++p) {
    const float w1r = st.wr[3 * p], w1i = st.wi[3 * p];
    const float w2r = st.wr[3 * p + 1], w2i = st.wi[3 * p + 1];
    const float w3r = st.wr[3 * p + 2], w3i = st.wi[3 * p + 2];
    const float* ar = xr + s * p;
    const float* ai = xi + s * p;
    const float* br = xr + s * (p + m);
    const float* bi = xi + s * (p + m);
    const float* cr = xr + s * (p + 2 * m);
    const float* ci = xi + s * (p + 2 * m);
    const float* dr = xr + s * (p + 3 * m);
    const float* di = xi + s * (p + 3 * m);
    float* y0r = yr + s * (4 * p);
    float* y0i = yi + s * (4 * p);
    float* y1r = y0r + s;
    float* y1i = y0i + s;
    float* y2r = y1r + s;
    float* y2i = y1i + s;
    float* y3r = y2r + s;
    float* y3i = y2i + s;
    for (int q = 0; q < s; ++q) {
      const float apcR = ar[q] + cr[q], apcI = ai[q] + ci[q];
      const float amcR = ar[q] - cr[q], amcI = ai[q] - ci[q];
      const float bpdR = br[q] + dr[q], bpdI = bi[q] + di[q];
      // j * (b - d)
      const float jbmdR = -(bi[q] - di[q]), jbmdI = br[q] - dr[q];
      y0r[q] = apcR + bpdR;
      y0i[q] = apcI + bpdI;
      const float t1r = amcR - jbmdR, t1i = amcI - jbmdI;
      y1r[q] = t1r * w1r - t1i * w1i;
      y1i[q] = t1r * w1i + t1i * w1r;
      const float t2r = apcR - bpdR, t2i = apcI - bpdI;
      y2r[q] = t2r * w2r - t2i * w2i;
      y2i[q] = t2r * w2i + t2i * w2r;
      const float t3r = amcR + jbmdR, t3i = amcI + jbmdI;
      y3r[q] = t3r * w3r - t3i * w3i;
      y3i[q] = t3r * w3i + t3i * w3r;
    }
  }
}

// The final radix-2 stage (sub-transform length 2, no twiddles).
void Radix2Last(int s, const float* __restrict xr, const float* __restrict xi, float* __restrict yr,
                float* __restrict yi) {
  for (int q = 0; q < s; ++q) {
    const float ar = xr[q], ai = xi[q], br = xr[q + s], bi = xi[q + s];
    yr[q] = ar + br;
    yi[q] = ai + bi;
    yr[q + s] = ar - br;
    yi[q + s] = ai - bi;
  }
}

// Forward FFT of plan->fftLen points; input in bufR/I[0]; returns the buffer
// index holding the result.
int RunFft(const MdctPlan* p) {
  int cur = 0;
  for (int i = 0; i < p->stageCount; ++i) {
    const FftStage& st = p->stages[i];
    if (st.radix == 4) {
      Radix4(st, p->bufR[cur], p->bufI[cur], p->bufR[1 - cur], p->bufI[1 - cur]);
    } else {
      Radix2Last(st.s, p->bufR[cur], p->bufI[cur], p->bufR[1 - cur], p->bufI[1 - cur]);
    }
    cur = 1 - cur;
  }
  return cur;
}

float* AllocFloats(size_t count) {
  void* mem = nullptr;
  if (posix_memalign(&mem, 64, count * sizeof(float)) != 0) return nullptr;
  return static_cast<float*>(mem);
}

// DCT-IV through an M/2-point complex FFT. data: M values in place.
void Dct4(const MdctPlan* p, float* data, float scale) {
  const int m = p->m;
  const int h = p->fftLen;
  float* __restrict ur = p->bufR[0];
  float* __restrict ui = p->bufI[0];
  const float* __restrict cr = p->preR;
  const float* __restrict ci = p->preI;
  for (int i = 0; i < h; ++i) {
    const float re = data[2 * i];
    const float im = data[m - 1 - 2 * i];
    ur[i] = re * cr[i] - im * ci[i];
    ui[i] = re * ci[i] + im * cr[i];
  }
  const int r = RunFft(p);
  const float* __restrict yr = p->bufR[r];
  const float* __restrict yi = p->bufI[r];
  const float* __restrict dr = p->postR;
  const float* __restrict di = p->postI;
  for (int k = 0; k < h; ++k) {
    const float re = yr[k] * dr[k] - yi[k] * di[k];
    const float im = yr[k] * di[k] + yi[k] * dr[k];
    data[2 * k] = scale * re;
    data[m - 1 - 2 * k] = -scale * im;
  }
}

}  // namespace

ErrorRecord* MdctCreate(int n, MdctPlan** plan) {
  if (!plan) return ERROR_NEW("MdctCreate", "null pointer");
  *plan = nullptr;
  if (n != 2048 && n != 256) return ERROR_NEW("MdctCreate", "Oops...: MDCT not 2048 or 256 points long.");
  MdctPlan* p = new (std::nothrow) MdctPlan{};
  if (!p) return ERROR_NEW("MdctCreate", "out of memory");
  p->n = n;
  p->m = n / 2;
  p->fftLen = n / 4;
  const int h = p->fftLen;
  p->twR = AllocFloats(size_t(3 * h));
  p->twI = AllocFloats(size_t(3 * h));
  p->preR = AllocFloats(size_t(h));
  p->preI = AllocFloats(size_t(h));
  p->postR = AllocFloats(size_t(h));
  p->postI = AllocFloats(size_t(h));
  for (int b = 0; b < 2; ++b) {
    p->bufR[b] = AllocFloats(size_t(h));
    p->bufI[b] = AllocFloats(size_t(h));
  }
  p->fold = AllocFloats(size_t(p->m));
  if (!p->twR || !p->twI || !p->preR || !p->preI || !p->postR || !p->postI || !p->bufR[0] || !p->bufR[1] || !p->bufI[0] || !p->bufI[1] ||
      !p->fold) {
    MdctDestroy(p);
    return ERROR_NEW("MdctCreate", "out of memory");
  }
  for (int i = 0; i < h; ++i) {
    const double a = -kPi * i / p->m;
    p->preR[i] = float(std::cos(a));
    p->preI[i] = float(std::sin(a));
    const double b = -kPi * (i + 0.25) / p->m;
    p->postR[i] = float(std::cos(b));
    p->postI[i] = float(std::sin(b));
  }
  // Stages: radix 4 while the remaining length allows, a last radix 2.
  int len = h, s = 1, tw = 0;
  while (len > 1) {
    FftStage& st = p->stages[p->stageCount++];
    st.n = len;
    st.s = s;
    if (len % 4 == 0) {
      st.radix = 4;
      st.wr = p->twR + tw;
      st.wi = p->twI + tw;
      const int m4 = len / 4;
      for (int q = 0; q < m4; ++q) {
        for (int j = 1; j <= 3; ++j) {
          const double a = -2.0 * kPi * q * j / len;
          p->twR[tw + 3 * q + (j - 1)] = float(std::cos(a));
          p->twI[tw + 3 * q + (j - 1)] = float(std::sin(a));
        }
      }
      tw += 3 * m4;
      len /= 4;
      s *= 4;
    } else {
      st.radix = 2;
      st.wr = st.wi = nullptr;
      len /= 2;
      s *= 2;
    }
  }
  *plan = p;
  return nullptr;
}

void MdctDestroy(MdctPlan* p) {
  if (!p) return;
  std::free(p->twR);
  std::free(p->twI);
  std::free(p->preR);
  std::free(p->preI);
  std::free(p->postR);
  std::free(p->postI);
  for (int b = 0; b < 2; ++b) {
    std::free(p->bufR[b]);
    std::free(p->bufI[b]);
  }
  std::free(p->fold);
  delete p;
}

int MdctSize(const MdctPlan* plan) { return plan ? plan->n : 0; }

void MdctDct4(const MdctPlan* plan, float* data) { Dct4(plan, data, 1.0f); }

void MdctForward(const MdctPlan* p, const float* __restrict in, float* __restrict out) {
  const int m = p->m;
  const int h = m / 2;
  // Fold the N windowed samples into the M inputs of a DCT-IV.
  for (int i = 0; i < h; ++i) out[i] = -in[3 * h - 1 - i] - in[3 * h + i];
  for (int i = h; i < m; ++i) out[i] = in[i - h] - in[3 * h - 1 - i];
  Dct4(p, out, 2.0f);
}

void MdctInverse(const MdctPlan* p, const float* __restrict in, float* __restrict out) {
  const int m = p->m;
  const int h = m / 2;
  float* __restrict v = p->fold;
  for (int i = 0; i < m; ++i) v[i] = in[i];
  Dct4(p, v, 2.0f / float(p->n));
  // Unfold: the transpose of the folding above.
  for (int i = 0; i < h; ++i) {
    out[3 * h - 1 - i] = -v[i];
    out[3 * h + i] = -v[i];
  }
  for (int i = h; i < m; ++i) {
    out[i - h] = v[i];
    out[3 * h - 1 - i] = -v[i];
  }
}
