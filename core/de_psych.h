// Perceptual entropy: the estimated bits a band needs at its threshold.
#ifndef TESSEL_CORE_DE_PSYCH_H
#define TESSEL_CORE_DE_PSYCH_H

// Bits of a band of `lines` lines (all windows of a group together) with
// energy e and threshold t: 0 when e <= t, else lines x 0.5 x log2(e / t)
// (6 dB of SNR per bit and line) plus 1.5 bits for the band's scalefactor.
float PeBand(float energy, float threshold, int lines);

// Section and window side information of a channel with that many coded
// bands (a rough estimate: half a bit per band plus 8 bits).
float PeSideBits(int codedBands);

#endif
