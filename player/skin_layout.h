// Where everything of a skin lies: the regions of the 300 x 312 skin
// picture and the Small Player's layout (client coordinates).
#pragma once

#include <array>

namespace lyb {

struct SkinRect {
    int x = 0, y = 0, w = 0, h = 0;
    constexpr bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    constexpr int Right() const { return x + w; }
    constexpr int Bottom() const { return y + h; }
};

struct SkinPoint {
    int x = 0, y = 0;
};

namespace region {
inline constexpr SkinRect kFace{0, 0, 300, 104};
inline constexpr SkinRect kVolumeBar{86, 241, 63, 17};
inline constexpr SkinRect kLights{256, 139, 8, 48};
inline constexpr SkinRect kThumb{256, 188, 28, 7};
inline constexpr SkinPoint kTimeColour{86, 105};
inline constexpr SkinPoint kTitleColour{171, 105};
} // namespace region

/// Offsets of the six 8 x 8 lights inside the lights region.
enum class Light : int { Cd = 0, Studio = 8, Single = 16, Continuous = 24, Random = 32, Device = 40 };

/// The ten buttons in layout order.
enum class SkinButton : int { Minimize, Restore, Close, Play, Pause, Stop, Previous, Next, Sequence, Eject };
inline constexpr int kSkinButtonCount = 10;

/// The three state images of a button, 28 pixels apart in its region.
enum class ButtonImage : int { Normal = 0, Hover = 28, Pressed = 56 };
/// Images are taken from this row of the button's region.
inline constexpr int kButtonImageRow = 4;
inline constexpr int kButtonImageWidth = 28;
inline constexpr int kButtonImageHeight = 33;

struct ButtonLayout {
    SkinButton button;
    int controlId;      ///< the control's identifier
    SkinRect window;    ///< the button's window on the Small Player
    SkinRect region;    ///< its three images in the skin picture (84 x 33)
    int tipId;          ///< interface text of the tip
    const char* tip;    ///< English tip
};

inline constexpr std::array<ButtonLayout, kSkinButtonCount> kButtonLayout = {{
    {SkinButton::Minimize, 1085, {255, 1, 14, 17}, {86, 139, 84, 33}, 317, "Minimize"},
    {SkinButton::Restore, 1084, {270, 1, 14, 17}, {171, 139, 84, 33}, 318, "Restore"},
    {SkinButton::Close, 1093, {284, 1, 14, 17}, {1, 139, 84, 33}, 316, "Close"},
    {SkinButton::Play, 1086, {46, 80, 16, 16}, {1, 173, 84, 33}, 306, "Play"},
    {SkinButton::Pause, 1087, {64, 80, 16, 16}, {86, 173, 84, 33}, 307, "Pause"},
    {SkinButton::Stop, 1088, {82, 80, 16, 16}, {171, 173, 84, 33}, 308, "Stop"},
    {SkinButton::Previous, 1089, {100, 80, 16, 16}, {1, 207, 84, 33}, 309, "Previous track"},
    {SkinButton::Next, 1090, {118, 80, 16, 16}, {86, 207, 84, 33}, 310, "Next track"},
    {SkinButton::Sequence, 1092, {236, 76, 23, 23}, {171, 207, 84, 33}, 319, "Sequence mode"},
    {SkinButton::Eject, 1091, {260, 76, 23, 23}, {1, 241, 84, 33}, 286, "Eject CD"},
}};

const ButtonLayout& LayoutOf(SkinButton b);

/// The x of a state image inside its region (a right-to-left window swaps
/// the normal and the pressed image).
constexpr int ImageOffset(ButtonImage image, bool rightToLeft) {
    const int x = static_cast<int>(image);
    return rightToLeft && x != 28 ? 56 - x : x;
}

namespace layout {
inline constexpr int kWidth = 300;
inline constexpr int kHeight = 104;
/// The progress track: the thumb's left edge moves from x 37 to 287 - 28.
inline constexpr SkinRect kTrack{37, 62, 250, 7};
inline constexpr SkinRect kThumbStart{37, 62, 28, 7};
inline constexpr SkinRect kProgressTip{36, 60, 252, 8};
inline constexpr SkinRect kVolume{162, 80, 62, 16};
inline constexpr int kVolumeBarHeight = 14;
inline constexpr SkinRect kTitle{105, 24, 183, 11};
inline constexpr SkinRect kArtist{105, 33, 183, 11};
inline constexpr SkinPoint kTimeText{44, 23};
inline constexpr SkinRect kTimeArea{34, 23, 56, 14};
inline constexpr SkinRect kTextStrip{100, 24, 193, 22};
inline constexpr SkinRect kTopStrip{0, 0, 293, 46};
inline constexpr SkinPoint kCdLight{37, 37};
inline constexpr SkinPoint kStudioLight{47, 37};
inline constexpr SkinPoint kModeLight{63, 37};
inline constexpr SkinPoint kDeviceLight{79, 37};
inline constexpr int kLightSize = 8;
/// Where a press moves the window: 1 < y < 19 and 1 < x < 251.
constexpr bool InMoveStrip(int x, int y) { return y > 1 && y < 19 && x > 1 && x < 251; }
} // namespace layout

/// The skin browser's preview: the button images (normal state, from row 4)
/// drawn over the face, and the thumb.
struct PreviewPiece {
    SkinPoint from;
    SkinRect to;
};
inline constexpr std::array<PreviewPiece, 8> kPreviewPieces = {{
    {{1, 177}, {46, 80, 16, 16}},   // play
    {{86, 177}, {64, 80, 16, 16}},  // pause
    {{171, 177}, {82, 80, 16, 16}}, // stop
    {{1, 211}, {100, 80, 16, 16}},  // previous
    {{86, 211}, {118, 80, 16, 16}}, // next
    {{1, 245}, {260, 76, 23, 23}},  // eject
    {{171, 211}, {236, 76, 23, 23}}, // sequence mode
    {{256, 188}, {84, 62, 28, 7}},  // progress thumb
}};

} // namespace lyb
