#include "ui/player/volume_popup.h"

#include <QCursor>
#include <QSlider>
#include <QVBoxLayout>

namespace lyb {

CVolumePopup::CVolumePopup(CMixerVolume& mixer, bool cdIsSource, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_state(mixer, cdIsSource) {
    setObjectName("VolumePopup");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(100, 130);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    m_slider = new QSlider(Qt::Vertical, this);
    m_slider->setObjectName("volumeSlider");
    // Upside down: position 0 at the top is the maximum value.
    m_slider->setInvertedAppearance(true);
    m_slider->setInvertedControls(true);
    m_slider->setRange(m_state.SliderMinimum(), m_state.SliderMaximum());
    m_slider->setPageStep(std::max(1, (m_state.SliderMaximum() - m_state.SliderMinimum()) / 10));
    m_slider->setValue(m_state.InitialPosition());
    m_slider->setEnabled(m_state.Usable());
    layout->addWidget(m_slider, 0, Qt::AlignHCenter);
    m_timer.setInterval(VolumePopupState::kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

void CVolumePopup::ShowAt(QPoint cursor) {
    move(cursor - QPoint(VolumePopupState::kOffset, VolumePopupState::kOffset));
    show();
    raise();
    activateWindow();
    m_timer.start();
}

void CVolumePopup::OnTimer() {
    if (m_state.OnTimer(m_slider->value()) && changed)
        changed();
    // The pop-up closes once the cursor is outside it.
    if (isVisible() && !frameGeometry().contains(QCursor::pos()))
        close();
}

void CVolumePopup::leaveEvent(QEvent* e) {
    if (!frameGeometry().contains(QCursor::pos()))
        close();
    QWidget::leaveEvent(e);
}

} // namespace lyb
