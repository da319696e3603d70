// History buffers of the model: a shift-in FIFO of floats (the input history
// of a channel) and a ring of fixed-size records (the store of past blocks'
// per-partition log energies). Created once; pushing never allocates.
#ifndef TESSEL_CORE_FIFO_BUF_H
#define TESSEL_CORE_FIFO_BUF_H

#include "core/errorhnd.h"

struct FloatFifoBuffer {
  int size;      // values held, oldest first
  float* data;
};

// Filled with `initial`. Fails with "CreateFloatFifoBuffer failed".
ErrorRecord* CreateFloatFifoBuffer(int size, float initial, FloatFifoBuffer** fifo);
void DestroyFloatFifoBuffer(FloatFifoBuffer* fifo);
// Drops the n oldest values and appends n values read with `stride`.
void FloatFifoPush(FloatFifoBuffer* fifo, const float* values, int n, int stride);

struct FloatModuloBuffer {
  int records;     // ring length
  int recordSize;  // floats per record
  int newest;      // index of the newest record
  float* data;
};

// Fails with "CreateFloatModuloBuffer failed".
ErrorRecord* CreateFloatModuloBuffer(int records, int recordSize, float initial, FloatModuloBuffer** ring);
void DestroyFloatModuloBuffer(FloatModuloBuffer* ring);
// Overwrites the oldest record with `record` (recordSize floats).
void FloatModuloPush(FloatModuloBuffer* ring, const float* record);
// Record `age` steps back (0 = newest).
const float* FloatModuloRecord(const FloatModuloBuffer* ring, int age);

#endif
