#include "player/small_player_state.h"

#include <algorithm>

namespace lyb {

namespace {

constexpr int kThumbTravel = layout::kTrack.w - region::kThumb.w; // 222 pixels

bool InLight(SkinPoint p, int x, int y) {
    return x >= p.x && y >= p.y && x < p.x + layout::kLightSize && y < p.y + layout::kLightSize;
}

} // namespace

const ButtonLayout& LayoutOf(SkinButton b) { return kButtonLayout[static_cast<size_t>(b)]; }

int SmallPlayerState::ThumbXFor(int seconds, int length) {
    if (length <= 0 || seconds <= 0)
        return layout::kTrack.x;
    seconds = std::min(seconds, length);
    return layout::kTrack.x + static_cast<int>(static_cast<long long>(seconds) * kThumbTravel / length);
}

int SmallPlayerState::SecondForThumbX(int x, int length) {
    if (length <= 0)
        return 0;
    const int offset = std::clamp(x - layout::kTrack.x, 0, kThumbTravel);
    return static_cast<int>(static_cast<long long>(offset) * length / kThumbTravel);
}

void SmallPlayerState::OnClock(int dialogElapsed, int dialogDuration) {
    elapsed = dialogElapsed;
    duration = dialogDuration;
    if (!m_dragging)
        m_thumbX = ThumbXFor(elapsed, duration);
}

SmallPlayerArea SmallPlayerState::HitTest(int x, int y, SkinButton* button) {
    for (const ButtonLayout& b : kButtonLayout)
        if (b.window.Contains(x, y)) {
            if (button)
                *button = b.button;
            return SmallPlayerArea::Button;
        }
    if (layout::InMoveStrip(x, y))
        return SmallPlayerArea::MoveStrip;
    if (layout::kTrack.Contains(x, y))
        return SmallPlayerArea::Track;
    if (layout::kVolume.Contains(x, y))
        return SmallPlayerArea::Volume;
    return SmallPlayerArea::Nothing;
}

SmallPlayerArea SmallPlayerState::Press(int x, int y) {
    SmallPlayerArea area = HitTest(x, y);
    if (area != SmallPlayerArea::Track)
        return area;
    if (x >= m_thumbX && x < m_thumbX + region::kThumb.w) {
        m_dragging = true;
        m_grabOffset = x - m_thumbX;
        return SmallPlayerArea::Thumb;
    }
    // A press beside the thumb: the track in proportion to x.
    m_trackPressed = true;
    const int second = duration > 0 ? static_cast<int>(static_cast<long long>(std::clamp(x - layout::kTrack.x, 0,
                                                                                         layout::kTrack.w)) *
                                                       duration / layout::kTrack.w)
                                    : 0;
    m_thumbX = ThumbXFor(second, duration);
    m_pressedSecond = second;
    return SmallPlayerArea::Track;
}

void SmallPlayerState::Drag(int x) {
    if (m_dragging)
        m_thumbX = std::clamp(x - m_grabOffset, layout::kTrack.x, layout::kTrack.x + kThumbTravel);
}

std::optional<int> SmallPlayerState::Release() {
    if (m_dragging) {
        m_dragging = false;
        return SecondForThumbX(m_thumbX, duration);
    }
    if (m_trackPressed) {
        m_trackPressed = false;
        return m_pressedSecond;
    }
    return std::nullopt;
}

Light SmallPlayerState::ModeLight() const {
    switch (mode) {
    case 1: return Light::Continuous;
    case 2: return Light::Random;
    default: return Light::Single;
    }
}

SmallPlayerState::Tip SmallPlayerState::LightTip(int x, int y) const {
    if (InLight(layout::kCdLight, x, y))
        return source == 2 ? Tip{305, "CD Player"} : Tip{};
    if (InLight(layout::kStudioLight, x, y))
        return source == 1 ? Tip{304, "Music Studio"} : Tip{};
    if (InLight(layout::kModeLight, x, y)) {
        switch (mode) {
        case 1: return {302, "Continuous play"};
        case 2: return {301, "Random play"};
        default: return {300, "Single play"};
        }
    }
    if (InLight(layout::kDeviceLight, x, y))
        return deviceConnected ? Tip{303, "Device has connected"} : Tip{};
    return {};
}

} // namespace lyb
