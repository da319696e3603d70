#include "core/cm_utils.h"

#include <cstring>

namespace {

const ParameterSet kMono[] = {
    {8000, 8000, 8000, 11025, 0x10, -1},     {16000, 11025, 16000, 22050, 0x14, -1},
    {20000, 16000, 16000, 24000, 0x14, -1},  {24000, 22050, 22050, 32000, 0x14, -1},
    {32000, 24000, 32000, 32000, 0x14, -1},  {40000, 24000, 32000, 44100, 0x04, 1},
    {56000, 32000, 32000, 48000, 0x04, 1},   {64000, 32000, 48000, 48000, 0x04, 1},
    {80000, 44100, 48000, 96000, 0x04, 1},   {96000, 44100, 48000, 96000, 0x04, 1},
    {128000, 44100, 48000, 96000, 0x04, 1},  {160000, 44100, 96000, 96000, 0x04, 1},
    {320001, 0, 0, 0, 0, -1}};
const ParameterSet kStereo[] = {
    {8000, 8000, 8000, 11025, 0x12, -1},     {12000, 8000, 11025, 16000, 0x12, -1},
    {16000, 11025, 16000, 22050, 0x16, -1},  {20000, 16000, 22050, 24000, 0x16, -1},
    {24000, 22050, 22050, 32000, 0x16, -1},  {28000, 22050, 24000, 32000, 0x06, -1},
    {32000, 24000, 32000, 44100, 0x06, -1},  {48000, 32000, 32000, 44100, 0x06, -1},
    {56000, 32000, 32000, 48000, 0x06, -1},  {64000, 32000, 48000, 48000, 0x06, -1},
    {80000, 44100, 48000, 96000, 0x06, -1},  {96000, 44100, 48000, 96000, 0x06, -1},
    {128000, 44100, 48000, 96000, 0x06, -1}, {160000, 44100, 96000, 96000, 0x06, -1},
    {320001, 0, 0, 0, 0, -1}};
const ParameterSet kMulti[] = {{21330, 32000, 32000, 32000, 0x06, -1},
                               {32000, 32000, 32000, 44100, 0x06, -1},
                               {51200, 32000, 44100, 48000, 0x06, -1},
                               {64000, 44100, 48000, 96000, 0x06, -1},
                               {320001, 0, 0, 0, 0, -1}};

}  // namespace

int ConfigForChannels(int channels) {
  switch (channels) {
    case 1: return 1;
    case 2: return 2;
    case 5: return 5;
    case 6: return 6;
    default: return 0;
  }
}

bool BuildChannelConfig(int configNumber, int tools, ChannelConfig* cfg) {
  static const char* const kLists[8] = {"", "S", "C", "SC", "SCS", "SCC", "SCCL", "SCCCL"};
  if (configNumber < 1 || configNumber > 7) return false;
  std::memset(cfg, 0, sizeof(*cfg));
  cfg->configNumber = configNumber;
  int tags[4] = {0, 0, 0, 0};
  int ch = 0;
  for (const char* p = kLists[configNumber]; *p; ++p) {
    ElementInfo& e = cfg->elements[cfg->nElements];
    e.index = cfg->nElements;
    e.type = *p == 'S' ? ID_SCE : (*p == 'C' ? ID_CPE : ID_LFE);
    e.instanceTag = tags[e.type]++;
    e.channel[0] = ch++;
    e.channel[1] = e.type == ID_CPE ? ch++ : -1;
    e.tools = 0;
    if (e.type != ID_LFE) e.tools = tools & TOOL_TNS;
    if (e.type == ID_CPE) e.tools |= tools & TOOL_MS;
    ++cfg->nElements;
  }
  cfg->nChannels = ch;
  return true;
}

bool BuildChannelMap(int channels, int channelOrder, int* map) {
  static const int k5[3][5] = {{2, 0, 1, 3, 4}, {4, 0, 1, 2, 3}, {1, 0, 2, 3, 4}};
  static const int k6[3][6] = {{2, 0, 1, 4, 5, 3}, {4, 0, 1, 2, 3, 5}, {1, 0, 2, 3, 4, 5}};
  if (channelOrder < 0 || channelOrder > 2) return false;
  switch (channels) {
    case 1: map[0] = 0; return true;
    case 2: map[0] = 0; map[1] = 1; return true;
    case 5: for (int i = 0; i < 5; ++i) map[i] = k5[channelOrder][i]; return true;
    case 6: for (int i = 0; i < 6; ++i) map[i] = k6[channelOrder][i]; return true;
    default: return false;
  }
}

ErrorRecord* ChooseParameterSet(int configNumber, int channels, int bitrate, int inputRate, ParameterSet* row,
                                int* codingRate) {
  if (bitrate < 8000) return ERROR_NEW("ChooseParameterSet", "bitrates < 8000 not supported by ISO MPEG-2 AAC");
  if (bitrate > 320000) return ERROR_NEW("ChooseParameterSet", "bitrates > 320000 not supported by ISO MPEG-2 AAC");
  const ParameterSet* table;
  int divisor;
  switch (configNumber) {
    case 1: table = kMono; divisor = 1; break;
    case 2: table = kStereo; divisor = 2; break;
    case 5:
    case 6: table = kMulti; divisor = 5; break;
    default: return ERROR_NEW("ChooseParameterSet", "invalid channel configuration");
  }
  int perDiv = bitrate / divisor;
  if (perDiv < 8000) return ERROR_NEW("ChooseParameterSet", "no parameter set for this bitrate and channel mode");
  const ParameterSet* found = nullptr;
  for (int i = 0; table[i].bound <= 320000; ++i) {
    if (table[i].bound <= perDiv && table[i + 1].bound > perDiv) {
      found = &table[i];
      break;
    }
  }
  if (!found || found->targetRate == 0)
    return ERROR_NEW("ChooseParameterSet", "bitrate incompatible with this channel configuration");
  double lower = static_cast<double>(bitrate) / (channels * 6.0);
  if (lower < found->minRate) lower = found->minRate;
  if (lower > inputRate) return ERROR_NEW("ChooseParameterSet", "bitrate too high for input sample rate - try a lower bitrate");
  *row = *found;
  *codingRate = found->targetRate < inputRate ? found->targetRate : inputRate;
  return nullptr;
}
