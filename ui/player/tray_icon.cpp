#include "ui/player/tray_icon.h"

#include <QSystemTrayIcon>

namespace lyb {

QString TrayTip(const QString& text) { return text.left(127); }

QtTrayIcon::QtTrayIcon() = default;

QtTrayIcon::~QtTrayIcon() { Remove(); }

bool QtTrayIcon::Add(const QIcon& icon, const QString& tip, std::function<void()> leftPress) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    m_leftPress = std::move(leftPress);
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    m_icon->setToolTip(TrayTip(tip));
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger && m_leftPress)
            m_leftPress();
    });
    m_icon->show();
    return true;
}

void QtTrayIcon::Remove() {
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
}

} // namespace lyb
