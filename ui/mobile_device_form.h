// The Mobile Device page: the pane beside the Music Studio with the device
// tree, the card's file list, the remove button and the space fields; a thin
// widget layer over MobileDevicePage. Also the transfer dialog and the
// result dialog the Music Studio's transfer command opens.
#pragma once

#include "device/mobile_device_page.h"
#include "device/transfer_session.h"
#include "ui/pages.h"

#include <QDialog>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace lyb {

class CLyb30App;
class QtMessageTarget;

/// Commands of the pane reachable by keyboard (and by the main menu while
/// the pane is the active view).
enum class DeviceFormAction { SelectAll, UnselectAll, RemoveSelected, RemoveAll, Count };

class CMobileDeviceForm final : public CFormView {
public:
    CMobileDeviceForm(CLyb30App& app, QWidget* parent = nullptr);
    ~CMobileDeviceForm() override;

    MobileDevicePage& State() { return *m_page; }
    QTreeWidget* DeviceTree() const { return m_tree; }
    QTreeWidget* FileList() const { return m_list; }
    QToolButton* RemoveButton() const { return m_remove; }
    QLineEdit* UsedField() const { return m_used; }
    QLineEdit* FreeField() const { return m_free; }
    QAction* Action(DeviceFormAction a) const { return m_actions[static_cast<size_t>(a)]; }
    /// The page's window: 1923 (refresh), the card-changed message, DurationReady.
    QtMessageTarget* Target() const { return m_target.get(); }

    /// Who re-evaluates the Music Studio's transfer command.
    void SetTransferAvailabilityChanged(std::function<void()> changed) {
        m_page->SetTransferAvailabilityChanged(std::move(changed));
    }
    /// Re-enumerates and rebuilds the tree (`index`: the device to select).
    void RefreshDevices(int index);
    /// A removable volume arrived (true) or went (false).
    void OnVolumeChange(bool arrival);
    /// The Music Studio's transfer: the dialog modally, then the result.
    void RunTransfer(std::vector<MusicItem> records);

    // Entry points of the page's commands (context menu, keys, main menu).
    void SelectAll();
    void UnselectAll();
    void RemoveSelected();
    void RemoveAll();
    void ShowContextMenu(const QPoint& globalPos);

    /// At close: the list's column widths into the settings.
    void SaveLayout();

    /// The tree's three images, drawn by the program (root, device, none).
    static QIcon TreeImage(int image);

private:
    void OnChange(const DevicePageChange& change);
    void FillTree();
    void FillList();
    void ApplySelection();
    void UpdateRow(int row);
    void UpdateCommands();

    CLyb30App& m_app;
    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<MobileDevicePage> m_page;
    QTreeWidget* m_tree = nullptr;
    QTreeWidget* m_list = nullptr;
    QToolButton* m_remove = nullptr;
    QLineEdit* m_used = nullptr;
    QLineEdit* m_free = nullptr;
    std::array<QAction*, static_cast<size_t>(DeviceFormAction::Count)> m_actions{};
    int m_listener = 0;
    bool m_syncing = false;
    bool m_widthsApplied = false;
};

/// The transfer dialog: two progress bars, the source path, the progress
/// text and the cancel button over a TransferSession.
class CTransferDlg final : public QDialog {
public:
    /// `services.dialog` is set by the dialog itself.
    CTransferDlg(TransferServices services, std::vector<MusicItem> items, QWidget* parent = nullptr);
    ~CTransferDlg() override;

    /// Starts the transfer and shows the dialog modally: 0 when the worker
    /// ran to its end, -1 or -2 when the dialog ended at its start.
    int Run();
    TransferSession& Session() { return *m_session; }
    QProgressBar* FileBar() const { return m_fileBar; }
    QProgressBar* TotalBar() const { return m_totalBar; }
    QLabel* SourceLabel() const { return m_source; }
    QLabel* ProgressLabel() const { return m_progress; }
    QPushButton* CancelButton() const { return m_cancel; }
    /// The cancel button's action (also Escape and the window's close button).
    void OnCancel();

protected:
    void reject() override;

private:
    void Show();

    std::unique_ptr<QtMessageTarget> m_target;
    std::unique_ptr<TransferSession> m_session;
    QProgressBar* m_fileBar = nullptr;
    QProgressBar* m_totalBar = nullptr;
    QLabel* m_source = nullptr;
    QLabel* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_cancelling = false;
};

/// The result dialog: the failed files and the two summary lines.
class CTransferResultDlg final : public QDialog {
public:
    CTransferResultDlg(const TransferResultTexts& texts, QWidget* parent = nullptr);
    QTreeWidget* FailedList() const { return m_list; }
    QLabel* Summary() const { return m_summary; }

private:
    QTreeWidget* m_list = nullptr;
    QLabel* m_summary = nullptr;
};

} // namespace lyb
