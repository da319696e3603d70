// The page strip: the column of three buttons on the main window's side
// (Music Studio, CD Player, Club Orvik), 100 x 339 pixels, each a button
// image with its caption below, the selected page's button lit.
#pragma once

#include "ui/shell/main_commands.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

namespace lyb {

class CLocalize;

class CPageStrip final : public QWidget {
public:
    CPageStrip(const CLocalize& localize, QWidget* parent = nullptr);

    /// Called with the page of a clicked button.
    std::function<void(PageCode)> onChoose;

    /// Sets the state; redraws when it changed.
    void SetState(const PageStripState& state);
    const PageStripState& State() const { return m_state; }
    /// Selects `page`'s button (the others normal) and redraws if needed.
    void Select(PageCode page);
    /// The caption of button 0..2 (texts 153-155).
    QString Caption(int button) const { return m_captions[static_cast<size_t>(button)]; }
    /// The button image of a button in a state (2 selected, 0 normal), with
    /// the pointer over it or not.
    static QPixmap ButtonImage(int button, int state, bool hot);

    QSize sizeHint() const override { return {kStripWidth, kStripHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    /// The font a caption is drawn with in `box`, and its drawing flags.
    QFont CaptionFont(const QString& text, const QRect& box, int& flags) const;

    PageStripState m_state;
    std::array<QString, 3> m_captions;
    int m_hot = -1;
    int m_pressed = -1;
};

} // namespace lyb
