// tessel: MPEG-2 AAC (Low Complexity) encoder library, public interface.
//
// The library exports exactly two functions with C linkage:
//
//   int CreateAACInterface(AACInterface** out);   // 0 ok, -1 failure (*out = null)
//   int ReleaseAACInterface(AACInterface** obj);  // 0 ok, -1 null argument or pointer;
//                                                 // the caller's pointer is not cleared
//
// A run is Open -> Encode* -> Close. Each interface holds at most one open
// run (a second Open is refused until Close); interfaces share no state, so
// runs of different interfaces may encode at the same time on different
// threads. The calls on one interface must come from one thread at a time.
//
// Example:
//   AACInterface* enc = nullptr;
//   if (CreateAACInterface(&enc) != 0) return;
//   WavePcmFormat fmt = {1, 2, 44100, 176400, 4, 16};
//   if (enc->Open(&fmt, "out.aac", nullptr, 0, 0, 128000, nullptr, 0, nullptr)) {
//     enc->Encode(pcm, bytes);   // any number of times, blocks of any size
//     enc->Close();              // flushes the last frames
//   }
//   ReleaseAACInterface(&enc);
#ifndef TESSEL_AAC_INTERFACE_H
#define TESSEL_AAC_INTERFACE_H

#include <cstdint>
#include <cstdio>

// The 16-byte PCM format record of a wave file's format chunk.
struct WavePcmFormat {
  uint16_t formatTag;       // 1 = PCM
  uint16_t channels;        // 1, 2, 5 or 6
  uint32_t samplesPerSec;   // 44100 or 48000
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;   // 8, 16, 24 or 32
};
static_assert(sizeof(WavePcmFormat) == 16, "wave format record is 16 bytes");

// The encoder object. The ten operations keep this declaration order (the
// object layout other programs bind against); the destructor is last.
class AACInterface {
 public:
  // Converts nSamples little-endian samples of bytesPerSample bytes (1..4)
  // from src to floats at 16-bit full scale. byteCount is not used.
  // Returns the number of samples converted.
  virtual int ConvertPcm(float* dst, int nSamples, const unsigned char* src, int byteCount, int bytesPerSample) = 0;
  // Passes three integers to the Lockstream library's command operation and
  // returns its result (0 without a Lockstream handle).
  virtual int LseCommand(int a, int b, int c) = 0;
  // Obtains a Lockstream handle for `value`; 1 on success, else 0. The
  // second argument is ignored.
  virtual int LseAttach(int value, int unused) = 0;
  // Ends the run: encodes the remaining samples and a flush frame, closes the
  // file (AAC mode) or ends the Lockstream file (LSE mode). No-op without a run.
  virtual void Close() = 0;
  // Feeds PCM bytes (interleaved, width as given to Open). 0 ok; -1 a frame
  // could not be encoded (or no run is open); -2 no memory; -3 byteCount 0.
  virtual int Encode(const unsigned char* pcm, int byteCount) = 0;
  // Opens a run. pcmFormat: WavePcmFormat. path: output file (AAC mode,
  // created unless `file` is given) or the Lockstream file name. trackInfo:
  // the caller's 1672-byte track block (LSE mode reads from byte 372 on; may
  // be null in AAC mode). lseFlag non-zero selects LSE mode. trackValue is
  // passed to the Lockstream library. bitrate in bit/s (8000..320000, listed
  // values). prefix/prefixLength: bytes written at the start of the file
  // (may be null/0). file: an already open FILE* to write to, or null.
  // Returns 1 ok, 0 failure (no run is left open).
  virtual int Open(const void* pcmFormat, const char* path, const void* trackInfo, int lseFlag, int trackValue,
                   int bitrate, const unsigned char* prefix, int prefixLength, FILE* file) = 0;
  // Accepts and ignores its arguments; returns 1.
  virtual int Reserved(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9, int a10) = 0;
  // Binds the Lockstream library when it is present; always 1.
  virtual int Init() = 0;
  // Releases and unloads the Lockstream library: 0 when none was loaded,
  // else the unload result.
  virtual int Shutdown() = 0;
  virtual ~AACInterface() {}
};

extern "C" {
int CreateAACInterface(AACInterface** out);
int ReleaseAACInterface(AACInterface** obj);
}

// Names and types for binding the library at run time (dlopen/dlsym).
using CreateAACInterfaceFn = int (*)(AACInterface**);
using ReleaseAACInterfaceFn = int (*)(AACInterface**);

#endif
