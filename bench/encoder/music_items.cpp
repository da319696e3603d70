// Synthetic items of the development corpus that the shared corpus lacks:
//   music_items subbass OUT.wav    sub-bass tone under a kick drum, off-beat hats
//   music_items applause OUT.wav   dense applause: thousands of panned claps (dry)
//   music_items piano OUT.mid      a solo piano piece for a General MIDI synthesizer
// WAV output is 44100 Hz, 16-bit, stereo. A fixed seed makes every run
// byte-identical. Standard C++ only.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct Stereo {
  std::vector<double> l, r;
  explicit Stereo(double seconds) : l(size_t(seconds * kRate)), r(size_t(seconds * kRate)) {}
  size_t size() const { return l.size(); }
};

// Small deterministic generator (xorshift), uniform in [0, 1).
struct Random {
  uint64_t s;
  explicit Random(uint64_t seed) : s(seed) {}
  double next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return double(s >> 11) / 9007199254740992.0;
  }
  double between(double a, double b) { return a + (b - a) * next(); }
};

void Put16(FILE* f, unsigned v) {
  const unsigned char b[2] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF)};
  std::fwrite(b, 1, 2, f);
}
void Put32(FILE* f, uint32_t v) {
  Put16(f, v & 0xFFFF);
  Put16(f, v >> 16);
}

// Scales the peak to `peakDb` dBFS and writes 16-bit PCM with plain rounding.
bool WriteWav(const std::string& path, const Stereo& a, double peakDb) {
  double peak = 1e-9;
  for (size_t i = 0; i < a.size(); ++i) peak = std::fmax(peak, std::fmax(std::fabs(a.l[i]), std::fabs(a.r[i])));
  const double gain = std::pow(10.0, peakDb / 20.0) * 32767.0 / peak;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const uint32_t data = uint32_t(a.size() * 4);
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + data);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1);
  Put16(f, 2);
  Put32(f, kRate);
  Put32(f, kRate * 4);
  Put16(f, 4);
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, data);
  for (size_t i = 0; i < a.size(); ++i) {
    for (double v : {a.l[i], a.r[i]}) {
      long s = std::lround(v * gain);
      if (s > 32767) s = 32767;
      if (s < -32768) s = -32768;
      Put16(f, unsigned(s) & 0xFFFF);
    }
  }
  return std::fclose(f) == 0;
}

// Two-pole resonant band-pass (constant peak gain), one sample at a time.
struct BandPass {
  double b0, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  BandPass(double hz, double q) {
    const double w = 2 * kPi * hz / kRate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
    b0 = alpha / a0;
    a1 = -2 * std::cos(w) / a0;
    a2 = (1 - alpha) / a0;
  }
  double run(double x) {
    const double y = b0 * x - b0 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// A 41 Hz sub-bass line (four notes a bar) under a kick on every beat at
// 120 beats per minute and closed hats on the off-beats.
Stereo SubBass() {
  Stereo a(12.0);
  Random rnd(0x5B0B0A55u);
  const double notes[4] = {41.2, 41.2, 36.7, 46.2};
  double phase = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double t = double(i) / kRate;
    const int bar = int(t / 2.0);
    const double hz = notes[bar % 4];
    phase += 2 * kPi * hz / kRate;
    const double env = 0.5 + 0.1 * std::sin(2 * kPi * 0.25 * t);
    const double v = env * (std::sin(phase) + 0.08 * std::sin(2 * phase));
    a.l[i] += v;
    a.r[i] += v;
  }
  for (double beat = 0.0; beat < 12.0; beat += 0.5) {
    const size_t start = size_t(beat * kRate);
    double ph = 0.0;
    for (size_t k = 0; k < size_t(0.35 * kRate) && start + k < a.size(); ++k) {
      const double t = double(k) / kRate;
      const double hz = 45.0 + 110.0 * std::exp(-t / 0.03);
      ph += 2 * kPi * hz / kRate;
      double v = 1.2 * std::exp(-t / 0.12) * std::sin(ph);
      if (t < 0.004) v += 0.4 * (rnd.next() * 2 - 1) * (1 - t / 0.004);  // beater click
      a.l[start + k] += v;
      a.r[start + k] += v;
    }
    // Off-beat hat: high-passed noise burst, slightly right.
    const size_t hat = size_t((beat + 0.25) * kRate);
    double prev = 0.0;
    for (size_t k = 0; k < size_t(0.06 * kRate) && hat + k < a.size(); ++k) {
      const double n = rnd.next() * 2 - 1;
      const double hp = n - prev;
      prev = n;
      const double v = 0.08 * std::exp(-double(k) / kRate / 0.015) * hp;
      a.l[hat + k] += 0.7 * v;
      a.r[hat + k] += v;
    }
  }
  return a;
}

// Dense applause: about 4000 claps from a crowd spread over the stereo
// stage; each clap is a short noise burst through a resonance between 700
// and 2500 Hz. The room is added afterwards (sox reverb).
Stereo Applause() {
  Stereo a(12.0);
  Random rnd(0xA991A05Eu);
  const int people = 60;
  for (int p = 0; p < people; ++p) {
    const double pan = rnd.next();
    const double gl = std::cos(pan * kPi / 2), gr = std::sin(pan * kPi / 2);
    const double rate = rnd.between(4.0, 7.0);  // claps per second
    const double loud = rnd.between(0.3, 1.0);
    const double hz = rnd.between(700.0, 2500.0);
    double t = rnd.between(0.0, 0.3);
    while (t < 11.9) {
      BandPass bp(hz * rnd.between(0.9, 1.1), rnd.between(1.5, 3.0));
      const size_t start = size_t(t * kRate);
      const double decay = rnd.between(0.006, 0.015);
      const double g = loud * rnd.between(0.7, 1.0);
      for (size_t k = 0; k < size_t(0.06 * kRate) && start + k < a.size(); ++k) {
        const double env = std::exp(-double(k) / kRate / decay);
        const double v = g * bp.run((rnd.next() * 2 - 1) * env) + 0.15 * g * (rnd.next() * 2 - 1) * env;
        a.l[start + k] += gl * v;
        a.r[start + k] += gr * v;
      }
      t += 1.0 / rate * rnd.between(0.85, 1.15);
    }
  }
  // The applause swells in and thins out towards the end.
  for (size_t i = 0; i < a.size(); ++i) {
    const double t = double(i) / kRate;
    const double env = std::fmin(1.0, t / 1.0) * std::fmin(1.0, (12.0 - t) / 3.0 + 0.2);
    a.l[i] *= env;
    a.r[i] *= env;
  }
  return a;
}

// Minimal type-0 standard MIDI file writer.
struct MidiTrack {
  struct Event {
    uint32_t tick;
    int order;
    std::vector<unsigned char> bytes;
  };
  std::vector<Event> events;
  int count = 0;
  void add(uint32_t tick, std::initializer_list<unsigned char> b) { events.push_back({tick, count++, b}); }
  void note(double beat, double length, int key, int velocity) {
    const uint32_t on = uint32_t(std::lround(beat * 480)), off = uint32_t(std::lround((beat + length) * 480));
    add(on, {0x90, static_cast<unsigned char>(key), static_cast<unsigned char>(velocity)});
    add(off, {0x80, static_cast<unsigned char>(key), 0});
  }
  void pedal(double beat, bool down) {
    add(uint32_t(std::lround(beat * 480)), {0xB0, 64, static_cast<unsigned char>(down ? 127 : 0)});
  }
  bool write(const std::string& path) {
    std::vector<Event> ev = events;
    for (size_t i = 1; i < ev.size(); ++i)  // stable insertion sort by tick
      for (size_t j = i; j > 0 && (ev[j].tick < ev[j - 1].tick ||
                                   (ev[j].tick == ev[j - 1].tick && ev[j].order < ev[j - 1].order)); --j)
        std::swap(ev[j], ev[j - 1]);
    std::vector<unsigned char> body = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us a beat
                                       0x00, 0xC0, 0x00};                         // program 0: grand piano
    uint32_t last = 0;
    for (const Event& e : ev) {
      uint32_t d = e.tick - last;
      last = e.tick;
      unsigned char v[5];
      int n = 0;
      v[n++] = d & 0x7F;
      while (d >>= 7) v[n++] = static_cast<unsigned char>(0x80 | (d & 0x7F));
      while (n) body.push_back(v[--n]);
      body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const unsigned char head[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    std::fwrite(head, 1, sizeof head, f);
    const uint32_t n = uint32_t(body.size());
    const unsigned char len[4] = {static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
                                  static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
    std::fwrite(len, 1, 4, f);
    std::fwrite(body.data(), 1, body.size(), f);
    return std::fclose(f) == 0;
  }
};

// Solo piano, 120 beats per minute: a soft pedalled arpeggio section, then
// loud low octaves and chords with high runs, ending on a long decaying chord.
MidiTrack Piano() {
  MidiTrack m;
  const int chords[4][4] = {{48, 55, 60, 64}, {45, 52, 57, 60}, {41, 48, 53, 57}, {43, 50, 55, 59}};
  for (int bar = 0; bar < 3; ++bar) {
    const int* c = chords[bar % 4];
    m.pedal(bar * 4.0, true);
    for (int i = 0; i < 8; ++i) {
      const int key = c[i % 4] + (i >= 4 ? 12 : 0);
      m.note(bar * 4.0 + i * 0.5, 1.5, key, 40 + 4 * (i % 4));
    }
    m.pedal(bar * 4.0 + 3.9, false);
  }
  for (int bar = 3; bar < 5; ++bar) {
    const int* c = chords[bar % 4];
    for (int beat = 0; beat < 4; ++beat) {
      const double b = bar * 4.0 + beat;
      m.note(b, 0.9, c[0] - 12, 100);
      m.note(b, 0.9, c[0], 95);
      if (beat % 2 == 0)
        for (int k = 1; k < 4; ++k) m.note(b, 0.8, c[k] + 12, 90);
      else
        for (int k = 0; k < 4; ++k) m.note(b + k * 0.25, 0.25, c[k] + 24, 70 + 8 * k);
    }
  }
  m.pedal(20.0, true);
  for (int k = 0; k < 4; ++k) m.note(20.0, 3.5, chords[0][k] + (k ? 12 : 0), 85);
  m.note(20.0, 3.5, 36, 90);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) {
    const std::string what = argv[1], out = argv[2];
    if (what == "subbass") return WriteWav(out, SubBass(), -1.0) ? 0 : 1;
    if (what == "applause") return WriteWav(out, Applause(), -3.0) ? 0 : 1;
    if (what == "piano") return Piano().write(out) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: music_items subbass|applause OUT.wav | piano OUT.mid\n");
  return 2;
}
