#include "core/aux_func.h"

#include <cfloat>
#include <cmath>

#include "core/qc_data.h"

namespace {

struct StepTable {
  float v[256];
  StepTable() {
    for (int i = 0; i < 256; ++i) v[i] = static_cast<float>(std::pow(2.0, -0.1875 * (i - SF_OFFSET)));
  }
};
const StepTable kSteps;

}  // namespace

float QuantStep(int sf) { return kSteps.v[sf < 0 ? 0 : (sf > 255 ? 255 : sf)]; }

ErrorRecord* CheckBands(const PsyOutChannel* ch) {
  for (int g = 0; g < ch->groups; ++g) {
    for (int b = 0; b < ch->maxSfbPerGroup; ++b) {
      int idx = g * ch->sfbPerGroup + b;
      if (ch->sfbOffsets[idx + 1] <= ch->sfbOffsets[idx]) return ERROR_NEW("CheckBands", " zero sfb width");
      if (!(ch->sfbThreshold[idx] > FLT_MIN)) return ERROR_NEW("CheckBands", " threshold <= FLT_MIN");
    }
  }
  return nullptr;
}

int EstimateScalefactor(float threshold, float formFactor) {
  // Noise of the non-uniform quantiser with step 2^(sf/4) is about
  // (4/27) 2^(3 sf / 8) x sum sqrt|x|; solve for the threshold.
  double v = 6.75 * static_cast<double>(threshold) / static_cast<double>(formFactor);
  double sf = static_cast<double>(static_cast<int>(SF_OFFSET)) + 8.8585 * std::log10(v);
  return static_cast<int>(std::floor(sf));
}

int MinimumScalefactor(float maxPow34) {
  if (maxPow34 <= 0.0f) return 0;
  double sf = static_cast<double>(static_cast<int>(SF_OFFSET)) + 16.0 / 3.0 * std::log2(static_cast<double>(maxPow34) / 8191.0);
  return static_cast<int>(std::ceil(sf));
}
