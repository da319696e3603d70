#include "core/noiseless.h"

#include <cstdlib>

#include "core/huff_tab.h"

namespace {

inline int Abs(int v) { return v < 0 ? -v : v; }

int EscapeBits(int v) {  // v >= 16
  int n = 0;
  while ((v >> (n + 5)) != 0) ++n;
  return 2 * n + 5;
}

void WriteEscape(BitBuffer* b, int v) {
  int n = 0;
  while ((v >> (n + 5)) != 0) ++n;
  BitBufferWrite(b, (1u << (n + 1)) - 2u, n + 1);  // n ones then a zero
  BitBufferWrite(b, static_cast<uint32_t>(v - (1 << (n + 4))), n + 4);
}

}  // namespace

int MaxAbsValue(const short* q, int n) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    int a = Abs(q[i]);
    if (a > m) m = a;
  }
  return m;
}

int FirstBookFor(int maxAbs) {
  if (maxAbs == 0) return 0;
  if (maxAbs <= 1) return 1;
  if (maxAbs <= 2) return 3;
  if (maxAbs <= 4) return 5;
  if (maxAbs <= 7) return 7;
  if (maxAbs <= 12) return 9;
  return 11;
}

int CountBandBits(const short* q, int n, int book) {
  if (book == 0) return MaxAbsValue(q, n) == 0 ? 0 : HUFF_INFINITY;
  const HuffBook& hb = kHuffBooks[book];
  const unsigned char* len = hb.length;
  int bits = 0;
  switch (book) {
    case 1:
    case 2:
      for (int i = 0; i < n; i += 4) {
        int a = q[i], c = q[i + 1], d = q[i + 2], e = q[i + 3];
        if (Abs(a) > 1 || Abs(c) > 1 || Abs(d) > 1 || Abs(e) > 1) return HUFF_INFINITY;
        bits += len[27 * (a + 1) + 9 * (c + 1) + 3 * (d + 1) + (e + 1)];
      }
      return bits;
    case 3:
    case 4:
      for (int i = 0; i < n; i += 4) {
        int a = Abs(q[i]), c = Abs(q[i + 1]), d = Abs(q[i + 2]), e = Abs(q[i + 3]);
        if (a > 2 || c > 2 || d > 2 || e > 2) return HUFF_INFINITY;
        bits += len[27 * a + 9 * c + 3 * d + e] + (a != 0) + (c != 0) + (d != 0) + (e != 0);
      }
      return bits;
    case 5:
    case 6:
      for (int i = 0; i < n; i += 2) {
        int a = q[i], c = q[i + 1];
        if (Abs(a) > 4 || Abs(c) > 4) return HUFF_INFINITY;
        bits += len[9 * (a + 4) + (c + 4)];
      }
      return bits;
    case 7:
    case 8:
    case 9:
    case 10: {
      int lav = hb.lav, mul = lav + 1;
      for (int i = 0; i < n; i += 2) {
        int a = Abs(q[i]), c = Abs(q[i + 1]);
        if (a > lav || c > lav) return HUFF_INFINITY;
        bits += len[mul * a + c] + (a != 0) + (c != 0);
      }
      return bits;
    }
    default:
      for (int i = 0; i < n; i += 2) {
        int a = Abs(q[i]), c = Abs(q[i + 1]);
        if (a > MAX_QUANT || c > MAX_QUANT) return HUFF_INFINITY;
        int ia = a < 16 ? a : 16, ic = c < 16 ? c : 16;
        bits += len[17 * ia + ic] + (a != 0) + (c != 0);
        if (a >= 16) bits += EscapeBits(a);
        if (c >= 16) bits += EscapeBits(c);
      }
      return bits;
  }
}

int SectionLengthBits(int length, int shortBlocks) {
  int esc = shortBlocks ? 7 : 31;
  int w = shortBlocks ? 3 : 5;
  return w * (length / esc + 1);
}

namespace {

struct BandCost {
  int bits[12];
};

int SectionCost(const int* bits, int book, int length, int shortBlocks) {
  if (bits[book] >= HUFF_INFINITY) return HUFF_INFINITY;
  return 4 + SectionLengthBits(length, shortBlocks) + bits[book];
}

int BestBook(const int* bits, int* cost) {
  int best = 0;
  int bc = HUFF_INFINITY;
  for (int k = 0; k < 12; ++k) {
    if (bits[k] < bc) {
      bc = bits[k];
      best = k;
    }
  }
  *cost = bc;
  return best;
}

}  // namespace

void SectionChannel(QcChannel* ch, int exact) {
  const int shortBlocks = ch->windowSequence == EIGHT_SHORT;
  ch->sectionBits = 0;
  ch->spectralBits = 0;
  for (int g = 0; g < ch->groups; ++g) {
    int nb = ch->maxSfb;
    // Per-band bit tables: in fast mode only the smallest book pair that fits.
    BandCost cost[MAX_SFB_LONG];
    int maxAbs[MAX_SFB_LONG];
    for (int b = 0; b < nb; ++b) {
      int idx = g * ch->sfbPerGroup + b;
      const short* q = ch->quant + ch->sfbOffsets[idx];
      int n = ch->sfbOffsets[idx + 1] - ch->sfbOffsets[idx];
      maxAbs[b] = MaxAbsValue(q, n);
      for (int k = 0; k < 12; ++k) cost[b].bits[k] = HUFF_INFINITY;
      int first = FirstBookFor(maxAbs[b]);
      if (first == 0) {
        cost[b].bits[0] = 0;
        if (!exact) continue;
        first = 1;
      }
      if (exact) {
        for (int k = first; k <= 11; ++k) cost[b].bits[k] = CountBandBits(q, n, k);
      } else {
        cost[b].bits[first] = CountBandBits(q, n, first);
        if (first < 11) cost[b].bits[first + 1] = CountBandBits(q, n, first + 1);
      }
    }
    // Start with one section per run of equal best books.
    int nSec = 0;
    int secBits[MAX_SFB_LONG][12];
    Section* sec = ch->sections[g];
    for (int b = 0; b < nb; ++b) {
      int c;
      int book = BestBook(cost[b].bits, &c);
      if (nSec > 0 && sec[nSec - 1].book == book) {
        sec[nSec - 1].length++;
        for (int k = 0; k < 12; ++k) {
          int s = secBits[nSec - 1][k] + cost[b].bits[k];
          secBits[nSec - 1][k] = s > HUFF_INFINITY ? HUFF_INFINITY : s;
        }
      } else {
        sec[nSec].book = book;
        sec[nSec].start = b;
        sec[nSec].length = 1;
        for (int k = 0; k < 12; ++k) secBits[nSec][k] = cost[b].bits[k];
        ++nSec;
      }
    }
    if (exact) {
      // Greedy merging of neighbours while it saves bits. A zero band taken
      // into a coded section costs about one scalefactor bit as well.
      for (;;) {
        int bestGain = 0, bestAt = -1, bestBook = 0;
        for (int s = 0; s + 1 < nSec; ++s) {
          int before = SectionCost(secBits[s], sec[s].book, sec[s].length, shortBlocks) +
                       SectionCost(secBits[s + 1], sec[s + 1].book, sec[s + 1].length, shortBlocks);
          int len = sec[s].length + sec[s + 1].length;
          int zeroPenalty = 0;
          if (sec[s].book == 0) zeroPenalty += sec[s].length;
          if (sec[s + 1].book == 0) zeroPenalty += sec[s + 1].length;
          for (int k = 1; k < 12; ++k) {
            int sum = secBits[s][k] + secBits[s + 1][k];
            if (sum >= HUFF_INFINITY) continue;
            int after = 4 + SectionLengthBits(len, shortBlocks) + sum + zeroPenalty;
            if (before - after > bestGain) {
              bestGain = before - after;
              bestAt = s;
              bestBook = k;
            }
          }
        }
        if (bestAt < 0) break;
        sec[bestAt].book = bestBook;
        sec[bestAt].length += sec[bestAt + 1].length;
        for (int k = 0; k < 12; ++k) {
          int s2 = secBits[bestAt][k] + secBits[bestAt + 1][k];
          secBits[bestAt][k] = s2 > HUFF_INFINITY ? HUFF_INFINITY : s2;
        }
        for (int s = bestAt + 1; s + 1 < nSec; ++s) {
          sec[s] = sec[s + 1];
          for (int k = 0; k < 12; ++k) secBits[s][k] = secBits[s + 1][k];
        }
        --nSec;
      }
    }
    ch->nSections[g] = nSec;
    for (int s = 0; s < nSec; ++s) {
      ch->sectionBits += 4 + SectionLengthBits(sec[s].length, shortBlocks);
      ch->spectralBits += secBits[s][sec[s].book];
      for (int b = sec[s].start; b < sec[s].start + sec[s].length; ++b)
        ch->bandBook[g * ch->sfbPerGroup + b] = sec[s].book;
    }
  }
}

int CountScalefactorBits(QcChannel* ch) {
  int first = -1;
  for (int g = 0; g < ch->groups && first < 0; ++g)
    for (int b = 0; b < ch->maxSfb; ++b)
      if (ch->bandBook[g * ch->sfbPerGroup + b] != 0) {
        first = ch->scalefactor[g * ch->sfbPerGroup + b];
        break;
      }
  ch->globalGain = first < 0 ? SF_OFFSET : first;
  int last = ch->globalGain;
  int bits = 0;
  for (int g = 0; g < ch->groups; ++g) {
    for (int b = 0; b < ch->maxSfb; ++b) {
      int idx = g * ch->sfbPerGroup + b;
      if (ch->bandBook[idx] == 0) continue;
      int n = ch->sfbOffsets[idx + 1] - ch->sfbOffsets[idx];
      if (MaxAbsValue(ch->quant + ch->sfbOffsets[idx], n) == 0) ch->scalefactor[idx] = last;
      int d = ch->scalefactor[idx] - last;
      if (d < -60 || d > 60) return HUFF_INFINITY;
      bits += kSfLen[d + 60];
      last = ch->scalefactor[idx];
    }
  }
  ch->scalefactorBits = bits;
  return bits;
}

void WriteSectionData(BitBuffer* b, const QcChannel* ch) {
  const int shortBlocks = ch->windowSequence == EIGHT_SHORT;
  const int esc = shortBlocks ? 7 : 31;
  const int w = shortBlocks ? 3 : 5;
  for (int g = 0; g < ch->groups; ++g) {
    for (int s = 0; s < ch->nSections[g]; ++s) {
      const Section& sec = ch->sections[g][s];
      BitBufferWrite(b, static_cast<uint32_t>(sec.book), 4);
      int len = sec.length;
      while (len >= esc) {
        BitBufferWrite(b, static_cast<uint32_t>(esc), w);
        len -= esc;
      }
      BitBufferWrite(b, static_cast<uint32_t>(len), w);
    }
  }
}

void WriteScalefactorData(BitBuffer* b, const QcChannel* ch) {
  int last = ch->globalGain;
  for (int g = 0; g < ch->groups; ++g) {
    for (int sb = 0; sb < ch->maxSfb; ++sb) {
      int idx = g * ch->sfbPerGroup + sb;
      if (ch->bandBook[idx] == 0) continue;
      int d = ch->scalefactor[idx] - last + 60;
      BitBufferWrite(b, kSfCode[d], kSfLen[d]);
      last = ch->scalefactor[idx];
    }
  }
}

void WriteSpectralData(BitBuffer* b, const QcChannel* ch) {
  for (int g = 0; g < ch->groups; ++g) {
    for (int s = 0; s < ch->nSections[g]; ++s) {
      const Section& sec = ch->sections[g][s];
      if (sec.book == 0) continue;
      const HuffBook& hb = kHuffBooks[sec.book];
      int from = ch->sfbOffsets[g * ch->sfbPerGroup + sec.start];
      int to = ch->sfbOffsets[g * ch->sfbPerGroup + sec.start + sec.length];
      const short* q = ch->quant;
      for (int i = from; i < to; i += hb.dim) {
        int idx;
        if (hb.dim == 4) {
          if (hb.isSigned)
            idx = 27 * (q[i] + 1) + 9 * (q[i + 1] + 1) + 3 * (q[i + 2] + 1) + (q[i + 3] + 1);
          else
            idx = 27 * Abs(q[i]) + 9 * Abs(q[i + 1]) + 3 * Abs(q[i + 2]) + Abs(q[i + 3]);
        } else if (hb.isSigned) {
          idx = 9 * (q[i] + 4) + (q[i + 1] + 4);
        } else {
          int a = Abs(q[i]), c = Abs(q[i + 1]);
          if (sec.book == ESC_BOOK) {
            a = a < 16 ? a : 16;
            c = c < 16 ? c : 16;
          }
          idx = (hb.lav + 1) * a + c;
        }
        BitBufferWrite(b, hb.code[idx], hb.length[idx]);
        if (!hb.isSigned) {
          for (int k = 0; k < hb.dim; ++k)
            if (q[i + k] != 0) BitBufferWrite(b, q[i + k] < 0 ? 1u : 0u, 1);
          if (sec.book == ESC_BOOK) {
            for (int k = 0; k < 2; ++k)
              if (Abs(q[i + k]) >= 16) WriteEscape(b, Abs(q[i + k]));
          }
        }
      }
    }
  }
}
