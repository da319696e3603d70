// Channel configurations, channel order maps and the parameter sets that
// pick coding rate and tools for a bitrate.
#ifndef TESSEL_CORE_CM_UTILS_H
#define TESSEL_CORE_CM_UTILS_H

#include "core/errorhnd.h"
#include "core/psyconst.h"

struct ElementInfo {
  int type;          // ID_SCE, ID_CPE, ID_LFE
  int instanceTag;
  int index;         // position in the list
  int channel[2];    // encoder channels
  int tools;         // TOOL_TNS, TOOL_MS
};

struct ChannelConfig {
  int nChannels;
  int nElements;
  int configNumber;  // 1..7
  ElementInfo elements[PSY_MAX_ELEMENTS];
};

struct ParameterSet {
  int bound;
  int minRate;
  int targetRate;
  int upperRate;
  int flags;         // 0x2 M/S, 0x4 TNS, 0x10 "eah"
  int rpmin;         // -1: not set
};

enum { PSET_FLAG_MS = 0x2, PSET_FLAG_TNS = 0x4, PSET_FLAG_EAH = 0x10 };

// Element list of configuration 1..7 with the tool switches; false otherwise.
bool BuildChannelConfig(int configNumber, int tools, ChannelConfig* cfg);
// Configuration number for a channel count (1, 2, 5, 6), else 0.
int ConfigForChannels(int channels);
// map[k] = input channel of encoder channel k; false for unknown layouts.
bool BuildChannelMap(int channels, int channelOrder, int* map);
// Picks the parameter set and the coding rate (step 5 of the set-up).
ErrorRecord* ChooseParameterSet(int configNumber, int channels, int bitrate, int inputRate, ParameterSet* row,
                                int* codingRate);

#endif
