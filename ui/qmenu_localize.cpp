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
    // A tab separates the shortcut text, as in the language file.
    QString t = QString::fromStdString(text);
    const int tab = t.indexOf('\t');
    QAction* a = m_actions.at(index);
    if (tab >= 0) {
        a->setShortcut(QKeySequence(t.mid(tab + 1)));
        t.truncate(tab);
    }
    a->setText(t);
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
