#include "ui/player/player_dialog.h"

#include "player/player_dialog_state.h"
#include "ui/player/skin_images.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace lyb {

namespace {

// The dialog's button pictures are the built-in skin's normal images.
QIcon IconOf(SkinButton b) {
    static const SkinImages images = [] {
        SkinImages i;
        i.LoadBuiltin();
        return i;
    }();
    return QIcon(QPixmap::fromImage(images.ButtonFace(b, ButtonImage::Normal, false)));
}

} // namespace

CPlayerDialog::CPlayerDialog(PlayerDialogState& state, std::function<QString(int, const char*)> text,
                             Actions actions, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setObjectName("PlayerDialog");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);

    auto button = [&](const char* name, const QString& tip, SkinButton icon, std::function<void()> action) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setIcon(IconOf(icon));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [action = std::move(action)] { action(); });
        row->addWidget(b);
        return b;
    };
    button("playerPlay", text(306, "Play"), SkinButton::Play, [this] { m_state.Play(); });
    button("playerPause", text(307, "Pause"), SkinButton::Pause, [this] { m_state.Pause(); });
    button("playerStop", text(308, "Stop"), SkinButton::Stop, [this] { m_state.Stop(); });
    button("playerPrevious", text(309, "Previous track"), SkinButton::Previous, [this] { m_state.Previous(); });
    button("playerNext", text(310, "Next track"), SkinButton::Next, [this] { m_state.Next(); });

    // The three mode buttons.
    auto* group = new QButtonGroup(this);
    const char* modeNames[3] = {"playerSingle", "playerContinuous", "playerRandom"};
    const QString modeTexts[3] = {text(300, "Single play"), text(302, "Continuous play"), text(301, "Random play")};
    for (int m = 0; m < 3; ++m) {
        auto* b = new QToolButton(this);
        b->setObjectName(modeNames[m]);
        b->setText(modeTexts[m]);
        b->setCheckable(true);
        b->setAutoRaise(true);
        group->addButton(b, m);
        row->addWidget(b);
        m_modes[m] = b;
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int m) { m_state.SetMode(m); });

    m_progress = new QSlider(Qt::Horizontal, this);
    m_progress->setObjectName("playerProgress");
    m_progress->setToolTip(text(315, "Progress Bar"));
    m_progress->setRange(0, 0);
    m_progress->setMinimumWidth(100); // a track to drag, whatever the other texts take
    row->addWidget(m_progress, 1);
    connect(m_progress, &QSlider::sliderPressed, this, [this] { m_state.BeginSeek(); });
    connect(m_progress, &QSlider::sliderReleased, this, [this] { m_state.EndSeek(m_progress->value()); });

    m_time = new QLabel(this);
    m_time->setObjectName("playerTime");
    row->addWidget(m_time);

    auto* volume = new QToolButton(this);
    volume->setObjectName("playerVolume");
    // An icon keeps the row short in every language; the text is its tip.
    volume->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));
    volume->setText(text(314, "Volume"));
    volume->setToolTip(text(314, "Volume"));
    volume->setToolButtonStyle(Qt::ToolButtonIconOnly);
    volume->setAutoRaise(true);
    row->addWidget(volume);
    connect(volume, &QToolButton::clicked, this, [this, volume, actions] {
        if (actions.volume)
            actions.volume(volume->mapToGlobal(volume->rect().center()));
    });
    auto* small = button("playerSmall", text(456, "Switch to Small Player"), SkinButton::Restore, actions.smallPlayer);
    small->setToolTip(text(456, "Switch to Small Player") + " (Ctrl+Space)");
    auto* skins = new QToolButton(this);
    skins->setObjectName("playerSkins");
    skins->setText(text(373, "Skins..."));
    skins->setToolTip(text(444, "Browse for Small Player skins"));
    skins->setAutoRaise(true);
    row->addWidget(skins);
    connect(skins, &QToolButton::clicked, this, [actions] {
        if (actions.skins)
            actions.skins();
    });

    m_clock.setInterval(1000); // timer 13
    connect(&m_clock, &QTimer::timeout, this, [this] { OnClock(); });
    m_clock.start();
    Refresh();
}

QToolButton* CPlayerDialog::Button(const char* objectName) const {
    return findChild<QToolButton*>(QString::fromLatin1(objectName));
}

void CPlayerDialog::OnClock() { m_state.OnClock(); }

void CPlayerDialog::Refresh() {
    m_progress->setRange(0, m_state.Duration());
    if (!m_state.Seeking())
        m_progress->setValue(m_state.Elapsed());
    m_time->setText(QString::fromStdString(m_state.TimeText()));
    for (int m = 0; m < 3; ++m)
        m_modes[m]->setChecked(m_state.Mode() == m);
}

} // namespace lyb
