// QMenu/QMenuBar seen as a LocalizableMenu, so the localiser can walk the
// main menu: each action is an item, separators are non-text items and an
// action with a menu is a pop-up.
#pragma once

#include "app/localize.h"

#include <QList>
#include <memory>
#include <vector>

class QAction;
class QWidget;

namespace lyb {

class QtLocalizableMenu final : public LocalizableMenu {
public:
    /// `menu` is a QMenu or a QMenuBar.
    explicit QtLocalizableMenu(QWidget* menu);
    int ItemCount() const override;
    bool IsTextItem(int index) const override;
    std::string ItemText(int index) const override;
    void SetItemText(int index, const std::string& text) override;
    LocalizableMenu* SubMenu(int index) override;

private:
    QList<QAction*> m_actions;
    std::vector<std::unique_ptr<QtLocalizableMenu>> m_subs;
};

} // namespace lyb
