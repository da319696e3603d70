// Helpers of the CD tests: disc images in a temporary folder, an in-process
// ASPI manager over a virtual drive, and a consumer that writes WAV files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "cd/aspi_manager.h"
#include "cd/extraction_sink.h"
#include "outside/aspi/aspi_host.h"
#include "platform/cdrom/virtual_drive.h"

namespace lyb::test {

inline std::filesystem::path TempDir(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() /
               ("lyb_cd_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

/// Writes disc.bin (frame bytes from a fixed pseudo-random sequence) and
/// disc.cue with one track per entry of `frames`; `dataLast` makes the last a
/// MODE1 data track. Returns the CUE path.
inline std::string MakeDisc(const std::filesystem::path& dir, const std::vector<std::uint32_t>& frames,
                            bool dataLast = false) {
    std::ofstream bin(dir / "disc.bin", std::ios::binary);
    std::ofstream cue(dir / "disc.cue");
    cue << "REM made by the CD tests\nTITLE \"Test Disc\"\nFILE \"disc.bin\" BINARY\n";
    std::uint32_t seed = 12345, at = 0;
    std::vector<char> frame(2352);
    for (std::size_t t = 0; t < frames.size(); ++t) {
        bool data = dataLast && t + 1 == frames.size();
        char line[96];
        std::snprintf(line, sizeof line, "  TRACK %02zu %s\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      data ? "MODE1/2352" : "AUDIO", at / 4500, (at / 75) % 60, at % 75);
        cue << line;
        for (std::uint32_t f = 0; f < frames[t]; ++f) {
            for (auto& b : frame) {
                seed = seed * 1103515245u + 12345u;
                b = char(seed >> 16);
            }
            bin.write(frame.data(), std::streamsize(frame.size()));
        }
        at += frames[t];
    }
    return (dir / "disc.cue").string();
}

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// The ASPI manager's entry points over an AspiHost owned by the test.
struct InProcessAspi {
    static inline aspi::AspiHost* host = nullptr;
    static aspi::DWORD Send(void* srb) { return host->SendCommand(srb); }
    static aspi::DWORD Support() { return host->SupportInfo(); }
    static aspi::DWORD Version() { return aspi::AspiHost::Version(); }
    static int Get(aspi::ASPI32BUFF* b) { return aspi::AspiHost::GetBuffer(b); }
    static int Free(aspi::ASPI32BUFF* b) { return aspi::AspiHost::FreeBuffer(b); }

    explicit InProcessAspi(std::vector<std::shared_ptr<ScsiTarget>> targets) {
        std::vector<aspi::AspiDevice> devices;
        for (std::size_t i = 0; i < targets.size(); ++i) devices.push_back(aspi::AspiDevice{0, int(i), 0, targets[i]});
        owned = std::make_unique<aspi::AspiHost>(std::vector<std::string>{"TEST"}, devices);
        host = owned.get();
    }
    ~InProcessAspi() { host = nullptr; }

    bool Load(CAspiManager& m) {
        AspiEntryPoints e{Send, Support, Version, Get, Free};
        m.SetDriveLetterSearch([](const AspiDeviceEntry& d) { return char('A' + d.target); });
        return m.LoadAspiEntryPoints(nullptr, e, SystemVersion{OsLine::Consumer, 0x0400});
    }
    std::unique_ptr<aspi::AspiHost> owned;
};

/// Writes each track to the path it is given; the first block carries the
/// wave header, so the file is a complete WAV file.
class WavFileSink final : public CExtractionSink {
public:
    explicit WavFileSink(std::filesystem::path dir) : m_dir(std::move(dir)) {}
    int PrepareTrackFile(int track, std::string& path) override {
        path = (m_dir / ("track" + std::to_string(track) + ".wav")).string();
        m_path = path;
        m_out.open(path, std::ios::binary | std::ios::trunc);
        ++prepared;
        return answer;
    }
    bool FeedEncoder(const std::uint8_t* block, std::size_t length, bool first) override {
        if (first) firstBlocks.push_back(length);
        blocks.push_back(length);
        ++blockCount;
        m_out.write(reinterpret_cast<const char*>(block), std::streamsize(length));
        if (onBlock) onBlock();
        return true;
    }
    bool CloseTrack(bool complete) override {
        m_out.close();
        ++closed;
        return complete || std::remove(m_path.c_str()) == 0;
    }
    int answer = 0;
    int prepared = 0, closed = 0;
    std::vector<std::size_t> blocks, firstBlocks;
    std::atomic<int> blockCount{0};
    std::function<void()> onBlock;

private:
    std::filesystem::path m_dir;
    std::string m_path;
    std::ofstream m_out;
};

} // namespace lyb::test
