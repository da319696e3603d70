// Noiseless coding: bit counts of the spectral codebooks, sectioning and the
// writing of section, scalefactor and spectral data.
#ifndef TESSEL_CORE_NOISELESS_H
#define TESSEL_CORE_NOISELESS_H

#include "core/bitbuffer.h"
#include "core/qc_data.h"

enum { HUFF_INFINITY = 1 << 28 };

// Bits of n quantised values (n a multiple of the book's tuple size) in a
// book, sign and escape bits included; HUFF_INFINITY when a value does not
// fit the book. Book 0 costs 0 bits for all-zero values.
int CountBandBits(const short* q, int n, int book);
int MaxAbsValue(const short* q, int n);
// Smallest book pair that holds maxAbs: returns its first book (0 for 0).
int FirstBookFor(int maxAbs);
// Bits of a section length field.
int SectionLengthBits(int length, int shortBlocks);

// Builds the sections of every group from ch->quant for bands below
// ch->maxSfb. exact 0: runs of equal per-band best books (fast, used while
// searching the step size); 1: adjacent sections are merged as long as that
// saves bits. Fills sections, bandBook, sectionBits and spectralBits.
void SectionChannel(QcChannel* ch, int exact);
// Sets globalGain and the scalefactors of bands without own values that sit
// in coded sections, and returns the scalefactor bits (HUFF_INFINITY when a
// difference leaves -60..60).
int CountScalefactorBits(QcChannel* ch);

void WriteSectionData(BitBuffer* b, const QcChannel* ch);
void WriteScalefactorData(BitBuffer* b, const QcChannel* ch);
void WriteSpectralData(BitBuffer* b, const QcChannel* ch);

#endif
