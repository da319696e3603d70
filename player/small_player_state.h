// The Small Player's own state and arithmetic: what it mirrors of the
// player dialog, the progress thumb (its position for the elapsed time, a
// drag, a press on the track), the lights and their tips, and what a point
// of the window is.
#pragma once

#include "player/skin_layout.h"

#include <optional>
#include <string>

namespace lyb {

/// What lies under a point of the Small Player.
enum class SmallPlayerArea {
    Nothing,
    MoveStrip, ///< the strip that moves the window
    Thumb,
    Track,     ///< the progress track outside the thumb
    Volume,
    Button,
};

class SmallPlayerState {
public:
    // Mirrored from the player dialog.
    int source = 1;   ///< 1 Music Studio, 2 CD
    int mode = 0;     ///< 0 single, 1 continuous, 2 random
    int elapsed = 0;
    int duration = 0;
    bool minimised = false;
    bool deviceConnected = false;

    /// The thumb's left edge.
    int ThumbX() const { return m_thumbX; }
    bool Dragging() const { return m_dragging; }

    /// The clock: unless a drag runs, the thumb follows the elapsed time.
    void OnClock(int dialogElapsed, int dialogDuration);
    /// Left edge of the thumb for `seconds` of `length`.
    static int ThumbXFor(int seconds, int length);
    /// The second a thumb left edge stands for.
    static int SecondForThumbX(int x, int length);

    /// A press at (x, y). On the thumb a drag starts; elsewhere on the track
    /// the thumb jumps to the x position (in proportion). Returns what was hit.
    SmallPlayerArea Press(int x, int y);
    /// The pointer moves during a drag.
    void Drag(int x);
    /// The button is released: the second to seek to, when a drag or a track
    /// press came before.
    std::optional<int> Release();

    /// What lies at (x, y); `button` receives the button when one is hit.
    static SmallPlayerArea HitTest(int x, int y, SkinButton* button = nullptr);

    /// The light offsets inside the lights region.
    Light SourceLight() const { return source == 2 ? Light::Cd : Light::Studio; }
    Light ModeLight() const;
    /// The tip of the light at the point: its interface text and English
    /// default; id 0 for a light that is off or no light.
    struct Tip {
        int id = 0;
        const char* english = "";
    };
    Tip LightTip(int x, int y) const;

private:
    int m_thumbX = layout::kThumbStart.x;
    bool m_dragging = false;
    bool m_trackPressed = false;
    int m_pressedSecond = 0;
    int m_grabOffset = 0;
};

} // namespace lyb
