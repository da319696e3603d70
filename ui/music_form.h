// The Music Studio page: a thin widget layer over StudioPage. The list is a
// tree view over a flat table model whose rows are the page's rows; the
// selection is mirrored both ways; every command goes to the page object.
//
// The open- and save-file dialogs are the toolkit's own, opened window-modal
// and asynchronously (QFileDialog::open): the page goes on running and takes
// the chosen paths when the dialog reports them, as the polling of a dialog
// thread would.
#pragma once

#include "library/studio_page.h"
#include "ui/pages.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QIcon>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <array>
#include <memory>

class QAction;

class QLineEdit;
class QSplitter;
class QToolButton;

namespace lyb {

class CLyb30App;
class CMusicForm;
class InstanceGuard;
class MusicPageDocument;
class QtMessageTarget;

/// The rows of the page as a table for the list view.
class CStudioListModel final : public QAbstractTableModel {
  public:
    static constexpr const char* kRowsMime = "application/x-lyrabox-studio-rows";

    CStudioListModel(StudioPage& page, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    void ResetRows();
    void RowsChanged(int first, int last);
    /// Shows no rows from now on (the document goes away before the view).
    void Detach();
    /// The icon of a row kind (drawn by the program, no theme needed).
    static QIcon KindIcon(RowKind kind);

  private:
    StudioPage& m_page;
    bool m_detached = false;
};

/// Column 0: the expander in the first 17 pixels, then the icon and title.
class CStudioTitleDelegate final : public QStyledItemDelegate {
  public:
    CStudioTitleDelegate(StudioPage& page, QObject* parent) : QStyledItemDelegate(parent), m_page(page) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    /// Pixels before the icon: the expander, plus an indent for a playlist's tracks.
    int Indent(int row) const;

  private:
    StudioPage& m_page;
};

class CStudioListView final : public QTreeView {
  public:
    CStudioListView(CMusicForm& form, QWidget* parent);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool OnExpander(const QPoint& pos, int& row) const;
    CMusicForm& m_form;
};

/// Commands of the page reachable by keyboard (and by the main menu).
enum class MusicFormAction {
    EditItem,       ///< Ctrl+E
    CreatePlaylist, ///< Ctrl+N
    SelectAll,      ///< Ctrl+A
    UnselectAll,    ///< Ctrl+U
    RemoveSelected, ///< Del
    RemoveAll,      ///< Ctrl+Del
    Transfer,       ///< Ctrl+T
    Count
};

class CMusicForm final : public CFormView {
  public:
    CMusicForm(CLyb30App& app, MusicPageDocument& document, QWidget* parent = nullptr);
    ~CMusicForm() override;

    /// The page's start-up (program start-up step): the Studio is filled by
    /// the "Startup mode" setting or with the file the program was opened
    /// for, the length probes start, and the page to show is chosen.
    void StartUp();
    /// A file handed over by the shell or a second start: added first and played.
    void AddAndPlay(const std::string& path);
    /// At close: column widths into the settings, the save step, the Studio lock released.
    void CloseStudio();

    StudioPage& State() { return *m_page; }
    CStudioListView* List() const { return m_list; }
    CStudioListModel* Model() const { return m_model; }
    QAction* Action(MusicFormAction action) const { return m_actions[static_cast<size_t>(action)]; }
    QToolButton* AddButton() const { return m_add; }
    QToolButton* RemoveButton() const { return m_remove; }
    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }
    QToolButton* TransferButton() const { return m_transfer; }
    QLineEdit* LengthField() const { return m_length; }
    QLineEdit* SizeField() const { return m_size; }
    QLineEdit* SelectedField() const { return m_selectedSize; }
    QSplitter* Splitter() const { return m_splitter; }
    /// The open- or save-file dialog now open (null when none).
    QFileDialog* PendingFileDialog() const { return m_fileDialog; }
    /// True while this process holds the Studio against other writers.
    bool HoldsStudio() const;

    // Commands (buttons, context menu, keys).
    void OnAddTracks();
    void OnCreatePlaylist();
    void OnEditItem();
    void OnTransfer();
    /// "Search disks for music" (menu File, "&Search", Ctrl+F), window-modal.
    void OnSearch();
    /// The search dialog now open (null when none).
    class CSearchDlg* SearchDialog() const;
    void ShowContextMenu(int row, const QPoint& globalPos);
    void DropRows(const std::vector<int>& rows, int targetRow, const QPoint& globalPos);
    void DropFiles(const std::vector<std::string>& paths);
    void PlayRow(int row);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnChange(const StudioChange& change);
    void ApplySelection();
    void ShowTotals();
    void ApplyColumnWidths();
    void ShowPage(bool musicPage);
    void TakeStudioLock();
    QAction* MakeAction(MusicFormAction id, const QString& text, const QKeySequence& key,
                        std::function<void()> run);
    QFileDialog* MakeFileDialog(const FileDialogSpec& wanted, bool save);

    CLyb30App& m_app;
    MusicPageDocument& m_document;
    std::unique_ptr<StudioPage> m_page;
    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<InstanceGuard> m_studioLock;
    CStudioListModel* m_model = nullptr;
    CStudioListView* m_list = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_remove = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    QToolButton* m_transfer = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_size = nullptr;
    QLineEdit* m_selectedSize = nullptr;
    std::array<QAction*, static_cast<size_t>(MusicFormAction::Count)> m_actions{};
    QPointer<QFileDialog> m_fileDialog;
    QPointer<QDialog> m_searchDialog;
    int m_listener = 0;
    bool m_syncing = false;
    bool m_widthsApplied = false;
    bool m_closed = false;
};

} // namespace lyb
