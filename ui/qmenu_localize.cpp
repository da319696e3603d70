#include "ui/qmenu_localize.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace lyb {

QtLocalizableMenu::QtLocalizableMenu(QWidget* menu) : m_actions(menu->actions()) {
    m_subs.resize(static_cast<size_t>(m_actions.size()));
}

int QtLocalizableMenu::ItemCount() const { return static_cast<int>(m_actions.size()); }

bool QtLocalizableMenu::IsTextItem(int index) const { return !m_actions.at(index)->isSeparator(); }

std::string QtLocalizableMenu::ItemText(int index) const { return m_actions.at(index)->text().toStdString(); }

void QtLocalizableMenu::SetItemText(int index, const std::string& text) {
    // The shortcut shown stays after its tab; a menu draws it in its column.
    // The keys themselves are the accelerator table's, never the text's.
    m_actions.at(index)->setText(QString::fromStdString(text));
}

LocalizableMenu* QtLocalizableMenu::SubMenu(int index) {
    QMenu* m = m_actions.at(index)->menu();
    if (!m)
        return nullptr;
    auto& slot = m_subs[static_cast<size_t>(index)];
    if (!slot)
        slot = std::make_unique<QtLocalizableMenu>(m);
    return slot.get();
}

} // namespace lyb
