#include "core/psy_conf.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "core/aac_rom.h"

namespace {

// Bark value above which the low-rate threshold sets raise the threshold in
// quiet (see PsyGetThrParams).
constexpr double kQuietRiseFromBark = 21.0;

struct BwEntry {
  int rate;
  int minBitrate;
  int bandwidth;
};

// Rows of one rate are sorted by falling minimum bitrate; the first row whose
// minimum is not above the bitrate per channel wins.
const BwEntry kBwMono[] = {
    {8000, 11000, 4000},   {8000, 10000, 3843},   {8000, 8000, 3437},    {11025, 15000, 5512},
    {11025, 14000, 5168},  {11025, 12000, 4478},  {11025, 10000, 3854},  {11025, 8000, 3316},
    {12000, 15000, 6000},  {12000, 14000, 5168},  {12000, 12000, 4478},  {12000, 10000, 3854},
    {12000, 8000, 3316},   {16000, 22000, 8000},  {16000, 20000, 7500},  {16000, 16000, 6031},
    {16000, 14000, 5187},  {16000, 12000, 4468},  {22050, 28000, 11025}, {22050, 24000, 8957},
    {22050, 20000, 7579},  {22050, 16000, 5943},  {24000, 32000, 12000}, {24000, 28000, 10500},
    {24000, 24000, 9000},  {24000, 20000, 7640},  {24000, 16000, 5953},  {32000, 56000, 16000},
    {32000, 48000, 15000}, {32000, 40000, 14000}, {32000, 32000, 12000}, {32000, 28000, 10500},
    {32000, 24000, 9000},  {44100, 120000, 19982}, {44100, 100000, 17915}, {44100, 80000, 17226},
    {44100, 70000, 16537}, {44100, 56000, 15159}, {44100, 48000, 14470}, {44100, 40000, 13781},
    {44100, 32000, 11714}, {48000, 113000, 20250}, {48000, 100000, 18000}, {48000, 80000, 17250},
    {48000, 76000, 16500}, {48000, 60000, 15000}, {48000, 56000, 14250},
};
const BwEntry kBwStereo[] = {
    {8000, 10000, 4000},   {8000, 8000, 3437},    {11025, 14000, 5512},  {11025, 12000, 4823},
    {11025, 10000, 4155},  {11025, 8000, 3445},   {12000, 14000, 6000},  {12000, 12000, 4823},
    {12000, 10000, 4155},  {12000, 8000, 3445},   {16000, 20000, 8000},  {16000, 16000, 6500},
    {16000, 14000, 5593},  {16000, 12000, 4812},  {22050, 28000, 11025}, {22050, 24000, 9646},
    {22050, 20000, 8268},  {22050, 16000, 6460},  {24000, 32000, 12000}, {24000, 28000, 11625},
    {24000, 24000, 9750},  {24000, 20000, 8250},  {24000, 16000, 6468},  {32000, 56000, 16000},
    {32000, 48000, 15500}, {32000, 40000, 15000}, {32000, 32000, 14000}, {32000, 28000, 12000},
    {32000, 24000, 10000}, {44100, 120000, 19982}, {44100, 100000, 17915}, {44100, 80000, 17226},
    {44100, 70000, 16537}, {44100, 60000, 15848}, {44100, 40000, 15159}, {44100, 32000, 14125},
    {48000, 113000, 20250}, {48000, 100000, 18000}, {48000, 80000, 17250}, {48000, 76000, 16500},
    {48000, 60000, 15750}, {48000, 56000, 15000},
};
const BwEntry kBw5[] = {
    {8000, 8000, 4000},    {11025, 12000, 5500},  {11025, 8000, 3000},   {12000, 12000, 6000},
    {12000, 8000, 3000},   {16000, 20000, 8000},  {16000, 16000, 7000},  {16000, 12000, 5594},
    {22050, 28000, 9646},  {22050, 24000, 8957},  {22050, 16000, 7019},  {24000, 32000, 12000},
    {24000, 28000, 9750},  {24000, 24000, 9000},  {24000, 20000, 7640},  {24000, 16000, 7031},
    {32000, 50000, 13700}, {32000, 25000, 13000}, {32000, 20000, 10500}, {44100, 56000, 15500},
    {44100, 48000, 15000}, {44100, 32000, 13000}, {48000, 80001, 17000}, {48000, 70000, 16537},
    {48000, 56000, 15500}, {48000, 48000, 15000}, {48000, 32000, 13000},
};
const BwEntry kBw6[] = {
    {8000, 8000, 4000},    {11025, 12000, 5500},  {11025, 8000, 3000},   {12000, 12000, 6000},
    {12000, 8000, 3000},   {16000, 20000, 8000},  {16000, 16000, 7000},  {16000, 12000, 5594},
    {22050, 28000, 9646},  {22050, 24000, 8957},  {22050, 16000, 7019},  {24000, 32000, 12000},
    {24000, 28000, 9750},  {24000, 24000, 9000},  {24000, 20000, 7640},  {24000, 16000, 7031},
    {32000, 50000, 13700}, {32000, 32000, 13000}, {32000, 20000, 10500}, {44100, 48000, 15000},
    {44100, 32000, 13000}, {48000, 48000, 15000}, {48000, 32000, 13000},
};

template <size_t N>
bool Find(const BwEntry (&table)[N], int rate, int bitrate, int* bw) {
  for (const BwEntry& e : table) {
    if (e.rate == rate && e.minBitrate <= bitrate) {
      *bw = e.bandwidth;
      return true;
    }
  }
  return false;
}

}  // namespace

int PsyRateClass(int sampleRate) {
  if (sampleRate > 24000) return 0;
  if (sampleRate > 12000) return 1;
  return 2;
}

ErrorRecord* PsyBandwidthLookup(int nChannels, int sampleRate, int bitratePerChannel, int* bandwidthHz) {
  int bw = 0;
  bool found;
  switch (nChannels) {
    case 1: found = Find(kBwMono, sampleRate, bitratePerChannel, &bw); break;
    case 5: found = Find(kBw5, sampleRate, bitratePerChannel, &bw); break;
    case 6: found = Find(kBw6, sampleRate, bitratePerChannel, &bw); break;
    default: found = Find(kBwStereo, sampleRate, bitratePerChannel, &bw); break;
  }
  if (!found) {
    return ERROR_NEW("PsyBandwidthLookup",
                     "error initializing codParam: no parameter set found for this combination of bit rate, "
                     "sample rate and channel mode");
  }
  if (bandwidthHz) *bandwidthHz = bw;
  return nullptr;
}

int PsyAdjustLowpass(int line, int sfbCnt, const int* sfbOffset) {
  // Nearest border first within 2.5 %, then within 5 %.
  for (double tolerance : {0.025, 0.05}) {
    int best = -1;
    int bestDist = 1 << 30;
    for (int b = 0; b <= sfbCnt; ++b) {
      const int dist = std::abs(sfbOffset[b] - line);
      if (dist <= tolerance * line && dist < bestDist) {
        best = sfbOffset[b];
        bestDist = dist;
      }
    }
    if (best >= 0) return best;
  }
  return line;
}

ErrorRecord* PsyConfigure(int sampleRate, int bitratePerChannel, int mono, int shortBlock, int bandwidthHz,
                          PsyConfiguration* c) {
  if (!c) return ERROR_NEW("PsyConfigure", "null pointer");
  const AacRateTable* rate = AacFindRate(sampleRate);
  if (!rate) return ERROR_NEW("PsyConfigure", "error initializing sfbParam");
  ErrorRecord* e = GetPsyBlockParam(shortBlock, &c->block);
  if (e) {
    ErrorFree(e);
    return ERROR_NEW("PsyConfigure", "GetPsyBlockParam() failed");
  }
  c->sampleRate = sampleRate;
  c->bitratePerChannel = bitratePerChannel;
  c->lines = c->block.lines;
  c->sfbCnt = shortBlock ? rate->sfbCntShort : rate->sfbCntLong;
  const short* offsets = shortBlock ? rate->sfbOffsetShort : rate->sfbOffsetLong;
  if (c->sfbCnt > MAX_SFB_LONG || offsets[c->sfbCnt] != c->lines) {
    return ERROR_NEW("PsyConfigure", "error initializing sfbParam");
  }
  for (int b = 0; b <= c->sfbCnt; ++b) c->sfbOffset[b] = offsets[b];
  c->rateClass = PsyRateClass(sampleRate);
  int line = int(std::lround(double(bandwidthHz) * 2.0 * c->lines / sampleRate));
  if (line > c->lines) line = c->lines;
  if (line < 1) line = 1;
  c->bandwidthLine = line;
  c->bmax = 0;
  for (int b = 0; b < c->sfbCnt; ++b) {
    if (c->sfbOffset[b] < line) c->bmax = b + 1;
  }
  e = CbBuildPartitions(sampleRate, c->lines, c->sfbCnt, offsets, &c->parts);
  if (e) return ERROR_PASS(e, "PsyConfigure");
  // Spreading: energy of partition j spreads to i with slopeUp dB per Bark
  // upwards and slopeDown dB per Bark downwards; each target row is divided
  // by its total weight so a flat spectrum keeps its level.
  const int n = c->parts.count;
  for (int i = 0; i < n; ++i) {
    double sum = 0.0;
    for (int j = 0; j < n; ++j) {
      const double dz = double(c->parts.bark[i]) - double(c->parts.bark[j]);
      const double db = dz >= 0 ? -c->block.slopeUp * dz : c->block.slopeDown * dz;
      const double w = db < -60.0 ? 0.0 : std::pow(10.0, db / 10.0);
      c->spreading[i * n + j] = float(w);
      sum += w;
    }
    for (int j = 0; j < n; ++j) c->spreading[i * n + j] = float(c->spreading[i * n + j] / sum);
    int first = 0, end = n;
    while (first < i && c->spreading[i * n + first] == 0.0f) ++first;
    while (end > i + 1 && c->spreading[i * n + end - 1] == 0.0f) --end;
    c->spreadFirst[i] = static_cast<short>(first);
    c->spreadEnd[i] = static_cast<short>(end);
  }
  e = PsyGetTnsParams(sampleRate, bitratePerChannel, mono, shortBlock, &c->tns);
  if (e) return ERROR_PASS(e, "PsyConfigure");
  e = PsyGetThrParams(bitratePerChannel, &c->thr);
  if (e) {
    ErrorFree(e);
    return ERROR_NEW("PsyConfigure", "error initializing thrParam");
  }
  if (c->thr.hfQuietRiseDb > 0.0f) {
    for (int i = 0; i < c->parts.count; ++i) {
      const double above = double(c->parts.bark[i]) - kQuietRiseFromBark;
      if (above > 0.0) c->parts.qsthr[i] *= float(std::pow(10.0, 0.1 * c->thr.hfQuietRiseDb * above));
    }
  }
  return nullptr;
}
