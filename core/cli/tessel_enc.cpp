// tessel-enc: encodes audio files (WAV, FLAC, AIFF, Ogg and what else
// libsndfile reads) to ADTS AAC files through the exported interface of
// libtessel.so, loaded from this program's own folder, several files at once
// on worker threads. An ID3v2 tag block with title and artist goes in front
// of the stream, built by the Music Studio's tag code as the ripper builds it.
//
//   tessel-enc [-b BITRATE] [-j N] [-q] [--title T] [--artist A] -o OUT.aac IN
//   tessel-enc [-b BITRATE] [-j N] [-q] [--title T] [--artist A] [-d DIR] IN...
#include <dlfcn.h>
#include <getopt.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/include/tessel/aac_interface.h"
#include "library/id3v2_tag.h"

namespace {

const int kBitrates[] = {8000,  10000, 12000,  14000,  16000,  20000,  24000,  28000,  32000,  40000,  48000,
                         56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000};

// Frames read and handed to the encoder per call.
constexpr sf_count_t kBlockFrames = 4096;

void Usage(FILE* to) {
  std::fputs(
      "usage: tessel-enc [options] -o OUT.aac IN       one file (IN '-' = standard input)\n"
      "       tessel-enc [options] [-d DIR] IN...        each IN to DIR/NAME.aac (default: beside IN)\n"
      "options:\n"
      "  -b BITRATE      bit/s, e.g. 128000 or 128k (default 128k); 8k to 320k in the encoder's steps\n"
      "  -j N            encode N files at once (default 1)\n"
      "  -q              no progress display\n"
      "  --title TEXT    ID3v2 title in front of the stream\n"
      "  --artist TEXT   ID3v2 artist in front of the stream\n"
      "Input: WAV, FLAC, AIFF, Ogg Vorbis and the other formats of libsndfile; 44100 or 48000 Hz;\n"
      "1, 2, 5 or 6 channels. A WAV file whose audio data ends before its header says is encoded\n"
      "as far as it goes, with a warning.\n",
      to);
}

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

// A sample of +-1.0 full scale as a 32-bit integer sample, clipped.
int32_t FullScale32(float x) {
  const double v = static_cast<double>(x) * 2147483648.0;
  if (!(v < 2147483647.0)) return v != v ? 0 : INT32_MAX;
  if (v < -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::lround(v));
}

std::string ProgramFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string s(buf);
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// DIR/NAME.aac for IN: NAME is the file name of IN without its extension.
std::string OutputFor(const std::string& in, const std::string& dir) {
  std::string name = BaseName(in);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  std::string folder = dir;
  if (folder.empty()) {
    size_t slash = in.rfind('/');
    folder = slash == std::string::npos ? "." : in.substr(0, slash == 0 ? 1 : slash);
  }
  if (folder.back() != '/') folder += '/';
  return folder + name + ".aac";
}

// Messages and the progress line share standard error: one writer at a time,
// and a message first clears a progress line that is on the screen.
class Console {
 public:
  explicit Console(bool progress) : progress_(progress) {}

  void Message(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLine();
    va_list args;
    va_start(args, fmt);
    std::fputs("tessel-enc: ", stderr);
    std::vfprintf(stderr, fmt, args);
    std::fputc('\n', stderr);
    va_end(args);
  }

  // Overall progress: `done` files finished of `total`, plus the running
  // files' shares. Redrawn at most five times a second.
  void Progress(double fraction, int done, int total, const std::string& current, bool force) {
    if (!progress_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    int pct = static_cast<int>(fraction * 100.0 + 1e-9);
    if (pct > 100) pct = 100;
    std::string name = current.size() > 40 ? "..." + current.substr(current.size() - 37) : current;
    std::fprintf(stderr, "\r\033[Ktessel-enc: %3d %%  %d of %d files done  %s", pct, done, total, name.c_str());
    std::fflush(stderr);
    shown_ = true;
  }

  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLine();
  }

 private:
  void ClearLine() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
  }
  bool progress_;
  bool shown_ = false;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point last_{};
};

struct Job {
  std::string in;
  std::string out;
  std::atomic<double> fraction{0.0};   // share of this file already encoded
};

struct Settings {
  int bitrate = 128000;
  std::string prefix;                  // rendered ID3v2 tag block, or empty
  CreateAACInterfaceFn create = nullptr;
  ReleaseAACInterfaceFn release = nullptr;
};

class Encoder {
 public:
  Encoder(const Settings& s, Console& console) : s_(s), console_(console) {}

  // Encodes one job; false (with a message) when the file was not written.
  bool Run(Job& job) {
    const bool fromStdin = job.in == "-";
    SF_INFO info = {};
    SNDFILE* in = fromStdin ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, 0) : sf_open(job.in.c_str(), SFM_READ, &info);
    if (!in) return Fail(job, std::string("cannot read it: ") + sf_strerror(nullptr));
    bool ok = Encode(job, in, info);
    sf_close(in);
    return ok;
  }

 private:
  bool Fail(const Job& job, const std::string& why) {
    console_.Message("%s: %s", job.in.c_str(), why.c_str());
    return false;
  }

  // The claimed length of a WAV's audio data against what the file holds:
  // libsndfile notes "data : N (should be M)" in its log and reads only
  // what is there. Files from a pipe show it when the data runs out.
  void WarnIfShort(const Job& job, SNDFILE* in, sf_count_t claimed, sf_count_t read) {
    char log[4096] = "";
    sf_command(in, SFC_GET_LOG_INFO, log, sizeof log);
    const char* data = std::strstr(log, "\ndata : ");
    const char* should = data ? std::strstr(data, "should be") : nullptr;
    const char* lineEnd = data ? std::strchr(data + 1, '\n') : nullptr;
    const bool shortData = should && (!lineEnd || should < lineEnd);
    // A pipe's wave header may claim the largest size when the writer did
    // not know the length: running out then is the normal end.
    const bool openEnded = claimed >= (sf_count_t{0xFFFF0000} / bytesPerFrame_);
    if (shortData || (claimed > 0 && !openEnded && read < claimed)) {
      console_.Message("warning: %s: the audio data ends before the header says; encoded the %.2f s that are there",
                       job.in.c_str(), static_cast<double>(read) / sampleRate_);
    }
  }

  bool Encode(Job& job, SNDFILE* in, const SF_INFO& info) {
    if (info.samplerate != 44100 && info.samplerate != 48000)
      return Fail(job, "unsupported sample rate " + std::to_string(info.samplerate) + " Hz (44100 or 48000)");
    if (info.channels != 1 && info.channels != 2 && info.channels != 5 && info.channels != 6)
      return Fail(job, "unsupported channel count " + std::to_string(info.channels) + " (1, 2, 5 or 6)");
    sampleRate_ = info.samplerate;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    const int fileBytes = sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 ? 1
                          : sub == SF_FORMAT_PCM_24                           ? 3
                          : sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_FLOAT ? 4
                          : sub == SF_FORMAT_DOUBLE                           ? 8
                                                                              : 2;
    bytesPerFrame_ = info.channels * fileBytes;
    // Sources of up to 16 bits go in as 16-bit samples; wider integer and
    // floating-point sources as 32-bit samples, read through libsndfile's
    // float scale (+-1.0 full scale; floating-point data beyond it is clipped).
    const bool narrow = sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 ||
                        sub == SF_FORMAT_ULAW || sub == SF_FORMAT_ALAW;
    const int bits = narrow ? 16 : 32;
    const int ch = info.channels;

    WavePcmFormat fmt = {};
    fmt.formatTag = 1;
    fmt.channels = static_cast<uint16_t>(ch);
    fmt.samplesPerSec = static_cast<uint32_t>(info.samplerate);
    fmt.blockAlign = static_cast<uint16_t>(ch * bits / 8);
    fmt.avgBytesPerSec = fmt.samplesPerSec * fmt.blockAlign;
    fmt.bitsPerSample = static_cast<uint16_t>(bits);

    // The stream goes to a private file beside the output and takes its
    // name only when complete: a failed run leaves no partial file.
    std::string tmp = job.out + ".partXXXXXX";
    std::vector<char> tmpName(tmp.begin(), tmp.end());
    tmpName.push_back('\0');
    int fd = mkstemp(tmpName.data());
    if (fd < 0) return Fail(job, "cannot create " + job.out + ": " + std::strerror(errno));
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* out = fdopen(fd, "wb");
    if (!out) {
      close(fd);
      unlink(tmpName.data());
      return Fail(job, "cannot create " + job.out + ": " + std::strerror(errno));
    }
    AACInterface* enc = nullptr;
    bool ok = false;
    std::string why;
    if (s_.create(&enc) != 0 || !enc) {
      why = "cannot create the encoder";
    } else if (!enc->Open(&fmt, job.out.c_str(), nullptr, 0, 0, s_.bitrate,
                          reinterpret_cast<const unsigned char*>(s_.prefix.data()), static_cast<int>(s_.prefix.size()),
                          out)) {
      why = "the encoder refused " + std::to_string(ch) + " channel(s) at " + std::to_string(info.samplerate) +
            " Hz and " + std::to_string(s_.bitrate) + " bit/s";
    } else {
      ok = Feed(job, in, info, enc, narrow, &why);
      enc->Close();
    }
    if (enc) s_.release(&enc);
    if (std::fflush(out) != 0 || std::ferror(out)) {
      if (ok) why = "cannot write " + job.out;
      ok = false;
    }
    if (std::fclose(out) != 0 && ok) {
      why = "cannot write " + job.out;
      ok = false;
    }
    if (ok && std::rename(tmpName.data(), job.out.c_str()) != 0) {
      why = "cannot create " + job.out + ": " + std::strerror(errno);
      ok = false;
    }
    if (!ok) {
      unlink(tmpName.data());
      return Fail(job, why);
    }
    return true;
  }

  bool Feed(Job& job, SNDFILE* in, const SF_INFO& info, AACInterface* enc, bool narrow, std::string* why) {
    const int ch = info.channels;
    std::vector<int16_t> s16(narrow ? static_cast<size_t>(kBlockFrames * ch) : 0);
    std::vector<float> wide(narrow ? 0 : static_cast<size_t>(kBlockFrames * ch));
    std::vector<unsigned char> bytes(static_cast<size_t>(kBlockFrames * ch) * (narrow ? 2u : 4u));
    sf_count_t total = 0;
    for (;;) {
      sf_count_t n = narrow ? sf_readf_short(in, s16.data(), kBlockFrames) : sf_readf_float(in, wide.data(), kBlockFrames);
      if (n <= 0) break;
      // Little-endian sample bytes, as a wave file holds them.
      const size_t count = static_cast<size_t>(n) * static_cast<size_t>(ch);
      unsigned char* p = bytes.data();
      for (size_t i = 0; i < count; ++i) {
        uint32_t v = narrow ? static_cast<uint16_t>(s16[i]) : static_cast<uint32_t>(FullScale32(wide[i]));
        *p++ = static_cast<unsigned char>(v & 0xFF);
        *p++ = static_cast<unsigned char>((v >> 8) & 0xFF);
        if (!narrow) {
          *p++ = static_cast<unsigned char>((v >> 16) & 0xFF);
          *p++ = static_cast<unsigned char>((v >> 24) & 0xFF);
        }
      }
      if (enc->Encode(bytes.data(), static_cast<int>(p - bytes.data())) != 0) {
        *why = "encoding failed";
        return false;
      }
      total += n;
      if (info.frames > 0) job.fraction = static_cast<double>(total) / static_cast<double>(info.frames);
      OnProgress(job);
    }
    if (sf_error(in) != SF_ERR_NO_ERROR) {
      *why = std::string("read error: ") + sf_strerror(in);
      return false;
    }
    WarnIfShort(job, in, info.frames, total);
    job.fraction = 1.0;
    return true;
  }

 public:
  std::function<void(const Job&)> OnProgress = [](const Job&) {};

 private:
  const Settings& s_;
  Console& console_;
  int sampleRate_ = 44100;
  int bytesPerFrame_ = 4;
};

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  std::string outPath, outDir, title, artist;
  bool haveTitle = false, haveArtist = false, quiet = false;
  int jobs = 1;
  enum { OPT_TITLE = 1000, OPT_ARTIST };
  const option longOptions[] = {{"title", required_argument, nullptr, OPT_TITLE},
                                {"artist", required_argument, nullptr, OPT_ARTIST},
                                {"help", no_argument, nullptr, 'h'},
                                {nullptr, 0, nullptr, 0}};
  int c;
  opterr = 0;
  while ((c = getopt_long(argc, argv, "+b:o:d:j:qh", longOptions, nullptr)) != -1) {
    switch (c) {
      case 'b':
        if (!ParseBitrate(optarg, &settings.bitrate)) {
          std::fprintf(stderr, "tessel-enc: invalid bitrate '%s'\n", optarg);
          return 2;
        }
        break;
      case 'o': outPath = optarg; break;
      case 'd': outDir = optarg; break;
      case 'j': {
        char* end = nullptr;
        long v = std::strtol(optarg, &end, 10);
        if (!end || *end || v < 1 || v > 64) {
          std::fprintf(stderr, "tessel-enc: -j takes a number of jobs from 1 to 64\n");
          return 2;
        }
        jobs = static_cast<int>(v);
        break;
      }
      case 'q': quiet = true; break;
      case OPT_TITLE: title = optarg; haveTitle = true; break;
      case OPT_ARTIST: artist = optarg; haveArtist = true; break;
      case 'h': Usage(stdout); return 0;
      default: Usage(stderr); return 2;
    }
  }
  std::vector<std::string> inputs(argv + optind, argv + argc);
  if (inputs.empty() || (!outPath.empty() && (inputs.size() != 1 || !outDir.empty())) ||
      (outPath.empty() && inputs.size() == 1 && inputs[0] == "-")) {
    Usage(stderr);
    return 2;
  }
  bool known = false;
  for (int b : kBitrates) known = known || b == settings.bitrate;
  if (!known) {
    std::fprintf(stderr, "tessel-enc: unsupported bitrate %d bit/s\n", settings.bitrate);
    return 1;
  }
  if (!outDir.empty()) {
    struct stat st;
    if (stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "tessel-enc: %s is not a folder\n", outDir.c_str());
      return 1;
    }
  }

  std::vector<Job> list(inputs.size());
  std::set<std::string> outputs;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i] == "-" && inputs.size() > 1) {
      std::fprintf(stderr, "tessel-enc: standard input ('-') needs -o and no other input\n");
      return 2;
    }
    list[i].in = inputs[i];
    list[i].out = outPath.empty() ? OutputFor(inputs[i], outDir) : outPath;
    if (!outputs.insert(list[i].out).second) {
      std::fprintf(stderr, "tessel-enc: two inputs would both be written to %s\n", list[i].out.c_str());
      return 2;
    }
  }

  // The tag block as the ripper builds it: a version 2.4 tag with title and
  // artist, grown in 256-byte steps until the frames fit.
  if (haveTitle || haveArtist) {
    lyb::ID3v2Tag tag;
    tag.SetTitleAndArtist(title, artist);
    if (tag.Rendered().size() != tag.Size() + 10u) {
      std::fprintf(stderr, "tessel-enc: the title and artist do not fit an ID3v2 tag\n");
      return 1;
    }
    settings.prefix = tag.Rendered();
  }

  std::string lib = ProgramFolder() + "/libtessel.so";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "tessel-enc: cannot load %s: %s\n", lib.c_str(), dlerror());
    return 1;
  }
  settings.create = reinterpret_cast<CreateAACInterfaceFn>(dlsym(h, "CreateAACInterface"));
  settings.release = reinterpret_cast<ReleaseAACInterfaceFn>(dlsym(h, "ReleaseAACInterface"));
  if (!settings.create || !settings.release) {
    std::fprintf(stderr, "tessel-enc: %s lacks the encoder exports\n", lib.c_str());
    return 1;
  }

  const bool terminal = !quiet && isatty(STDERR_FILENO);
  Console console(terminal);
  const auto started = std::chrono::steady_clock::now();
  const int total = static_cast<int>(list.size());
  std::atomic<int> next{0}, done{0}, failed{0};
  auto report = [&](const Job& current, bool force) {
    double sum = 0.0;
    for (const Job& j : list) sum += j.fraction;
    console.Progress(sum / total, done, total, BaseName(current.in), force);
  };
  auto worker = [&] {
    Encoder encoder(settings, console);
    encoder.OnProgress = [&](const Job& j) { report(j, false); };
    for (;;) {
      int i = next++;
      if (i >= total) break;
      if (!encoder.Run(list[static_cast<size_t>(i)])) ++failed;
      ++done;
      report(list[static_cast<size_t>(i)], true);
    }
  };
  if (jobs > total) jobs = total;
  std::vector<std::thread> threads;
  for (int t = 1; t < jobs; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
  console.Finish();
  if (failed > 0 && total > 1) console.Message("%d of %d files not encoded", failed.load(), total);
  if (terminal && failed < total) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    console.Message("%d file%s encoded in %.1f s", total - failed.load(), total - failed.load() == 1 ? "" : "s", seconds);
  }
  return failed > 0 ? 1 : 0;
}
