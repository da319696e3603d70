// The CD Player page's form view: the widgets over the page state (CCDDoc).
// Every decision is the state object's; this class shows it and passes the
// user's clicks on.
#pragma once

#include "ui/pages.h"

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace lyb {

class CCDDoc;
class QtMessageTarget;

class CCDForm final : public CFormView {
public:
    struct Hooks {
        std::function<void()> showPage;
        std::function<void(bool)> enablePageSwitch;
    };
    /// `doc` may be null (then the page shows no drive).
    CCDForm(CLyb30App& app, CCDDoc* doc, Hooks hooks, QWidget* parent = nullptr);
    ~CCDForm() override;

    /// A CD track handed over by a second start.
    void PlayTrack(int drive, int track);
    /// Lets go of the page state before it is destroyed: no message or
    /// notice reaches it afterwards.
    void Detach();
    CCDDoc* Doc() const { return m_doc; }

    // The controls (tests drive them offscreen).
    QComboBox* drives = nullptr;
    QLineEdit* artist = nullptr;
    QLineEdit* album = nullptr;
    QTreeWidget* tracks = nullptr;
    QPushButton *play = nullptr, *stop = nullptr, *eject = nullptr, *save = nullptr, *cancel = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* estimated = nullptr;
    QLabel* speed = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();
    void PushSelection();
    void ShowContextMenu(const QPoint& at);
    void ModifyTitle();
    void SizeColumns();

    CLyb30App& m_app;
    CCDDoc* m_doc;
    Hooks m_hooks;
    std::unique_ptr<QtMessageTarget> m_target;
    QLabel* m_tracksLabel = nullptr;
    bool m_refreshing = false;
};

} // namespace lyb
