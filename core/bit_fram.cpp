#include "core/bit_fram.h"

#include <cstdint>

void FrameBudgetInit(FrameBudget* f, int sampleRate, int bitrate, int channels) {
  f->sampleRate = sampleRate;
  f->bitrate = bitrate;
  int64_t num = 128ll * bitrate;
  f->averageBytes = static_cast<int>(num / sampleRate);
  f->remainder = static_cast<int>(num % sampleRate);
  f->accumulator = 0;
  int64_t size = 6144ll * channels - static_cast<int64_t>(bitrate) * 1024 / sampleRate;
  if (static_cast<int64_t>(bitrate) > 6ll * sampleRate * channels || size <= 0) size = 0;
  int bytes = static_cast<int>((size + 7) / 8);
  f->reservoirBits = bytes * 8;
  f->fullnessBits = (bytes * 8 / 10) * 8;
}

int FrameBudgetNext(FrameBudget* f) {
  int bytes = f->averageBytes;
  f->accumulator += f->remainder;
  if (f->accumulator >= f->sampleRate) {
    f->accumulator -= f->sampleRate;
    ++bytes;
  }
  return bytes * 8;
}

int ReservoirUpdate(FrameBudget* f, int surplusBits) {
  int full = f->fullnessBits + surplusBits;
  int fill = 0;
  if (full > f->reservoirBits) {
    fill = full - f->reservoirBits;
    full = f->reservoirBits;
  }
  if (full < 0) full = 0;  // cannot happen when the grants are kept
  int cut = full % 8;
  fill += cut;
  full -= cut;
  f->fullnessBits = full;
  return fill;
}
