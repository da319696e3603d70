#include "ui/player/skin_browser.h"

#include "player/art/skin_art.h"
#include "ui/player/skin_images.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace lyb {

CSkinBrowser::CSkinBrowser(std::string& currentSkin, std::string& skinFolder,
                           std::function<QString(int, const char*)> text, QWidget* parent)
    : QDialog(parent), m_currentSkin(currentSkin), m_skinFolder(skinFolder) {
    setObjectName("CSkinBrowser");
    setWindowTitle(text(374, "Skin browser"));
    auto* grid = new QGridLayout(this);

    auto* skins = new QGroupBox(text(375, "Skins in folder"), this);
    auto* skinsLayout = new QVBoxLayout(skins);
    m_list = new QListWidget(skins);
    m_list->setObjectName("skinList");
    skinsLayout->addWidget(m_list);
    grid->addWidget(skins, 0, 0, 2, 1);

    auto* preview = new QGroupBox(text(376, "Preview"), this);
    auto* previewLayout = new QVBoxLayout(preview);
    m_preview = new QLabel(preview);
    m_preview->setObjectName("skinPreview"); // control 1121
    m_preview->setFixedSize(306, 113);       // 300 x 104 after the 7 and 2 pixel margins
    m_preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    previewLayout->addWidget(m_preview);
    auto* texts = new QGridLayout();
    texts->addWidget(new QLabel(text(377, "Author:"), preview), 0, 0);
    m_author = new QLabel(preview);
    m_author->setObjectName("skinAuthor"); // control 1049
    texts->addWidget(m_author, 0, 1);
    texts->addWidget(new QLabel(text(378, "Description:"), preview), 1, 0, Qt::AlignTop);
    m_description = new QLabel(preview);
    m_description->setObjectName("skinDescription"); // control 1050
    m_description->setWordWrap(true);
    texts->addWidget(m_description, 1, 1);
    previewLayout->addLayout(texts);
    grid->addWidget(preview, 0, 1);

    auto* folderBox = new QGroupBox(text(379, "Skin folder"), this);
    auto* folderLayout = new QHBoxLayout(folderBox);
    m_folder = new QLineEdit(folderBox);
    m_folder->setObjectName("skinFolder");
    m_folder->setReadOnly(true);
    auto* browse = new QPushButton(text(197, "Browse..."), folderBox);
    browse->setObjectName("skinBrowse");
    folderLayout->addWidget(m_folder, 1);
    folderLayout->addWidget(browse);
    grid->addWidget(folderBox, 1, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    m_select = new QPushButton(text(380, "Select"), this);
    m_select->setObjectName("skinSelect");
    m_select->setDefault(true);
    auto* cancel = new QPushButton(text(200, "Cancel"), this);
    cancel->setObjectName("skinCancel");
    buttons->addWidget(m_select);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 2);

    pickFolder = [this, text] {
        return QFileDialog::getExistingDirectory(this, text(259, "Select skin folder"), m_folder->text(),
                                                 QFileDialog::ShowDirsOnly);
    };
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(m_select, &QPushButton::clicked, this, [this] { Select(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { OnChoose(row); });

    ShowFolder(QString::fromStdString(skinFolder));
}

void CSkinBrowser::Browse() {
    const QString folder = pickFolder ? pickFolder() : QString();
    if (!folder.isEmpty())
        ShowFolder(folder);
}

void CSkinBrowser::ShowFolder(const QString& folder) {
    m_folder->setText(folder);
    m_state.SetFolder(folder.toStdString());
    m_list->blockSignals(true);
    m_list->clear();
    for (const std::string& name : m_state.Skins())
        m_list->addItem(QString::fromStdString(name));
    m_list->blockSignals(false);
    if (m_state.Skins().empty()) {
        m_author->clear();
        m_description->clear();
    }
    m_select->setEnabled(m_state.SelectEnabled());
}

void CSkinBrowser::OnChoose(int row) {
    // A skin that cannot be read leaves the previous preview.
    if (m_state.Choose(row))
        ShowPreview();
}

void CSkinBrowser::ShowPreview() {
    const SkinFile& skin = m_state.Preview();
    const QImage composed = ComposePreview(ToImage(skin.picture));
    // Stretched into the control less 7 pixels at the top and 2 at the
    // right and bottom; a right-to-left dialog does not mirror it (a label's
    // picture never is).
    QImage canvas(m_preview->size(), QImage::Format_RGB32);
    canvas.fill(palette().color(QPalette::Window));
    QPainter p(&canvas);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 7, canvas.width() - 2, canvas.height() - 9), composed);
    p.end();
    m_preview->setLayoutDirection(Qt::LeftToRight);
    m_preview->setPixmap(QPixmap::fromImage(canvas));
    m_author->setText(QString::fromStdString(skin.author));
    m_description->setText(QString::fromStdString(skin.description));
}

void CSkinBrowser::Select() {
    if (!m_state.Chosen().empty()) {
        m_currentSkin = m_state.Chosen();
        m_skinFolder = m_state.Folder();
    }
    accept();
}

} // namespace lyb
