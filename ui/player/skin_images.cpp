#include "ui/player/skin_images.h"

#include "player/art/skin_art.h"
#include "player/skin_file.h"

#include <QPainter>

namespace lyb {

namespace {

QImage Cut(const QImage& picture, const SkinRect& r) { return picture.copy(r.x, r.y, r.w, r.h); }

} // namespace

void SkinImages::CutFrom(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    face = Cut(rgb, region::kFace);
    for (size_t i = 0; i < buttons.size(); ++i)
        buttons[i] = Cut(rgb, kButtonLayout[i].region);
    lights = Cut(rgb, region::kLights);
    thumb = Cut(rgb, region::kThumb);
    volumeBar = Cut(rgb, region::kVolumeBar);
    timeColour = QColor(rgb.pixel(region::kTimeColour.x, region::kTimeColour.y));
    titleColour = QColor(rgb.pixel(region::kTitleColour.x, region::kTitleColour.y));
    mask = BuiltinButtonMask();
}

void SkinImages::LoadBuiltin() {
    CutFrom(BuiltinSkinPicture());
    fromSkin = false;
}

bool SkinImages::LoadSkin(const std::string& path) {
    const SkinFile s = ReadSkinFile(path);
    if (!s.ok)
        return false;
    CutFrom(ToImage(s.picture));
    fromSkin = true;
    return true;
}

QImage SkinImages::ButtonFace(SkinButton button, ButtonImage state, bool rightToLeft) const {
    const ButtonLayout& b = kButtonLayout[static_cast<size_t>(button)];
    const int w = b.window.w, h = b.window.h;
    const QImage image = buttons[static_cast<size_t>(button)].copy(ImageOffset(state, rightToLeft), kButtonImageRow, w, h);
    const int maskX = rightToLeft ? 56 : 0;
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool showsButton = qGray(mask.pixel(maskX + x, kButtonImageRow + y)) >= 128;
            out.setPixel(x, y, showsButton ? image.pixel(x, y) : face.pixel(b.window.x + x, b.window.y + y));
        }
    return out;
}

QImage ComposePreview(const QImage& picture) {
    QImage out = picture.copy(region::kFace.x, region::kFace.y, region::kFace.w, region::kFace.h)
                     .convertToFormat(QImage::Format_RGB32);
    QPainter p(&out);
    for (const PreviewPiece& piece : kPreviewPieces)
        p.drawImage(QPoint(piece.to.x, piece.to.y), picture, QRect(piece.from.x, piece.from.y, piece.to.w, piece.to.h));
    p.end();
    return out;
}

} // namespace lyb
