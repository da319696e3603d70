// Thresholds of one block (a long block or one short window): partition
// energies, tonality from spectral flatness, spreading in Bark, required SNR,
// threshold in quiet and pre-echo control; mapped onto scalefactor bands.
#ifndef TESSEL_CORE_THR_CHAN_H
#define TESSEL_CORE_THR_CHAN_H

#include "core/psy_conf.h"

struct ThrBlockResult {
  float partEnergy[MAX_CB];
  float partSpread[MAX_CB];
  float partThr[MAX_CB];
};

// spectrum: cfg->lines values. weight: the spectral variation factor.
// prevThr (may be null): the previous block's partition thresholds of the
// same block type for pre-echo control; updated with this block's result.
// rpmin: pre-echo control never lowers a threshold below rpmin x itself.
void ThrComputeBlock(const PsyConfiguration* cfg, const float* spectrum, float weight, float* prevThr, float rpmin,
                     ThrBlockResult* out);

// Band energies of a block (sum of squares per band).
void ThrBandEnergies(const PsyConfiguration* cfg, const float* spectrum, float* sfbEnergy);

// Maps partition values onto bands by line overlap.
void ThrPartitionsToBands(const PsyConfiguration* cfg, const float* part, float* sfb);

// The spectral variation factor of a long block; c carries the smoothed
// figure between frames.
float ThrSpectralVariation(const float* spectrum, float* c);

#endif
