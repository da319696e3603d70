#include "ui/mobile_device_form.h"

#include "app/lyb30_app.h"
#include "app/settings.h"
#include "device/usb_manager.h"
#include "library/media_info.h"
#include "platform/qt/qt_message_target.h"
#include "platform/trace.h"
#include "ui/shell/main_commands.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lyb {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

/// A phone of 16x16 pixels; `mark` 0 none, 1 several (stacked), 2 a red cross.
QIcon DrawPhone(int mark) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    auto phone = [&](qreal x, qreal y, const QColor& body) {
        p.setPen(QPen(QColor(50, 55, 65), 1));
        p.setBrush(body);
        p.drawRoundedRect(QRectF(x + 0.5, y + 0.5, 8, 13), 1.6, 1.6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(150, 200, 235));
        p.drawRect(QRectF(x + 2, y + 2.5, 5, 5));
        p.setBrush(QColor(60, 60, 60));
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col)
                p.drawRect(QRectF(x + 2 + col * 1.8, y + 9 + row * 1.8, 1, 1));
    };
    if (mark == 1)
        phone(6, 0, QColor(190, 195, 205));
    phone(mark == 1 ? 2 : 4, mark == 1 ? 2 : 1, QColor(215, 220, 228));
    if (mark == 2) {
        p.setPen(QPen(QColor(200, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(15, 15));
        p.drawLine(QPointF(15, 9), QPointF(9, 15));
    }
    return QIcon(pixmap);
}

QIcon DrawRemove() {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 50, 40));
    p.drawRect(QRectF(3, 8.5, 14, 3));
    return QIcon(pixmap);
}

/// The Mobile Device list's three column widths as the settings keep them.
class DeviceColumns final : public ColumnList {
public:
    explicit DeviceColumns(QTreeWidget* list) : m_list(list) {}
    int ColumnCount() const override { return 3; }
    int ColumnWidth(int column) const override { return m_list->columnWidth(column); }
    void SetColumnWidth(int column, int width) override { m_list->setColumnWidth(column, width); }

private:
    QTreeWidget* m_list;
};

/// The card's list: its context menu goes to the page.
class DeviceFileList final : public QTreeWidget {
public:
    DeviceFileList(CMobileDeviceForm& form, QWidget* parent) : QTreeWidget(parent), m_form(form) {}

protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        m_form.ShowContextMenu(event->globalPos());
        event->accept();
    }

private:
    CMobileDeviceForm& m_form;
};

constexpr int kPagePosition = 2; // the Mobile Device list's columns in the settings

} // namespace

QIcon CMobileDeviceForm::TreeImage(int image) {
    static const QIcon root = DrawPhone(1);
    static const QIcon device = DrawPhone(0);
    static const QIcon none = DrawPhone(2);
    return image == kImageRoot ? root : image == kImageDevice ? device : none;
}

CMobileDeviceForm::CMobileDeviceForm(CLyb30App& app, QWidget* parent) : CFormView(parent), m_app(app) {
    setObjectName("CMobileDeviceForm");
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        return m_page && m_page->OnMessage(m) ? 1 : 0;
    });
    DevicePageServices s;
    s.manager = app.UsbManager();
    s.context.formats = app.m_formats;
    s.context.prompt = app.GetPrompt();
    s.context.localize = &app.m_oLocalize;
    s.probeTarget = m_target.get();
    const AppSeams& seams = app.Environment().seams;
    s.probeEngine = seams.lengthEngine ? seams.lengthEngine() : nullptr;
    s.smallPlayerExists = seams.smallPlayerExists;
    // A phone came or went: the Small Player redraws its top strip.
    s.notifySmallPlayer = [&seams] {
        if (seams.notifySmallPlayer)
            seams.notifySmallPlayer(1);
    };
    s.busy = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    s.sleep = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    m_page = std::make_unique<MobileDevicePage>(std::move(s));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName("deviceSplitter");
    m_tree = new QTreeWidget(split);
    m_tree->setObjectName("deviceTree");
    m_tree->setHeaderHidden(true);
    m_tree->setIconSize(QSize(16, 16));
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list = new DeviceFileList(*this, split);
    m_list->setObjectName("deviceList");
    m_list->setColumnCount(3);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setHeaderLabels({Q(m_page->ColumnHeading(0)), Q(m_page->ColumnHeading(1)), Q(m_page->ColumnHeading(2))});
    m_list->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    m_list->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);

    auto* bar = new QHBoxLayout;
    m_remove = new QToolButton(this);
    m_remove->setObjectName("deviceRemoveButton");
    m_remove->setIcon(DrawRemove());
    m_remove->setIconSize(QSize(20, 20));
    m_remove->setAutoRaise(true);
    m_remove->setToolTip(Q(m_page->ToolTip(DeviceControl::RemoveButton)));
    bar->addWidget(m_remove);
    bar->addStretch(1);
    auto field = [&](const char* name, DeviceControl tip) {
        auto* f = new QLineEdit(this);
        f->setObjectName(name);
        f->setReadOnly(true);
        f->setAlignment(Qt::AlignRight);
        f->setFixedWidth(96);
        f->setFocusPolicy(Qt::NoFocus);
        f->setToolTip(Q(m_page->ToolTip(tip)));
        bar->addWidget(f);
        return f;
    };
    m_used = field("deviceUsedField", DeviceControl::UsedSpace);
    m_free = field("deviceFreeField", DeviceControl::FreeSpace);
    layout->addLayout(bar);

    connect(m_remove, &QToolButton::clicked, this, [this] { RemoveSelected(); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (m_syncing || !current)
            return;
        m_page->SelectNode(current->data(0, Qt::UserRole + 1).toInt());
    });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_syncing)
            return;
        for (int row = 0; row < m_list->topLevelItemCount(); ++row)
            m_page->SetRowSelected(row, m_list->topLevelItem(row)->isSelected());
        UpdateCommands();
    });
    m_listener = m_page->AddListener([this](const DevicePageChange& c) { OnChange(c); });

    auto action = [&](DeviceFormAction id, int command, const QKeySequence& key, void (CMobileDeviceForm::*run)()) {
        auto* a = new QAction(QString::fromStdString(CommandText(command, m_app.m_oLocalize)), this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, [this, run] { (this->*run)(); });
        addAction(a);
        m_actions[static_cast<size_t>(id)] = a;
    };
    action(DeviceFormAction::SelectAll, kIdDeviceSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A),
           &CMobileDeviceForm::SelectAll);
    action(DeviceFormAction::UnselectAll, kIdDeviceUnselectAll, QKeySequence(Qt::CTRL | Qt::Key_U),
           &CMobileDeviceForm::UnselectAll);
    action(DeviceFormAction::RemoveSelected, kIdDeviceDeleteSelected, QKeySequence(Qt::Key_Delete),
           &CMobileDeviceForm::RemoveSelected);
    action(DeviceFormAction::RemoveAll, kIdDeviceDeleteAll, QKeySequence(Qt::CTRL | Qt::Key_Delete),
           &CMobileDeviceForm::RemoveAll);

    FillTree();
    UpdateCommands();
    // The stored column widths, or a split of the list's width.
    m_list->setColumnWidth(0, 170);
    m_list->setColumnWidth(1, 56);
    m_list->setColumnWidth(2, 70);
    DeviceColumns columns(m_list);
    GetColumnWidths(app.Settings(), kPagePosition, columns);
    // The first look at the devices happens with the page.
    RefreshDevices(-1);
}

CMobileDeviceForm::~CMobileDeviceForm() {
    CancelDurationProbes(m_target.get());
    m_target->Close();
    m_page->RemoveListener(m_listener);
}

void CMobileDeviceForm::SaveLayout() {
    DeviceColumns columns(m_list);
    SetColumnWidths(m_app.Settings(), kPagePosition, columns);
}

void CMobileDeviceForm::RefreshDevices(int index) {
    m_page->RefreshDevices(index);
}

void CMobileDeviceForm::OnVolumeChange(bool arrival) {
    if (arrival)
        m_page->RefreshDevices(-1);
    else
        m_target->Post(kMsgRefreshDevices, 0, 0);
}

// --- Mirroring the page ------------------------------------------------------------

void CMobileDeviceForm::OnChange(const DevicePageChange& change) {
    if (change.flags & DevicePageChange::kTree)
        FillTree();
    if (change.flags & DevicePageChange::kRows)
        FillList();
    else if (change.flags & DevicePageChange::kSelection)
        ApplySelection();
    if (change.flags & DevicePageChange::kCells)
        UpdateRow(change.row);
    if (change.flags & DevicePageChange::kSpace) {
        m_used->setText(Q(m_page->UsedText()));
        m_free->setText(Q(m_page->FreeText()));
    }
    UpdateCommands();
}

void CMobileDeviceForm::FillTree() {
    m_syncing = true;
    const auto& nodes = m_page->Tree();
    // A new selection in the same tree only moves the current item: the
    // items stay, so a change made from the tree's own signal never deletes
    // the item the signal is about.
    QTreeWidgetItem* top = m_tree->topLevelItem(0);
    const int shown = top ? 1 + top->childCount() : 0;
    bool same = m_tree->topLevelItemCount() <= 1 && shown == static_cast<int>(nodes.size());
    for (size_t i = 0; same && i < nodes.size(); ++i) {
        QTreeWidgetItem* item = i == 0 ? top : top->child(static_cast<int>(i) - 1);
        same = item->text(0) == Q(nodes[i].label) && item->data(0, Qt::UserRole).toInt() == nodes[i].value;
    }
    if (same) {
        for (size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i].selected)
                m_tree->setCurrentItem(i == 0 ? top : top->child(static_cast<int>(i) - 1));
        m_syncing = false;
        return;
    }
    m_tree->clear();
    QTreeWidgetItem* root = nullptr;
    QTreeWidgetItem* selected = nullptr;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const DeviceNode& node = nodes[i];
        auto* item = i == 0 ? new QTreeWidgetItem(m_tree) : new QTreeWidgetItem(root);
        if (i == 0)
            root = item;
        item->setText(0, Q(node.label));
        item->setIcon(0, TreeImage(node.image));
        item->setData(0, Qt::UserRole, node.value);
        item->setData(0, Qt::UserRole + 1, static_cast<int>(i));
        if (node.selected)
            selected = item;
    }
    if (root)
        root->setExpanded(true);
    if (selected)
        m_tree->setCurrentItem(selected);
    m_syncing = false;
}

void CMobileDeviceForm::FillList() {
    m_syncing = true;
    m_list->clear();
    QList<QTreeWidgetItem*> rows;
    for (int row = 0; row < m_page->RowCount(); ++row) {
        auto* item = new QTreeWidgetItem;
        for (int column = 0; column < 3; ++column)
            item->setText(column, Q(m_page->CellText(row, column)));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, QString::fromStdString(m_page->Item(row).path));
        rows << item;
    }
    m_list->addTopLevelItems(rows);
    m_syncing = false;
    ApplySelection();
}

void CMobileDeviceForm::ApplySelection() {
    m_syncing = true;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        m_list->topLevelItem(row)->setSelected(m_page->IsSelected(row));
    m_syncing = false;
}

void CMobileDeviceForm::UpdateRow(int row) {
    if (row < 0 || row >= m_list->topLevelItemCount())
        return;
    m_list->topLevelItem(row)->setText(1, Q(m_page->CellText(row, 1)));
}

void CMobileDeviceForm::UpdateCommands() {
    m_remove->setEnabled(m_page->RemoveEnabled());
    Action(DeviceFormAction::SelectAll)->setEnabled(m_page->SelectAllEnabled());
    Action(DeviceFormAction::UnselectAll)->setEnabled(m_page->UnselectAllEnabled());
    Action(DeviceFormAction::RemoveSelected)->setEnabled(m_page->RemoveEnabled());
    Action(DeviceFormAction::RemoveAll)->setEnabled(m_page->RemoveAllEnabled());
}

// --- Commands ---------------------------------------------------------------------

void CMobileDeviceForm::SelectAll() {
    m_page->SelectAll();
}

void CMobileDeviceForm::UnselectAll() {
    m_page->UnselectAll();
}

void CMobileDeviceForm::RemoveSelected() {
    m_page->RemoveSelected();
}

void CMobileDeviceForm::RemoveAll() {
    m_page->RemoveAll();
}

void CMobileDeviceForm::ShowContextMenu(const QPoint& globalPos) {
    QMenu menu(this);
    menu.setObjectName("deviceContextMenu");
    for (const MenuEntry& entry : m_page->ContextMenu()) {
        if (entry.command == kCmdSeparator) {
            menu.addSeparator();
            continue;
        }
        QAction* a = menu.addAction(Q(entry.text));
        a->setData(entry.command);
        a->setEnabled(entry.enabled);
    }
    if (QAction* chosen = menu.exec(globalPos))
        m_page->RunCommand(chosen->data().toInt());
}

void CMobileDeviceForm::RunTransfer(std::vector<MusicItem> records) {
    const Components& c = m_app.GetComponents();
    TransferServices s;
    s.manager = m_app.UsbManager();
    s.prompt = m_app.GetPrompt();
    s.localize = &m_app.m_oLocalize;
    s.createLockstream = c.createLockstream;
    s.releaseLockstream = c.releaseLockstream;
    s.page = m_target.get();
    m_page->SetTransferRunning(true);
    int result = -1;
    TransferResultTexts texts;
    {
        CTransferDlg dialog(s, std::move(records), window());
        result = dialog.Run();
        if (result == 0)
            texts = dialog.Session().ResultTexts();
    }
    if (result == 0) {
        CTransferResultDlg resultDialog(texts, window());
        resultDialog.exec();
    }
    m_page->SetTransferRunning(false);
}

// --- The transfer dialog ------------------------------------------------------------

CTransferDlg::CTransferDlg(TransferServices services, std::vector<MusicItem> items, QWidget* parent)
    : QDialog(parent) {
    setObjectName("CTransferDlg");
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        if (!m_session)
            return 0;
        const bool end = m_session->OnMessage(m);
        Show();
        if (end)
            done(0);
        return 0;
    });
    services.dialog = m_target.get();
    m_session = std::make_unique<TransferSession>(services, std::move(items));
    setWindowTitle(Q(m_session->Caption()));
    setWindowIcon(CMobileDeviceForm::TreeImage(kImageDevice));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_source = new QLabel(this);
    m_source->setObjectName("transferSource");
    m_source->setMinimumWidth(420);
    m_source->setTextFormat(Qt::PlainText);
    m_fileBar = new QProgressBar(this);
    m_fileBar->setObjectName("transferFileBar");
    m_totalBar = new QProgressBar(this);
    m_totalBar->setObjectName("transferTotalBar");
    for (QProgressBar* bar : {m_fileBar, m_totalBar}) {
        bar->setRange(0, 1000);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    m_progress = new QLabel(this);
    m_progress->setObjectName("transferProgress");
    m_progress->setTextFormat(Qt::PlainText);
    m_cancel = new QPushButton(Q(m_session->CancelText()), this);
    m_cancel->setObjectName("transferCancel");
    layout->addWidget(m_source);
    layout->addWidget(m_fileBar);
    layout->addWidget(m_totalBar);
    layout->addWidget(m_progress);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

CTransferDlg::~CTransferDlg() {
    // No message may reach a dialog that is gone; the worker has ended.
    if (m_session)
        m_session->Join();
    m_target->Close();
}

int CTransferDlg::Run() {
    const int start = m_session->Start();
    if (start != 0)
        return start;
    exec();
    m_session->Join();
    return 0;
}

void CTransferDlg::Show() {
    auto scaled = [](const ProgressBar& bar) {
        return bar.upper == 0 ? 0 : static_cast<int>(bar.position * 1000 / bar.upper);
    };
    m_fileBar->setValue(scaled(m_session->FileBar()));
    m_totalBar->setValue(scaled(m_session->TotalBar()));
    m_source->setText(QString::fromStdString(m_session->SourceText()));
    m_progress->setText(QString::fromStdString(m_session->ProgressText()));
    m_cancel->setEnabled(m_session->CancelEnabled() && !m_cancelling);
    if (m_session->WaitCursor())
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void CTransferDlg::OnCancel() {
    m_cancelling = true;
    m_cancel->setEnabled(false);
    if (m_session->Cancel() || m_session->WorkerFinished())
        return;
    // The worker's queue may not take it yet: again in 100 ms.
    QTimer::singleShot(100, this, [this] { OnCancel(); });
}

void CTransferDlg::reject() {
    // Closing the window cancels; the dialog ends when the worker has.
    if (!m_cancelling)
        OnCancel();
}

// --- The result dialog ---------------------------------------------------------------

CTransferResultDlg::CTransferResultDlg(const TransferResultTexts& texts, QWidget* parent) : QDialog(parent) {
    setObjectName("CTransferResultDlg");
    setWindowTitle(Q(texts.caption));
    auto* layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName("transferFailedList");
    m_list->setColumnCount(1);
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({Q(texts.heading)});
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    m_list->setPalette(palette);
    for (const std::string& path : texts.failedPaths)
        new QTreeWidgetItem(m_list, {QString::fromStdString(path)});
    m_summary = new QLabel(Q(texts.summary), this);
    m_summary->setObjectName("transferSummary");
    auto* ok = new QPushButton(Q(texts.okText), this);
    ok->setDefault(true);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_summary);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    resize(480, 300);
}

} // namespace lyb
