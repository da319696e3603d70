#include "core/prconfig.h"

#include <cstdio>
#include <cstring>

#include "core/cm_utils.h"

void BuildProgramConfig(const ElementInfo* elements, int nElements, int samplingFrequencyIndex, ProgramConfig* pce) {
  std::memset(pce, 0, sizeof(*pce));
  pce->profile = 1;
  pce->samplingFrequencyIndex = samplingFrequencyIndex;
  for (int i = 0; i < nElements; ++i) {
    if (elements[i].type == ID_LFE) {
      if (pce->nLfe < 4) pce->lfeTag[pce->nLfe++] = elements[i].instanceTag;
    } else if (pce->nFront < PCE_MAX_ELEMENTS) {
      pce->front[pce->nFront].isCpe = elements[i].type == ID_CPE ? 1 : 0;
      pce->front[pce->nFront].instanceTag = elements[i].instanceTag;
      ++pce->nFront;
    }
  }
  std::snprintf(pce->comment, sizeof(pce->comment), "Encoded by MPEG-2 AAC Brightline Encoder v%d.%d", 2, 0);
}
