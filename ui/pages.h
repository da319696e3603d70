// The three pages: for each, a child frame holding a form view.
#pragma once

#include "app/doc_template.h"

#include <QLabel>
#include <QWidget>

class QSplitter;

#include <string>
#include <vector>

namespace lyb {

class CLyb30App;

/// Base of the pages' form views: a widget that is a view of its document.
class CFormView : public QWidget, public CView {
public:
    explicit CFormView(QWidget* parent = nullptr) : QWidget(parent) {}
};

/// Child frames: each holds one form view.
class CChildFrame : public QWidget {
public:
    CChildFrame(const QString& className, QWidget* parent = nullptr);
    void SetView(CFormView* view);
    CFormView* View() const { return m_view; }

private:
    CFormView* m_view = nullptr;
};

class CCDFrame final : public CChildFrame {
public:
    explicit CCDFrame(QWidget* parent = nullptr) : CChildFrame("CCDFrame", parent) {}
};
class CClubOrvikFrame final : public CChildFrame {
public:
    explicit CClubOrvikFrame(QWidget* parent = nullptr) : CChildFrame("CClubOrvikFrame", parent) {}
};
/// The Music Studio's frame: the Music Studio and, beside it, the Mobile
/// Device pane, split by the main window's splitter.
class CMusicFrame final : public CChildFrame {
public:
    explicit CMusicFrame(QWidget* parent = nullptr) : CChildFrame("CMusicFrame", parent) {}
    /// Puts the view and `pane` side by side; the view's width is `position`.
    void SetDevicePane(CFormView* pane, int position);
    CFormView* DevicePane() const { return m_pane; }
    QSplitter* Splitter() const { return m_splitter; }
    /// The view's width as the "Spliter position" setting keeps it (-1 without a pane).
    int SplitterPosition() const;

private:
    CFormView* m_pane = nullptr;
    QSplitter* m_splitter = nullptr;
};

} // namespace lyb
