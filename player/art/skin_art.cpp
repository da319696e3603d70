#include "player/art/skin_art.h"

#include "player/skin_layout.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace lyb {

namespace {

QRectF R(const SkinRect& r) { return QRectF(r.x, r.y, r.w, r.h); }

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

// A recessed slot: a darker fill with a shadow above and a highlight below.
void Recess(QPainter& p, const QRectF& r, const QColor& fill, double radius) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(r.adjusted(-1, -1, 1, 0), radius + 1, radius + 1);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(r.adjusted(-1, 0, 1, 1), radius + 1, radius + 1);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

// --- Symbols, drawn in a w x h box at the origin ---------------------------

void Triangle(QPainter& p, double x, double y, double w, double h, bool right) {
    QPainterPath path;
    if (right) {
        path.moveTo(x, y);
        path.lineTo(x + w, y + h / 2);
        path.lineTo(x, y + h);
    } else {
        path.moveTo(x + w, y);
        path.lineTo(x, y + h / 2);
        path.lineTo(x + w, y + h);
    }
    path.closeSubpath();
    p.drawPath(path);
}

void DrawSymbol(QPainter& p, SkinButton b, double w, double h, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double cx = w / 2, cy = h / 2;
    switch (b) {
    case SkinButton::Play: Triangle(p, cx - 3, cy - 4, 7, 8, true); break;
    case SkinButton::Pause:
        p.drawRect(QRectF(cx - 4, cy - 4, 3, 8));
        p.drawRect(QRectF(cx + 1, cy - 4, 3, 8));
        break;
    case SkinButton::Stop: p.drawRect(QRectF(cx - 4, cy - 4, 8, 8)); break;
    case SkinButton::Previous:
        p.drawRect(QRectF(cx - 5, cy - 4, 2, 8));
        Triangle(p, cx - 3, cy - 4, 4, 8, false);
        Triangle(p, cx + 1, cy - 4, 4, 8, false);
        break;
    case SkinButton::Next:
        Triangle(p, cx - 5, cy - 4, 4, 8, true);
        Triangle(p, cx - 1, cy - 4, 4, 8, true);
        p.drawRect(QRectF(cx + 3, cy - 4, 2, 8));
        break;
    case SkinButton::Eject: {
        QPainterPath up; // a triangle over a bar
        up.moveTo(cx - 6, cy + 1);
        up.lineTo(cx, cy - 6);
        up.lineTo(cx + 6, cy + 1);
        up.closeSubpath();
        p.drawPath(up);
        p.drawRect(QRectF(cx - 6, cy + 3, 12, 2.5));
        break;
    }
    case SkinButton::Sequence: {
        QPen pen(c, 2.0, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QRectF ring(cx - 6, cy - 6, 12, 12);
        p.drawArc(ring, 100 * 16, 250 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        QPainterPath head; // arrowhead at the open end, pointing along the turn
        head.moveTo(cx - 2, cy - 9.5);
        head.lineTo(cx + 3.5, cy - 6);
        head.lineTo(cx - 2, cy - 2.5);
        head.closeSubpath();
        p.drawPath(head);
        break;
    }
    case SkinButton::Minimize: p.drawRect(QRectF(cx - 4, cy + 2, 8, 2)); break;
    case SkinButton::Restore: {
        p.setPen(QPen(c, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(cx - 4, cy - 3, 7, 6));
        p.drawLine(QPointF(cx - 4, cy - 2), QPointF(cx + 3, cy - 2));
        break;
    }
    case SkinButton::Close: {
        p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(cx - 3.5, cy - 3.5), QPointF(cx + 3.5, cy + 3.5));
        p.drawLine(QPointF(cx + 3.5, cy - 3.5), QPointF(cx - 3.5, cy + 3.5));
        break;
    }
    }
}

// One state image of a button: a key of the window's size at the top-left
// of a 28 x 33 cell, image row 4.
void DrawKey(QPainter& p, const SkinArtStyle& s, SkinButton b, const SkinRect& window, ButtonImage state) {
    const double w = window.w, h = window.h;
    QColor top = s.key.lighter(135), bottom = s.key.darker(120), symbol = s.accent;
    if (state == ButtonImage::Hover) {
        top = s.key.lighter(175);
        bottom = s.key.lighter(110);
        symbol = s.accent.lighter(140);
    } else if (state == ButtonImage::Pressed) {
        top = s.key.darker(150);
        bottom = s.key.darker(115);
        symbol = s.accent.darker(125);
    }
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(QRectF(0, 0, w, h), 3, 3);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 2.5, 2.5);
    p.save();
    if (state == ButtonImage::Pressed)
        p.translate(0.5, 0.5);
    DrawSymbol(p, b, w, h, symbol);
    p.restore();
}

void DrawLight(QPainter& p, double x, double y, const QColor& c) {
    QRadialGradient g(x + 3.2, y + 3.2, 4.5);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(0.6, c);
    g.setColorAt(1, c.darker(160));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QRectF(x + 0.5, y + 0.5, 7, 7));
}

void DrawLogo(QPainter& p, const QColor& c) {
    // A small lyre: two arms, a crossbar, three strings.
    QPen pen(c, 1.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath arms;
    arms.moveTo(7, 4);
    arms.cubicTo(4, 9, 6, 14, 11, 16);
    arms.moveTo(19, 4);
    arms.cubicTo(22, 9, 20, 14, 15, 16);
    p.drawPath(arms);
    p.drawLine(QPointF(7, 5), QPointF(19, 5));
    p.setPen(QPen(c, 0.8));
    for (double x : {10.5, 13.0, 15.5})
        p.drawLine(QPointF(x, 5), QPointF(x, 15));
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 16.5), QPointF(15, 16.5));
    // A line of "name" dashes beside it.
    p.setPen(QPen(c.darker(130), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28, 10), QPointF(70, 10));
    p.setPen(QPen(c.darker(190), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(76, 10), QPointF(96, 10));
}

void DrawFace(QPainter& p, const SkinArtStyle& s, const QImage* background) {
    const QRectF face = R(region::kFace);
    p.save();
    p.setClipRect(face);
    if (background && !background->isNull()) {
        const QImage scaled = background->scaled(region::kFace.w, region::kFace.h, Qt::KeepAspectRatioByExpanding,
                                                 Qt::SmoothTransformation);
        p.drawImage(QPointF((region::kFace.w - scaled.width()) / 2.0, (region::kFace.h - scaled.height()) / 2.0),
                    scaled);
        // Keep the display and keys readable over any picture.
        p.fillRect(face, QColor(0, 0, 0, 70));
    } else {
        QLinearGradient g(0, 0, 0, region::kFace.h);
        g.setColorAt(0, s.bodyLight);
        g.setColorAt(0.25, s.body);
        g.setColorAt(1, s.body.darker(130));
        p.fillRect(face, g);
    }
    // Frame and the strip that moves the window.
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(face.adjusted(0.5, 0.5, -0.5, -0.5));
    p.fillRect(QRectF(1, 1, 298, 19), QColor(255, 255, 255, 22));
    p.fillRect(QRectF(1, 19.5, 298, 1), QColor(0, 0, 0, 60));
    DrawLogo(p, s.accent);

    // The display: time, lights, title and artist.
    Recess(p, QRectF(30, 21.5, 262, 28), s.panel, 3);
    p.setPen(QPen(Mix(s.panel, s.accent, 0.25), 1));
    p.drawLine(QPointF(99.5, 24), QPointF(99.5, 46));
    for (const SkinPoint& at : {layout::kCdLight, layout::kStudioLight, layout::kModeLight, layout::kDeviceLight}) {
        p.setPen(Qt::NoPen);
        p.setBrush(Mix(s.panel, QColor(255, 255, 255), 0.12));
        p.drawEllipse(QRectF(at.x + 0.5, at.y + 0.5, 7, 7));
    }

    // The progress track.
    Recess(p, QRectF(layout::kTrack.x, layout::kTrack.y, layout::kTrack.w, layout::kTrack.h), s.panel, 3);
    p.setPen(QPen(Mix(s.panel, s.accent, 0.3), 1, Qt::DotLine));
    p.drawLine(QPointF(layout::kTrack.x + 4, 65.5), QPointF(layout::kTrack.Right() - 4, 65.5));

    // Plates under the transport keys, the volume trough and the two big keys.
    Recess(p, QRectF(44, 78, 92, 20), Mix(s.body, QColor(0, 0, 0), 0.35), 4);
    Recess(p, QRectF(layout::kVolume.x, layout::kVolume.y, layout::kVolume.w, layout::kVolumeBarHeight), s.panel, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Mix(s.panel, s.accent, 0.15));
    for (int x = 0; x < 60; x += 4)
        p.drawRect(QRectF(layout::kVolume.x + 1 + x, layout::kVolume.y + 2, 3, layout::kVolumeBarHeight - 4));
    Recess(p, QRectF(234, 74, 51, 27), Mix(s.body, QColor(0, 0, 0), 0.35), 5);
    // A speaker mark left of the volume trough.
    p.setBrush(s.accent.darker(120));
    QPainterPath speaker;
    speaker.moveTo(147, 85);
    speaker.lineTo(150, 85);
    speaker.lineTo(154, 81.5);
    speaker.lineTo(154, 94.5);
    speaker.lineTo(150, 91);
    speaker.lineTo(147, 91);
    speaker.closeSubpath();
    p.drawPath(speaker);
    p.restore();
}

} // namespace

SkinArtStyle SkinArtStyle::FromColour(const QColor& base) {
    SkinArtStyle s;
    const QColor b = base.toHsv();
    const int hue = b.hsvHue() < 0 ? 210 : b.hsvHue();
    const int sat = std::max(60, b.hsvSaturation());
    s.body = QColor::fromHsv(hue, sat, 70);
    s.bodyLight = QColor::fromHsv(hue, sat, 105);
    s.panel = QColor::fromHsv(hue, std::min(255, sat + 40), 24);
    s.key = QColor::fromHsv(hue, std::max(40, sat - 40), 80);
    s.accent = QColor::fromHsv((hue + 180) % 360, 150, 250);
    s.timeColour = QColor::fromHsv((hue + 180) % 360, 90, 255);
    s.titleColour = QColor::fromHsv((hue + 200) % 360, 70, 250);
    return s;
}

QColor AverageColour(const QImage& picture) {
    if (picture.isNull())
        return QColor(0x26, 0x2f, 0x3d);
    const QImage small = picture.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    long r = 0, g = 0, b = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x) {
            const QRgb c = small.pixel(x, y);
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
        }
    const long n = static_cast<long>(small.width()) * small.height();
    return QColor(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

QImage DrawSkinPicture(const SkinArtStyle& s, const QImage* faceBackground) {
    QImage img(300, 312, QImage::Format_RGB32);
    img.fill(s.body.darker(140));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawFace(p, s, faceBackground);

    // Colour swatches: their top-left pixels are the two text colours.
    p.fillRect(QRectF(region::kTimeColour.x, region::kTimeColour.y, 80, 30), s.timeColour);
    p.fillRect(QRectF(region::kTitleColour.x, region::kTitleColour.y, 80, 30), s.titleColour);

    // Button images: three states side by side, the key at row 4.
    for (const ButtonLayout& b : kButtonLayout) {
        p.fillRect(R(b.region), s.body.darker(140));
        for (ButtonImage state : {ButtonImage::Normal, ButtonImage::Hover, ButtonImage::Pressed}) {
            p.save();
            p.translate(b.region.x + static_cast<int>(state), b.region.y + kButtonImageRow);
            p.setClipRect(QRectF(0, 0, kButtonImageWidth, kButtonImageHeight - kButtonImageRow));
            DrawKey(p, s, b.button, b.window, state);
            p.restore();
        }
    }

    // The lights: CD, Music Studio, the three modes, a connected phone.
    p.fillRect(R(region::kLights), s.panel);
    const QColor lights[6] = {QColor(0xff, 0xa7, 0x26), QColor(0x66, 0xbb, 0x6a), s.accent,
                              QColor(0x9c, 0xcc, 0x65), QColor(0xec, 0x6e, 0xd8), QColor(0x7e, 0x9b, 0xff)};
    for (int i = 0; i < 6; ++i)
        DrawLight(p, region::kLights.x, region::kLights.y + 8 * i, lights[i]);

    // The progress thumb.
    p.fillRect(R(region::kThumb), s.panel);
    QLinearGradient tg(0, region::kThumb.y, 0, region::kThumb.Bottom());
    tg.setColorAt(0, s.accent.lighter(150));
    tg.setColorAt(1, s.accent.darker(115));
    p.setPen(Qt::NoPen);
    p.setBrush(tg);
    p.drawRoundedRect(R(region::kThumb), 3.5, 3.5);

    // The filled volume bar: segments from green to red.
    p.fillRect(R(region::kVolumeBar), s.panel);
    for (int x = 0; x < 60; x += 4) {
        const double t = x / 60.0;
        const QColor c = t < 0.6 ? Mix(QColor(0x4c, 0xd9, 0x64), QColor(0xff, 0xd5, 0x4f), t / 0.6)
                                 : Mix(QColor(0xff, 0xd5, 0x4f), QColor(0xff, 0x5a, 0x4f), (t - 0.6) / 0.4);
        p.setBrush(c);
        p.drawRect(QRectF(region::kVolumeBar.x + 1 + x, region::kVolumeBar.y + 2, 3, layout::kVolumeBarHeight - 4));
    }
    p.end();
    return img;
}

QImage ToImage(const SkinPicture& picture) {
    QImage img(skin::kWidth, skin::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < skin::kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < skin::kWidth; ++x)
            line[x] = 0xFF000000u | picture.Pixel(x, y);
    }
    return img;
}

SkinPicture ToSkinPicture(const QImage& image) {
    SkinPicture out;
    if (image.width() != skin::kWidth || image.height() != skin::kHeight)
        return out;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    out.rgb.resize(size_t(skin::kWidth) * skin::kHeight * 3);
    for (int y = 0; y < skin::kHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < skin::kWidth; ++x) {
            const size_t at = (size_t(y) * skin::kWidth + size_t(x)) * 3;
            out.rgb[at] = static_cast<std::uint8_t>(qRed(line[x]));
            out.rgb[at + 1] = static_cast<std::uint8_t>(qGreen(line[x]));
            out.rgb[at + 2] = static_cast<std::uint8_t>(qBlue(line[x]));
        }
    }
    return out;
}

const QImage& BuiltinSkinPicture() {
    static const QImage picture = DrawSkinPicture(SkinArtStyle::Builtin());
    return picture;
}

const QImage& BuiltinButtonMask() {
    static const QImage mask = [] {
        QImage m(84, 37, QImage::Format_RGB32);
        m.fill(Qt::black);
        QPainter p(&m);
        // The keys' rounded corners let the face show through.
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(0, kButtonImageRow, kButtonImageWidth, kButtonImageHeight), 3, 3);
        p.drawRoundedRect(QRectF(56, kButtonImageRow, kButtonImageWidth, kButtonImageHeight), 3, 3);
        p.end();
        return m;
    }();
    return mask;
}

const QImage& PlayerIcon() {
    static const QImage icon = [] {
        QImage i(32, 32, QImage::Format_ARGB32_Premultiplied);
        i.fill(Qt::transparent);
        QPainter p(&i);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, 32);
        g.setColorAt(0, QColor(0x4f, 0xc3, 0xf7));
        g.setColorAt(1, QColor(0x1e, 0x5f, 0x9e));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
        p.setBrush(Qt::white);
        // A quaver: head, stem, flag.
        p.save();
        p.translate(12, 22);
        p.rotate(-20);
        p.drawEllipse(QRectF(-5, -3.5, 10, 7));
        p.restore();
        p.drawRect(QRectF(15.5, 6, 2.2, 16));
        QPainterPath flag;
        flag.moveTo(17.7, 6);
        flag.cubicTo(22, 8, 25, 11, 23, 16);
        flag.cubicTo(23, 13, 21, 11, 17.7, 10.5);
        flag.closeSubpath();
        p.drawPath(flag);
        p.end();
        return i;
    }();
    return icon;
}

} // namespace lyb
