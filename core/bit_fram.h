// Frame budget and bit reservoir.
#ifndef TESSEL_CORE_BIT_FRAM_H
#define TESSEL_CORE_BIT_FRAM_H

struct FrameBudget {
  int sampleRate;
  int bitrate;
  int averageBytes;      // 128 x bitrate / rate, integer part
  int remainder;         // 128 x bitrate mod rate
  int accumulator;       // grows by remainder per frame
  int reservoirBits;     // size (whole bytes, in bits); 0: no reservoir
  int fullnessBits;      // whole bytes, in bits
};

void FrameBudgetInit(FrameBudget* f, int sampleRate, int bitrate, int channels);
// Bits of the next frame (average plus the extra byte); call once per frame.
int FrameBudgetNext(FrameBudget* f);
// Adds the frame's surplus (may be negative) to the reservoir and returns the
// fill bits: the excess above the size plus the bits below a whole byte.
int ReservoirUpdate(FrameBudget* f, int surplusBits);

#endif
