// The bitmaps of one Small Player: the face, the ten button regions, the
// lights, the thumb, the volume bar, the shared button mask and the two
// text colours, cut from a skin picture (or the built-in one).
#pragma once

#include "player/skin_layout.h"

#include <QColor>
#include <QImage>

#include <array>
#include <string>

namespace lyb {

struct SkinImages {
    QImage face;
    std::array<QImage, kSkinButtonCount> buttons; ///< 84 x 33 each, in layout order
    QImage lights;
    QImage thumb;
    QImage volumeBar;
    QImage mask; ///< the shared button mask (built in)
    QColor timeColour;
    QColor titleColour;
    bool fromSkin = false;

    /// The built-in images.
    void LoadBuiltin();
    /// The images of the skin at `path`; false (images unchanged) when it
    /// cannot be read.
    bool LoadSkin(const std::string& path);
    /// Cuts every region out of a 300 x 312 picture.
    void CutFrom(const QImage& picture);

    /// A button's image for `state`: its state image taken from row 4 of
    /// its region, `window` sized, with the face shown where the mask is black.
    QImage ButtonFace(SkinButton button, ButtonImage state, bool rightToLeft) const;
};

/// The skin browser's 300 x 104 preview: the face, the buttons' normal
/// images at their places and the thumb.
QImage ComposePreview(const QImage& picture);

} // namespace lyb
