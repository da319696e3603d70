// Records passed from the quantisation and rate control to the frame writer.
#ifndef TESSEL_CORE_QC_DATA_H
#define TESSEL_CORE_QC_DATA_H

#include "core/psyconst.h"
#include "core/psyout.h"

enum { MAX_SECTIONS = MAX_GROUPED_SFB, ESC_BOOK = 11, SF_OFFSET = 100, MAX_QUANT = 8191 };

struct Section {
  int book;     // 0..11
  int start;    // first band inside the group
  int length;   // bands
};

// One channel, ready to be written as an individual channel stream.
struct QcChannel {
  int windowSequence;
  int windowShape;
  int groups;
  int groupLen[MAX_GROUPS];
  int sfbPerGroup;
  int maxSfb;                              // max_sfb (same for every group)
  const int* sfbOffsets;                   // psy output: grouped layout
  int globalGain;
  int scalefactor[MAX_GROUPED_SFB];        // absolute, grouped index
  int bandBook[MAX_GROUPED_SFB];           // book of the section holding the band
  int nSections[MAX_GROUPS];
  Section sections[MAX_GROUPS][MAX_SECTIONS];
  short quant[FRAME_LEN_LONG];             // signed, grouped order
  const TnsData* tns;
  int isLfe;
  // bits of the last count
  int sectionBits;
  int scalefactorBits;
  int spectralBits;
};

struct QcElement {
  int type;                                // ElementType
  int instanceTag;
  int nChannels;
  int channel[2];
  int commonWindow;
  int msMaskPresent;                       // 0 none, 1 per band, 2 all
  int msUsed[MAX_GROUPED_SFB];
};

struct QcFrame {
  int nChannels;
  int nElements;
  QcChannel channel[PSY_MAX_CHANNELS];
  QcElement element[PSY_MAX_ELEMENTS];
  int grantedBits;     // sum of the channel grants
  int usedBits;        // section + scalefactor + spectral bits of all channels
  int sideBits;        // fixed element bits, ics_info, TNS, M/S, END
};

#endif
