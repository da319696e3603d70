// The process-wide CD state: what the CD subsystem is doing right now.
//
// Written by the CD player commands and the extraction workers, read from any
// thread (Preferences, the single-instance hand-off, the CD Player page) to
// refuse conflicting actions while an extraction runs.
#pragma once

#include <atomic>
#include <cstdint>

namespace lyb {

enum CdState : std::uint8_t {
    kCdIdle = 0,
    kCdPlaying = 1,
    kCdPaused = 2,
    kCdExtracting = 3,
};

/// The current state byte (0 idle, 1 playing, 2 paused, 3 extracting).
std::uint8_t GetCdState() noexcept;

/// Sets the state byte; safe from any thread.
void SetCdState(std::uint8_t state) noexcept;

/// The application-wide cancel-all flag of a rip: set when the disc is
/// removed during an extraction (or the program shuts down); the ripping
/// pipeline ends the saving at its next question. Cleared when a rip starts.
bool CancelAllRequested() noexcept;
void SetCancelAll(bool on) noexcept;

} // namespace lyb
