// mkdiscimage: makes a CUE/BIN disc image (raw 2352-byte frames) from WAV
// files of 44100 Hz 16-bit stereo PCM, one audio track per file; each track
// is padded with silence to whole frames. --data FILE adds a MODE1/2352
// data track made of the file's bytes, padded to whole frames, after the
// audio tracks (an enhanced CD); --data-first FILE puts it before them.
//
//   mkdiscimage -o disc.cue [--title TEXT] [--data|--data-first FILE] a.wav b.wav ...
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t Le16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

// Reads the PCM bytes of a CD-format WAV file; false with a reason otherwise.
bool ReadWav(const std::string& path, std::vector<char>& pcm, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return error = "cannot open " + path, false;
    unsigned char head[12];
    if (!in.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) || std::memcmp(head + 8, "WAVE", 4))
        return error = path + ": not a RIFF WAVE file", false;
    bool haveFormat = false;
    for (;;) {
        unsigned char chunk[8];
        if (!in.read(reinterpret_cast<char*>(chunk), 8)) return error = path + ": no data chunk", false;
        std::uint32_t size = Le32(chunk + 4);
        if (!std::memcmp(chunk, "fmt ", 4)) {
            if (size < 16 || size > 1024) return error = path + ": bad format chunk", false;
            std::vector<unsigned char> f(size + (size & 1));
            if (!in.read(reinterpret_cast<char*>(f.data()), std::streamsize(f.size())))
                return error = path + ": truncated", false;
            if (Le16(&f[0]) != 1 || Le16(&f[2]) != 2 || Le32(&f[4]) != 44100 || Le16(&f[14]) != 16)
                return error = path + ": must be 44100 Hz 16-bit stereo PCM", false;
            haveFormat = true;
        } else if (!std::memcmp(chunk, "data", 4)) {
            if (!haveFormat) return error = path + ": data before format", false;
            if (size > 900u * 1024 * 1024) return error = path + ": too long for a disc", false;
            pcm.resize(size);
            in.read(pcm.data(), std::streamsize(size));
            pcm.resize(std::size_t(in.gcount())); // a truncated file keeps what it has
            pcm.resize(pcm.size() / 4 * 4);
            return true;
        } else {
            in.seekg(std::streamoff(size + (size & 1)), std::ios::cur);
        }
    }
}

std::string Msf(std::uint64_t frame) {
    char t[16];
    std::snprintf(t, sizeof t, "%02u:%02u:%02u", unsigned(frame / 4500), unsigned(frame / 75 % 60), unsigned(frame % 75));
    return t;
}

std::string BaseName(const std::string& p) {
    auto s = p.rfind('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

} // namespace

int main(int argc, char** argv) {
    std::string cuePath, title, data;
    bool dataFirst = false;
    std::vector<std::string> wavs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "-o" || a == "--title" || a == "--data" || a == "--data-first") && i + 1 < argc) {
            if (a == "--data-first") dataFirst = true;
            (a == "-o" ? cuePath : a == "--title" ? title : data) = argv[++i];
        } else if (a == "-h" || a == "--help") {
            std::puts("usage: mkdiscimage -o disc.cue [--title TEXT] [--data|--data-first FILE] track.wav...");
            return 0;
        } else {
            wavs.push_back(a);
        }
    }
    if (cuePath.size() < 5 || cuePath.substr(cuePath.size() - 4) != ".cue" || wavs.empty()) {
        std::fputs("usage: mkdiscimage -o disc.cue [--title TEXT] [--data|--data-first FILE] track.wav...\n", stderr);
        return 2;
    }
    std::string binPath = cuePath.substr(0, cuePath.size() - 4) + ".bin";
    std::ofstream bin(binPath, std::ios::binary | std::ios::trunc);
    std::ofstream cue(cuePath, std::ios::trunc);
    if (!bin || !cue) {
        std::fprintf(stderr, "mkdiscimage: cannot write %s\n", cuePath.c_str());
        return 1;
    }
    if (!title.empty()) cue << "TITLE \"" << title << "\"\n";
    cue << "FILE \"" << BaseName(binPath) << "\" BINARY\n";
    std::uint64_t frame = 0;
    int track = 0;
    auto add = [&](const std::vector<char>& bytes, const char* mode, const std::string& name) {
        ++track;
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d %s\n", track, mode);
        cue << line;
        if (!name.empty()) cue << "    TITLE \"" << name << "\"\n";
        cue << "    INDEX 01 " << Msf(frame) << "\n";
        bin.write(bytes.data(), std::streamsize(bytes.size()));
        std::size_t pad = (2352 - bytes.size() % 2352) % 2352;
        if (bytes.empty()) pad = 2352;
        std::vector<char> zeros(pad, 0);
        bin.write(zeros.data(), std::streamsize(pad));
        frame += (bytes.size() + pad) / 2352;
    };
    auto addData = [&]() {
        std::ifstream in(data, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "mkdiscimage: cannot open %s\n", data.c_str());
            return false;
        }
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        add(bytes, "MODE1/2352", "");
        return true;
    };
    if (!data.empty() && dataFirst && !addData()) return 1;
    for (const auto& w : wavs) {
        std::vector<char> pcm;
        std::string error;
        if (!ReadWav(w, pcm, error)) {
            std::fprintf(stderr, "mkdiscimage: %s\n", error.c_str());
            return 1;
        }
        std::string name = BaseName(w);
        if (auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
        for (auto& c : name)
            if (c == '"') c = '\'';
        add(pcm, "AUDIO", name);
    }
    if (!data.empty() && !dataFirst && !addData()) return 1;
    if (track > 99 || frame > 450000) {
        std::fputs("mkdiscimage: more than 99 tracks or 100 minutes\n", stderr);
        return 1;
    }
    bin.close();
    cue.close();
    if (!bin || !cue) {
        std::fputs("mkdiscimage: write failed\n", stderr);
        return 1;
    }
    std::printf("%s: %d tracks, %llu frames\n", cuePath.c_str(), track, static_cast<unsigned long long>(frame));
    return 0;
}
