// The notification-area icon of the Small Player behind a small interface:
// the system tray of the desktop, or a fake (offscreen tests have no tray).
#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace lyb {

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    /// Shows the icon with its tip (at most 127 characters are kept);
    /// `leftPress` is the callback of a left button press. False when the
    /// desktop has no notification area.
    virtual bool Add(const QIcon& icon, const QString& tip, std::function<void()> leftPress) = 0;
    virtual void Remove() = 0;
};

/// The desktop's system tray.
class QtTrayIcon final : public TrayIcon {
public:
    QtTrayIcon();
    ~QtTrayIcon() override;
    bool Add(const QIcon& icon, const QString& tip, std::function<void()> leftPress) override;
    void Remove() override;

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::function<void()> m_leftPress;
};

/// The tip text as the icon keeps it: 127 characters at most.
QString TrayTip(const QString& text);

/// Records what it was given; a test presses it with Press().
class FakeTrayIcon final : public TrayIcon {
public:
    bool Add(const QIcon&, const QString& text, std::function<void()> leftPress) override {
        shown = true;
        tip = TrayTip(text);
        m_press = std::move(leftPress);
        return true;
    }
    void Remove() override { shown = false; }
    void Press() {
        if (m_press)
            m_press();
    }
    bool shown = false;
    QString tip;

private:
    std::function<void()> m_press;
};

} // namespace lyb
