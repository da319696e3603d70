// tessel-enc: WAV in, ADTS out, clear refusals and no partial output.
#include <dirent.h>
#include <gtest/gtest.h>
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

int Enc(const std::string& args) {
  int rc = std::system((std::string(TESSEL_ENC) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
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
  std::vector<unsigned char> trunc = Wav(44100, 2, 16, 0.5);
  trunc.resize(trunc.size() / 2);
  Write(d + "/trunc.wav", trunc);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/text.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/r22.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/ch3.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/trunc.wav"), 0);
  EXPECT_NE(Enc("-b 100000 -o " + out + "x.aac " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-b 8k -o " + out + "x.aac " + d + "/ok.wav"), 0);   // too low for stereo
  EXPECT_NE(Enc("-b fast -o " + out + "x.aac " + d + "/ok.wav"), 0);
  EXPECT_NE(Enc("-o " + out + "x.aac " + d + "/missing.wav"), 0);
  EXPECT_NE(Enc(d + "/ok.wav"), 0);  // no output named
  EXPECT_EQ(FilesIn(out), 0);
}

}  // namespace
