// The player as the program holds it: the engine, the volume and the
// player dialog's state, made at start-up ("Player initialization") and
// released at exit ("Shuting down Orvik Player...").
#pragma once

#include "player/mixer_volume.h"
#include "player/player_dialog_state.h"
#include "player/player_engine.h"

#include <memory>
#include <string>

namespace lyb {

class PlayerSubsystem {
public:
    PlayerSubsystem() : m_dialog(m_engine) {}
    PlayerSubsystem(const PlayerSubsystem&) = delete;
    PlayerSubsystem& operator=(const PlayerSubsystem&) = delete;

    /// The engine's start-up (players of `programFolder`) and the mixer.
    void Init(const std::string& programFolder) {
        m_engine.Init(programFolder);
        m_mixer = std::make_unique<CMixerVolume>(CreateStreamMixer());
        m_started = true;
    }
    /// Stops playing and releases the players.
    void Shutdown() {
        if (!m_started)
            return;
        m_dialog.SetStudio(nullptr);
        m_dialog.SetCd(nullptr);
        m_engine.Release();
        m_started = false;
    }

    bool Started() const { return m_started; }
    CPlayerEngine& Engine() { return m_engine; }
    PlayerDialogState& Dialog() { return m_dialog; }
    /// Null before Init.
    CMixerVolume* Mixer() { return m_mixer.get(); }

private:
    CPlayerEngine m_engine;
    std::unique_ptr<CMixerVolume> m_mixer;
    PlayerDialogState m_dialog;
    bool m_started = false;
};

} // namespace lyb
