#include "core/fifo_buf.h"

#include <cstdlib>
#include <cstring>

ErrorRecord* CreateFloatFifoBuffer(int size, float initial, FloatFifoBuffer** fifo) {
  if (!fifo || size <= 0) return ERROR_NEW("CreateFloatFifoBuffer", "CreateFloatFifoBuffer failed");
  FloatFifoBuffer* f = static_cast<FloatFifoBuffer*>(std::calloc(1, sizeof(FloatFifoBuffer)));
  if (f) f->data = static_cast<float*>(std::malloc(sizeof(float) * size_t(size)));
  if (!f || !f->data) {
    std::free(f);
    *fifo = nullptr;
    return ERROR_NEW("CreateFloatFifoBuffer", "CreateFloatFifoBuffer failed");
  }
  f->size = size;
  for (int i = 0; i < size; ++i) f->data[i] = initial;
  *fifo = f;
  return nullptr;
}

void DestroyFloatFifoBuffer(FloatFifoBuffer* f) {
  if (!f) return;
  std::free(f->data);
  std::free(f);
}

void FloatFifoPush(FloatFifoBuffer* f, const float* values, int n, int stride) {
  if (n > f->size) {
    values += size_t(n - f->size) * size_t(stride);
    n = f->size;
  }
  std::memmove(f->data, f->data + n, sizeof(float) * size_t(f->size - n));
  float* dst = f->data + (f->size - n);
  for (int i = 0; i < n; ++i) dst[i] = values[size_t(i) * size_t(stride)];
}

ErrorRecord* CreateFloatModuloBuffer(int records, int recordSize, float initial, FloatModuloBuffer** ring) {
  if (!ring || records <= 0 || recordSize <= 0) {
    return ERROR_NEW("CreateFloatModuloBuffer", "CreateFloatModuloBuffer failed");
  }
  FloatModuloBuffer* r = static_cast<FloatModuloBuffer*>(std::calloc(1, sizeof(FloatModuloBuffer)));
  if (r) r->data = static_cast<float*>(std::malloc(sizeof(float) * size_t(records) * size_t(recordSize)));
  if (!r || !r->data) {
    std::free(r);
    *ring = nullptr;
    return ERROR_NEW("CreateFloatModuloBuffer", "CreateFloatModuloBuffer failed");
  }
  r->records = records;
  r->recordSize = recordSize;
  r->newest = records - 1;
  for (int i = 0; i < records * recordSize; ++i) r->data[i] = initial;
  *ring = r;
  return nullptr;
}

void DestroyFloatModuloBuffer(FloatModuloBuffer* r) {
  if (!r) return;
  std::free(r->data);
  std::free(r);
}

void FloatModuloPush(FloatModuloBuffer* r, const float* record) {
  r->newest = (r->newest + 1) % r->records;
  std::memcpy(r->data + size_t(r->newest) * size_t(r->recordSize), record, sizeof(float) * size_t(r->recordSize));
}

const float* FloatModuloRecord(const FloatModuloBuffer* r, int age) {
  int i = (r->newest - age % r->records + r->records) % r->records;
  return r->data + size_t(i) * size_t(r->recordSize);
}
