#include "core/de_psych.h"

#include <cmath>

float PeBand(float energy, float threshold, int lines) {
  if (!(energy > threshold) || lines <= 0) return 0.0f;
  // 6 dB of SNR cost one bit per line; a coded band carries at least a
  // scalefactor (about 1.5 bits).
  const float bits = float(lines) * 0.5f * std::log2(energy / threshold);
  return bits + 1.5f;
}

float PeSideBits(int codedBands) { return 4.0f * float(codedBands) / 8.0f + 8.0f; }
