// The program configuration element of an ADIF header.
#ifndef TESSEL_CORE_PRCONFIG_H
#define TESSEL_CORE_PRCONFIG_H

#include "core/psyconst.h"

enum { PCE_MAX_ELEMENTS = 16, PCE_COMMENT_MAX = 255 };

struct PceElement {
  int isCpe;
  int instanceTag;
};

struct ProgramConfig {
  int instanceTag;
  int profile;
  int samplingFrequencyIndex;
  int nFront;
  PceElement front[PCE_MAX_ELEMENTS];
  int nSide;
  int nBack;
  int nLfe;
  int lfeTag[4];
  int nAssocData;
  int nCoupling;
  char comment[PCE_COMMENT_MAX + 1];
};

struct ElementInfo;  // cm_utils.h

// Builds the element from the configuration's element list: SCEs and CPEs
// are front elements, LFEs the LFE list. The comment is "Encoded by MPEG-2
// AAC Brightline Encoder v2.0".
void BuildProgramConfig(const ElementInfo* elements, int nElements, int samplingFrequencyIndex, ProgramConfig* pce);

#endif
