// tessel-enc: WAV, FLAC, AIFF and Ogg in, ADTS out (with a tag block when
// asked), several files at once, clear refusals and no partial output.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Dir() {
  char tmpl[] = "/tmp/tessel-cli-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/tmp";
}

void Put16(std::vector<unsigned char>& v, unsigned x) {
  v.push_back(static_cast<unsigned char>(x & 0xFF));
  v.push_back(static_cast<unsigned char>((x >> 8) & 0xFF));
}
void Put32(std::vector<unsigned char>& v, unsigned x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// A WAV file of a 1 kHz tone; dataBytesClaimed lets a test lie about the size.
std::vector<unsigned char> Wav(int rate, int channels, int bits, double seconds, long dataBytesClaimed = -1) {
  int bps = bits / 8;
  size_t frames = static_cast<size_t>(rate * seconds);
  std::vector<unsigned char> data;
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double v = 0.3 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(i) / rate);
      if (bps == 1) {
        data.push_back(static_cast<unsigned char>(128 + static_cast<int>(v * 127)));
      } else {
        long s = std::lround(v * ((1L << (bits - 1)) - 1));
        for (int b = 0; b < bps; ++b) data.push_back(static_cast<unsigned char>((static_cast<unsigned long>(s) >> (8 * b)) & 0xFF));
      }
    }
  }
  std::vector<unsigned char> w = {'R', 'I', 'F', 'F'};
  Put32(w, static_cast<unsigned>(36 + data.size()));
  for (char ch : std::string("WAVEfmt ")) w.push_back(static_cast<unsigned char>(ch));
  Put32(w, 16);
  Put16(w, 1);
  Put16(w, static_cast<unsigned>(channels));
  Put32(w, static_cast<unsigned>(rate));
  Put32(w, static_cast<unsigned>(rate * channels * bps));
  Put16(w, static_cast<unsigned>(channels * bps));
  Put16(w, static_cast<unsigned>(bits));
  for (char ch : std::string("data")) w.push_back(static_cast<unsigned char>(ch));
  Put32(w, static_cast<unsigned>(dataBytesClaimed < 0 ? static_cast<long>(data.size()) : dataBytesClaimed));
  w.insert(w.end(), data.begin(), data.end());
  return w;
}

void Write(const std::string& path, const std::vector<unsigned char>& v) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size()));
}

int Enc(const std::string& args, std::string* err = nullptr) {
  std::string errFile = "/tmp/tessel-cli-err-" + std::to_string(getpid());
  int rc = std::system((std::string(TESSEL_ENC) + " " + args + " 2>" + errFile).c_str());
  if (err) {
    std::ifstream f(errFile);
    *err = std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  unlink(errFile.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// The same tone as Wav() written by libsndfile in another container.
void WriteWithSndfile(const std::string& path, int format, int rate, int channels, double seconds) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  // Values on the 16-bit grid, so that every container holds them exactly.
  std::vector<float> v(static_cast<size_t>(rate * seconds) * static_cast<size_t>(channels));
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<float>(std::lround(9830.0 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(i / static_cast<size_t>(channels)) / rate))) / 32768.0f;
  sf_writef_float(f, v.data(), static_cast<sf_count_t>(v.size() / static_cast<size_t>(channels)));
  sf_close(f);
}

// Frames of an ADTS stream from byte `pos` on; -1 when the chain breaks.
int AdtsFrames(const std::vector<unsigned char>& f, size_t pos) {
  int frames = 0;
  while (pos + 7 <= f.size()) {
    if (f[pos] != 0xFF || (f[pos + 1] & 0xF6) != 0xF0) return -1;
    size_t len = ((f[pos + 3] & 3u) << 11) | (static_cast<size_t>(f[pos + 4]) << 3) | (f[pos + 5] >> 5);
    if (len < 7) return -1;
    pos += len;
    ++frames;
  }
  return pos == f.size() ? frames : -1;
}

int FilesIn(const std::string& dir) {
  int n = 0;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

std::vector<unsigned char> Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(EncoderCli, EncodesFilesAndStandardInput) {
  std::string d = Dir();
  Write(d + "/in.wav", Wav(44100, 2, 16, 0.5));
  ASSERT_EQ(Enc("-o " + d + "/a.aac " + d + "/in.wav"), 0);
  std::vector<unsigned char> a = Read(d + "/a.aac");
  ASSERT_GT(a.size(), 100u);
  EXPECT_EQ(a[0], 0xFF);
  EXPECT_EQ(a[1], 0xF9);
  EXPECT_EQ(a[2], 0x50);
  EXPECT_EQ(a[3], 0x80);
  ASSERT_EQ(std::system((std::string("cat ") + d + "/in.wav | " + TESSEL_ENC + " -b 128k -o " + d + "/b.aac -").c_str()), 0);
  EXPECT_EQ(Read(d + "/b.aac"), a);  // 128k is the default
  for (int bits : {8, 24, 32}) {
    Write(d + "/w.wav", Wav(48000, 1, bits, 0.3));
    EXPECT_EQ(Enc("-b 64000 -o " + d + "/w.aac " + d + "/w.wav"), 0) << bits;
  }
  Write(d + "/six.wav", Wav(48000, 6, 16, 0.3));
  EXPECT_EQ(Enc("-b 256k -o " + d + "/six.aac " + d + "/six.wav"), 0);
}

TEST(EncoderCli, RefusesWhatItCannotTakeAndLeavesNoFile) {
  std::string d = Dir();
  std::string out = d + "/out/";
  ASSERT_EQ(std::system(("mkdir -p " + out).c_str()), 0);
  Write(d + "/text.wav", std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o'});
  Write(d + "/r22.wav", Wav(22050, 2, 16, 0.2));
  Write(d + "/ch3.wav", Wav(44100, 3, 16, 0.2));
  Write(d + "/ok.wav", Wav(44100, 2, 16, 0.2));
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/text.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/r22.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/ch3.wav"), 0);
  EXPECT_NE(Enc("-b 100000 -o " + out + "x.aac " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-b 8k -o " + out + "x.aac " + d + "/ok.wav"), 0);   // too low for stereo
  EXPECT_NE(Enc("-b fast -o " + out + "x.aac " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/missing.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac - < /dev/null"), 0);  // standard input without data
  EXPECT_NE(Enc("-j 0 -d " + out + " " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-d " + d + "/missing-folder " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/ok.wav " + d + "/ok.wav"), 0);  // -o takes one input
  EXPECT_NE(Enc("-d " + out + " " + d + "/ok.wav " + d + "/ok.wav"), 0);       // one output twice
  EXPECT_EQ(FilesIn(out), 0);
}

// A WAV whose data ends before its header says is encoded as far as it
// goes, with a warning, from a file and from a pipe alike.
TEST(EncoderCli, ShortDataIsEncodedWithAWarning) {
  std::string d = Dir();
  std::vector<unsigned char> whole = Wav(44100, 2, 16, 1.0);
  Write(d + "/whole.wav", whole);
  std::vector<unsigned char> cut = whole;
  cut.resize(44 + (cut.size() - 44) / 2);
  Write(d + "/cut.wav", cut);
  std::string err;
  ASSERT_EQ(Enc("-o " + d + "/cut.aac " + d + "/cut.wav", &err), 0);
  EXPECT_NE(err.find("warning: " + d + "/cut.wav: the audio data ends before the header says"), std::string::npos) << err;
  EXPECT_NE(err.find("0.50 s"), std::string::npos) << err;
  std::vector<unsigned char> a = Read(d + "/cut.aac");
  int frames = AdtsFrames(a, 0);
  EXPECT_GE(frames, 22);  // 22050 samples: 22 frames, plus the flush
  EXPECT_LE(frames, 25);
  ASSERT_EQ(Enc("-o " + d + "/pipe.aac - < " + d + "/cut.wav", &err), 0);
  EXPECT_NE(err.find("the audio data ends before the header says"), std::string::npos) << err;
  EXPECT_EQ(Read(d + "/pipe.aac"), a);
  ASSERT_EQ(Enc("-o " + d + "/whole.aac " + d + "/whole.wav", &err), 0);
  EXPECT_EQ(err, "");
}

// FLAC (16 and 24 bits), AIFF, floating-point WAV and Ogg Vorbis go in like
// 16-bit WAV; a 24-bit FLAC or a float WAV of a 16-bit signal gives the
// same stream as the 16-bit file.
TEST(EncoderCli, ReadsFlacAiffAndOgg) {
  std::string d = Dir();
  WriteWithSndfile(d + "/a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5);
  WriteWithSndfile(d + "/b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 2, 0.5);
  WriteWithSndfile(d + "/c.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 48000, 1, 0.5);
  WriteWithSndfile(d + "/e.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 0.5);
  WriteWithSndfile(d + "/f.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 0.5);
  for (const char* f : {"a.flac", "b.flac", "c.aiff", "e.ogg", "f.wav"}) {
    std::string err;
    EXPECT_EQ(Enc("-d " + d + " " + d + "/" + f, &err), 0) << f << ": " << err;
  }
  for (const char* f : {"a", "b", "c", "e", "f"}) EXPECT_GT(AdtsFrames(Read(d + "/" + f + ".aac"), 0), 20) << f;
  EXPECT_EQ(Read(d + "/a.aac"), Read(d + "/b.aac"));
  EXPECT_EQ(Read(d + "/a.aac"), Read(d + "/f.aac"));
}

// Several files at once: -j 3 writes the same bytes as one file at a time,
// each beside its input or into -d; the tag block from --title/--artist is
// an ID3v2.4 tag (UTF-16 text) directly followed by the ADTS stream.
TEST(EncoderCli, ParallelJobsAndTagBlock) {
  std::string d = Dir();
  std::string names;
  for (int i = 0; i < 4; ++i) {
    Write(d + "/in" + std::to_string(i) + ".wav", Wav(44100, 2, 16, 0.3 + 0.1 * i));
    names += " " + d + "/in" + std::to_string(i) + ".wav";
  }
  ASSERT_EQ(std::system(("mkdir -p " + d + "/one " + d + "/three").c_str()), 0);
  ASSERT_EQ(Enc("-j 1 -d " + d + "/one" + names), 0);
  ASSERT_EQ(Enc("-j 3 -d " + d + "/three" + names), 0);
  for (int i = 0; i < 4; ++i) {
    std::string n = "/in" + std::to_string(i) + ".aac";
    std::vector<unsigned char> one = Read(d + "/one" + n);
    EXPECT_GT(one.size(), 1000u);
    EXPECT_EQ(Read(d + "/three" + n), one) << n;
  }
  ASSERT_EQ(Enc("-j 2" + names), 0);  // beside the inputs
  EXPECT_EQ(Read(d + "/in2.aac"), Read(d + "/one/in2.aac"));

  ASSERT_EQ(Enc("--title 'Song é' --artist Band -o " + d + "/tag.aac " + d + "/in0.wav"), 0);
  std::vector<unsigned char> t = Read(d + "/tag.aac");
  ASSERT_GT(t.size(), 10u);
  ASSERT_EQ(std::string(t.begin(), t.begin() + 4), std::string("ID3\x04", 4));
  size_t size = (static_cast<size_t>(t[6]) << 21) | (static_cast<size_t>(t[7]) << 14) | (static_cast<size_t>(t[8]) << 7) | t[9];
  EXPECT_EQ(size, 1024u);
  std::string body(t.begin() + 10, t.begin() + 10 + static_cast<long>(size));
  EXPECT_NE(body.find("TIT2"), std::string::npos);
  EXPECT_NE(body.find("TPE1"), std::string::npos);
  EXPECT_NE(body.find(std::string("\0S\0o\0n\0g\0 \0\xE9", 12)), std::string::npos);  // UTF-16BE "Song é"
  std::vector<unsigned char> plain = Read(d + "/one/in0.aac");
  EXPECT_EQ(std::vector<unsigned char>(t.begin() + 10 + static_cast<long>(size), t.end()), plain);
}

}  // namespace
