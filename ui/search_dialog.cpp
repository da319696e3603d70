#include "ui/search_dialog.h"

#include "platform/qt/qt_message_target.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lyb {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

/// Files added per turn of the event loop.
constexpr size_t kAddSlice = 40;

} // namespace

CSearchDlg::CSearchDlg(StudioPage& page, const std::string& musicFolder, QWidget* parent) : QDialog(parent) {
    setObjectName("CSearchDlg");
    m_target = std::make_unique<QtMessageTarget>([this](const Message& m) -> std::intptr_t {
        if (m_state && m_state->OnMessage(m)) {
            if (m_state->Adding())
                AddSlice();
            Refresh();
        }
        return 0;
    });
    m_state = std::make_unique<DiskSearch>(page, m_target.get(), ListVolumes(false));
    m_state->Open(musicFolder);
    const DiskSearch::Texts t = m_state->DialogTexts();
    setWindowTitle(Q(t.caption));

    auto* layout = new QVBoxLayout(this);
    auto* criteria = new QGroupBox(Q(t.criteria), this);
    auto* grid = new QGridLayout(criteria);
    grid->addWidget(new QLabel(Q(t.lookIn), criteria), 0, 0);
    drives = new QComboBox(criteria);
    drives->setObjectName("drives");
    for (const std::string& d : m_state->Drives())
        drives->addItem(QFile::decodeName(d.c_str()));
    drives->setCurrentIndex(m_state->DriveSelection());
    grid->addWidget(drives, 0, 1, 1, 2);
    grid->addWidget(new QLabel(Q(t.folder), criteria), 1, 0);
    folder = new QLineEdit(QFile::decodeName(m_state->Location().c_str()), criteria);
    folder->setObjectName("folder");
    folder->setMinimumWidth(320);
    grid->addWidget(folder, 1, 1);
    browse = new QPushButton(Q(t.browse), criteria);
    grid->addWidget(browse, 1, 2);
    subfolders = new QCheckBox(Q(t.subfolders), criteria);
    subfolders->setChecked(m_state->Subfolders());
    grid->addWidget(subfolders, 2, 1, 1, 2);
    layout->addWidget(criteria);

    auto* fileTypes = new QGroupBox(Q(t.fileTypes), this);
    auto* row = new QHBoxLayout(fileTypes);
    row->addWidget(new QLabel(Q(t.typesLabel), fileTypes));
    types = new QComboBox(fileTypes);
    types->setObjectName("types");
    for (const std::string& entry : m_state->TypeEntries())
        types->addItem(Q(entry));
    row->addWidget(types);
    patterns = new QLabel(fileTypes);
    patterns->setObjectName("patterns");
    row->addWidget(patterns, 1);
    layout->addWidget(fileTypes);

    status = new QLabel(this);
    status->setObjectName("status");
    status->setMinimumWidth(420);
    status->setTextFormat(Qt::PlainText);
    layout->addWidget(status);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    startStop = new QPushButton(this);
    startStop->setObjectName("startStop");
    startStop->setDefault(true);
    closeButton = new QPushButton(Q(t.close), this);
    buttons->addWidget(startStop);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    connect(drives, &QComboBox::activated, this, [this](int index) {
        m_state->SelectDrive(index);
        folder->setText(QFile::decodeName(m_state->Location().c_str()));
    });
    connect(folder, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_state->SetLocation(QFile::encodeName(text).toStdString()); });
    connect(browse, &QPushButton::clicked, this, [this, title = Q(t.browseTitle)] {
        const QString chosen = QFileDialog::getExistingDirectory(this, title, folder->text(),
                                                                 QFileDialog::ShowDirsOnly);
        m_state->BrowseFolder(QFile::encodeName(chosen).toStdString());
        folder->setText(QFile::decodeName(m_state->Location().c_str()));
        drives->setCurrentIndex(m_state->DriveSelection());
    });
    connect(subfolders, &QCheckBox::toggled, this, [this](bool on) { m_state->SetSubfolders(on); });
    connect(types, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_state->SelectTypes(index);
        Refresh();
    });
    connect(startStop, &QPushButton::clicked, this, [this] {
        m_state->StartOrStop();
        Refresh();
    });
    connect(closeButton, &QPushButton::clicked, this, &CSearchDlg::reject);
    Refresh();
}

CSearchDlg::~CSearchDlg() {
    // The walk stops (and its outbox closes) before the target goes.
    m_state.reset();
    m_target->Close();
}

void CSearchDlg::Refresh() {
    startStop->setText(Q(m_state->ButtonText()));
    status->setText(QFile::decodeName(m_state->Status().c_str()));
    patterns->setText(Q(m_state->PatternText()));
    const bool idle = !m_state->Searching();
    drives->setEnabled(idle);
    folder->setEnabled(idle);
    browse->setEnabled(idle);
    subfolders->setEnabled(idle);
    types->setEnabled(idle);
    startStop->setEnabled(!m_state->Adding());
}

void CSearchDlg::AddSlice() {
    if (m_addingScheduled)
        return;
    m_addingScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_addingScheduled = false;
        const bool more = m_state->AddSome(kAddSlice);
        Refresh();
        if (more)
            AddSlice();
    });
}

void CSearchDlg::reject() {
    m_state->CloseSearch([](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    Refresh();
    QDialog::reject();
}

} // namespace lyb
