// tessel-enc: encodes a WAV file (or standard input) to an ADTS AAC file
// through the exported interface of libtessel.so, loaded from this
// program's own folder.
//
//   tessel-enc [-b BITRATE] -o OUT.aac IN.wav      (BITRATE: 128000 or 128k)
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/include/tessel/aac_interface.h"

namespace {

const int kBitrates[] = {8000,  10000, 12000,  14000,  16000,  20000,  24000,  28000,  32000,  40000,  48000,
                         56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000};

void Usage() { std::fprintf(stderr, "usage: tessel-enc [-b BITRATE] -o OUT.aac IN.wav   (IN '-' = standard input)\n"); }

bool ParseBitrate(const char* s, int* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno || end == s) return false;
  if (*end == 'k' || *end == 'K') {
    v *= 1000;
    ++end;
  }
  if (*end != '\0' || v <= 0 || v > 10000000) return false;
  *out = static_cast<int>(v);
  return true;
}

struct Reader {
  FILE* f;
  bool readExact(void* dst, size_t n) { return std::fread(dst, 1, n, f) == n; }
  bool skip(uint64_t n) {
    char buf[4096];
    while (n > 0) {
      size_t k = n > sizeof(buf) ? sizeof(buf) : static_cast<size_t>(n);
      if (std::fread(buf, 1, k, f) != k) return false;
      n -= k;
    }
    return true;
  }
};

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

std::string ProgramFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string s(buf);
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  int bitrate = 128000;
  const char* outPath = nullptr;
  const char* inPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-b") == 0 && i + 1 < argc) {
      if (!ParseBitrate(argv[++i], &bitrate)) {
        std::fprintf(stderr, "tessel-enc: invalid bitrate '%s'\n", argv[i]);
        return 2;
      }
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      outPath = argv[++i];
    } else if (!inPath && (argv[i][0] != '-' || argv[i][1] == '\0')) {
      inPath = argv[i];
    } else {
      Usage();
      return 2;
    }
  }
  if (!outPath || !inPath) {
    Usage();
    return 2;
  }
  bool known = false;
  for (int b : kBitrates) known = known || b == bitrate;
  if (!known) {
    std::fprintf(stderr, "tessel-enc: unsupported bitrate %d bit/s\n", bitrate);
    return 1;
  }

  bool fromStdin = std::strcmp(inPath, "-") == 0;
  FILE* in = fromStdin ? stdin : std::fopen(inPath, "rb");
  if (!in) {
    std::fprintf(stderr, "tessel-enc: cannot open %s: %s\n", inPath, std::strerror(errno));
    return 1;
  }
  Reader r{in};
  unsigned char riff[12];
  if (!r.readExact(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    std::fprintf(stderr, "tessel-enc: %s is not a WAV file\n", inPath);
    return 1;
  }
  WavePcmFormat fmt = {};
  bool haveFmt = false;
  uint64_t dataSize = 0;
  bool dataOpenEnded = false;
  for (;;) {
    unsigned char hdr[8];
    if (!r.readExact(hdr, 8)) {
      std::fprintf(stderr, "tessel-enc: %s: no audio data (truncated WAV file)\n", inPath);
      return 1;
    }
    uint32_t size = Le32(hdr + 4);
    if (std::memcmp(hdr, "fmt ", 4) == 0) {
      if (size < 16 || size > 4096) {
        std::fprintf(stderr, "tessel-enc: %s: bad format chunk\n", inPath);
        return 1;
      }
      std::vector<unsigned char> b(size + (size & 1));
      if (!r.readExact(b.data(), b.size())) {
        std::fprintf(stderr, "tessel-enc: %s: truncated WAV file\n", inPath);
        return 1;
      }
      uint16_t tag = Le16(&b[0]);
      if (tag == 0xFFFE && size >= 40) tag = Le16(&b[24]);
      if (tag != 1) {
        std::fprintf(stderr, "tessel-enc: %s: only PCM WAV files are supported\n", inPath);
        return 1;
      }
      fmt.formatTag = 1;
      fmt.channels = Le16(&b[2]);
      fmt.samplesPerSec = Le32(&b[4]);
      fmt.avgBytesPerSec = Le32(&b[8]);
      fmt.blockAlign = Le16(&b[12]);
      fmt.bitsPerSample = Le16(&b[14]);
      haveFmt = true;
    } else if (std::memcmp(hdr, "data", 4) == 0) {
      dataSize = size;
      dataOpenEnded = size == 0xFFFFFFFFu || (fromStdin && size == 0);
      break;
    } else {
      if (!r.skip(static_cast<uint64_t>(size) + (size & 1))) {
        std::fprintf(stderr, "tessel-enc: %s: truncated WAV file\n", inPath);
        return 1;
      }
    }
  }
  if (!haveFmt) {
    std::fprintf(stderr, "tessel-enc: %s: no format chunk before the audio data\n", inPath);
    return 1;
  }
  int bits = fmt.bitsPerSample;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    std::fprintf(stderr, "tessel-enc: unsupported sample width %d bits\n", bits);
    return 1;
  }
  if (fmt.samplesPerSec != 44100 && fmt.samplesPerSec != 48000) {
    std::fprintf(stderr, "tessel-enc: unsupported sample rate %u Hz (44100 or 48000)\n", fmt.samplesPerSec);
    return 1;
  }
  int ch = fmt.channels;
  if (ch != 1 && ch != 2 && ch != 5 && ch != 6) {
    std::fprintf(stderr, "tessel-enc: unsupported channel count %d (1, 2, 5 or 6)\n", ch);
    return 1;
  }
  int frameBytes = ch * bits / 8;
  fmt.blockAlign = static_cast<uint16_t>(frameBytes);

  std::string lib = ProgramFolder() + "/libtessel.so";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "tessel-enc: cannot load %s: %s\n", lib.c_str(), dlerror());
    return 1;
  }
  auto create = reinterpret_cast<CreateAACInterfaceFn>(dlsym(h, "CreateAACInterface"));
  auto release = reinterpret_cast<ReleaseAACInterfaceFn>(dlsym(h, "ReleaseAACInterface"));
  if (!create || !release) {
    std::fprintf(stderr, "tessel-enc: %s lacks the encoder exports\n", lib.c_str());
    return 1;
  }
  AACInterface* enc = nullptr;
  if (create(&enc) != 0 || !enc) {
    std::fprintf(stderr, "tessel-enc: cannot create the encoder\n");
    return 1;
  }
  std::string tmp = std::string(outPath) + ".partXXXXXX";
  std::vector<char> tmpName(tmp.begin(), tmp.end());
  tmpName.push_back('\0');
  int fd = mkstemp(tmpName.data());
  if (fd >= 0) {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!out) {
    std::fprintf(stderr, "tessel-enc: cannot create %s: %s\n", outPath, std::strerror(errno));
    release(&enc);
    return 1;
  }
  auto fail = [&](const char* msg) {
    std::fprintf(stderr, "tessel-enc: %s\n", msg);
    std::fclose(out);
    unlink(tmpName.data());
    release(&enc);
    return 1;
  };
  if (!enc->Open(&fmt, outPath, nullptr, 0, 0, bitrate, nullptr, 0, out)) {
    char msg[160];
    std::snprintf(msg, sizeof(msg), "the encoder refused %d channel(s) at %u Hz and %d bit/s", ch, fmt.samplesPerSec,
                  bitrate);
    enc->Close();
    return fail(msg);
  }
  const bool progress = isatty(2) && !dataOpenEnded && dataSize > 0;
  std::vector<unsigned char> buf(static_cast<size_t>(frameBytes) * 4096);
  uint64_t done = 0;
  int lastPct = -1;
  for (;;) {
    size_t want = buf.size();
    if (!dataOpenEnded && dataSize - done < want) want = static_cast<size_t>(dataSize - done);
    if (want == 0) break;
    size_t got = std::fread(buf.data(), 1, want, in);
    if (got > 0) {
      size_t whole = got - got % static_cast<size_t>(frameBytes);
      if (whole > 0 && enc->Encode(buf.data(), static_cast<int>(whole)) != 0) {
        enc->Close();
        return fail("encoding failed");
      }
      done += got;
    }
    if (got < want) {
      if (std::ferror(in) || !dataOpenEnded) {
        enc->Close();
        return fail(std::ferror(in) ? "read error" : "truncated WAV file: the audio data ends early");
      }
      break;
    }
    if (progress) {
      int pct = static_cast<int>(done * 100 / dataSize);
      if (pct != lastPct) {
        std::fprintf(stderr, "\rtessel-enc: %3d %%", pct);
        lastPct = pct;
      }
    }
  }
  if (progress) std::fprintf(stderr, "\n");
  enc->Close();
  release(&enc);
  if (std::fflush(out) != 0 || std::fclose(out) != 0) {
    unlink(tmpName.data());
    std::fprintf(stderr, "tessel-enc: cannot write %s\n", outPath);
    return 1;
  }
  if (std::rename(tmpName.data(), outPath) != 0) {
    unlink(tmpName.data());
    std::fprintf(stderr, "tessel-enc: cannot create %s: %s\n", outPath, std::strerror(errno));
    return 1;
  }
  if (!fromStdin) std::fclose(in);
  return 0;
}
