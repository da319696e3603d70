#include "core/bitbuffer.h"

#include <cstdlib>
#include <cstring>

int BitBufferCreate(BitBuffer* b, int sizeBits) {
  std::memset(b, 0, sizeof(*b));
  int words = (sizeBits + 31) / 32;
  b->data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(words) * 4u + 8u, 1));
  if (!b->data) return -1;
  b->sizeBits = words * 32;
  return 0;
}

void BitBufferDestroy(BitBuffer* b) {
  std::free(b->data);
  b->data = nullptr;
}

void BitBufferReset(BitBuffer* b) {
  int usedBytes = (b->writePos + 7) / 8;
  if (usedBytes > 0) std::memset(b->data, 0, static_cast<size_t>(usedBytes));
  b->writePos = 0;
  b->overflow = 0;
  b->nCrc = 0;
}

void BitBufferWriteAt(BitBuffer* b, int pos, uint32_t value, int n) {
  if (n <= 0) return;
  if (pos + n > b->sizeBits) {
    b->overflow = 1;
    return;
  }
  if (n < 32) value &= (1u << n) - 1u;
  // Bytes are kept zero ahead of the write position, so a plain write of a
  // 64-bit window is enough when appending; for patching clear the bits first.
  int byte = pos >> 3;
  int shift = pos & 7;
  uint64_t window = 0;
  for (int i = 0; i < 5; ++i) window = (window << 8) | b->data[byte + i];
  int totalBits = 40;
  int low = totalBits - shift - n;
  uint64_t mask = ((n == 32) ? 0xFFFFFFFFull : ((1ull << n) - 1ull)) << low;
  window = (window & ~mask) | (static_cast<uint64_t>(value) << low);
  for (int i = 4; i >= 0; --i) {
    b->data[byte + i] = static_cast<unsigned char>(window & 0xFFu);
    window >>= 8;
  }
}

void BitBufferWrite(BitBuffer* b, uint32_t value, int n) {
  BitBufferWriteAt(b, b->writePos, value, n);
  if (!b->overflow) b->writePos += n;
}

uint32_t BitBufferReadAt(const BitBuffer* b, int pos, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    int p = pos + i;
    int bit = (p < b->writePos) ? ((b->data[p >> 3] >> (7 - (p & 7))) & 1) : 0;
    v = (v << 1) | static_cast<uint32_t>(bit);
  }
  return v;
}

void BitBufferCoverCrc(BitBuffer* b, int bits) {
  if (!b->crcOn || b->nCrc >= BITBUF_MAX_CRC_REGIONS) return;
  b->crcStart[b->nCrc] = b->writePos;
  b->crcLength[b->nCrc] = bits;
  b->crcEnd[b->nCrc] = -1;
  ++b->nCrc;
}

void BitBufferEndCrcRegion(BitBuffer* b) {
  if (b->nCrc > 0 && b->crcEnd[b->nCrc - 1] < 0) b->crcEnd[b->nCrc - 1] = b->writePos;
}

uint16_t Crc16Bits(uint16_t crc, uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i) {
    unsigned bit = (value >> i) & 1u;
    unsigned top = (crc >> 15) & 1u;
    crc = static_cast<uint16_t>(crc << 1);
    if (top ^ bit) crc = static_cast<uint16_t>(crc ^ 0x8005u);
  }
  return crc;
}

uint16_t BitBufferCrc(const BitBuffer* b) {
  uint16_t crc = 0xFFFF;
  for (int r = 0; r < b->nCrc; ++r) {
    int start = b->crcStart[r];
    int len = b->crcLength[r];
    int limit = b->crcEnd[r] < 0 ? start + len : b->crcEnd[r];
    for (int i = 0; i < len; ++i) {
      int p = start + i;
      unsigned bit = 0;
      if (p < limit && p < b->writePos) bit = (b->data[p >> 3] >> (7 - (p & 7))) & 1u;
      crc = Crc16Bits(crc, bit, 1);
    }
  }
  return crc;
}
