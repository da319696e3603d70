// The skin browser (CSkinBrowser): the skin folder, its skins, a preview
// of the chosen one with its author and description, and Select, which
// makes it the current skin.
#pragma once

#include "player/skin_browser_state.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace lyb {

class CSkinBrowser final : public QDialog {
public:
    /// `currentSkin` and `skinFolder` are the settings Select writes.
    CSkinBrowser(std::string& currentSkin, std::string& skinFolder,
                 std::function<QString(int, const char*)> text, QWidget* parent = nullptr);

    /// Lists `folder` (what Browse... does after the folder dialog).
    void ShowFolder(const QString& folder);
    /// The folder dialog (tests put their own answer here).
    std::function<QString()> pickFolder;

    void Browse();
    void Select();

    const SkinBrowserState& State() const { return m_state; }
    QListWidget* List() const { return m_list; }
    QLabel* Preview() const { return m_preview; }
    QLabel* Author() const { return m_author; }
    QLabel* Description() const { return m_description; }
    QPushButton* SelectButton() const { return m_select; }

private:
    void OnChoose(int row);
    void ShowPreview();

    std::string& m_currentSkin;
    std::string& m_skinFolder;
    SkinBrowserState m_state;
    QListWidget* m_list = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_author = nullptr;
    QLabel* m_description = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_select = nullptr;
};

} // namespace lyb
