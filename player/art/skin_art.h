// The program's own artwork for the Small Player, drawn in code: the
// built-in skin picture (face, button images, lights, thumb, volume bar,
// text colours, all at their places in the 300 x 312 layout), the shared
// button mask and the player's icon. The skin maker draws new skins with
// the same routines over a picture of the user's.
#pragma once

#include "player/skin_file.h"

#include <QColor>
#include <QImage>

namespace lyb {

/// The colours of a drawn skin.
struct SkinArtStyle {
    QColor body{0x26, 0x2f, 0x3d};       ///< the face's main colour
    QColor bodyLight{0x3b, 0x4a, 0x5f};  ///< its light edge
    QColor panel{0x0c, 0x12, 0x18};      ///< the display panel
    QColor accent{0x4f, 0xc3, 0xf7};     ///< buttons' symbols and lit parts
    QColor key{0x34, 0x3f, 0x50};        ///< button keys
    QColor timeColour{0x7c, 0xf2, 0xc8}; ///< elapsed time text
    QColor titleColour{0xf4, 0xd3, 0x8a};///< title and artist text

    /// The style of the built-in skin.
    static SkinArtStyle Builtin() { return {}; }
    /// A style whose keys and accent follow `base` (for skins made from a picture).
    static SkinArtStyle FromColour(const QColor& base);
};

/// The whole 300 x 312 skin picture. With `faceBackground` the face's body
/// is that picture (scaled to cover 300 x 104, centred) under the panel,
/// grooves and keys; without it the body is drawn in the style's colours.
QImage DrawSkinPicture(const SkinArtStyle& style, const QImage* faceBackground = nullptr);

/// The built-in skin picture (drawn once, then shared).
const QImage& BuiltinSkinPicture();

/// The shared button mask (84 x 37, the layout of a button region with its
/// images from row 4): white where a button shows its image, black where
/// the face shows through. x 0 is read for left-to-right windows, x 56 for
/// right-to-left ones.
const QImage& BuiltinButtonMask();

/// The player's icon (32 x 32, with alpha).
const QImage& PlayerIcon();

/// The average colour of a picture (for FromColour).
QColor AverageColour(const QImage& picture);

/// A skin picture as an image (300 x 312, RGB32) and back (the image must
/// be 300 x 312; any other size gives an empty picture).
QImage ToImage(const SkinPicture& picture);
SkinPicture ToSkinPicture(const QImage& image);

} // namespace lyb
