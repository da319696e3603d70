#include "ui/page_strip.h"

#include "app/localize.h"
#include "ui/shell/shell_texts.h"

#include <QLinearGradient>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace lyb {

namespace {

QRect ToQRect(const StripRect& r) {
    return QRect(QPoint(r.left, r.top), QSize(r.Width(), r.Height()));
}

void DrawNotes(QPainter& p, const QColor& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QRectF(35, 29, 11, 8));
    p.drawEllipse(QRectF(55, 26, 11, 8));
    p.drawRect(QRectF(43.5, 10, 2.5, 23));
    p.drawRect(QRectF(63.5, 7, 2.5, 23));
    QPainterPath beam;
    beam.moveTo(43.5, 10);
    beam.lineTo(66, 7);
    beam.lineTo(66, 12);
    beam.lineTo(43.5, 15);
    beam.closeSubpath();
    p.drawPath(beam);
}

void DrawDisc(QPainter& p, const QColor& ink) {
    const QPointF c(50, 25);
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 16, 16);
    p.drawEllipse(c, 4.5, 4.5);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(c.x() - 11, c.y() - 11, 22, 22), 100 * 16, 60 * 16);
    p.drawArc(QRectF(c.x() - 11, c.y() - 11, 22, 22), 280 * 16, 60 * 16);
}

void DrawGlobe(QPainter& p, const QColor& ink) {
    const QPointF c(50, 25);
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 16, 16);
    p.setPen(QPen(ink, 1.5));
    p.drawEllipse(c, 7, 16);
    p.drawLine(QPointF(c.x(), c.y() - 16), QPointF(c.x(), c.y() + 16));
    p.drawLine(QPointF(c.x() - 16, c.y()), QPointF(c.x() + 16, c.y()));
    p.drawArc(QRectF(c.x() - 14, c.y() - 24, 28, 20), 200 * 16, 140 * 16);
    p.drawArc(QRectF(c.x() - 14, c.y() + 4, 28, 20), 20 * 16, 140 * 16);
}

} // namespace

CPageStrip::CPageStrip(const CLocalize& localize, QWidget* parent) : QWidget(parent) {
    setObjectName("pageStrip");
    setFixedSize(kStripWidth, kStripHeight);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto& buttons = StripButtons();
    for (size_t i = 0; i < buttons.size(); ++i) {
        m_captions[i] = QString::fromStdString(localize.Get(buttons[i].textId, buttons[i].english));
    }
    setAccessibleName(QString::fromStdString(Tr(localize, texts::kProductName)));
}

QPixmap CPageStrip::ButtonImage(int button, int state, bool hot) {
    QPixmap pixmap(kStripImageWidth, kStripImageHeight);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool selected = state == PageStripState::kSelected;
    QLinearGradient face(0, 3, 0, 47);
    QColor border;
    if (selected) {
        face.setColorAt(0, QColor(255, 190, 92));
        face.setColorAt(1, QColor(232, 124, 30));
        border = QColor(255, 214, 150);
    } else if (hot) {
        face.setColorAt(0, QColor(84, 106, 136));
        face.setColorAt(1, QColor(52, 68, 92));
        border = QColor(128, 150, 184);
    } else {
        face.setColorAt(0, QColor(62, 78, 100));
        face.setColorAt(1, QColor(40, 52, 70));
        border = QColor(86, 104, 134);
    }
    p.setPen(QPen(border, 1.2));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(8.5, 3.5, 83, 43), 10, 10);
    const QColor ink = selected ? QColor(255, 255, 255) : QColor(222, 230, 240);
    switch (button) {
    case 0:
        DrawNotes(p, ink);
        break;
    case 1:
        DrawDisc(p, ink);
        break;
    default:
        DrawGlobe(p, ink);
        break;
    }
    return pixmap;
}

void CPageStrip::SetState(const PageStripState& state) {
    if (state.image == m_state.image && state.second == m_state.second)
        return;
    m_state = state;
    update();
}

void CPageStrip::Select(PageCode page) {
    if (m_state.Select(page))
        update();
}

void CPageStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0, QColor(29, 38, 51));
    back.setColorAt(1, QColor(44, 58, 77));
    p.fillRect(rect(), back);

    const auto& buttons = StripButtons();
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int state = m_state.image[i];
        const bool hot = m_hot == static_cast<int>(i);
        const QRect image = ToQRect(buttons[i].image);
        const QPoint shift = m_pressed == static_cast<int>(i) && hot ? QPoint(1, 1) : QPoint();
        p.drawPixmap(image.topLeft() + shift, ButtonImage(static_cast<int>(i), state, hot));
        p.setPen(state == PageStripState::kSelected ? QColor(255, 207, 128) : QColor(222, 230, 240));
        const QRect caption = ToQRect(buttons[i].caption);
        int flags = 0;
        p.setFont(CaptionFont(m_captions[i], caption, flags));
        p.drawText(caption, flags, m_captions[i]);
    }
}

QFont CPageStrip::CaptionFont(const QString& text, const QRect& box, int& flags) const {
    // The interface font when the caption fits; else smaller, down to a
    // size still read easily; a word longer than the box (an address)
    // breaks anywhere at the smallest size.
    QFont font = this->font();
    font.setBold(true);
    const int start = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    for (int size = std::max(start, 8); size >= 8; --size) {
        font.setPixelSize(size);
        const QRect need = QFontMetrics(font).boundingRect(box, flags, text);
        if (need.width() <= box.width() && need.height() <= box.height())
            return font;
    }
    flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere;
    return font;
}

void CPageStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    m_pressed = StripButtonAt(pos.x(), pos.y());
    update();
}

void CPageStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const int released = StripButtonAt(pos.x(), pos.y());
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (released >= 0 && released == pressed && onChoose)
        onChoose(StripButtons()[static_cast<size_t>(released)].page);
}

void CPageStrip::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int hot = StripButtonAt(pos.x(), pos.y());
    if (hot != m_hot) {
        m_hot = hot;
        setCursor(hot >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void CPageStrip::leaveEvent(QEvent*) {
    m_hot = -1;
    m_pressed = -1;
    update();
}

} // namespace lyb
