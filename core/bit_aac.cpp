#include "core/bit_aac.h"

#include <cstdlib>
#include <cstring>

#include "core/noiseless.h"

ErrorRecord* WriteAdtsHeader(BitBuffer* b, const AdtsHeader* h) {
  if (h->blocksPerFrame < 1 || h->blocksPerFrame > 4) return ERROR_NEW("WriteAdtsHeader", "wrong number of blocks in frame");
  BitBufferWrite(b, 0xFFF, 12);
  BitBufferWrite(b, 1, 1);  // MPEG-2
  BitBufferWrite(b, 0, 2);
  BitBufferWrite(b, h->crc ? 0u : 1u, 1);
  BitBufferWrite(b, static_cast<uint32_t>(h->profile), 2);
  BitBufferWrite(b, static_cast<uint32_t>(h->samplingFrequencyIndex), 4);
  BitBufferWrite(b, 0, 1);
  BitBufferWrite(b, static_cast<uint32_t>(h->channelConfiguration), 3);
  BitBufferWrite(b, 0, 1);  // original_copy
  BitBufferWrite(b, 0, 1);  // home
  BitBufferWrite(b, 0, 1);  // copyright_identification_bit
  BitBufferWrite(b, 0, 1);  // copyright_identification_start
  BitBufferWrite(b, static_cast<uint32_t>(h->frameLength), 13);
  BitBufferWrite(b, static_cast<uint32_t>(h->bufferFullness), 11);
  BitBufferWrite(b, static_cast<uint32_t>(h->blocksPerFrame - 1), 2);
  if (h->crc) BitBufferWrite(b, 0, 16);
  return nullptr;
}

void PatchAdtsHeader(BitBuffer* b, int headerPos, int frameLength, int crcValue, int crcOn) {
  BitBufferWriteAt(b, headerPos + 30, static_cast<uint32_t>(frameLength), 13);
  if (crcOn) BitBufferWriteAt(b, headerPos + ADTS_HEADER_BITS, static_cast<uint32_t>(crcValue), 16);
}

int IcsInfoBits(int windowSequence) { return windowSequence == EIGHT_SHORT ? 15 : 11; }

int TnsBits(const TnsData* tns, int windowSequence) {
  if (!tns || !tns->present) return 0;
  const int shortBlocks = windowSequence == EIGHT_SHORT;
  int nw = shortBlocks ? 8 : 1;
  int bits = 0;
  for (int w = 0; w < nw; ++w) {
    const TnsWindowData& t = tns->window[w];
    bits += shortBlocks ? 1 : 2;
    if (t.numFilters == 0) continue;
    bits += 1;  // coef_res
    for (int f = 0; f < t.numFilters; ++f) {
      bits += shortBlocks ? 4 + 3 : 6 + 5;
      if (t.order > 0) bits += 2 + t.order * (t.coefRes - t.coefCompress);
    }
  }
  return bits;
}

static void WriteTns(BitBuffer* b, const TnsData* tns, int windowSequence) {
  const int shortBlocks = windowSequence == EIGHT_SHORT;
  int nw = shortBlocks ? 8 : 1;
  for (int w = 0; w < nw; ++w) {
    const TnsWindowData& t = tns->window[w];
    BitBufferWrite(b, static_cast<uint32_t>(t.numFilters), shortBlocks ? 1 : 2);
    if (t.numFilters == 0) continue;
    BitBufferWrite(b, static_cast<uint32_t>(t.coefRes - 3), 1);
    for (int f = 0; f < t.numFilters; ++f) {
      BitBufferWrite(b, static_cast<uint32_t>(t.length), shortBlocks ? 4 : 6);
      BitBufferWrite(b, static_cast<uint32_t>(t.order), shortBlocks ? 3 : 5);
      if (t.order == 0) continue;
      BitBufferWrite(b, static_cast<uint32_t>(t.direction), 1);
      BitBufferWrite(b, static_cast<uint32_t>(t.coefCompress), 1);
      int nbits = t.coefRes - t.coefCompress;
      uint32_t mask = (1u << nbits) - 1u;
      for (int i = 0; i < t.order; ++i) BitBufferWrite(b, static_cast<uint32_t>(t.coef[i]) & mask, nbits);
    }
  }
}

int MsMaskPresentFor(const int* msUsed, int maxSfb, int groups, int sfbPerGroup) {
  int used = 0;
  for (int g = 0; g < groups; ++g)
    for (int sb = 0; sb < maxSfb; ++sb) used += msUsed[g * sfbPerGroup + sb] ? 1 : 0;
  if (used == 0) return 0;
  return used == maxSfb * groups ? 2 : 1;
}

int MsMaskBits(int maskPresent, int maxSfb, int groups) { return 2 + (maskPresent == 1 ? maxSfb * groups : 0); }

void WriteIcsInfo(BitBuffer* b, const QcChannel* ch) {
  BitBufferWrite(b, 0, 1);
  BitBufferWrite(b, static_cast<uint32_t>(ch->windowSequence), 2);
  BitBufferWrite(b, static_cast<uint32_t>(ch->windowShape), 1);
  if (ch->windowSequence == EIGHT_SHORT) {
    BitBufferWrite(b, static_cast<uint32_t>(ch->maxSfb), 4);
    uint32_t grouping = 0;
    int w = 0;
    for (int g = 0; g < ch->groups; ++g) {
      for (int k = 0; k < ch->groupLen[g]; ++k, ++w) {
        if (w == 0) continue;
        grouping = (grouping << 1) | (k > 0 ? 1u : 0u);
      }
    }
    BitBufferWrite(b, grouping, 7);
  } else {
    BitBufferWrite(b, static_cast<uint32_t>(ch->maxSfb), 6);
    BitBufferWrite(b, 0, 1);  // predictor_data_present
  }
}

void WriteMsMask(BitBuffer* b, int maskPresent, const int* msUsed, int maxSfb, int groups, int sfbPerGroup) {
  BitBufferWrite(b, static_cast<uint32_t>(maskPresent), 2);
  if (maskPresent != 1) return;
  for (int g = 0; g < groups; ++g)
    for (int sb = 0; sb < maxSfb; ++sb) BitBufferWrite(b, msUsed[g * sfbPerGroup + sb] ? 1u : 0u, 1);
}

void WriteIcs(BitBuffer* b, const QcChannel* ch, int commonWindow) {
  BitBufferWrite(b, static_cast<uint32_t>(ch->globalGain), 8);
  if (!commonWindow) WriteIcsInfo(b, ch);
  WriteSectionData(b, ch);
  WriteScalefactorData(b, ch);
  BitBufferWrite(b, 0, 1);  // pulse_data_present
  int tnsPresent = ch->tns && ch->tns->present ? 1 : 0;
  BitBufferWrite(b, static_cast<uint32_t>(tnsPresent), 1);
  if (tnsPresent) WriteTns(b, ch->tns, ch->windowSequence);
  BitBufferWrite(b, 0, 1);  // gain_control_data_present
  WriteSpectralData(b, ch);
}

static void WriteProgramConfig(BitBuffer* b, const ProgramConfig* p) {
  BitBufferWrite(b, static_cast<uint32_t>(p->instanceTag), 4);
  BitBufferWrite(b, static_cast<uint32_t>(p->profile), 2);
  BitBufferWrite(b, static_cast<uint32_t>(p->samplingFrequencyIndex), 4);
  BitBufferWrite(b, static_cast<uint32_t>(p->nFront), 4);
  BitBufferWrite(b, static_cast<uint32_t>(p->nSide), 4);
  BitBufferWrite(b, static_cast<uint32_t>(p->nBack), 4);
  BitBufferWrite(b, static_cast<uint32_t>(p->nLfe), 2);
  BitBufferWrite(b, static_cast<uint32_t>(p->nAssocData), 3);
  BitBufferWrite(b, static_cast<uint32_t>(p->nCoupling), 4);
  BitBufferWrite(b, 0, 1);  // mono_mixdown_present
  BitBufferWrite(b, 0, 1);  // stereo_mixdown_present
  BitBufferWrite(b, 0, 1);  // matrix_mixdown_idx_present
  for (int i = 0; i < p->nFront; ++i) {
    BitBufferWrite(b, static_cast<uint32_t>(p->front[i].isCpe), 1);
    BitBufferWrite(b, static_cast<uint32_t>(p->front[i].instanceTag), 4);
  }
  for (int i = 0; i < p->nLfe; ++i) BitBufferWrite(b, static_cast<uint32_t>(p->lfeTag[i]), 4);
  int pad = (8 - (b->writePos & 7)) & 7;
  BitBufferWrite(b, 0, pad);
  int len = static_cast<int>(std::strlen(p->comment));
  BitBufferWrite(b, static_cast<uint32_t>(len), 8);
  for (int i = 0; i < len; ++i) BitBufferWrite(b, static_cast<unsigned char>(p->comment[i]), 8);
}

ErrorRecord* WriteAdifHeader(BitBuffer* b, int bitrate, const ProgramConfig* pce) {
  const char* id = "ADIF";
  for (int i = 0; i < 4; ++i) BitBufferWrite(b, static_cast<unsigned char>(id[i]), 8);
  BitBufferWrite(b, 0, 1);  // copyright_id_present
  BitBufferWrite(b, 0, 1);  // original_copy
  BitBufferWrite(b, 0, 1);  // home
  int variable = bitrate < 0 ? 1 : 0;
  BitBufferWrite(b, static_cast<uint32_t>(variable), 1);
  BitBufferWrite(b, static_cast<uint32_t>(std::abs(bitrate)), 23);
  BitBufferWrite(b, 0, 4);  // one program configuration element
  if (!variable) BitBufferWrite(b, 0, 20);
  WriteProgramConfig(b, pce);
  if (b->overflow) return ERROR_NEW("WriteAdifHeader", "out of memory");
  return nullptr;
}
