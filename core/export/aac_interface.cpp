// The exported encoder interface: stream set-up, the frame loop over
// arbitrary input blocks, output to a file or to the Lockstream library.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/aacencifc.h"
#include "core/errorhnd.h"
#include "core/export/lockstream.h"
#include "core/include/tessel/aac_interface.h"

#define TESSEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Interfaces may be created and released on any thread.
std::atomic<int> g_liveInterfaces{0};

const char kIdentification[] = "lyrbox";  // six letters, passed with every handle request

// File name of the Lockstream library; it is looked up beside this library
// first, then through the loader's normal search.
const char kLockstreamLibrary[] = "liblsedll.so";

void* LoadLockstreamLibrary() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&LoadLockstreamLibrary), &info) && info.dli_fname) {
    const char* slash = std::strrchr(info.dli_fname, '/');
    if (slash) {
      size_t dir = static_cast<size_t>(slash - info.dli_fname) + 1;
      char path[4096];
      if (dir + sizeof(kLockstreamLibrary) < sizeof(path)) {
        std::memcpy(path, info.dli_fname, dir);
        std::memcpy(path + dir, kLockstreamLibrary, sizeof(kLockstreamLibrary));
        void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (h) return h;
      }
    }
  }
  return dlopen(kLockstreamLibrary, RTLD_NOW | RTLD_LOCAL);
}

class AACInterfaceImpl final : public AACInterface {
 public:
  AACInterfaceImpl() { std::memcpy(identification_, kIdentification, sizeof(kIdentification)); }

  int ConvertPcm(float* dst, int nSamples, const unsigned char* src, int /*byteCount*/, int bytesPerSample) override {
    int done = 0;
    while (done < nSamples) {
      int chunk = nSamples - done;
      if (chunk > 1024) chunk = 1024;
      const unsigned char* p = src + static_cast<size_t>(done) * static_cast<size_t>(bytesPerSample);
      float* d = dst + done;
      switch (bytesPerSample) {
        case 2:
          for (int i = 0; i < chunk; ++i)
            d[i] = static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8))));
          break;
        case 1:
          // 8-bit wave samples are unsigned with the zero line at 128.
          for (int i = 0; i < chunk; ++i) d[i] = static_cast<float>((static_cast<int>(p[i]) - 128) * 256);
          break;
        case 3:
          for (int i = 0; i < chunk; ++i) {
            uint32_t w = (static_cast<uint32_t>(p[3 * i]) << 8) | (static_cast<uint32_t>(p[3 * i + 1]) << 16) |
                         (static_cast<uint32_t>(p[3 * i + 2]) << 24);
            d[i] = static_cast<float>(static_cast<int32_t>(w)) * (1.0f / 65536.0f);
          }
          break;
        default:
          for (int i = 0; i < chunk; ++i) {
            uint32_t w = static_cast<uint32_t>(p[4 * i]) | (static_cast<uint32_t>(p[4 * i + 1]) << 8) |
                         (static_cast<uint32_t>(p[4 * i + 2]) << 16) | (static_cast<uint32_t>(p[4 * i + 3]) << 24);
            d[i] = static_cast<float>(static_cast<int32_t>(w)) * (1.0f / 65536.0f);
          }
          break;
      }
      done += chunk;
    }
    return done;
  }

  int LseCommand(int a, int b, int c) override {
    if (!lse_) return 0;
    return lse_->Command(lseHandle_, a, b, c);
  }

  int LseAttach(int value, int /*unused*/) override {
    if (!lse_ || !lse_->Ready()) return 0;
    lseHandle_ = lse_->Attach(identification_, 6, value);
    return lseHandle_ ? 1 : 0;
  }

  void Close() override {
    if (!runOpen_) return;
    const int s = (stream_.bitsPerSample + 7) / 8;
    if (frameBuffer_ && pending_ == 0) {
      // The incomplete last frame is padded with silence, then two silent
      // frames carry the look-ahead and the transform overlap out.
      std::memset(frameBuffer_, 0, sizeof(float) * static_cast<size_t>(frameCapacity_));
      if (leftover_ > 0) {
        ConvertPcm(frameBuffer_, leftover_ / s, leftoverBuffer_, leftover_, s);
        EncodeAndEmit();
        std::memset(frameBuffer_, 0, sizeof(float) * static_cast<size_t>(frameCapacity_));
      }
      for (int i = 0; i < 2; ++i) EncodeAndEmit();
    } else if (!frameBuffer_) {
      // Nothing was fed: one silent flush frame.
      float* silent = static_cast<float*>(std::calloc(static_cast<size_t>(FrameCapacity()), sizeof(float)));
      if (silent) {
        frameBuffer_ = silent;
        frameCapacity_ = FrameCapacity();
        EncodeAndEmit();
      }
    }
    std::free(frameBuffer_);
    std::free(leftoverBuffer_);
    frameBuffer_ = nullptr;
    leftoverBuffer_ = nullptr;
    leftover_ = 0;
    if (lseFlag_) {
      if (lse_ && lseHandle_) lse_->CloseFile(lseHandle_);
    } else if (file_) {
      if (ownsFile_) std::fclose(file_);
      else std::fflush(file_);
    }
    file_ = nullptr;
    AacTeardownStream(run_);
    runOpen_ = false;
  }

  int Encode(const unsigned char* pcm, int byteCount) override {
    if (byteCount == 0) return -3;
    if (!runOpen_ || !pcm || byteCount < 0) return -1;
    const int s = (stream_.bitsPerSample + 7) / 8;
    if (!frameBuffer_) {
      frameCapacity_ = FrameCapacity();
      frameBuffer_ = static_cast<float*>(std::calloc(static_cast<size_t>(frameCapacity_), sizeof(float)));
      leftoverBuffer_ = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(frameCapacity_) * 4u));
      if (!frameBuffer_ || !leftoverBuffer_) {
        std::free(frameBuffer_);
        std::free(leftoverBuffer_);
        frameBuffer_ = nullptr;
        leftoverBuffer_ = nullptr;
        return -2;
      }
    }
    size_t pos = 0;
    size_t n = static_cast<size_t>(byteCount);
    for (;;) {
      int F = AacRunInputSamples(run_);
      size_t frameBytes = static_cast<size_t>(s) * static_cast<size_t>(F);
      size_t need = frameBytes - static_cast<size_t>(leftover_);
      if (n - pos < need) break;
      if (leftover_ > 0) {
        std::memcpy(leftoverBuffer_ + leftover_, pcm + pos, need);
        ConvertPcm(frameBuffer_, F, leftoverBuffer_, static_cast<int>(frameBytes), s);
      } else {
        ConvertPcm(frameBuffer_, F, pcm + pos, static_cast<int>(frameBytes), s);
      }
      pos += need;
      leftover_ = 0;
      if (!EncodeAndEmit()) return -1;
    }
    size_t rest = n - pos;
    if (rest > 0) {
      std::memcpy(leftoverBuffer_ + leftover_, pcm + pos, rest);
      leftover_ += static_cast<int>(rest);
    }
    return 0;
  }

  int Open(const void* pcmFormat, const char* path, const void* trackInfo, int lseFlag, int trackValue, int bitrate,
           const unsigned char* prefix, int prefixLength, FILE* file) override {
    // A second Open while a run is open is refused and leaves that run alone.
    if (!pcmFormat || runOpen_) return 0;
    if (!run_) {
      run_ = new (std::nothrow) AacRun;
      if (!run_) return 0;
    }
    frames_ = 0;
    pending_ = 0;
    leftover_ = 0;
    lseFlag_ = lseFlag != 0;
    WavePcmFormat fmt;
    std::memcpy(&fmt, pcmFormat, sizeof(fmt));
    std::memset(&stream_, 0, sizeof(stream_));
    stream_.channels = fmt.channels;
    stream_.bitsPerSample = fmt.bitsPerSample;
    stream_.inputRate = fmt.samplesPerSec;
    stream_.codingRate = fmt.samplesPerSec;
    stream_.bitrate = static_cast<uint32_t>(bitrate);
    stream_.streamFormat = 1;
    stream_.channelOrder = 0;
    if (lseFlag_ && (!lse_ || !lse_->Ready())) return 0;
    if (bitrate <= 0) return 0;
    if (AacSetupStream(&stream_, run_) != SETUP_OK) return 0;
    delay_ = static_cast<uint16_t>(run_->delay);
    channelConfig_ = static_cast<uint16_t>(run_->configNumber);
    if (lseFlag_) {
      const unsigned char* info = trackInfo ? static_cast<const unsigned char*>(trackInfo) + 372 : nullptr;
      lseHandle_ = lse_->CreateFile(identification_, 6, path, 1, bitrate / 100, trackValue, info, prefix,
                                    prefixLength);
      if (!lseHandle_) {
        AacTeardownStream(run_);
        return 0;
      }
      lse_->SetTrack(trackValue);
      lse_->SetBitrate(bitrate / 100);
      lse_->SetInfo(lseHandle_, info);
    } else {
      if (file) {
        file_ = file;
        ownsFile_ = false;
      } else {
        if (!path) {
          AacTeardownStream(run_);
          return 0;
        }
        file_ = std::fopen(path, "wb");
        ownsFile_ = true;
        if (!file_) {
          AacTeardownStream(run_);
          return 0;
        }
      }
      if (prefix && prefixLength > 0) std::fwrite(prefix, 1, static_cast<size_t>(prefixLength), file_);
    }
    runOpen_ = true;
    return 1;
  }

  int Reserved(int, int, int, int, int, int, int, int, int, int, int) override { return 1; }

  int Init() override {
    library_ = LoadLockstreamLibrary();
    if (!library_) return 1;
    create_ = reinterpret_cast<CreateLockstreamInterfaceFn>(dlsym(library_, "CreateLockstreamInterface"));
    release_ = reinterpret_cast<ReleaseLockstreamInterfaceFn>(dlsym(library_, "ReleaseLockstreamInterface"));
    if (!create_ || !release_) {
      dlclose(library_);
      library_ = nullptr;
      create_ = nullptr;
      release_ = nullptr;
      return 1;
    }
    create_(&lse_);
    return 1;
  }

  int Shutdown() override {
    // An open Lockstream run is ended (flush frame, slot 15) while the
    // library is still there to take it.
    if (runOpen_) Close();
    if (!library_) return 0;
    if (lse_) release_(&lse_);
    lse_ = nullptr;
    int rc = dlclose(library_);
    library_ = nullptr;
    return rc;
  }

  ~AACInterfaceImpl() override {
    if (runOpen_) Close();
    delete run_;
  }

 private:
  // Room for the largest input frame of the run: 1024 output samples per
  // channel at the coding rate, plus the converter's rounding slack.
  int FrameCapacity() const {
    uint32_t coding = stream_.codingRate ? stream_.codingRate : stream_.inputRate;
    int perChannel = static_cast<int>(1024ull * stream_.inputRate / coding) + 64;
    int n = perChannel * stream_.channels;
    return n < 8192 ? 8192 : n;
  }

  // Encodes frameBuffer_ and hands the frame on; false on failure.
  bool EncodeAndEmit() {
    int nBytes = 0;
    ErrorRecord* e = AacRunEncodeFrame(run_, frameBuffer_, output_, &nBytes);
    if (e) {
      ErrorFree(e);
      return false;
    }
    ++frames_;
    if (lseFlag_) {
      if (lse_ && lseHandle_) lse_->WriteFrame(lseHandle_, output_, nBytes);
    } else if (file_ && nBytes > 0) {
      std::fwrite(output_, 1, static_cast<size_t>(nBytes), file_);
    }
    return true;
  }

  void* library_ = nullptr;
  CreateLockstreamInterfaceFn create_ = nullptr;
  ReleaseLockstreamInterfaceFn release_ = nullptr;
  LockstreamInterface* lse_ = nullptr;
  void* lseHandle_ = nullptr;
  char identification_[8] = {};
  bool lseFlag_ = false;
  StreamParams stream_ = {};
  int frames_ = 0;
  int leftover_ = 0;
  unsigned char* leftoverBuffer_ = nullptr;
  float* frameBuffer_ = nullptr;
  int frameCapacity_ = 0;
  int pending_ = 0;
  unsigned char output_[PSY_MAX_CHANNELS * 768 + 64] = {};
  FILE* file_ = nullptr;
  bool ownsFile_ = false;
  AacRun* run_ = nullptr;   // encoder, converter and buffers of the open run
  bool runOpen_ = false;
  uint16_t delay_ = 0;
  uint16_t channelConfig_ = 0;
};

__attribute__((destructor)) void ReportLiveInterfaces() {
  if (g_liveInterfaces != 0) std::fputs("AAC Interface DLL: Not all interfaces released\n", stderr);
}

}  // namespace

TESSEL_EXPORT int CreateAACInterface(AACInterface** out) {
  if (!out) return -1;
  *out = nullptr;
  AACInterfaceImpl* obj = new (std::nothrow) AACInterfaceImpl();
  if (!obj) return -1;
  if (!obj->Init()) {
    delete obj;
    return -1;
  }
  *out = obj;
  ++g_liveInterfaces;
  return 0;
}

TESSEL_EXPORT int ReleaseAACInterface(AACInterface** obj) {
  if (!obj || !*obj) return -1;
  (*obj)->Shutdown();
  delete *obj;
  --g_liveInterfaces;
  return 0;
}
