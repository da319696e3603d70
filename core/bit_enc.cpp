#include "core/bit_enc.h"

#include <cmath>
#include <cstring>

#include "core/aac_rom.h"
#include "core/bit_aac.h"
#include "core/uci.h"

namespace {

void InitDemand(BitDemand* d, float bandwidth, int sampleRate, int shortBlocks) {
  float base = bandwidth * 1500.0f / static_cast<float>(sampleRate) + (shortBlocks ? 150.0f : 70.0f);
  d->peMin = 0.8f * base;
  d->peMax = 1.2f * base;
  if (!shortBlocks) {
    d->saveFill[0] = 0.2f; d->saveValue[0] = 0.3f; d->saveFill[1] = 0.95f; d->saveValue[1] = -0.05f;
    d->spendFill[0] = 0.1f; d->spendValue[0] = -0.04f; d->spendFill[1] = 0.95f; d->spendValue[1] = 0.4f;
  } else {
    d->saveFill[0] = 0.1f; d->saveValue[0] = 0.2f; d->saveFill[1] = 0.75f; d->saveValue[1] = -0.1f;
    d->spendFill[0] = 0.05f; d->spendValue[0] = -0.02f; d->spendFill[1] = 0.75f; d->spendValue[1] = 0.5f;
  }
}

float Curve(const float* x, const float* y, float fill) {
  if (fill <= x[0]) return y[0];
  if (fill >= x[1]) return y[1];
  return y[0] + (y[1] - y[0]) * (fill - x[0]) / (x[1] - x[0]);
}

void AdaptWindow(BitDemand* d, float pe, float rate, int reservoirBits) {
  float h = (d->peMax - d->peMin) * 0.5f;
  if (h == 0.0f) h = 1.0f;
  float m = d->peMin + h;
  float g = 0.03f * (pe - m) / h;
  if (g < -0.02f) g = -0.02f;
  if (g > 0.03f) g = 0.03f;
  float l = (g + 0.04f) * rate;
  h += (std::fabs(pe - m) - h) * l;
  float t = m + (pe - m) * l;
  float hMin = static_cast<float>(static_cast<int>(0.01f * static_cast<float>(reservoirBits)));
  float hMax = static_cast<float>(static_cast<int>(0.05f * static_cast<float>(reservoirBits)));
  if (h < hMin) h = hMin;
  if (h > hMax) h = hMax;
  if (h > 0.8f * t) h = 0.8f * t;
  d->peMin = std::round(t - h);
  d->peMax = std::round(t + h);
}

}  // namespace

ErrorRecord* FrameWriterCreate(FrameWriter* w, int sampleRate, int bitrate, float bandwidth, const ChannelConfig* cfg,
                               int adts, UciStore* options) {
  std::memset(w, 0, sizeof(*w));
  w->streamType = 3;
  w->adts = adts;
  const AacRateTable* rt = AacFindRate(sampleRate);
  if (!rt) return ERROR_NEW("FrameWriterCreate", "invalid sample rate");
  w->sampleRate = sampleRate;
  w->samplingFrequencyIndex = rt->samplingFrequencyIndex;
  w->bitrate = bitrate;
  w->config = *cfg;
  if (cfg->nChannels > PSY_MAX_CHANNELS) return ERROR_NEW("FrameWriterCreate", "number of channels too large");
  w->nChannels = cfg->nChannels;
  InitDemand(&w->demandLong, bandwidth, sampleRate, 0);
  InitDemand(&w->demandShort, bandwidth, sampleRate, 1);
  FrameBudgetInit(&w->budget, sampleRate, bitrate, cfg->nChannels);
  w->noReservoir = w->budget.reservoirBits == 0;
  int crc = 0;
  UciReadFlag(options, "crcCheck", "perform CRC checking",
              "the ADTS header will contain a CRC check calculated over all syntactic elements in the bitstream",
              &crc);
  w->crc = crc;
  w->blocksPerFrame = 1;
  if (w->crc && w->blocksPerFrame > 1)
    return ERROR_NEW("FrameWriterCreate", "can not write CRC in ADTS frames with blocksPerFrame>1");
  w->headerBits = adts ? ADTS_HEADER_BITS + (w->crc ? ADTS_CRC_BITS : 0) : 0;
  if (BitBufferCreate(&w->buffer, w->blocksPerFrame * w->nChannels * 6144 + 1000 + 4096 * 8) != 0)
    return ERROR_NEW("FrameWriterCreate", "out of memory");
  w->buffer.crcOn = adts && w->crc;
  if (!adts) BuildProgramConfig(cfg->elements, cfg->nElements, w->samplingFrequencyIndex, &w->pce);
  return nullptr;
}

void FrameWriterDestroy(FrameWriter* w) { BitBufferDestroy(&w->buffer); }

int FrameWriterBeginFrame(FrameWriter* w) {
  w->frameBits = FrameBudgetNext(&w->budget) - w->headerBits;
  return w->frameBits;
}

int ElementSideBits(const QcElement* e, const QcChannel* ch) {
  const QcChannel& a = ch[e->channel[0]];
  switch (e->type) {
    case ID_SCE:
      return 18 + IcsInfoBits(a.windowSequence) + TnsBits(a.tns, a.windowSequence);
    case ID_LFE:
      return 29 + TnsBits(a.tns, a.windowSequence);
    default: {
      const QcChannel& b = ch[e->channel[1]];
      int bits = 30 + TnsBits(a.tns, a.windowSequence) + TnsBits(b.tns, b.windowSequence);
      if (e->commonWindow)
        bits += IcsInfoBits(a.windowSequence) + MsMaskBits(e->msMaskPresent, a.maxSfb, a.groups);
      else
        bits += IcsInfoBits(a.windowSequence) + IcsInfoBits(b.windowSequence);
      return bits;
    }
  }
}

int ElementSideBitsEstimate(const ElementInfo* e, const PsyOut* psy, int maskPresent) {
  const PsyOutChannel& a = psy->channel[e->channel[0]];
  switch (e->type) {
    case ID_SCE:
      return 18 + IcsInfoBits(a.windowSequence) + TnsBits(&a.tns, a.windowSequence);
    case ID_LFE:
      return 29 + TnsBits(&a.tns, a.windowSequence);
    default: {
      const PsyOutChannel& b = psy->channel[e->channel[1]];
      int bits = 30 + TnsBits(&a.tns, a.windowSequence) + TnsBits(&b.tns, b.windowSequence);
      int common = 0;
      for (int i = 0; i < psy->nElements; ++i)
        if (psy->element[i].channel[0] == e->channel[0]) common = psy->element[i].pair.commonWindow;
      if (common)
        bits += IcsInfoBits(a.windowSequence) + MsMaskBits(maskPresent, a.maxSfbPerGroup, a.groups);
      else
        bits += IcsInfoBits(a.windowSequence) + IcsInfoBits(b.windowSequence);
      return bits;
    }
  }
}

ErrorRecord* DistributeBits(FrameWriter* w, const PsyOut* psy, int sideBits, int availableBits, int* grants) {
  if (availableBits < 0) return ERROR_NEW("DistributeBits", "available Bits < 0");
  const ChannelConfig& cfg = w->config;
  const int nChFrame = cfg.nChannels;
  const int fullness = w->budget.fullnessBits;
  const int size = w->budget.reservoirBits;
  double factor[PSY_MAX_ELEMENTS];
  double weight[PSY_MAX_ELEMENTS];
  double weightSum = 0.0;
  for (int e = 0; e < cfg.nElements; ++e) {
    const ElementInfo& el = cfg.elements[e];
    int nCh = el.type == ID_CPE ? 2 : 1;
    double peSum = 0.0;
    for (int c = 0; c < nCh; ++c) peSum += psy->channel[el.channel[c]].pe;
    // Share of the frame: by perceptual entropy, with a floor so that quiet
    // channels keep a minimum.
    weight[e] = peSum + 60.0 * nCh;
    weightSum += weight[e];
    factor[e] = 1.0;
    if (w->noReservoir) continue;
    int bt = psy->channel[el.channel[0]].windowSequence == EIGHT_SHORT;
    for (int c = 1; c < nCh; ++c)
      if ((psy->channel[el.channel[c]].windowSequence == EIGHT_SHORT) != bt)
        return ERROR_NEW("DistributeBits", "blockType mismatch");
    BitDemand* d = bt ? &w->demandShort : &w->demandLong;
    BitDemand* other = bt ? &w->demandLong : &w->demandShort;
    double pe = sideBits * nCh * 0.75 / nChFrame + peSum / nCh;
    double peC = pe < d->peMin ? d->peMin : (pe > d->peMax ? d->peMax : pe);
    float fill = size > 0 ? static_cast<float>(fullness) / static_cast<float>(size) : 0.0f;
    double save = Curve(d->saveFill, d->saveValue, fill);
    double spend = Curve(d->spendFill, d->spendValue, fill);
    double range = d->peMax - d->peMin;
    double f = 1.0 - save;
    if (range > 0.0) f = 1.0 + (spend + save) * (peC - d->peMin) / range - save;
    factor[e] = f;
    AdaptWindow(d, static_cast<float>(pe), 1.0f, size);
    AdaptWindow(other, static_cast<float>(pe), bt ? 0.6f : 0.8f, size);
  }
  long long sum = 0;
  long long cap = static_cast<long long>(0.9 * fullness) + availableBits;
  long long elemGrant[PSY_MAX_ELEMENTS];
  for (int e = 0; e < cfg.nElements; ++e) {
    long long g = static_cast<long long>(availableBits * factor[e] * weight[e] / weightSum);
    long long c = static_cast<long long>(static_cast<double>(cap) * weight[e] / weightSum);
    elemGrant[e] = g < c ? g : c;
    if (elemGrant[e] < 0) elemGrant[e] = 0;
    sum += elemGrant[e];
  }
  long long limit = static_cast<long long>(fullness) + availableBits;
  if (sum > limit) {
    long long s2 = 0;
    for (int e = 0; e < cfg.nElements; ++e) {
      elemGrant[e] = elemGrant[e] * limit / sum;
      s2 += elemGrant[e];
    }
    sum = s2;
    if (sum > limit) return ERROR_NEW("DistributeBits", "granted bits overflow");
  }
  for (int e = 0; e < cfg.nElements; ++e) {
    const ElementInfo& el = cfg.elements[e];
    int nCh = el.type == ID_CPE ? 2 : 1;
    for (int c = 0; c < nCh; ++c) grants[el.channel[c]] = static_cast<int>(elemGrant[e] / nCh);
  }
  return nullptr;
}

int WriteFillElements(BitBuffer* b, int fillBits) {
  int written = 0;
  int f = fillBits;
  while (f > 6) {
    int bytes = (f - 7) / 8;
    int count = bytes < 15 ? bytes : 15;
    int start = b->writePos;
    BitBufferWrite(b, 6, 3);
    BitBufferWrite(b, static_cast<uint32_t>(count), 4);
    int payload = count;
    if (count == 15) {
      int esc = bytes < 270 ? bytes - 15 : 255;
      BitBufferWrite(b, static_cast<uint32_t>(esc), 8);
      payload = esc + 14;
    }
    for (int i = 0; i < payload; ++i) BitBufferWrite(b, 0, 8);
    int n = b->writePos - start;
    written += n;
    f -= n;
  }
  return written;
}

ErrorRecord* FrameWriterWrite(FrameWriter* w, const QcFrame* frame, unsigned char* out, int* nBytes) {
  *nBytes = 0;
  if (frame->nChannels != w->nChannels) return ERROR_NEW("FrameWriterWrite", "wrong no of channels");
  BitBuffer* b = &w->buffer;
  BitBufferReset(b);
  if (!w->adts && !w->adifWritten) {
    ErrorRecord* e = WriteAdifHeader(b, w->bitrate, &w->pce);
    if (e) return ERROR_PASS(e, "FrameWriterWrite");
    w->adifWritten = 1;
  }
  w->bufferFullness = w->budget.fullnessBits / w->nChannels / 32;
  if (w->bufferFullness > 0x7FE) w->bufferFullness = 0x7FE;
  w->grantedBits = frame->grantedBits;
  w->usedBits = frame->usedBits;
  w->sideBits = frame->sideBits;
  int surplus = w->frameBits - frame->sideBits - frame->usedBits;
  w->fillRequested = ReservoirUpdate(&w->budget, surplus);
  int headerPos = b->writePos;
  if (w->adts) {
    BitBufferCoverCrc(b, ADTS_HEADER_BITS);
    AdtsHeader h;
    h.profile = 1;
    h.samplingFrequencyIndex = w->samplingFrequencyIndex;
    h.channelConfiguration = w->config.configNumber;
    h.crc = w->crc;
    h.frameLength = 0;
    h.bufferFullness = w->bufferFullness;
    h.blocksPerFrame = w->blocksPerFrame;
    ErrorRecord* e = WriteAdtsHeader(b, &h);
    if (e) return ERROR_PASS(e, "FrameWriterWrite");
    BitBufferEndCrcRegion(b);
  }
  int rawStart = b->writePos;
  if (w->streamType != 3) return ERROR_NEW("FrameWriterWrite", "wrong AAC stream type");
  int channels = 0;
  for (int i = 0; i < frame->nElements; ++i) {
    const QcElement& el = frame->element[i];
    BitBufferCoverCrc(b, 128);
    BitBufferWrite(b, static_cast<uint32_t>(el.type), 3);
    BitBufferWrite(b, static_cast<uint32_t>(el.instanceTag), 4);
    if (el.type == ID_SCE || el.type == ID_LFE) {
      const QcChannel& ch = frame->channel[el.channel[0]];
      if (el.type == ID_LFE && ch.windowSequence != ONLY_LONG)
        return ERROR_NEW("FrameWriterWrite", "encoder error: LFE must be long window");
      WriteIcs(b, &ch, 0);
      channels += 1;
    } else if (el.type == ID_CPE) {
      const QcChannel& l = frame->channel[el.channel[0]];
      const QcChannel& r = frame->channel[el.channel[1]];
      int common = el.commonWindow;
      if (common && (l.windowSequence != r.windowSequence || l.windowShape != r.windowShape || l.maxSfb != r.maxSfb))
        return ERROR_NEW("FrameWriterWrite", "commonWindow mismatch");
      BitBufferWrite(b, static_cast<uint32_t>(common), 1);
      if (common) {
        WriteIcsInfo(b, &l);
        WriteMsMask(b, el.msMaskPresent, el.msUsed, l.maxSfb, l.groups, l.sfbPerGroup);
      }
      WriteIcs(b, &l, common);
      BitBufferEndCrcRegion(b);
      BitBufferCoverCrc(b, 128);
      WriteIcs(b, &r, common);
      channels += 2;
    } else {
      return ERROR_NEW("FrameWriterWrite", "unknown element type");
    }
    BitBufferEndCrcRegion(b);
  }
  if (channels != w->nChannels) return ERROR_NEW("FrameWriterWrite", "wrong no of channels");
  w->fillWritten = WriteFillElements(b, w->fillRequested);
  BitBufferWrite(b, 7, 3);  // END
  w->alignBits = w->fillRequested - w->fillWritten;
  if (w->alignBits >= 8) return ERROR_NEW("FrameWriterWrite", "alignment bits >= 8");
  BitBufferWrite(b, 0, w->alignBits);
  if (b->overflow) return ERROR_NEW("FrameWriterWrite", "too much raw data for ADTS frame");
  int rawBits = b->writePos - rawStart;
  if (rawBits != frame->sideBits + w->fillRequested + frame->usedBits)
    return ERROR_NEW("FrameWriterWrite", "no of counted and calculated Bits differ");
  if (w->adts) {
    int frameLength = (b->writePos - headerPos) / 8;
    if (frameLength > 8191) return ERROR_NEW("FrameWriterWrite", "too much raw data for ADTS frame");
    PatchAdtsHeader(b, headerPos, frameLength, 0, 0);
    if (w->crc) PatchAdtsHeader(b, headerPos, frameLength, BitBufferCrc(b), 1);
  }
  if (b->writePos % 8 != 0) return ERROR_NEW("FrameWriterWrite", "alignment bits >= 8");
  int bytes = b->writePos / 8;
  std::memcpy(out, b->data, static_cast<size_t>(bytes));
  *nBytes = bytes;
  return nullptr;
}
