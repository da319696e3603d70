// Per-rate tables of ISO/IEC 13818-7: sampling frequency index, scalefactor
// band offsets of long (1024 lines) and short (128 lines) windows, and the
// Low Complexity TNS maximum bands. The data is generated (core/aac_rom.cpp).
#ifndef TESSEL_CORE_AAC_ROM_H
#define TESSEL_CORE_AAC_ROM_H

inline constexpr int AAC_NUM_RATES = 12;

struct AacRateTable {
  int sampleRate;
  int samplingFrequencyIndex;
  int sfbCntLong;
  const short* sfbOffsetLong;    // sfbCntLong + 1 entries, last 1024
  int sfbCntShort;
  const short* sfbOffsetShort;   // sfbCntShort + 1 entries, last 128
  int tnsMaxBandsLong;
  int tnsMaxBandsShort;
};

extern const AacRateTable kAacRateTables[AAC_NUM_RATES];

// The table of a rate, or null when the rate is not one of the twelve.
const AacRateTable* AacFindRate(int sampleRate);

#endif
