// The exported interface of libtessel.so, used the way the main program
// uses it (loaded by path, bound by name), plus decoder conformance of the
// streams it writes.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/aacencifc.h"
#include "core/cm_utils.h"
#include "core/include/tessel/aac_interface.h"
#include "core/uci.h"

namespace {

struct Library {
  void* handle = nullptr;
  CreateAACInterfaceFn create = nullptr;
  ReleaseAACInterfaceFn release = nullptr;
  explicit Library(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    create = reinterpret_cast<CreateAACInterfaceFn>(dlsym(handle, "CreateAACInterface"));
    release = reinterpret_cast<ReleaseAACInterfaceFn>(dlsym(handle, "ReleaseAACInterface"));
  }
};

Library& Lib() {
  static Library lib(TESSEL_LIBRARY);
  return lib;
}

std::string TempDir() {
  char tmpl[] = "/tmp/tessel-test-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/tmp";
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Deterministic test music: two tones, a click train and a little noise.
std::vector<unsigned char> Signal(int rate, int channels, double seconds, int bytesPerSample = 2) {
  size_t n = static_cast<size_t>(rate * seconds);
  std::vector<unsigned char> out(n * static_cast<size_t>(channels) * static_cast<size_t>(bytesPerSample));
  uint32_t lcg = 12345;
  size_t k = 0;
  for (size_t i = 0; i < n; ++i) {
    for (int c = 0; c < channels; ++c) {
      lcg = lcg * 1664525u + 1013904223u;
      double noise = (static_cast<double>(lcg >> 8) / 16777216.0 - 0.5) * 800.0;
      double t = static_cast<double>(i) / rate;
      double v = 6000.0 * std::sin(2 * M_PI * (220.0 * (c + 1)) * t) + 3000.0 * std::sin(2 * M_PI * 3150.0 * t) +
                 noise + ((i % 11025) < 40 ? 9000.0 : 0.0);
      int s = static_cast<int>(std::lround(v));
      if (bytesPerSample == 1) {
        out[k++] = static_cast<unsigned char>((s >> 8) + 128);
      } else {
        int32_t w = s << ((bytesPerSample - 2) * 8);
        for (int b = 0; b < bytesPerSample; ++b) out[k++] = static_cast<unsigned char>((static_cast<uint32_t>(w) >> (8 * b)) & 0xFF);
      }
    }
  }
  return out;
}

WavePcmFormat Format(int channels, int rate, int bits) {
  WavePcmFormat f;
  f.formatTag = 1;
  f.channels = static_cast<uint16_t>(channels);
  f.samplesPerSec = static_cast<uint32_t>(rate);
  f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.avgBytesPerSec = static_cast<uint32_t>(rate) * f.blockAlign;
  f.bitsPerSample = static_cast<uint16_t>(bits);
  return f;
}

struct Encoder {
  AACInterface* enc = nullptr;
  Encoder() { EXPECT_EQ(Lib().create(&enc), 0); }
  ~Encoder() {
    if (enc) Lib().release(&enc);
  }
};

// Encodes pcm to path in blocks of `block` bytes.
bool EncodeFile(const std::string& path, int channels, int rate, int bits, int bitrate,
                const std::vector<unsigned char>& pcm, size_t block) {
  Encoder e;
  WavePcmFormat fmt = Format(channels, rate, bits);
  if (!e.enc->Open(&fmt, path.c_str(), nullptr, 0, 0, bitrate, nullptr, 0, nullptr)) return false;
  for (size_t pos = 0; pos < pcm.size(); pos += block) {
    size_t n = std::min(block, pcm.size() - pos);
    if (e.enc->Encode(pcm.data() + pos, static_cast<int>(n)) != 0) return false;
  }
  e.enc->Close();
  return true;
}

int RunCommand(const std::string& cmd, std::string* err) {
  std::string errFile = "/tmp/tessel-test-err-" + std::to_string(getpid());
  int rc = std::system((cmd + " 2>" + errFile).c_str());
  std::ifstream f(errFile);
  std::stringstream ss;
  ss << f.rdbuf();
  *err = ss.str();
  unlink(errFile.c_str());
  return rc;
}

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

TEST(EncoderExports, OnlyTheTwoEntryPointsAreExported) {
  ASSERT_NE(Lib().handle, nullptr) << dlerror();
  FILE* p = popen((std::string("nm -D --defined-only ") + TESSEL_LIBRARY).c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof(line), p)) {
    std::istringstream is(line);
    std::string addr, type, name;
    is >> addr >> type >> name;
    if (!name.empty()) names.insert(name);
  }
  pclose(p);
  EXPECT_EQ(names, (std::set<std::string>{"CreateAACInterface", "ReleaseAACInterface"}));
}

TEST(EncoderExports, CreateAndReleaseResults) {
  ASSERT_NE(Lib().create, nullptr);
  EXPECT_EQ(Lib().create(nullptr), -1);
  EXPECT_EQ(Lib().release(nullptr), -1);
  AACInterface* none = nullptr;
  EXPECT_EQ(Lib().release(&none), -1);
  AACInterface* enc = nullptr;
  ASSERT_EQ(Lib().create(&enc), 0);
  ASSERT_NE(enc, nullptr);
  EXPECT_EQ(enc->Reserved(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11), 1);
  EXPECT_EQ(enc->Init(), 1);
  EXPECT_EQ(Lib().release(&enc), 0);
  EXPECT_NE(enc, nullptr);  // not cleared
}

TEST(EncoderOpen, RefusesUnsupportedStreams) {
  Encoder e;
  std::string dir = TempDir();
  std::string path = dir + "/x.aac";
  struct Case { int ch, rate, bitrate; } cases[] = {
      {2, 22050, 128000}, {1, 44100, 320000}, {2, 44100, 8000}, {6, 44100, 96000}, {2, 44100, 127000}, {3, 44100, 128000}};
  for (const Case& c : cases) {
    WavePcmFormat fmt = Format(c.ch, c.rate, 16);
    EXPECT_EQ(e.enc->Open(&fmt, path.c_str(), nullptr, 0, 0, c.bitrate, nullptr, 0, nullptr), 0)
        << c.ch << " " << c.rate << " " << c.bitrate;
  }
  unsigned char b[4] = {0, 0, 0, 0};
  EXPECT_EQ(e.enc->Encode(b, 4), -1);  // no run open
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
  WavePcmFormat fmt = Format(2, 44100, 16);
  EXPECT_EQ(e.enc->Open(&fmt, path.c_str(), nullptr, 1, 0, 128000, nullptr, 0, nullptr), 0);  // LSE without library
}

TEST(EncoderEncode, EmptyAndOneByteCallsAndCloseRightAfterOpen) {
  std::string dir = TempDir();
  std::string path = dir + "/a.aac";
  {
    Encoder e;
    WavePcmFormat fmt = Format(2, 44100, 16);
    const unsigned char prefix[5] = {'I', 'D', '3', 4, 0};
    ASSERT_EQ(e.enc->Open(&fmt, path.c_str(), nullptr, 0, 0, 128000, prefix, 5, nullptr), 1);
    unsigned char one = 7;
    EXPECT_EQ(e.enc->Encode(&one, 0), -3);
    EXPECT_EQ(e.enc->Encode(&one, 1), 0);
    e.enc->Close();
    e.enc->Close();  // a second Close without a run does nothing
  }
  std::vector<unsigned char> f = ReadFile(path);
  ASSERT_GT(f.size(), 5u + 7u);
  EXPECT_EQ(std::memcmp(f.data(), "ID3", 3), 0);
  const unsigned char sync[4] = {0xFF, 0xF9, 0x50, 0x80};
  EXPECT_EQ(std::memcmp(f.data() + 5, sync, 4), 0);
  // Frames chain by their length fields up to the end of the file.
  size_t pos = 5;
  int frames = 0;
  while (pos + 7 <= f.size()) {
    ASSERT_EQ(f[pos], 0xFF);
    size_t len = ((f[pos + 3] & 3u) << 11) | (static_cast<size_t>(f[pos + 4]) << 3) | (f[pos + 5] >> 5);
    ASSERT_GE(len, 7u);
    pos += len;
    ++frames;
  }
  EXPECT_EQ(pos, f.size());
  EXPECT_GE(frames, 1);
}

TEST(EncoderEncode, BlockSizesDoNotChangeTheStream) {
  std::string dir = TempDir();
  std::vector<unsigned char> pcm = Signal(44100, 2, 0.6);
  ASSERT_TRUE(EncodeFile(dir + "/big.aac", 2, 44100, 16, 128000, pcm, pcm.size()));
  ASSERT_TRUE(EncodeFile(dir + "/odd.aac", 2, 44100, 16, 128000, pcm, 1001));
  ASSERT_TRUE(EncodeFile(dir + "/small.aac", 2, 44100, 16, 128000, pcm, 3));
  std::vector<unsigned char> a = ReadFile(dir + "/big.aac");
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(a, ReadFile(dir + "/odd.aac"));
  EXPECT_EQ(a, ReadFile(dir + "/small.aac"));
  // With the converter (64000 bit/s codes at 32000 Hz) as well.
  ASSERT_TRUE(EncodeFile(dir + "/c1.aac", 2, 44100, 16, 64000, pcm, pcm.size()));
  ASSERT_TRUE(EncodeFile(dir + "/c2.aac", 2, 44100, 16, 64000, pcm, 777));
  EXPECT_EQ(ReadFile(dir + "/c1.aac"), ReadFile(dir + "/c2.aac"));
}

// A second Open on an interface with an open run is refused and leaves the
// run as it was: the stream is the same as without the refused call.
TEST(EncoderOpen, SecondOpenIsRefusedAndKeepsTheRun) {
  std::string dir = TempDir();
  std::vector<unsigned char> pcm = Signal(44100, 2, 0.5);
  ASSERT_TRUE(EncodeFile(dir + "/plain.aac", 2, 44100, 16, 128000, pcm, 1001));
  {
    Encoder e;
    WavePcmFormat fmt = Format(2, 44100, 16);
    ASSERT_EQ(e.enc->Open(&fmt, (dir + "/twice.aac").c_str(), nullptr, 0, 0, 128000, nullptr, 0, nullptr), 1);
    const size_t half = 1001 * 40;
    ASSERT_EQ(e.enc->Encode(pcm.data(), static_cast<int>(half)), 0);
    WavePcmFormat mono = Format(1, 48000, 16);
    EXPECT_EQ(e.enc->Open(&mono, (dir + "/other.aac").c_str(), nullptr, 0, 0, 64000, nullptr, 0, nullptr), 0);
    EXPECT_EQ(access((dir + "/other.aac").c_str(), F_OK), -1);
    for (size_t pos = half; pos < pcm.size(); pos += 1001)
      ASSERT_EQ(e.enc->Encode(pcm.data() + pos, static_cast<int>(std::min<size_t>(1001, pcm.size() - pos))), 0);
    e.enc->Close();
  }
  EXPECT_EQ(ReadFile(dir + "/twice.aac"), ReadFile(dir + "/plain.aac"));
}

// Interfaces share no state: two runs on two threads at once give the same
// bytes as the same runs one after the other on one thread (one of them
// through the sample-rate converter).
TEST(EncoderThreads, TwoInterfacesOnTwoThreadsMatchOneThread) {
  std::string dir = TempDir();
  std::vector<unsigned char> a = Signal(44100, 2, 1.5);
  std::vector<unsigned char> b = Signal(48000, 1, 1.5);
  ASSERT_TRUE(EncodeFile(dir + "/a1.aac", 2, 44100, 16, 128000, a, 4096));
  ASSERT_TRUE(EncodeFile(dir + "/b1.aac", 1, 48000, 16, 40000, b, 3000));
  for (int round = 0; round < 2; ++round) {
    bool okA = false, okB = false;
    std::thread ta([&] { okA = EncodeFile(dir + "/a2.aac", 2, 44100, 16, 128000, a, 4096); });
    std::thread tb([&] { okB = EncodeFile(dir + "/b2.aac", 1, 48000, 16, 40000, b, 3000); });
    ta.join();
    tb.join();
    ASSERT_TRUE(okA);
    ASSERT_TRUE(okB);
    EXPECT_EQ(ReadFile(dir + "/a2.aac"), ReadFile(dir + "/a1.aac")) << "round " << round;
    EXPECT_EQ(ReadFile(dir + "/b2.aac"), ReadFile(dir + "/b1.aac")) << "round " << round;
  }
}

TEST(EncoderConvert, SampleWidthsShareOneScale) {
  Encoder e;
  float out[2];
  const unsigned char s8[2] = {0x00, 0xC0};              // unsigned 8-bit: -128, +64 steps
  EXPECT_EQ(e.enc->ConvertPcm(out, 2, s8, 2, 1), 2);
  EXPECT_FLOAT_EQ(out[0], -32768.0f);
  EXPECT_FLOAT_EQ(out[1], 16384.0f);
  const unsigned char s16[4] = {0x00, 0x80, 0xFF, 0x7F};
  e.enc->ConvertPcm(out, 2, s16, 4, 2);
  EXPECT_FLOAT_EQ(out[0], -32768.0f);
  EXPECT_FLOAT_EQ(out[1], 32767.0f);
  const unsigned char s24[6] = {0x80, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
  e.enc->ConvertPcm(out, 2, s24, 6, 3);
  EXPECT_FLOAT_EQ(out[0], -32767.5f);
  EXPECT_NEAR(out[1], 32767.996f, 1e-3);
  const unsigned char s32[8] = {0, 0, 0, 0x80, 0, 0, 0, 0x40};
  e.enc->ConvertPcm(out, 2, s32, 8, 4);
  EXPECT_FLOAT_EQ(out[0], -32768.0f);
  EXPECT_FLOAT_EQ(out[1], 16384.0f);
}

// Decodes with ffmpeg and faad; checks for clean decodes, channels, rate, length.
// ffmpeg notes for every raw ADTS file that it estimates the duration; that
// line is not a complaint about the stream.
std::string WithoutDurationNote(const std::string& err) {
  std::string out;
  std::istringstream is(err);
  std::string line;
  while (std::getline(is, line))
    if (line.find("Estimating duration from bitrate") == std::string::npos) out += line + "\n";
  return out;
}

// Coding rate that the parameter sets choose.
int CodingRate(int channels, int rate, int bitrate) {
  ParameterSet row;
  int coding = 0;
  ErrorRecord* e = ChooseParameterSet(ConfigForChannels(channels), channels, bitrate, rate, &row, &coding);
  ErrorFree(e);
  return coding;
}

// Interleaved 16-bit samples of a little-endian byte string.
std::vector<int16_t> Samples(const unsigned char* p, size_t bytes) {
  std::vector<int16_t> s(bytes / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return s;
}

// How closely channel cb of b follows channel ca of a, b's sample i lying
// on a's sample i + offset, from b's sample `skip` on (signal to difference
// ratio in dB over their common span).
double AgreementDb(const std::vector<int16_t>& a, int chA, int ca, size_t offset, const std::vector<int16_t>& b, int chB,
                   int cb, size_t skip) {
  size_t na = a.size() / static_cast<size_t>(chA), nb = b.size() / static_cast<size_t>(chB);
  if (na <= offset) return -100.0;
  size_t n = std::min(na - offset, nb);
  double sig = 0.0, diff = 0.0;
  for (size_t i = skip; i < n; ++i) {
    double x = a[(i + offset) * static_cast<size_t>(chA) + static_cast<size_t>(ca)];
    double y = b[i * static_cast<size_t>(chB) + static_cast<size_t>(cb)];
    sig += x * x;
    diff += (x - y) * (x - y);
  }
  if (sig <= 0.0) return -100.0;
  return 10.0 * std::log10(sig / std::max(diff, 1e-9));
}

// Decodes with faad and compares what it decoded with ffmpeg's decode of the
// same stream (faad leaves out about the first 1024 samples that ffmpeg
// keeps: exactly 1024 for one or two channels, 1022 for six, whose first
// frame faad also renders differently; the offset is searched and the first
// two frames are not compared). faad exits 0 on many broken streams, so
// only its output tells. Channels are matched by content (the two decoders
// may order 5 and 6 channels differently); mono may come out as two equal
// channels. Returns the worst channel's agreement in dB, or -100 when faad
// produced nothing usable or stopped early.
double FaadAgreesWithFfmpeg(const std::string& path, const std::vector<int16_t>& ffmpeg, int channels) {
  std::string err;
  std::string wav = path + ".faad.wav";
  RunCommand("faad -q -o " + wav + " " + path, &err);
  std::vector<unsigned char> w = ReadFile(wav);
  if (w.size() <= 44) return -100.0;
  int faadChannels = w[22] | (w[23] << 8);
  if (faadChannels < 1) return -100.0;
  std::vector<int16_t> faad = Samples(w.data() + 44, w.size() - 44);
  if (faad.size() / static_cast<size_t>(faadChannels) + 1100 < ffmpeg.size() / static_cast<size_t>(channels))
    return -100.0;
  double worst = 1000.0;
  for (int c = 0; c < channels; ++c) {
    double best = -100.0;
    for (int k = 0; k < faadChannels; ++k)
      for (size_t offset = 1016; offset <= 1032; ++offset)
        best = std::max(best, AgreementDb(ffmpeg, channels, c, offset, faad, faadChannels, k, 2048));
    worst = std::min(worst, best);
  }
  return worst;
}

void CheckDecoders(const std::string& path, int channels, int rate, size_t inputFrames, bool crc) {
  std::string err;
  std::string pcm = path + ".s16";
  int rc = RunCommand("ffmpeg -nostdin -v warning -y -i " + path + " -f s16le -acodec pcm_s16le " + pcm, &err);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(WithoutDurationNote(err), "") << path;
  std::vector<unsigned char> decoded = ReadFile(pcm);
  size_t bytes = decoded.size();
  size_t frames = bytes / (2u * static_cast<size_t>(channels));
  EXPECT_GE(frames, inputFrames) << path;
  EXPECT_LE(frames, inputFrames + 4 * 1024) << path;
  FILE* p = popen(("ffprobe -v error -show_entries stream=channels,sample_rate -of csv=p=0 " + path).c_str(), "r");
  char line[128] = {};
  ASSERT_NE(p, nullptr);
  ASSERT_NE(std::fgets(line, sizeof(line), p), nullptr);
  pclose(p);
  int gotRate = 0, gotCh = 0;
  std::sscanf(line, "%d,%d", &gotRate, &gotCh);
  EXPECT_EQ(gotCh, channels);
  // At coding rates up to 24000 Hz ffmpeg assumes implicit SBR and reports twice the rate.
  if (rate <= 24000) EXPECT_TRUE(gotRate == rate || gotRate == 2 * rate) << gotRate;
  else EXPECT_EQ(gotRate, rate);
  if (HaveTool("faad") && rate > 24000) {
    // (At 24000 Hz and below faad assumes implicit SBR and doubles the rate.)
    std::vector<int16_t> ff = Samples(decoded.data(), decoded.size());
    EXPECT_GE(FaadAgreesWithFfmpeg(path, ff, channels), 60.0) << path;
    std::vector<unsigned char> w = ReadFile(path + ".faad.wav");
    ASSERT_GT(w.size(), 44u);
    EXPECT_EQ(static_cast<int>(Le32(&w[24])), rate);
    int faadChannels = w[22] | (w[23] << 8);
    size_t faadFrames = (w.size() - 44) / (2u * static_cast<size_t>(faadChannels));
    EXPECT_GE(faadFrames + 2048, inputFrames);
  }
  (void)crc;
}

// A decoder's output lags the input by the recorded delay, 2048 samples at
// 44100 Hz and 128000 bit/s: no other lag near it matches as well.
TEST(EncoderConformance, DecodedOutputLagsByTheRecordedDelay) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  std::string dir = TempDir();
  std::vector<unsigned char> pcm = Signal(44100, 2, 1.0);
  std::string path = dir + "/lag.aac";
  ASSERT_TRUE(EncodeFile(path, 2, 44100, 16, 128000, pcm, 4096));
  std::string err;
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -i " + path + " -f s16le -acodec pcm_s16le " + path + ".s16", &err), 0);
  std::vector<unsigned char> d = ReadFile(path + ".s16");
  std::vector<int16_t> decoded = Samples(d.data(), d.size()), input = Samples(pcm.data(), pcm.size());
  double atDelay = AgreementDb(decoded, 2, 0, 2048, input, 2, 0, 0);
  EXPECT_GE(atDelay, 15.0);
  for (size_t lag = 2040; lag <= 2120; ++lag)
    if (lag != 2048) EXPECT_LT(AgreementDb(decoded, 2, 0, lag, input, 2, 0, 0), atDelay) << lag;
}

// The decoder check above can fail: a stream with damaged spectral data
// decodes (faad still exits 0) but no longer agrees with the intact decode.
TEST(EncoderConformance, DamagedStreamFailsTheFaadCheck) {
  if (!HaveTool("ffmpeg") || !HaveTool("faad")) GTEST_SKIP() << "ffmpeg or faad not installed";
  std::string dir = TempDir();
  std::vector<unsigned char> pcm = Signal(44100, 2, 1.0);
  std::string good = dir + "/good.aac", bad = dir + "/bad.aac";
  ASSERT_TRUE(EncodeFile(good, 2, 44100, 16, 128000, pcm, 4096));
  std::string err;
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -i " + good + " -f s16le -acodec pcm_s16le " + good + ".s16", &err), 0);
  std::vector<unsigned char> d = ReadFile(good + ".s16");
  std::vector<int16_t> ff = Samples(d.data(), d.size());
  EXPECT_GE(FaadAgreesWithFfmpeg(good, ff, 2), 60.0);
  // Damage the second half of every frame from the tenth on (headers stay intact).
  std::vector<unsigned char> f = ReadFile(good);
  size_t pos = 0;
  for (int frame = 0; pos + 7 <= f.size(); ++frame) {
    size_t len = ((f[pos + 3] & 3u) << 11) | (static_cast<size_t>(f[pos + 4]) << 3) | (f[pos + 5] >> 5);
    ASSERT_GE(len, 7u);
    if (frame >= 10)
      for (size_t k = pos + len / 2; k < pos + len; ++k) f[k] ^= 0x5A;
    pos += len;
  }
  std::ofstream(bad, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
  EXPECT_LT(FaadAgreesWithFfmpeg(bad, ff, 2), 30.0);
}

TEST(EncoderConformance, EveryRateChannelCountAndBitrateDecodes) {
  if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg not installed";
  std::string dir = TempDir();
  struct Combo { int ch; std::vector<int> rates; } combos[] = {
      {1, {32000, 64000, 128000}}, {2, {32000, 64000, 128000, 256000}}, {5, {128000, 256000}}, {6, {128000, 320000}}};
  for (int rate : {44100, 48000}) {
    for (const Combo& c : combos) {
      std::vector<unsigned char> pcm = Signal(rate, c.ch, 0.4);
      for (int br : c.rates) {
        std::string path = dir + "/c" + std::to_string(rate) + "_" + std::to_string(c.ch) + "_" + std::to_string(br) + ".aac";
        ASSERT_TRUE(EncodeFile(path, c.ch, rate, 16, br, pcm, 4096)) << path;
        int coding = CodingRate(c.ch, rate, br);
        size_t frames = pcm.size() / (2u * static_cast<size_t>(c.ch)) * static_cast<size_t>(coding) / static_cast<size_t>(rate);
        CheckDecoders(path, c.ch, coding, frames, false);
      }
    }
  }
}

TEST(EncoderConformance, InputWidthsDecode) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  std::string dir = TempDir();
  for (int bytes : {1, 3, 4}) {
    std::vector<unsigned char> pcm = Signal(44100, 2, 0.3, bytes);
    std::string path = dir + "/w" + std::to_string(bytes) + ".aac";
    ASSERT_TRUE(EncodeFile(path, 2, 44100, bytes * 8, 128000, pcm, 5000));
    CheckDecoders(path, 2, 44100, pcm.size() / (2u * static_cast<size_t>(bytes)), false);
  }
}

uint16_t Crc16(const std::vector<int>& bits) {
  uint16_t crc = 0xFFFF;
  for (int b : bits) {
    unsigned top = (crc >> 15) & 1u;
    crc = static_cast<uint16_t>(crc << 1);
    if (top ^ static_cast<unsigned>(b)) crc ^= 0x8005;
  }
  return crc;
}

// The CRC option: streams decode, the header is 9 bytes, and the CRC word
// covers the header and (for a mono stream) the first 128 bits of the SCE.
TEST(EncoderConformance, CrcStreamsDecodeAndVerify) {
  std::string dir = TempDir();
  std::string path = dir + "/crc.aac";
  const AacOption crc[] = {{"crcCheck", ""}};
  StreamParams sp = {1, 16, 44100, 44100, 64000, 1, 0, 0};
  static AacRun run;
  int code = AacSetupStream(&sp, &run, crc, 1);
  ASSERT_EQ(code, SETUP_OK);
  std::vector<unsigned char> pcm = Signal(44100, 1, 0.4);
  std::vector<float> in(static_cast<size_t>(AacRunInputSamples(&run)) + 16);
  std::vector<unsigned char> out(8192);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  size_t samples = pcm.size() / 2;
  int frames = 0, checked = 0;
  for (size_t pos = 0; pos < samples + 3072; pos += 1024) {
    for (size_t i = 0; i < 1024; ++i)
      in[i] = pos + i < samples ? static_cast<float>(static_cast<int16_t>(pcm[2 * (pos + i)] | (pcm[2 * (pos + i) + 1] << 8))) : 0.0f;
    int n = 0;
    ErrorRecord* e = AacRunEncodeFrame(&run, in.data(), out.data(), &n);
    ASSERT_EQ(e, nullptr) << ErrorFirstMessage(e);
    ASSERT_GT(n, 9);
    EXPECT_EQ(out[1], 0xF8);
    // Independent check of the CRC word.
    std::vector<int> bits;
    auto bit = [&](size_t p) { return (out[p >> 3] >> (7 - (p & 7))) & 1; };
    for (size_t p = 0; p < 56; ++p) bits.push_back(bit(p));
    for (size_t p = 72; p < 72 + 128; ++p) bits.push_back(p < static_cast<size_t>(n) * 8 ? bit(p) : 0);
    uint16_t word = static_cast<uint16_t>((out[7] << 8) | out[8]);
    // Short elements are padded with zeros, not with the fill that follows:
    // compare the frames of the loud part, whose SCE is far above 128 bits.
    if (n > 120) {
      EXPECT_EQ(word, Crc16(bits)) << "frame " << frames << " bytes " << n;
      ++checked;
    }
    std::fwrite(out.data(), 1, static_cast<size_t>(n), f);
    ++frames;
  }
  std::fclose(f);
  EXPECT_GE(checked, 10);
  AacTeardownStream(&run);
  if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg not installed";
  std::string err;
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v warning -err_detect crccheck -i " + path + " -f null -", &err), 0);
  EXPECT_EQ(WithoutDurationNote(err), "");
  CheckDecoders(path, 1, 44100, samples, true);
}

// A private copy of the library beside a Lockstream stand-in.
struct LseSetup {
  std::string dir;
  void* lib = nullptr;
  void* lse = nullptr;
  Library* tessel = nullptr;
  explicit LseSetup(bool withDouble) {
    dir = TempDir();
    std::string copy = dir + "/libtessel.so";
    EXPECT_EQ(std::system(("cp " + std::string(TESSEL_LIBRARY) + " " + copy).c_str()), 0);
    if (withDouble) {
      EXPECT_EQ(std::system(("cp " + std::string(LSE_DOUBLE) + " " + dir + "/liblsedll.so").c_str()), 0);
    }
    tessel = new Library(copy);
  }
  ~LseSetup() {
    if (tessel->handle) dlclose(tessel->handle);
    delete tessel;
    std::system(("rm -rf " + dir).c_str());
  }
  std::string Log() {
    void* h = dlopen((dir + "/liblsedll.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return "<not loaded>";
    auto fn = reinterpret_cast<const char* (*)()>(dlsym(h, "LseDoubleLog"));
    std::string s = fn ? fn() : "";
    dlclose(h);
    return s;
  }
  void Reset(int ready, int handle) {
    void* h = dlopen((dir + "/liblsedll.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    reinterpret_cast<void (*)(int, int)>(dlsym(h, "LseDoubleReset"))(ready, handle);
    dlclose(h);
  }
};

TEST(EncoderLse, SlotCallsOfARun) {
  LseSetup s(true);
  ASSERT_NE(s.tessel->create, nullptr);
  AACInterface* enc = nullptr;
  ASSERT_EQ(s.tessel->create(&enc), 0);
  EXPECT_EQ(s.Log(), "create;");
  s.Reset(1, 1);
  WavePcmFormat fmt = Format(2, 44100, 16);
  std::vector<unsigned char> info(1672, 0);
  info[372] = 42;
  ASSERT_EQ(enc->Open(&fmt, "x.lse", info.data(), 1, 77, 128000, nullptr, 0, nullptr), 1);
  EXPECT_EQ(s.Log(), "19;17:lyrbox:1:1280:77;8:77;7:1280;6:1:42;");
  std::vector<unsigned char> pcm = Signal(44100, 2, 0.03);  // one frame and a bit
  s.Reset(1, 1);
  ASSERT_EQ(enc->Encode(pcm.data(), static_cast<int>(pcm.size())), 0);
  EXPECT_EQ(s.Log(), "14:1:1;");
  s.Reset(1, 1);
  enc->Close();
  EXPECT_EQ(s.Log(), "14:1:1;14:1:1;14:1:1;15:1;");
  s.Reset(1, 1);
  EXPECT_EQ(enc->LseCommand(1, 2, 3), 123);
  EXPECT_EQ(enc->LseAttach(9, 0), 1);
  EXPECT_EQ(s.Log(), "13:1:6;19;18:lyrbox:9;");
  s.Reset(0, 1);
  EXPECT_EQ(enc->LseAttach(9, 0), 0);            // not ready
  EXPECT_EQ(enc->Open(&fmt, "x.lse", info.data(), 1, 77, 128000, nullptr, 0, nullptr), 0);
  s.Reset(1, 0);
  EXPECT_EQ(enc->Open(&fmt, "x.lse", info.data(), 1, 77, 128000, nullptr, 0, nullptr), 0);  // no handle
  EXPECT_EQ(s.Log(), "19;17:lyrbox:1:1280:77;");
  EXPECT_EQ(s.tessel->release(&enc), 0);
  EXPECT_EQ(s.Log(), "<not loaded>");  // Shutdown unloaded the library
}

// Releasing an interface whose Lockstream run is still open ends the run
// (the last frame, the flush frames, slot 15) before the library goes.
TEST(EncoderLse, ReleaseWithAnOpenRunEndsItFirst) {
  LseSetup s(true);
  AACInterface* enc = nullptr;
  ASSERT_EQ(s.tessel->create(&enc), 0);
  s.Reset(1, 1);
  WavePcmFormat fmt = Format(2, 44100, 16);
  std::vector<unsigned char> info(1672, 0);
  ASSERT_EQ(enc->Open(&fmt, "x.lse", info.data(), 1, 77, 128000, nullptr, 0, nullptr), 1);
  std::vector<unsigned char> pcm = Signal(44100, 2, 0.03);
  ASSERT_EQ(enc->Encode(pcm.data(), static_cast<int>(pcm.size())), 0);
  // Keep the stand-in loaded after the release to read its log.
  void* hold = dlopen((s.dir + "/liblsedll.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(hold, nullptr);
  auto reset = reinterpret_cast<void (*)(int, int)>(dlsym(hold, "LseDoubleReset"));
  auto log = reinterpret_cast<const char* (*)()>(dlsym(hold, "LseDoubleLog"));
  reset(1, 1);
  EXPECT_EQ(s.tessel->release(&enc), 0);
  EXPECT_STREQ(log(), "14:1:1;14:1:1;14:1:1;15:1;release:1;");
  dlclose(hold);
}

TEST(EncoderLse, WithoutTheLibraryLseModeFails) {
  LseSetup s(false);
  AACInterface* enc = nullptr;
  ASSERT_EQ(s.tessel->create(&enc), 0);
  WavePcmFormat fmt = Format(2, 44100, 16);
  EXPECT_EQ(enc->Open(&fmt, "x.lse", nullptr, 1, 0, 128000, nullptr, 0, nullptr), 0);
  EXPECT_EQ(enc->LseAttach(1, 0), 0);
  EXPECT_EQ(enc->LseCommand(1, 2, 3), 0);
  EXPECT_EQ(enc->Shutdown(), 0);
  EXPECT_EQ(s.tessel->release(&enc), 0);
}

TEST(EncoderExports, UnloadWithALiveInterfaceReportsIt) {
  std::string dir = TempDir();
  std::string errPath = dir + "/stderr.txt";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    std::string copy = dir + "/libtessel.so";
    if (std::system(("cp " + std::string(TESSEL_LIBRARY) + " " + copy).c_str()) != 0) _exit(3);
    void* h = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) _exit(4);
    auto create = reinterpret_cast<CreateAACInterfaceFn>(dlsym(h, "CreateAACInterface"));
    AACInterface* a = nullptr;
    AACInterface* b = nullptr;
    create(&a);
    create(&b);
    reinterpret_cast<ReleaseAACInterfaceFn>(dlsym(h, "ReleaseAACInterface"))(&b);
    dlclose(h);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<unsigned char> err = ReadFile(errPath);
  EXPECT_EQ(std::string(err.begin(), err.end()), "AAC Interface DLL: Not all interfaces released\n");
}

}  // namespace
