// Syntax of ISO/IEC 13818-7 elements: ADTS and ADIF headers, the program
// configuration element, ics_info, TNS data and the individual channel stream.
#ifndef TESSEL_CORE_BIT_AAC_H
#define TESSEL_CORE_BIT_AAC_H

#include "core/bitbuffer.h"
#include "core/errorhnd.h"
#include "core/prconfig.h"
#include "core/qc_data.h"

struct AdtsHeader {
  int profile;                 // 1 = Low Complexity
  int samplingFrequencyIndex;
  int channelConfiguration;
  int crc;                     // 1: protection_absent 0, 16-bit crc_check
  int frameLength;             // bytes, header included
  int bufferFullness;          // 11 bits
  int blocksPerFrame;          // 1..4
};

enum { ADTS_HEADER_BITS = 56, ADTS_CRC_BITS = 16 };

ErrorRecord* WriteAdtsHeader(BitBuffer* b, const AdtsHeader* h);
void PatchAdtsHeader(BitBuffer* b, int headerPos, int frameLength, int crcValue, int crcOn);

int IcsInfoBits(int windowSequence);
int TnsBits(const TnsData* tns, int windowSequence);
// Bits of an ms mask for a common-window CPE (2 for ms_mask_present).
int MsMaskBits(int maskPresent, int maxSfb, int groups);
// ms_mask_present from the mask below max_sfb.
int MsMaskPresentFor(const int* msUsed, int maxSfb, int groups, int sfbPerGroup);

void WriteIcsInfo(BitBuffer* b, const QcChannel* ch);
void WriteMsMask(BitBuffer* b, int maskPresent, const int* msUsed, int maxSfb, int groups, int sfbPerGroup);
// individual_channel_stream; ics_info included unless commonWindow.
void WriteIcs(BitBuffer* b, const QcChannel* ch, int commonWindow);

// ADIF header with the program configuration element (stream format 0).
ErrorRecord* WriteAdifHeader(BitBuffer* b, int bitrate, const ProgramConfig* pce);

#endif
