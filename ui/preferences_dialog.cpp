#include "ui/preferences_dialog.h"

#include "app/lyb30_app.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lyb {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

CPreferencesDlg::CPreferencesDlg(CLyb30App& app, QWidget* parent) : QDialog(parent), m_model(app) {
    setObjectName("CPreferencesDlg");
    const auto& c = m_model.GetCaptions();
    setWindowTitle(Q(c.title));
    auto* root = new QVBoxLayout(this);

    auto* startGroup = new QGroupBox(Q(c.startupGroup), this);
    auto* startLayout = new QVBoxLayout(startGroup);
    startup = new QButtonGroup(this);
    const std::string* labels[3] = {&c.blank, &c.previous, &c.scan};
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(Q(*labels[i]), startGroup);
        startup->addButton(r, i);
        startLayout->addWidget(r);
    }
    if (QAbstractButton* b = startup->button(m_model.startupMode))
        b->setChecked(true);
    root->addWidget(startGroup);

    auto* folders = new QGridLayout();
    musicFolderEdit = new QLineEdit(Q(m_model.musicFolder), this);
    playlistFolderEdit = new QLineEdit(Q(m_model.playlistFolder), this);
    browseMusic = new QPushButton(Q(c.browse1), this);
    browsePlaylist = new QPushButton(Q(c.browse2), this);
    folders->addWidget(new QLabel(Q(c.musicFolder), this), 0, 0);
    folders->addWidget(musicFolderEdit, 0, 1);
    folders->addWidget(browseMusic, 0, 2);
    folders->addWidget(new QLabel(Q(c.playlistFolder), this), 1, 0);
    folders->addWidget(playlistFolderEdit, 1, 1);
    folders->addWidget(browsePlaylist, 1, 2);
    root->addLayout(folders);
    if (m_model.RightToLeft()) {
        for (QLineEdit* e : {musicFolderEdit, playlistFolderEdit}) {
            e->setAlignment(Qt::AlignRight);
            e->setLayoutDirection(Qt::RightToLeft);
        }
    }
    connect(browseMusic, &QPushButton::clicked, this, [this, t = c.browseMusicTitle] { Browse(musicFolderEdit, t); });
    connect(browsePlaylist, &QPushButton::clicked, this,
            [this, t = c.browsePlaylistTitle] { Browse(playlistFolderEdit, t); });

    auto* quality = new QGroupBox(Q(c.quality), this);
    auto* qLayout = new QHBoxLayout(quality);
    qLayout->addWidget(new QLabel(Q(c.compression), quality));
    bitrates = new QComboBox(quality);
    for (int i = 0; i < static_cast<int>(CPreferencesModel::kBitrates.size()); ++i)
        bitrates->addItem(Q(CPreferencesModel::BitrateText(i)));
    bitrates->setCurrentIndex(m_model.bitrateIndex);
    qLayout->addWidget(bitrates);
    root->addWidget(quality);

    alwaysOnTop = new QCheckBox(Q(c.alwaysOnTop), this);
    alwaysOnTop->setChecked(m_model.alwaysOnTop);
    root->addWidget(alwaysOnTop);

    auto* assoc = new QGroupBox(Q(c.associationGroup), this);
    auto* aLayout = new QVBoxLayout(assoc);
    m3u = new QCheckBox(Q(c.m3u), assoc);
    mp3 = new QCheckBox(Q(c.mp3), assoc);
    aac = new QCheckBox(Q(c.aac), assoc);
    audioCd = new QCheckBox(Q(c.audioCd), assoc);
    m3u->setChecked(m_model.assocM3u);
    mp3->setChecked(m_model.assocMp3);
    aac->setChecked(m_model.assocAac);
    audioCd->setChecked(m_model.assocAudioCd);
    for (QCheckBox* b : {m3u, mp3, aac, audioCd}) {
        b->setEnabled(m_model.AssociationsEnabled());
        aLayout->addWidget(b);
    }
    root->addWidget(assoc);

    bitrates->setEnabled(m_model.BitrateEnabled());
    musicFolderEdit->setEnabled(m_model.MusicFolderEnabled());
    browseMusic->setEnabled(m_model.MusicFolderEnabled());

    auto* buttons = new QHBoxLayout();
    okButton = new QPushButton(Q(c.ok), this);
    cancelButton = new QPushButton(Q(c.cancel), this);
    okButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    root->addLayout(buttons);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // Every control uses the first interface font.
    const QFont f = QApplication::font();
    for (QWidget* w : findChildren<QWidget*>())
        w->setFont(f);
}

void CPreferencesDlg::Browse(QLineEdit* edit, const std::string& title) {
    const QString dir = QFileDialog::getExistingDirectory(this, Q(title), edit->text(), QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty())
        edit->setText(dir);
}

void CPreferencesDlg::accept() {
    m_model.musicFolder = musicFolderEdit->text().toStdString();
    m_model.playlistFolder = playlistFolderEdit->text().toStdString();
    m_model.startupMode = std::max(0, startup->checkedId());
    m_model.alwaysOnTop = alwaysOnTop->isChecked();
    m_model.bitrateIndex = bitrates->currentIndex();
    m_model.assocMp3 = mp3->isChecked();
    m_model.assocAac = aac->isChecked();
    m_model.assocM3u = m3u->isChecked();
    m_model.assocAudioCd = audioCd->isChecked();
    bool changed = false;
    if (!m_model.Ok(&changed))
        return; // the dialog stays open
    if (changed) {
        // The desktop re-reads mimeapps.list itself; redraw our windows.
        for (QWidget* w : QApplication::topLevelWidgets())
            w->update();
    }
    QDialog::accept();
}

} // namespace lyb
