// The bit buffer of the frame writer: bits are stored most significant first
// into bytes; positions are in bits. One frame at a time is assembled and
// then read out as bytes. The CRC of ADTS frames is kept as a list of
// covered stretches and computed once the frame is final.
#ifndef TESSEL_CORE_BITBUFFER_H
#define TESSEL_CORE_BITBUFFER_H

#include <cstdint>

enum { BITBUF_MAX_CRC_REGIONS = 32 };

struct BitBuffer {
  unsigned char* data;
  int sizeBits;            // capacity in bits
  int writePos;            // bits written
  int overflow;            // set when a write did not fit
  int crcOn;
  int nCrc;
  int crcStart[BITBUF_MAX_CRC_REGIONS];
  int crcLength[BITBUF_MAX_CRC_REGIONS];   // bits covered
  int crcEnd[BITBUF_MAX_CRC_REGIONS];      // where the element ended: later bits count as zero
};

// Allocates room for sizeBits bits (rounded up to 32-bit words). 0 on success.
int BitBufferCreate(BitBuffer* b, int sizeBits);
void BitBufferDestroy(BitBuffer* b);
void BitBufferReset(BitBuffer* b);
// Writes the lowest n (0..32) bits of value, most significant first.
void BitBufferWrite(BitBuffer* b, uint32_t value, int n);
// Overwrites n bits at an earlier position (header patching).
void BitBufferWriteAt(BitBuffer* b, int pos, uint32_t value, int n);
uint32_t BitBufferReadAt(const BitBuffer* b, int pos, int n);
// Marks the next `bits` bits from the current position as CRC-covered.
void BitBufferCoverCrc(BitBuffer* b, int bits);
// Cuts the last covered stretch at the current position (the element ended
// early); the rest counts as zero bits.
void BitBufferEndCrcRegion(BitBuffer* b);
// CRC-16 (polynomial 0x8005, start 0xFFFF, MSB first) over the covered stretches.
uint16_t BitBufferCrc(const BitBuffer* b);
// CRC helper over an arbitrary bit string; exposed for tests.
uint16_t Crc16Bits(uint16_t crc, uint32_t value, int n);

#endif
