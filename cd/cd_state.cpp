#include "cd/cd_state.h"

#include <cstring>

#include "cd/extraction_sink.h"

namespace lyb {
namespace {
std::atomic<std::uint8_t> g_cdState{kCdIdle};
std::atomic<bool> g_cancelAll{false};

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v), p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
} // namespace

std::uint8_t GetCdState() noexcept { return g_cdState.load(std::memory_order_acquire); }
void SetCdState(std::uint8_t state) noexcept { g_cdState.store(state, std::memory_order_release); }
bool CancelAllRequested() noexcept { return g_cancelAll.load(std::memory_order_acquire); }
void SetCancelAll(bool on) noexcept { g_cancelAll.store(on, std::memory_order_release); }

void WriteWaveHeader(std::uint8_t* out, std::uint32_t dataBytes) {
    std::memcpy(out, "RIFF", 4);
    Put32(out + 4, 36 + dataBytes);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    Put32(out + 16, 16);
    Put16(out + 20, 1);
    Put16(out + 22, 2);
    Put32(out + 24, 44100);
    Put32(out + 28, 176400);
    Put16(out + 32, 4);
    Put16(out + 34, 16);
    std::memcpy(out + 36, "data", 4);
    Put32(out + 40, dataBytes);
}

} // namespace lyb
