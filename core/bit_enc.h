// Bit distribution between the channels of a frame and the frame writer
// that turns the quantised frame into an ADTS frame (or raw block after an
// ADIF header).
#ifndef TESSEL_CORE_BIT_ENC_H
#define TESSEL_CORE_BIT_ENC_H

#include "core/bit_aac.h"
#include "core/bit_fram.h"
#include "core/bitbuffer.h"
#include "core/cm_utils.h"
#include "core/errorhnd.h"
#include "core/prconfig.h"
#include "core/psyout.h"
#include "core/qc_data.h"

// Bit-demand parameters of one block type.
struct BitDemand {
  float peMin;
  float peMax;
  float saveFill[2], saveValue[2];    // bit-save curve end points
  float spendFill[2], spendValue[2];  // bit-spend curve end points
};

struct FrameWriter {
  int streamType;                // 3: raw data blocks
  int adts;                      // 1: ADTS frames, 0: ADIF header + raw blocks
  int adifWritten;
  int sampleRate;
  int samplingFrequencyIndex;
  int bitrate;
  ChannelConfig config;
  int nChannels;
  BitDemand demandLong;
  BitDemand demandShort;
  int noReservoir;
  FrameBudget budget;
  int crc;                       // option "crcCheck"
  int blocksPerFrame;
  int headerBits;
  int bufferFullness;
  ProgramConfig pce;
  BitBuffer buffer;
  // accounting of the current frame
  int frameBits;                 // budget of this frame without the header
  int grantedBits;
  int usedBits;
  int sideBits;
  int fillRequested;
  int fillWritten;
  int alignBits;
};

// Creates the writer: coding rate, bitrate, bandwidth (Hz) for the
// bit-demand parameters, configuration, ADTS flag. Reads "crcCheck" from
// `options` (may be null).
struct UciStore;
ErrorRecord* FrameWriterCreate(FrameWriter* w, int sampleRate, int bitrate, float bandwidth, const ChannelConfig* cfg,
                               int adts, UciStore* options);
void FrameWriterDestroy(FrameWriter* w);

// Starts a frame: returns the bits the frame may carry after its header.
int FrameWriterBeginFrame(FrameWriter* w);

// Side bits of one element for its current data (ics_info, fixed fields,
// TNS, M/S mask).
int ElementSideBits(const QcElement* e, const QcChannel* ch);
// Estimate before quantisation from the psychoacoustic output.
int ElementSideBitsEstimate(const ElementInfo* e, const PsyOut* psy, int maskPresent);

// Bits per channel for a frame: availableBits after side information,
// channel PE from the model. Fails with "available Bits < 0",
// "blockType mismatch", "granted bits overflow".
ErrorRecord* DistributeBits(FrameWriter* w, const PsyOut* psy, int sideBits, int availableBits, int* grants);

// Writes the frame; out receives the bytes (room for channels x 768 + 16).
ErrorRecord* FrameWriterWrite(FrameWriter* w, const QcFrame* frame, unsigned char* out, int* nBytes);

// Fill elements for `fillBits`; returns bits written (exposed for tests).
int WriteFillElements(BitBuffer* b, int fillBits);

#endif
