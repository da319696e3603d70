#include "ui/about_dialog.h"

#include "app/lyb30_app.h"
#include "ui/page_strip.h"
#include "ui/shell/shell_texts.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lyb {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

CAboutDlg::CAboutDlg(const CLyb30App& app, QWidget* parent) : QDialog(parent) {
    setObjectName("CAboutDlg");
    const CLocalize& l = app.m_oLocalize;
    setWindowTitle(Q(Tr(l, texts::kAboutTitle)));
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setObjectName("aboutIcon");
    icon->setPixmap(CPageStrip::ButtonImage(0, PageStripState::kSelected, false));
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    auto* name = new QLabel("<b>" + Q(Tr(l, texts::kProductName)).toHtmlEscaped() + "</b>", this);
    name->setObjectName("aboutName");
    layout->addWidget(name, 0, 1);
    layout->addWidget(new QLabel(Q(Tr(l, texts::kAboutVersion)), this), 1, 1);
    auto* text = new QLabel(Q(Tr(l, texts::kAboutText)), this);
    text->setWordWrap(true);
    text->setMinimumWidth(320);
    layout->addWidget(text, 2, 1);
    QString components = Q(Tr(l, texts::kAboutComponents));
    const QString loaded = Q(Tr(l, texts::kAboutLoaded));
    const QString missing = Q(Tr(l, texts::kAboutMissing));
    auto line = [&](UiText what, bool present) {
        components += "\n  " + Q(Tr(l, what)) + ": " + (present ? loaded : missing);
    };
    line(texts::kAboutEncoder, app.EncoderLoaded());
    line(texts::kAboutLockstream, app.LseLoaded());
    line(texts::kAboutDevice, app.DeviceLibraryLoaded());
    auto* parts = new QLabel(components, this);
    parts->setObjectName("aboutComponents");
    layout->addWidget(parts, 3, 1);
    auto* site = new QLabel(Q(l.Get(413, CLocalize::kSiteAddress)), this);
    site->setObjectName("aboutSite");
    site->setLayoutDirection(Qt::LeftToRight);
    layout->addWidget(site, 4, 1);
    layout->addWidget(new QLabel(Q(Tr(l, texts::kAboutCopyright)), this), 5, 1);
    auto* buttons = new QDialogButtonBox(this);
    okButton = buttons->addButton(Q(Tr(l, texts::kOk)), QDialogButtonBox::AcceptRole);
    okButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 6, 0, 1, 2);
}

} // namespace lyb
