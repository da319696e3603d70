#include "ui/player/small_player.h"

#include "library/music_item.h"
#include "player/art/skin_art.h"
#include "player/mixer_volume.h"
#include "player/play_list.h"
#include "player/player_dialog_state.h"
#include "ui/player/tray_icon.h"

#include <QCloseEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QShortcut>
#include <QToolTip>

namespace lyb {

namespace {

QRect Q(const SkinRect& r) { return QRect(r.x, r.y, r.w, r.h); }

// How often the Small Player follows the dialog's clock.
constexpr int kClockMs = 250;

} // namespace

// --- CSkinButton -----------------------------------------------------------

CSkinButton::CSkinButton(const ButtonLayout& layout, const SkinImages& images, bool rightToLeft, QWidget* parent)
    : QWidget(parent), m_layout(layout) {
    setGeometry(Q(layout.window));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_images[0] = QPixmap::fromImage(images.ButtonFace(layout.button, ButtonImage::Normal, rightToLeft));
    m_images[1] = QPixmap::fromImage(images.ButtonFace(layout.button, ButtonImage::Hover, rightToLeft));
    m_images[2] = QPixmap::fromImage(images.ButtonFace(layout.button, ButtonImage::Pressed, rightToLeft));
    m_hoverTimer.setInterval(100);
    connect(&m_hoverTimer, &QTimer::timeout, this, [this] { CheckHover(); });
}

ButtonImage CSkinButton::State() const {
    if (!isEnabled() || m_pressed)
        return ButtonImage::Pressed;
    return m_hover ? ButtonImage::Hover : ButtonImage::Normal;
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int index = State() == ButtonImage::Normal ? 0 : State() == ButtonImage::Hover ? 1 : 2;
    p.drawPixmap(0, 0, m_images[static_cast<size_t>(index)]);
}

void CSkinButton::enterEvent(QEnterEvent*) {
    m_hover = true;
    m_hoverTimer.start();
    update();
}

void CSkinButton::CheckHover() {
    // The hover look ends when the timer finds the pointer outside.
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    m_hover = false;
    m_hoverTimer.stop();
    update();
}

void CSkinButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    update();
}

void CSkinButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (rect().contains(e->position().toPoint()) && clicked)
        clicked();
}

void CSkinButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(e);
}

// --- CSmallPlayer ----------------------------------------------------------

CSmallPlayer::CSmallPlayer(SmallPlayerHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName("SmallPlayer");
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint;
    if (host.AlwaysOnTop())
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(host.Text(338, "Lyrabox 3.0 Player"));
    setWindowIcon(QIcon(QPixmap::fromImage(PlayerIcon())));
    setMouseTracking(true);

    // 1. The notification-area icon.
    m_tray = host.MakeTrayIcon();
    if (m_tray)
        m_tray->Add(QIcon(QPixmap::fromImage(PlayerIcon())), host.Text(338, "Lyrabox 3.0 Player"),
                    [this] { OnTrayPress(); });

    // 2. The built-in images, replaced by the skin's when it loads.
    m_images.LoadBuiltin();
    const std::string skin = host.SkinPath();
    if (!skin.empty())
        m_images.LoadSkin(skin);

    // 3. The font, the size and the window's region.
    m_font = QFont(QStringLiteral("Arial"));
    m_font.setPixelSize(11); // a 13-pixel character cell
    m_font.setStretch(QFont::SemiCondensed);
    m_font.setWeight(QFont::Normal);
    m_font.setStyleStrategy(QFont::PreferAntialias);
    setFixedSize(layout::kWidth, layout::kHeight);
    setMask(QRegion(0, 0, layout::kWidth, layout::kHeight));

    // 4. Source, mode, thumb.
    SyncFromDialog();

    // 5. The ten buttons with their tips.
    const bool rtl = host.RightToLeft();
    for (const ButtonLayout& b : kButtonLayout) {
        auto* button = new CSkinButton(b, m_images, rtl, this);
        button->setToolTip(host.Text(b.tipId, b.tip));
        const SkinButton id = b.button;
        button->clicked = [this, id] { Command(id); };
        m_buttons[static_cast<size_t>(b.button)] = button;
    }

    auto shortcut = [this](const char* keys, std::function<void()> action) {
        auto* s = new QShortcut(QKeySequence(QString::fromLatin1(keys)), this);
        connect(s, &QShortcut::activated, this, std::move(action));
    };
    shortcut("Ctrl+Space", [this] { Command(SkinButton::Restore); });
    for (const char* keys : {"Ctrl+F4", "Alt+X", "Alt+F4"})
        shortcut(keys, [this] { Command(SkinButton::Close); });

    m_clock.setInterval(kClockMs);
    connect(&m_clock, &QTimer::timeout, this, [this] { OnClock(); });
    m_clock.start();
}

CSmallPlayer::~CSmallPlayer() {
    if (m_tray)
        m_tray->Remove();
}

void CSmallPlayer::SyncFromDialog() {
    PlayerDialogState& d = m_host.Dialog();
    m_state.source = d.Source();
    m_state.mode = d.Mode();
    m_state.deviceConnected = m_host.DeviceCount() > 0;
    m_state.OnClock(d.Elapsed(), d.Duration());
}

void CSmallPlayer::OnClock() {
    const int oldThumb = m_state.ThumbX();
    const int oldElapsed = m_state.elapsed;
    SyncFromDialog();
    if (m_state.ThumbX() != oldThumb)
        update(QRect(layout::kTrack.x, layout::kTrack.y, layout::kTrack.w, layout::kTrack.h));
    if (m_state.elapsed != oldElapsed)
        update(Q(layout::kTimeArea));
}

void CSmallPlayer::OnMessage2022(int wparam) {
    SyncFromDialog();
    update(Q(wparam == 1 ? layout::kTopStrip : layout::kTextStrip));
    // The thumb, the time and the lights follow the new track and mode (the
    // clock repaints the time only when it changes after this).
    update(Q(layout::kTrack));
    update(Q(layout::kTimeArea));
    update(QRect(layout::kCdLight.x, layout::kCdLight.y, 50, layout::kLightSize));
}

void CSmallPlayer::OnTrayPress() {
    if (m_state.minimised || isMinimized()) {
        m_state.minimised = false;
        showNormal();
    }
    raise();
    activateWindow();
}

void CSmallPlayer::Command(SkinButton button) {
    PlayerDialogState& d = m_host.Dialog();
    switch (button) {
    case SkinButton::Play: d.SmallPlayerPlay(); break;
    case SkinButton::Pause: d.SmallPlayerPause(); break;
    case SkinButton::Stop: d.Stop(); break;
    case SkinButton::Previous: d.Previous(); break;
    case SkinButton::Next: d.Next(); break;
    case SkinButton::Eject: m_host.EjectCd(); break;
    case SkinButton::Sequence: d.CycleMode(); break;
    case SkinButton::Minimize:
        m_state.minimised = true;
        showMinimized();
        return;
    case SkinButton::Restore:
        m_closing = true;
        m_host.RestoreMainWindow();
        return;
    case SkinButton::Close:
        m_closing = true;
        m_host.CloseApplication();
        return;
    }
    SyncFromDialog();
    update(Q(layout::kTopStrip));
    update(Q(layout::kTrack));
    for (CSkinButton* b : m_buttons)
        b->update();
}

QString CSmallPlayer::TitleText() const {
    PlayerDialogState& d = m_host.Dialog();
    if (m_state.source == kSourceCd)
        return d.Cd() && d.Cd()->Active() ? QString::fromStdString(d.Cd()->TrackName()) : QString();
    if (!d.Active())
        return {};
    const MusicItem* item = d.CurrentStudioItem();
    return item ? QString::fromStdString(item->title) : QString();
}

QString CSmallPlayer::ArtistText() const {
    PlayerDialogState& d = m_host.Dialog();
    if (m_state.source != kSourceStudio || !d.Active())
        return {};
    const MusicItem* item = d.CurrentStudioItem();
    return item ? QString::fromStdString(item->artist) : QString();
}

void CSmallPlayer::DrawLight(QPainter& p, SkinPoint at, Light light) {
    p.drawImage(QPoint(at.x, at.y), m_images.lights,
                QRect(0, static_cast<int>(light), layout::kLightSize, layout::kLightSize));
}

void CSmallPlayer::DrawText(QPainter& p, const SkinRect& box, const QString& text) {
    if (text.isEmpty())
        return;
    p.save();
    p.setClipRect(Q(box));
    p.drawText(Q(box), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    p.restore();
}

void CSmallPlayer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, m_images.face);
    if (m_state.deviceConnected)
        DrawLight(p, layout::kDeviceLight, Light::Device);
    if (m_state.source == kSourceCd)
        DrawLight(p, layout::kCdLight, Light::Cd);
    else
        DrawLight(p, layout::kStudioLight, Light::Studio);
    p.setFont(m_font);
    p.setPen(m_images.titleColour);
    DrawText(p, layout::kTitle, TitleText());
    DrawText(p, layout::kArtist, ArtistText());
    DrawLight(p, layout::kModeLight, m_state.ModeLight());
    p.drawImage(QPoint(m_state.ThumbX(), layout::kTrack.y), m_images.thumb);

    // The volume: the left part of the bar, as wide as the value.
    if (CMixerVolume* mixer = m_host.Mixer()) {
        const OutputLine line = m_state.source == kSourceCd ? OutputLine::CompactDisc : OutputLine::WaveOut;
        const int width = VolumeBarWidth(mixer->Percent(line));
        if (width > 0)
            p.drawImage(QPoint(layout::kVolume.x, layout::kVolume.y), m_images.volumeBar,
                        QRect(0, 0, width, layout::kVolumeBarHeight));
    }

    // The time: its area restored from the face, then the text.
    p.drawImage(QPoint(layout::kTimeArea.x, layout::kTimeArea.y), m_images.face, Q(layout::kTimeArea));
    p.setPen(m_images.timeColour);
    p.drawText(QRect(layout::kTimeText.x, layout::kTimeText.y, 60, 14), Qt::AlignLeft | Qt::AlignTop,
               QString::fromStdString(PlayerDialogState::FormatClock(m_state.elapsed)));
}

void CSmallPlayer::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint at = e->position().toPoint();
    switch (m_state.Press(at.x(), at.y())) {
    case SmallPlayerArea::MoveStrip:
        m_moving = true;
        m_moveOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
        setCursor(Qt::SizeAllCursor);
        break;
    case SmallPlayerArea::Thumb:
    case SmallPlayerArea::Track:
        m_host.Dialog().BeginSeek();
        update(Q(layout::kTrack));
        break;
    case SmallPlayerArea::Volume: m_host.OpenVolumePopup(e->globalPosition().toPoint()); break;
    default: break;
    }
}

void CSmallPlayer::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (m_moving) {
        move(e->globalPosition().toPoint() - m_moveOffset);
        return;
    }
    if (m_state.Dragging()) {
        m_state.Drag(at.x());
        update(Q(layout::kTrack));
        return;
    }
    setCursor(layout::InMoveStrip(at.x(), at.y()) ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

void CSmallPlayer::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    if (m_moving) {
        m_moving = false;
        unsetCursor();
        return;
    }
    if (const auto second = m_state.Release()) {
        // The engine (or the CD) goes to the chosen second; the engine's
        // answer becomes the elapsed time.
        m_host.Dialog().EndSeek(*second);
        SyncFromDialog();
        update();
    }
}

void CSmallPlayer::moveEvent(QMoveEvent* e) {
    // Back on top, without moving, sizing or activating.
    if (m_host.AlwaysOnTop() && isVisible())
        raise();
    QWidget::moveEvent(e);
}

void CSmallPlayer::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange)
        m_state.minimised = isMinimized();
    QWidget::changeEvent(e);
}

void CSmallPlayer::closeEvent(QCloseEvent* e) {
    // Closing the window ends the application, unless Restore closes it.
    if (!m_closing) {
        m_closing = true;
        m_host.CloseApplication();
    }
    e->accept();
}

bool CSmallPlayer::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QPoint at = help->pos();
        QString tip;
        if (const SmallPlayerState::Tip light = m_state.LightTip(at.x(), at.y()); light.id != 0) {
            tip = m_host.Text(light.id, light.english);
        } else if (Q(layout::kProgressTip).contains(at)) {
            tip = m_host.Text(315, "Progress Bar");
        } else if (Q(layout::kVolume).contains(at)) {
            tip = m_host.Text(314, "Volume");
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(e);
}

} // namespace lyb
