#include "ui/pages.h"

#include <algorithm>

#include "app/lyb30_app.h"
#include "platform/trace.h"

#include <QSplitter>
#include <QVBoxLayout>

namespace lyb {

CChildFrame::CChildFrame(const QString& className, QWidget* parent) : QWidget(parent) {
    setObjectName(className);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CChildFrame::SetView(CFormView* view) {
    m_view = view;
    layout()->addWidget(view);
}

void CMusicFrame::SetDevicePane(CFormView* pane, int position) {
    if (!View() || !pane || m_pane)
        return;
    m_pane = pane;
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName("mainSplitter");
    m_splitter->setChildrenCollapsible(false);
    layout()->removeWidget(View());
    m_splitter->addWidget(View());
    m_splitter->addWidget(pane);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    layout()->addWidget(m_splitter);
    const int total = std::max(width(), 900);
    const int left = std::clamp(position, 100, std::max(100, total - 150));
    m_splitter->setSizes({left, std::max(150, total - left)});
}

int CMusicFrame::SplitterPosition() const {
    if (!m_splitter)
        return -1;
    const QList<int> sizes = m_splitter->sizes();
    return sizes.isEmpty() ? -1 : sizes.first();
}

} // namespace lyb
