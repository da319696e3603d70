#include "ui/music_form.h"

#include "app/lyb30_app.h"
#include "app/page_documents.h"
#include "library/media_info.h"
#include "platform/instance.h"
#include "platform/qt/qt_message_target.h"
#include "platform/trace.h"
#include "ui/edit_item_dialog.h"
#include "ui/main_frame.h"
#include "ui/search_dialog.h"
#include "ui/shell/main_commands.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace lyb {

namespace {

/// Extra indent of a playlist's track rows after the expander's place.
constexpr int kTrackIndent = 14;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

/// A path from a toolkit string, in the file system's encoding.
std::string PathOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QPixmap Canvas(int size = 16) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon DrawNote(const QColor& color) {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(2.5, 10.5, 5, 4));
    p.drawEllipse(QRectF(9.5, 9, 5, 4));
    p.drawRect(QRectF(6.5, 2, 1.2, 10.5));
    p.drawRect(QRectF(13.5, 1, 1.2, 10));
    QPainterPath beam;
    beam.moveTo(6.5, 2);
    beam.lineTo(14.7, 1);
    beam.lineTo(14.7, 3.4);
    beam.lineTo(6.5, 4.4);
    beam.closeSubpath();
    p.drawPath(beam);
    return QIcon(pixmap);
}

QIcon DrawPlaylist() {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 70, 20), 1));
    p.setBrush(QColor(245, 205, 95));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
    p.setPen(QPen(QColor(90, 70, 20), 1.4));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(4, 5 + i * 3), QPointF(12, 5 + i * 3));
    return QIcon(pixmap);
}

QIcon DrawButton(const QString& kind) {
    QPixmap pixmap = Canvas(20);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == "add" || kind == "remove") {
        p.setPen(Qt::NoPen);
        p.setBrush(kind == "add" ? QColor(40, 150, 60) : QColor(190, 50, 40));
        p.drawRect(QRectF(3, 8.5, 14, 3));
        if (kind == "add")
            p.drawRect(QRectF(8.5, 3, 3, 14));
    } else if (kind == "up" || kind == "down") {
        QPainterPath tri;
        if (kind == "up") {
            tri.moveTo(10, 3);
            tri.lineTo(17, 15);
            tri.lineTo(3, 15);
        } else {
            tri.moveTo(3, 5);
            tri.lineTo(17, 5);
            tri.lineTo(10, 17);
        }
        tri.closeSubpath();
        p.fillPath(tri, QColor(50, 90, 160));
    } else { // transfer: an arrow into a phone
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.setBrush(QColor(210, 220, 235));
        p.drawRoundedRect(QRectF(11.5, 2.5, 7, 15), 1.5, 1.5);
        QPainterPath arrow;
        arrow.moveTo(1, 8.5);
        arrow.lineTo(6, 8.5);
        arrow.lineTo(6, 5.5);
        arrow.lineTo(10.5, 10);
        arrow.lineTo(6, 14.5);
        arrow.lineTo(6, 11.5);
        arrow.lineTo(1, 11.5);
        arrow.closeSubpath();
        p.fillPath(arrow, QColor(40, 150, 60));
    }
    return QIcon(pixmap);
}

/// The Music Studio's six column widths as the settings store them.
class ViewColumns final : public ColumnList {
  public:
    explicit ViewColumns(QTreeView* view) : m_view(view) {}
    int ColumnCount() const override { return kStudioColumnCount; }
    int ColumnWidth(int column) const override { return m_view->columnWidth(column); }
    void SetColumnWidth(int column, int width) override { m_view->setColumnWidth(column, width); }

  private:
    QTreeView* m_view;
};

std::vector<int> DecodeRows(const QByteArray& bytes) {
    std::vector<int> rows;
    for (const QByteArray& piece : bytes.split(','))
        if (!piece.isEmpty())
            rows.push_back(piece.toInt());
    return rows;
}

} // namespace

// --- Model ---------------------------------------------------------------------

CStudioListModel::CStudioListModel(StudioPage& page, QObject* parent) : QAbstractTableModel(parent), m_page(page) {}

int CStudioListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || m_detached ? 0 : m_page.RowCount();
}

int CStudioListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kStudioColumnCount;
}

QIcon CStudioListModel::KindIcon(RowKind kind) {
    static const QIcon track = DrawNote(QColor(40, 80, 150));
    static const QIcon playlistTrack = DrawNote(QColor(120, 100, 40));
    static const QIcon playlist = DrawPlaylist();
    switch (kind) {
    case RowKind::Track:
        return track;
    case RowKind::PlaylistTrack:
        return playlistTrack;
    case RowKind::Playlist:
        return playlist;
    }
    return {};
}

QVariant CStudioListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_detached || index.row() >= m_page.RowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        // A path reads left to right in a right-to-left window too: marks
        // keep its slashes where they belong.
        if (index.column() == kColumnLocation && QGuiApplication::layoutDirection() == Qt::RightToLeft)
            return QChar(0x200E) + Q(m_page.CellText(index.row(), index.column())) + QChar(0x200E);
        return Q(m_page.CellText(index.row(), index.column()));
    case Qt::EditRole:
        return Q(m_page.CellText(index.row(), index.column()));
    case Qt::DecorationRole:
        if (index.column() == kColumnTitle)
            return KindIcon(m_page.KindOfRow(index.row()));
        return {};
    case Qt::ToolTipRole:
        if (index.column() == kColumnLocation || index.column() == kColumnTitle)
            return Q(m_page.CellText(index.row(), kColumnLocation));
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == kColumnLength || index.column() == kColumnSize)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant CStudioListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && !m_detached)
        return Q(m_page.ColumnHeading(section));
    return {};
}

Qt::ItemFlags CStudioListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || m_detached)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (index.column() == kColumnTitle ||
        (index.column() == kColumnArtist && m_page.CanEditArtistInPlace(index.row())))
        f |= Qt::ItemIsEditable;
    return f;
}

bool CStudioListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const std::string text = value.toString().toStdString();
    if (text == m_page.CellText(index.row(), index.column()))
        return false;
    if (index.column() == kColumnTitle)
        return m_page.EditTitleInPlace(index.row(), text);
    if (index.column() == kColumnArtist)
        return m_page.EditArtistInPlace(index.row(), text);
    return false;
}

QStringList CStudioListModel::mimeTypes() const {
    return {kRowsMime, "text/uri-list"};
}

QMimeData* CStudioListModel::mimeData(const QModelIndexList& indexes) const {
    std::set<int> rows;
    for (const QModelIndex& index : indexes)
        rows.insert(index.row());
    QByteArray encoded;
    QList<QUrl> urls;
    for (int row : rows) {
        encoded += QByteArray::number(row) + ',';
        if (const MusicItem* item = m_page.ItemOfRow(row))
            urls << QUrl::fromLocalFile(QFile::decodeName(item->path.c_str()));
    }
    auto* mime = new QMimeData;
    mime->setData(kRowsMime, encoded);
    // Other programs (a file manager) take the files themselves.
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions CStudioListModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions CStudioListModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

void CStudioListModel::ResetRows() {
    beginResetModel();
    endResetModel();
}

void CStudioListModel::Detach() {
    beginResetModel();
    m_detached = true;
    endResetModel();
}

void CStudioListModel::RowsChanged(int first, int last) {
    if (first < 0 || first > last || last >= m_page.RowCount())
        return;
    emit dataChanged(index(first, 0), index(last, kStudioColumnCount - 1));
}

// --- Title column ----------------------------------------------------------------

int CStudioTitleDelegate::Indent(int row) const {
    return StudioPage::kExpanderWidth + (m_page.KindOfRow(row) == RowKind::PlaylistTrack ? kTrackIndent : 0);
}

void CStudioTitleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    if (index.column() != kColumnTitle) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The row's background under the expander; the rest is the base's.
    const int row = index.row();
    QStyleOptionViewItem lead = option;
    initStyleOption(&lead, index);
    lead.text.clear();
    lead.icon = QIcon();
    lead.rect.setWidth(Indent(row));
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &lead, painter, widget);

    if (m_page.KindOfRow(row) == RowKind::Playlist) {
        const MusicItem* item = m_page.ItemOfRow(row);
        const int size = 9;
        const QRect box(option.rect.left() + (StudioPage::kExpanderWidth - size) / 2,
                        option.rect.center().y() - size / 2, size, size);
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        const QColor ink = selected ? option.palette.highlightedText().color() : option.palette.text().color();
        painter->setPen(ink);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        const int mid = box.top() + size / 2;
        painter->drawLine(box.left() + 2, mid, box.right() - 2, mid);
        if (!item->expanded)
            painter->drawLine(box.left() + size / 2, box.top() + 2, box.left() + size / 2, box.bottom() - 2);
        painter->restore();
    }
    QStyleOptionViewItem shifted = option;
    shifted.rect.setLeft(option.rect.left() + Indent(row));
    QStyledItemDelegate::paint(painter, shifted, index);
}

QSize CStudioTitleDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == kColumnTitle)
        size.rwidth() += Indent(index.row());
    return size;
}

void CStudioTitleDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                const QModelIndex& index) const {
    QStyleOptionViewItem shifted = option;
    if (index.column() == kColumnTitle)
        shifted.rect.setLeft(option.rect.left() + Indent(index.row()));
    QStyledItemDelegate::updateEditorGeometry(editor, shifted, index);
}

// --- List view -------------------------------------------------------------------

CStudioListView::CStudioListView(CMusicForm& form, QWidget* parent) : QTreeView(parent), m_form(form) {
    setObjectName("studioList");
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAlternatingRowColors(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    // The selection stays visible while the focus is on the page's buttons.
    QPalette p = palette();
    QColor inactive = p.color(QPalette::Active, QPalette::Highlight);
    inactive.setAlpha(110);
    p.setColor(QPalette::Inactive, QPalette::Highlight, inactive);
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::Text));
    setPalette(p);
}

bool CStudioListView::OnExpander(const QPoint& pos, int& row) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return false;
    row = index.row();
    const QRect first = visualRect(model()->index(row, kColumnTitle));
    return pos.x() >= first.left() && pos.x() < first.left() + StudioPage::kExpanderWidth &&
           m_form.State().KindOfRow(row) == RowKind::Playlist;
}

void CStudioListView::mousePressEvent(QMouseEvent* event) {
    int row = -1;
    if (event->button() == Qt::LeftButton && OnExpander(event->position().toPoint(), row)) {
        m_form.State().ToggleExpanded(row);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
    // A click on a track's artist cell opens its editor at once.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) &&
        index.isValid() && index.column() == kColumnArtist && m_form.State().CanEditArtistInPlace(index.row()))
        edit(index);
}

void CStudioListView::mouseDoubleClickEvent(QMouseEvent* event) {
    int row = -1;
    if (event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    if (OnExpander(event->position().toPoint(), row)) {
        m_form.State().ToggleExpanded(row);
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        m_form.PlayRow(index.row());
    event->accept();
}

void CStudioListView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    m_form.ShowContextMenu(index.isValid() ? index.row() : -1, event->globalPos());
    event->accept();
}

void CStudioListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(CStudioListModel::kRowsMime) || event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CStudioListView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event);
    if (event->mimeData()->hasFormat(CStudioListModel::kRowsMime) || event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CStudioListView::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    const QPoint pos = event->position().toPoint();
    const QModelIndex target = indexAt(pos);
    const int targetRow = target.isValid() ? target.row() : -1;
    if (mime->hasFormat(CStudioListModel::kRowsMime) && event->source() == this) {
        const std::vector<int> rows = DecodeRows(mime->data(CStudioListModel::kRowsMime));
        const QPoint global = viewport()->mapToGlobal(pos);
        // The drag reports a copy so that it never removes anything itself;
        // the popup runs once the drag has ended.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QTimer::singleShot(0, this, [this, rows, targetRow, global] { m_form.DropRows(rows, targetRow, global); });
        return;
    }
    if (mime->hasUrls()) {
        std::vector<std::string> paths;
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile())
                paths.push_back(PathOf(url.toLocalFile()));
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QTimer::singleShot(0, this, [this, paths] { m_form.DropFiles(paths); });
        return;
    }
    event->ignore();
}

// --- The page ----------------------------------------------------------------------

CMusicForm::CMusicForm(CLyb30App& app, MusicPageDocument& document, QWidget* parent)
    : CFormView(parent), m_app(app), m_document(document) {
    setObjectName("CMusicForm");
    const std::string studioFile = CMusicDoc::UserStudioPath(app.Environment().xdg.dataHome);
    m_page = std::make_unique<StudioPage>(document.Music(), studioFile);
    m_page->SetFolders(app.Settings().defaultMusicFolder, app.Settings().defaultPlaylistFolder);
    StudioTransfer transfer;
    transfer.cdState = [&app] { return app.CdState(); };
    m_page->SetTransfer(transfer);
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        if (m.id == kDurationReady)
            if (const auto* path = std::any_cast<std::string>(&m.payload))
                m_page->OnDurationReady(*path, static_cast<uint32_t>(m.lparam));
        return 0;
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName("studioSplitter");
    auto* studio = new QWidget(m_splitter);
    auto* column = new QVBoxLayout(studio);
    column->setContentsMargins(0, 0, 0, 0);

    m_model = new CStudioListModel(*m_page, this);
    m_list = new CStudioListView(*this, studio);
    m_list->setModel(m_model);
    m_list->setItemDelegateForColumn(kColumnTitle, new CStudioTitleDelegate(*m_page, m_list));
    column->addWidget(m_list, 1);

    auto* bar = new QHBoxLayout;
    auto button = [&](const char* name, const char* icon, StudioControl tip) {
        auto* b = new QToolButton(studio);
        b->setObjectName(name);
        b->setIcon(DrawButton(icon));
        b->setIconSize(QSize(20, 20));
        b->setAutoRaise(true);
        b->setToolTip(Q(m_page->ToolTip(tip)));
        bar->addWidget(b);
        return b;
    };
    m_add = button("addButton", "add", StudioControl::AddButton);
    m_remove = button("removeButton", "remove", StudioControl::RemoveButton);
    m_up = button("upButton", "up", StudioControl::UpButton);
    m_down = button("downButton", "down", StudioControl::DownButton);
    m_transfer = button("transferButton", "transfer", StudioControl::TransferButton);
    bar->addStretch(1);
    auto field = [&](const char* name, const QString& tip) {
        auto* f = new QLineEdit(studio);
        f->setObjectName(name);
        f->setReadOnly(true);
        f->setAlignment(Qt::AlignRight);
        f->setFixedWidth(96);
        f->setFocusPolicy(Qt::NoFocus);
        if (!tip.isEmpty())
            f->setToolTip(tip);
        bar->addWidget(f);
        return f;
    };
    m_length = field("lengthField", Q(m_page->ToolTip(StudioControl::LengthField)));
    m_size = field("sizeField", QString());
    m_selectedSize = field("selectedSizeField", Q(m_page->ToolTip(StudioControl::SizeField)));
    column->addLayout(bar);
    m_splitter->addWidget(studio);
    layout->addWidget(m_splitter, 1);

    connect(m_add, &QToolButton::clicked, this, [this] { OnAddTracks(); });
    connect(m_remove, &QToolButton::clicked, this, [this] { m_page->RemoveSelected(); });
    connect(m_up, &QToolButton::clicked, this, [this] { m_page->MoveUp(); });
    connect(m_down, &QToolButton::clicked, this, [this] { m_page->MoveDown(); });
    connect(m_transfer, &QToolButton::clicked, this, [this] { OnTransfer(); });

    // The user's selection and focus go to the page object.
    QItemSelectionModel* selection = m_list->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (m_syncing)
                    return;
                QItemSelectionModel* model = m_list->selectionModel();
                for (const QItemSelection* ranges : {&deselected, &selected})
                    for (const QItemSelectionRange& range : *ranges)
                        for (int row = range.top(); row <= range.bottom(); ++row)
                            m_page->SetRowSelected(row, model->isRowSelected(row, QModelIndex()));
                m_page->SelectionEdited();
            });
    connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!m_syncing)
            m_page->SetFocusRow(current.isValid() ? current.row() : -1);
    });
    m_listener = m_page->AddListener([this](const StudioChange& change) { OnChange(change); });

    // The keys' actions carry their menu commands' texts.
    auto text = [this](int command) { return QString::fromStdString(CommandText(command, m_app.m_oLocalize)); };
    MakeAction(MusicFormAction::EditItem, text(kIdEditItem), QKeySequence(Qt::CTRL | Qt::Key_E),
               [this] { OnEditItem(); });
    MakeAction(MusicFormAction::CreatePlaylist, text(kIdCreatePlaylist), QKeySequence(Qt::CTRL | Qt::Key_N),
               [this] { OnCreatePlaylist(); });
    MakeAction(MusicFormAction::SelectAll, text(kIdSelectAll), QKeySequence(Qt::CTRL | Qt::Key_A),
               [this] { m_page->SelectAll(); });
    MakeAction(MusicFormAction::UnselectAll, text(kIdUnselectAll), QKeySequence(Qt::CTRL | Qt::Key_U),
               [this] { m_page->UnselectAll(); });
    MakeAction(MusicFormAction::RemoveSelected, text(kIdRemoveSelected), QKeySequence(Qt::Key_Delete),
               [this] { m_page->RemoveSelected(); });
    MakeAction(MusicFormAction::RemoveAll, text(kIdRemoveAll),
               QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { m_page->RemoveAll(); });
    MakeAction(MusicFormAction::Transfer, text(kIdTransfer), QKeySequence(Qt::CTRL | Qt::Key_T),
               [this] { OnTransfer(); });
    ShowTotals();
}

CMusicForm::~CMusicForm() {
    // No probe may post to a target that is gone.
    CancelDurationProbes(m_target.get());
    m_target->Close();
    m_page->RemoveListener(m_listener);
}

QAction* CMusicForm::MakeAction(MusicFormAction id, const QString& text, const QKeySequence& key,
                                std::function<void()> run) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    addAction(action);
    m_actions[static_cast<size_t>(id)] = action;
    return action;
}

bool CMusicForm::HoldsStudio() const {
    return m_studioLock && m_studioLock->Held();
}

void CMusicForm::TakeStudioLock() {
    m_studioLock = MakeStudioLock(m_page->StudioPath());
    // The command-line front end holds the lock only while it writes.
    for (int attempt = 0; attempt < 30; ++attempt) {
        const GuardResult result = m_studioLock->Acquire();
        if (result == GuardResult::Acquired)
            return;
        if (result == GuardResult::Failed)
            break;
        QThread::msleep(100);
    }
    TraceFormat("Music Studio: %s.lock is not held by this program", m_page->StudioPath().c_str());
}

void CMusicForm::StartUp() {
    TakeStudioLock();
    const AppSettings& s = m_app.Settings();
    StudioStartup startup;
    startup.mode = s.startupMode;
    startup.programFolder = m_app.Environment().programFolder;
    startup.studioFile = m_page->StudioPath();
    startup.defaultMusicFolder = s.defaultMusicFolder;
    startup.probeTarget = m_target.get();
    startup.busy = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    CMusicDoc& music = m_document.Music();
    if (m_document.OpenPath().empty())
        music.OnNewDocument(startup);
    else
        music.OnOpenDocument(startup, m_document.OpenPath());
    m_page->RebuildRows();
    m_page->ShowTotals();
    m_model->ResetRows();

    // The page to show: the CD Player for a CD track on the command line,
    // else the Music Studio, which plays a file opened by name.
    if (m_app.GetCdRequest().forCdTrack) {
        ShowPage(false);
        return;
    }
    if (m_page->StartUp())
        QThread::msleep(100);
    ShowPage(true);
}

void CMusicForm::ShowPage(bool musicPage) {
    auto* frame = dynamic_cast<CMainFrame*>(window());
    if (!frame)
        return;
    const QString wanted = musicPage ? "CMusicFrame" : "CCDFrame";
    for (int i = 0; i < frame->PageCount(); ++i)
        if (frame->Page(i) && frame->Page(i)->objectName() == wanted)
            frame->ShowPage(i);
}

void CMusicForm::AddAndPlay(const std::string& path) {
    TraceFormat("Music Studio: handed-over file %s", path.c_str());
    if (!m_page->OpenAndPlay(path))
        return;
    ShowPage(true);
    QTimer::singleShot(200, this, [this] {
        if (m_page->Playback().playSelection)
            m_page->Playback().playSelection();
    });
}

void CMusicForm::CloseStudio() {
    if (m_closed)
        return;
    m_closed = true;
    CancelDurationProbes(m_target.get());
    if (m_widthsApplied) {
        ViewColumns columns(m_list);
        SetColumnWidths(m_app.Settings(), 1, columns);
    }
    if (!m_studioLock || m_studioLock->Held())
        m_page->SaveStep();
    if (m_studioLock)
        m_studioLock->Release();
    // The document goes away before this view: nothing may read it any more.
    m_page->RemoveListener(m_listener);
    m_listener = 0;
    m_model->Detach();
}

void CMusicForm::showEvent(QShowEvent* event) {
    CFormView::showEvent(event);
    QTimer::singleShot(0, this, [this] { ApplyColumnWidths(); });
}

void CMusicForm::ApplyColumnWidths() {
    if (m_widthsApplied)
        return;
    const int width = m_list->viewport()->width();
    if (width <= 0)
        return;
    m_widthsApplied = true;
    const int unit = width / 9;
    for (int column = 0; column < kStudioColumnCount; ++column)
        m_list->setColumnWidth(column, unit * StudioPage::ColumnUnits(column));
    ViewColumns columns(m_list);
    GetColumnWidths(m_app.Settings(), 1, columns);
}

// --- Mirroring the page object --------------------------------------------------------

void CMusicForm::OnChange(const StudioChange& change) {
    if (change.flags & StudioChange::kRows) {
        m_syncing = true;
        m_model->ResetRows();
        m_syncing = false;
        ApplySelection();
    } else if (change.flags & StudioChange::kSelection) {
        ApplySelection();
    }
    if (change.flags & StudioChange::kCells)
        m_model->RowsChanged(change.first, change.last);
    if (change.flags & StudioChange::kTotals)
        ShowTotals();
    if ((change.flags & StudioChange::kVisible) && change.visibleRow >= 0 &&
        change.visibleRow < m_page->RowCount())
        m_list->scrollTo(m_model->index(change.visibleRow, 0));
}

void CMusicForm::ApplySelection() {
    m_syncing = true;
    QItemSelection selection;
    const int rows = m_page->RowCount();
    int start = -1;
    for (int row = 0; row <= rows; ++row) {
        const bool on = row < rows && m_page->IsSelected(row);
        if (on && start < 0)
            start = row;
        if (!on && start >= 0) {
            selection.select(m_model->index(start, 0), m_model->index(row - 1, kStudioColumnCount - 1));
            start = -1;
        }
    }
    QItemSelectionModel* model = m_list->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const int focus = m_page->FocusRow();
    model->setCurrentIndex(focus >= 0 ? m_model->index(focus, 0) : QModelIndex(), QItemSelectionModel::NoUpdate);
    m_syncing = false;
}

void CMusicForm::ShowTotals() {
    m_length->setText(Q(m_page->TotalLengthText()));
    m_size->setText(Q(m_page->TotalSizeText()));
    m_selectedSize->setText(Q(m_page->SelectedSizeText()));
    m_transfer->setEnabled(m_page->TransferEnabled());
    if (QAction* transfer = Action(MusicFormAction::Transfer))
        transfer->setEnabled(m_page->TransferEnabled());
}

// --- Commands ----------------------------------------------------------------------------

QFileDialog* CMusicForm::MakeFileDialog(const FileDialogSpec& wanted, bool save) {
    if (m_fileDialog)
        m_fileDialog->close();
    auto* dialog = new QFileDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The toolkit's own dialog shows the type texts exactly; the patterns
    // ride behind them in a second bracket that the dialog hides.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    QStringList filters;
    for (const FileFilter& f : wanted.filters)
        filters << Q(f.text) + " (" + Q(f.pattern).replace(';', ' ') + ")";
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(Q(wanted.defaultExt));
    if (!wanted.folder.empty())
        dialog->setDirectory(QFile::decodeName(wanted.folder.c_str()));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile
                             : wanted.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    m_fileDialog = dialog;
    return dialog;
}

void CMusicForm::OnAddTracks() {
    QFileDialog* dialog = MakeFileDialog(m_page->AddTracksDialog(), false);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        std::vector<std::string> paths;
        for (const QString& file : files)
            paths.push_back(PathOf(file));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_page->AddTracks(paths);
        QApplication::restoreOverrideCursor();
    });
    dialog->open();
}

void CMusicForm::OnCreatePlaylist() {
    QFileDialog* dialog = MakeFileDialog(m_page->CreatePlaylistDialog(), true);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_page->CreatePlaylist(PathOf(file));
        QApplication::restoreOverrideCursor();
    });
    dialog->open();
}

void CMusicForm::OnEditItem() {
    if (!m_page->CanEdit())
        return;
    auto* dialog = new CEditItemDlg(m_page->EditItemDialog(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { m_page->EditItem(dialog->Title(), dialog->Artist()); });
    dialog->open();
}

void CMusicForm::OnSearch() {
    if (m_searchDialog)
        return;
    auto* dialog = new CSearchDlg(*m_page, m_app.Settings().defaultMusicFolder, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_searchDialog = dialog;
    dialog->open();
}

CSearchDlg* CMusicForm::SearchDialog() const {
    return static_cast<CSearchDlg*>(m_searchDialog.data());
}

void CMusicForm::OnTransfer() {
    m_page->TransferSelected();
}

void CMusicForm::PlayRow(int row) {
    if (m_page->Playback().playRow)
        m_page->Playback().playRow(row);
    else
        TraceFormat("Music Studio: no player to play row %d", row);
}

void CMusicForm::ShowContextMenu(int row, const QPoint& globalPos) {
    QMenu menu(this);
    menu.setObjectName("studioContextMenu");
    for (const MenuEntry& entry : m_page->ContextMenu(row)) {
        if (entry.command == kCmdSeparator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(Q(entry.text));
        action->setData(entry.command);
        action->setEnabled(entry.enabled);
        if (entry.isDefault)
            menu.setDefaultAction(action);
    }
    QAction* chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    const int command = chosen->data().toInt();
    if (command == kCmdEdit)
        OnEditItem();
    else
        m_page->RunCommand(command, row);
}

void CMusicForm::DropRows(const std::vector<int>& rows, int targetRow, const QPoint& globalPos) {
    QMenu menu(this);
    menu.setObjectName("studioDropMenu");
    const std::vector<MenuEntry> entries = m_page->DropMenu();
    for (const MenuEntry& entry : entries) {
        QAction* action = menu.addAction(Q(entry.text));
        action->setData(entry.command);
        if (entry.isDefault)
            menu.setDefaultAction(action);
    }
    QAction* chosen = menu.exec(globalPos);
    const int command = chosen ? chosen->data().toInt() : 3;
    const DropChoice choice = command == 1 ? DropChoice::Move : command == 2 ? DropChoice::Copy : DropChoice::Cancel;
    m_page->DropOnList(rows, targetRow, choice);
}

void CMusicForm::DropFiles(const std::vector<std::string>& paths) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_page->DropFiles(paths);
    QApplication::restoreOverrideCursor();
}

} // namespace lyb
