// The Preferences dialog's state and rules, without widgets: captions,
// fields, the bit-rate list, the association boxes and which controls are
// enabled. The dialog (ui/) shows this model and calls Ok().
#pragma once

#include <array>
#include <string>

namespace lyb {

class Associations;
class CLyb30App;
class Prompt;

class CPreferencesModel {
public:
    static constexpr std::array<int, 6> kBitrates = {64000, 96000, 128000, 192000, 256000, 320000};

    struct Captions {
        std::string title, startupGroup, musicFolder, playlistFolder, compression, quality, blank,
            previous, scan, browse1, browse2, ok, cancel, alwaysOnTop, associationGroup, m3u, mp3, aac,
            audioCd, browseMusicTitle, browsePlaylistTitle;
    };

    /// Fills everything from the application object (the dialog's opening).
    explicit CPreferencesModel(CLyb30App& app);

    const Captions& GetCaptions() const { return m_captions; }
    /// The bit-rate list's entry texts ("%d").
    static std::string BitrateText(int index);

    // Fields the dialog edits.
    std::string musicFolder;
    std::string playlistFolder;
    int startupMode = 0; ///< 0 blank, 1 previous, 2 scan
    bool alwaysOnTop = false;
    int bitrateIndex = 4;
    bool assocMp3 = false, assocAac = false, assocM3u = false, assocAudioCd = false;

    // Enabled states.
    bool AssociationsEnabled() const { return m_associationsEnabled; }
    bool BitrateEnabled() const { return m_extractionIdle; }
    bool MusicFolderEnabled() const { return m_extractionIdle; }
    bool RightToLeft() const { return m_rightToLeft; }

    /// The OK button: checks both folders (messages through the prompt),
    /// applies the associations and copies the values back. False keeps the
    /// dialog open. `associationsChanged` tells whether the desktop must be told.
    bool Ok(bool* associationsChanged = nullptr);

private:
    CLyb30App& m_app;
    Captions m_captions;
    bool m_associationsEnabled = true;
    bool m_extractionIdle = true;
    bool m_rightToLeft = false;
    // The association state when the dialog opened.
    bool m_wasMp3 = false, m_wasAac = false, m_wasM3u = false, m_wasCdCommand = false, m_wasCda = false;
};

} // namespace lyb
