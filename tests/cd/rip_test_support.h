// Helpers of the ripping tests: discs with tone, noise and data tracks, the
// real encoder library, and the decoders and tag reader we did not write
// (FFmpeg, FAAD2, ffprobe), run on the files a rip made.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cd_test_support.h"
#include "core/include/tessel/aac_interface.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/shared_library.h"

namespace lyb::test {

struct TrackSpec {
    std::uint32_t frames = 75;
    bool data = false;
    double toneHz = 0; ///< 0: pseudo-random noise
};

/// disc.bin/disc.cue in `dir` from the specs; tones are 16-bit stereo at
/// half scale (left at toneHz, right at 1.5 x toneHz).
inline std::string MakeDiscFrom(const std::filesystem::path& dir, const std::vector<TrackSpec>& tracks,
                                const std::string& name = "disc") {
    std::ofstream bin(dir / (name + ".bin"), std::ios::binary);
    std::ofstream cue(dir / (name + ".cue"));
    cue << "FILE \"" << name << ".bin\" BINARY\n";
    std::uint32_t seed = 777, at = 0;
    std::vector<std::uint8_t> frame(2352);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        char line[96];
        std::snprintf(line, sizeof line, "  TRACK %02zu %s\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      tracks[t].data ? "MODE1/2352" : "AUDIO", at / 4500, (at / 75) % 60, at % 75);
        cue << line;
        std::uint64_t sample = 0;
        for (std::uint32_t f = 0; f < tracks[t].frames; ++f) {
            for (std::size_t i = 0; i < 588; ++i, ++sample) {
                for (int ch = 0; ch < 2; ++ch) {
                    std::int16_t v;
                    if (tracks[t].toneHz > 0) {
                        double hz = tracks[t].toneHz * (ch ? 1.5 : 1.0);
                        v = std::int16_t(16000.0 * std::sin(2 * M_PI * hz * double(sample) / 44100.0));
                    } else {
                        seed = seed * 1103515245u + 12345u;
                        v = std::int16_t(seed >> 16);
                    }
                    frame[i * 4 + std::size_t(ch) * 2] = std::uint8_t(v);
                    frame[i * 4 + std::size_t(ch) * 2 + 1] = std::uint8_t(std::uint16_t(v) >> 8);
                }
            }
            bin.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size()));
        }
        at += tracks[t].frames;
    }
    return (dir / (name + ".cue")).string();
}

/// The real encoder library beside the test program.
struct Tessel {
    SharedLibrary lib;
    AACInterface* encoder = nullptr;
    ReleaseAACInterfaceFn release = nullptr;
    Tessel() {
        if (!lib.Open(ProgramFolder() + "/libtessel.so")) return;
        auto create = reinterpret_cast<CreateAACInterfaceFn>(lib.Symbol("CreateAACInterface"));
        release = reinterpret_cast<ReleaseAACInterfaceFn>(lib.Symbol("ReleaseAACInterface"));
        if (create && release) create(&encoder);
    }
    ~Tessel() {
        if (encoder && release) release(&encoder);
    }
};

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string ReadText(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

/// Decoded 16-bit stereo samples and what the decoder said on its error output.
struct Decoded {
    std::vector<std::int16_t> pcm;
    std::string errors;
    std::size_t Frames() const { return pcm.size() / 2; }
};

inline Decoded ReadRaw(const std::filesystem::path& raw, const std::filesystem::path& err, std::size_t skip = 0) {
    Decoded d;
    auto bytes = ReadFile(raw);
    for (std::size_t i = skip; i + 1 < bytes.size(); i += 2)
        d.pcm.push_back(std::int16_t(bytes[i] | (bytes[i + 1] << 8)));
    d.errors = ReadText(err);
    return d;
}

inline Decoded FfmpegDecode(const std::filesystem::path& aac, const std::filesystem::path& work) {
    auto raw = work / "ffmpeg.raw", err = work / "ffmpeg.err";
    std::string cmd = "ffmpeg -nostdin -v error -y -i " + Quote(aac.string()) + " -f s16le -ac 2 -ar 44100 " +
                      Quote(raw.string()) + " 2> " + Quote(err.string());
    [[maybe_unused]] int rc = std::system(cmd.c_str());
    return ReadRaw(raw, err);
}

inline Decoded FaadDecode(const std::filesystem::path& aac, const std::filesystem::path& work) {
    auto wav = work / "faad.wav", err = work / "faad.err";
    std::string cmd = "faad -q -b 1 -o " + Quote(wav.string()) + " " + Quote(aac.string()) + " 2> " +
                      Quote(err.string());
    [[maybe_unused]] int rc = std::system(cmd.c_str());
    return ReadRaw(wav, err, 44);
}

/// The format tags ffprobe reads ("title", "artist", ...).
inline std::map<std::string, std::string> FfprobeTags(const std::filesystem::path& file,
                                                      const std::filesystem::path& work) {
    auto out = work / "ffprobe.txt";
    std::string cmd = "ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " +
                      Quote(file.string()) + " > " + Quote(out.string()) + " 2>&1";
    [[maybe_unused]] int rc = std::system(cmd.c_str());
    std::map<std::string, std::string> tags;
    std::istringstream in(ReadText(out));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("TAG:", 0) != 0) continue;
        auto eq = line.find('=');
        if (eq != std::string::npos) tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
    }
    return tags;
}

/// Root mean square of one channel.
inline double Rms(const std::vector<std::int16_t>& pcm, int channel) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = std::size_t(channel); i < pcm.size(); i += 2, ++n) sum += double(pcm[i]) * pcm[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

/// Share of a channel's energy at `hz` (Goertzel over the whole signal).
inline double ToneShare(const std::vector<std::int16_t>& pcm, int channel, double hz) {
    double w = 2 * M_PI * hz / 44100.0, c = 2 * std::cos(w), s1 = 0, s2 = 0, energy = 0;
    std::size_t n = 0;
    for (std::size_t i = std::size_t(channel); i < pcm.size(); i += 2, ++n) {
        double x = pcm[i];
        double s0 = x + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += x * x;
    }
    double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return n && energy > 0 ? 2 * power / (double(n) * energy) : 0;
}

} // namespace lyb::test
