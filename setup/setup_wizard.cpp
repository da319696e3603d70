#include "setup/setup_wizard.h"

#include "platform/prompt.h"
#include "ui/qt_prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>

namespace lyb {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QLabel* WrappedLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}

class SetupPage : public QWizardPage {
public:
    explicit SetupPage(CSetupWizard& wizard) : m_wizard(wizard) {}
    virtual void Retranslate() = 0;

protected:
    std::string Text(int id) const { return m_wizard.Setup().Texts().Get(id); }
    PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) const {
        QtPrompt prompt;
        return prompt.Ask(text, Text(txt::SetupCaption), buttons, icon);
    }
    CSetupWizard& m_wizard;
};

// Shown instead of the wizard when the product is installed already.
class InstalledPage final : public SetupPage {
public:
    explicit InstalledPage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("InstalledPage");
        auto* layout = new QVBoxLayout(this);
        m_text = WrappedLabel(this);
        layout->addWidget(m_text);
        layout->addStretch();
        setFinalPage(true);
    }
    void Retranslate() override {
        setTitle(Q(Text(txt::AlreadyInstalledTitle)));
        std::string folder;
        m_wizard.Setup().IsInstalled(&folder);
        m_text->setText(Q(m_wizard.Setup().Texts().Format(txt::AlreadyInstalled, {folder})));
    }
    int nextId() const override { return -1; }
    bool validatePage() override {
        m_wizard.SetExitCode(m_wizard.Setup().StartInstalledProgram() ? 0 : kSetupExitCancelled);
        return true;
    }

private:
    QLabel* m_text;
};

class WelcomePage final : public SetupPage {
public:
    explicit WelcomePage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("WelcomePage");
        auto* layout = new QVBoxLayout(this);
        m_text = WrappedLabel(this);
        layout->addWidget(m_text);
        layout->addSpacing(16);
        auto* row = new QHBoxLayout();
        m_label = new QLabel(this);
        m_languages = new QComboBox(this);
        m_languages->setObjectName("languages");
        for (const SetupLanguage& l : w.Setup().Languages().languages)
            m_languages->addItem(Q(l.name));
        m_languages->setCurrentIndex(w.Setup().LanguageIndex());
        row->addWidget(m_label);
        row->addWidget(m_languages, 1);
        layout->addLayout(row);
        layout->addStretch();
        QObject::connect(m_languages, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (index < 0 || index == m_wizard.Setup().LanguageIndex())
                return;
            m_wizard.Setup().SelectLanguage(index);
            m_wizard.Retranslate();
        });
    }
    void Retranslate() override {
        setTitle(Q(Text(txt::WelcomeTitle)));
        m_text->setText(Q(Text(txt::Welcome)));
        m_label->setText(Q(Text(txt::LanguageLabel)));
    }
    int nextId() const override { return CSetupWizard::kDestinationPage; }

private:
    QLabel* m_text;
    QLabel* m_label;
    QComboBox* m_languages;
};

class DestinationPage final : public SetupPage {
public:
    explicit DestinationPage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("DestinationPage");
        auto* layout = new QVBoxLayout(this);
        m_text = WrappedLabel(this);
        layout->addWidget(m_text);
        auto* row = new QHBoxLayout();
        m_folder = new QLineEdit(Q(w.Options().destination), this);
        m_folder->setObjectName("destination");
        m_browse = new QPushButton(this);
        row->addWidget(m_folder, 1);
        row->addWidget(m_browse);
        layout->addLayout(row);
        m_video = new QCheckBox(this);
        m_video->setObjectName("video");
        m_video->setEnabled(w.Setup().HasVideos());
        layout->addWidget(m_video);
        m_required = new QLabel(this);
        m_available = new QLabel(this);
        m_required->setObjectName("required");
        m_available->setObjectName("available");
        layout->addWidget(m_required);
        layout->addWidget(m_available);
        layout->addSpacing(8);
        auto* grid = new QGridLayout();
        m_musicLabel = new QLabel(this);
        m_playlistLabel = new QLabel(this);
        m_music = new QLineEdit(Q(w.Options().musicFolder), this);
        m_playlists = new QLineEdit(Q(w.Options().playlistFolder), this);
        grid->addWidget(m_musicLabel, 0, 0);
        grid->addWidget(m_music, 0, 1);
        grid->addWidget(m_playlistLabel, 1, 0);
        grid->addWidget(m_playlists, 1, 1);
        layout->addLayout(grid);
        layout->addStretch();
        QObject::connect(m_browse, &QPushButton::clicked, this, [this] {
            const QString chosen = QFileDialog::getExistingDirectory(this, Q(Text(txt::DestinationTitle)),
                                                                     m_folder->text());
            if (!chosen.isEmpty())
                m_folder->setText(chosen);
        });
        QObject::connect(m_folder, &QLineEdit::textChanged, this, [this] { UpdateSpace(); });
        QObject::connect(m_video, &QCheckBox::toggled, this, [this] { UpdateSpace(); });
    }
    void Retranslate() override {
        setTitle(Q(Text(txt::DestinationTitle)));
        m_text->setText(Q(Text(txt::DestinationText)));
        m_browse->setText(Q(Text(txt::Browse)));
        m_video->setText(Q(Text(txt::VideoOption)));
        m_musicLabel->setText(Q(Text(txt::MusicFolderLabel)));
        m_playlistLabel->setText(Q(Text(txt::PlaylistFolderLabel)));
        UpdateSpace();
    }
    int nextId() const override { return CSetupWizard::kGroupPage; }
    bool validatePage() override {
        CSetup& setup = m_wizard.Setup();
        const std::string folder = S(m_folder->text().trimmed());
        const CSetup::FolderCheck check = setup.PrepareDestination(folder);
        if (check != CSetup::FolderCheck::Usable) {
            const int id = check == CSetup::FolderCheck::NotCreated ? txt::FolderNotCreated : txt::FolderNotWritable;
            Ask(setup.Texts().Format(id, {folder}), PromptButtons::Ok, PromptIcon::Warning);
            return false;
        }
        const auto free = CSetup::FreeBytes(folder);
        if (free && *free < setup.RequiredBytes(m_video->isChecked())) {
            Ask(setup.Texts().Get(txt::Error4), PromptButtons::Ok, PromptIcon::Warning);
            return false;
        }
        InstallOptions& o = m_wizard.Options();
        o.destination = folder;
        o.video = m_video->isChecked();
        o.musicFolder = S(m_music->text().trimmed());
        o.playlistFolder = S(m_playlists->text().trimmed());
        return true;
    }

private:
    void UpdateSpace() {
        const CSetup& setup = m_wizard.Setup();
        const std::uint64_t required = setup.RequiredBytes(m_video->isChecked());
        m_required->setText(Q(setup.Texts().Format(txt::SpaceRequired, {FormatThousands((required + 999) / 1000)})));
        const auto free = CSetup::FreeBytes(S(m_folder->text().trimmed()));
        m_available->setText(Q(setup.Texts().Format(txt::SpaceAvailable, {free ? FormatThousands(*free / 1000) : "?"})));
    }

    QLabel* m_text;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QCheckBox* m_video;
    QLabel* m_required;
    QLabel* m_available;
    QLabel* m_musicLabel;
    QLabel* m_playlistLabel;
    QLineEdit* m_music;
    QLineEdit* m_playlists;
};

class GroupPage final : public SetupPage {
public:
    explicit GroupPage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("GroupPage");
        auto* layout = new QVBoxLayout(this);
        m_text = WrappedLabel(this);
        layout->addWidget(m_text);
        m_group = new QComboBox(this);
        m_group->setObjectName("group");
        m_group->setEditable(true);
        for (const std::string& g : w.Setup().ExistingGroups())
            m_group->addItem(Q(g));
        layout->addWidget(m_group);
        m_desktop = new QCheckBox(this);
        m_desktop->setObjectName("desktop");
        m_desktop->setChecked(w.Options().desktopShortcut);
        layout->addWidget(m_desktop);
        layout->addStretch();
        setCommitPage(true); // after it the files are copied: no way back
    }
    void Retranslate() override {
        setTitle(Q(Text(txt::GroupTitle)));
        m_text->setText(Q(Text(txt::GroupText)));
        m_desktop->setText(Q(Text(txt::DesktopShortcutOption)));
        if (m_group->currentText().isEmpty() || !m_edited)
            m_group->setEditText(Q(m_wizard.Options().group.empty() ? m_wizard.Setup().DefaultGroup()
                                                                    : m_wizard.Options().group));
        setButtonText(QWizard::CommitButton, Q(Text(txt::ButtonNext)));
    }
    void initializePage() override { Retranslate(); }
    int nextId() const override { return CSetupWizard::kProgressPage; }
    bool validatePage() override {
        const std::string group = S(m_group->currentText().trimmed());
        if (!CSetup::IsUsableGroupName(group)) {
            Ask(m_wizard.Setup().Texts().Format(txt::FolderNotCreated, {group}), PromptButtons::Ok,
                PromptIcon::Warning);
            return false;
        }
        m_edited = true;
        m_wizard.Options().group = group;
        m_wizard.Options().desktopShortcut = m_desktop->isChecked();
        return true;
    }

private:
    QLabel* m_text;
    QComboBox* m_group;
    QCheckBox* m_desktop;
    bool m_edited = false;
};

class ProgressPage final : public SetupPage, public InstallProgress {
public:
    explicit ProgressPage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("ProgressPage");
        auto* layout = new QVBoxLayout(this);
        m_step = WrappedLabel(this);
        m_step->setObjectName("step");
        m_bar = new QProgressBar(this);
        m_bar->setRange(0, 100);
        layout->addStretch();
        layout->addWidget(m_step);
        layout->addWidget(m_bar);
        layout->addStretch();
    }
    void Retranslate() override { setTitle(Q(Text(txt::InstallingTitle))); }
    void initializePage() override {
        Retranslate();
        m_done = false;
        QTimer::singleShot(0, this, [this] { Run(); });
    }
    bool isComplete() const override { return m_done; }
    int nextId() const override { return CSetupWizard::kAspiPage; }
    void Progress(int percent, const std::string& text) override {
        m_bar->setValue(percent);
        m_step->setText(Q(text));
    }

private:
    void Run() {
        m_wizard.SetInstalling(true);
        const int result = m_wizard.Setup().Install(m_wizard.Options(), this);
        m_wizard.SetInstalling(false);
        if (result != 0) {
            // The fatal message was shown; the installer ends with its number.
            m_wizard.EndWith(result);
            return;
        }
        m_wizard.SetExitCode(0);
        m_done = true;
        emit completeChanged();
        m_wizard.next();
    }

    QLabel* m_step;
    QProgressBar* m_bar;
    bool m_done = false;
};

class AspiPage final : public SetupPage {
public:
    explicit AspiPage(CSetupWizard& w) : SetupPage(w) {
        setObjectName("AspiPage");
        auto* layout = new QVBoxLayout(this);
        m_text = WrappedLabel(this);
        m_text->setObjectName("aspi");
        layout->addWidget(m_text);
        layout->addStretch();
        setFinalPage(true);
    }
    void Retranslate() override {
        setTitle(Q(Text(txt::AspiTitle)));
        m_text->setText(Q(Text(m_present ? txt::AspiPresent : txt::AspiMissing)));
    }
    void initializePage() override {
        m_present = m_wizard.Setup().AspiPresent(m_wizard.Options().destination);
        Retranslate();
    }
    int nextId() const override { return -1; }
    bool validatePage() override {
        // Still absent at the end: offer the distribution's own setup of it.
        if (m_present || Ask(Text(txt::AspiRunSetup), PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
            return true;
        std::string output;
        const int failure = m_wizard.Setup().RunAspiSetup(&output);
        if (failure != 0)
            Ask(Text(failure), PromptButtons::Ok, PromptIcon::Warning);
        else if (!output.empty())
            Ask(output, PromptButtons::Ok, PromptIcon::Information);
        return true;
    }

private:
    QLabel* m_text;
    bool m_present = false;
};

} // namespace

CSetupWizard::CSetupWizard(CSetup& setup, QWidget* parent) : QWizard(parent), m_setup(setup) {
    setObjectName("CSetupWizard");
    m_options.destination = setup.DefaultDestination();
    m_options.group = "";
    m_options.musicFolder = setup.DefaultMusicFolder();
    m_options.playlistFolder = setup.DefaultPlaylistFolder();
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::NoBackButtonOnLastPage, true);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setPage(kInstalledPage, new InstalledPage(*this));
    setPage(kWelcomePage, new WelcomePage(*this));
    setPage(kDestinationPage, new DestinationPage(*this));
    setPage(kGroupPage, new GroupPage(*this));
    setPage(kProgressPage, new ProgressPage(*this));
    setPage(kAspiPage, new AspiPage(*this));
    setStartId(setup.IsInstalled() ? kInstalledPage : kWelcomePage);
    resize(600, 420);
    Retranslate();
}

void CSetupWizard::Retranslate() {
    const SetupTexts& t = m_setup.Texts();
    // The language's own font, bold when its name carries the maker's.
    if (m_fontId >= 0)
        QFontDatabase::removeApplicationFont(m_fontId);
    m_fontId = -1;
    const std::string fontPath = m_setup.LanguageFontPath();
    if (!fontPath.empty())
        m_fontId = QFontDatabase::addApplicationFont(Q(fontPath));
    QFont f = QApplication::font();
    const QString face = Q(m_setup.Language().typeface);
    if (!face.isEmpty() && QFontDatabase::families().contains(face, Qt::CaseInsensitive))
        f.setFamily(face);
    f.setBold(m_setup.BoldDialogFont());
    setFont(f);
    // Right-to-left languages turn the dialogs and the message boxes round.
    const Qt::LayoutDirection direction = m_setup.Language().RightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    QApplication::setLayoutDirection(direction);
    setLayoutDirection(direction);

    setWindowTitle(Q(t.Get(txt::SetupCaption)));
    setButtonText(NextButton, Q(t.Get(txt::ButtonNext)));
    setButtonText(BackButton, Q(t.Get(txt::ButtonBack)));
    setButtonText(CancelButton, Q(t.Get(txt::ButtonCancel)));
    setButtonText(FinishButton, Q(t.Get(txt::ButtonFinish)));
    setButtonText(CommitButton, Q(t.Get(txt::ButtonNext)));
    for (int id : pageIds())
        if (auto* p = dynamic_cast<SetupPage*>(page(id)))
            p->Retranslate();
}

void CSetupWizard::reject() {
    QtPrompt prompt;
    const bool stop = prompt.Ask(m_setup.Texts().Get(txt::ConfirmCancel), m_setup.Texts().Get(txt::SetupCaption),
                                 PromptButtons::YesNo, PromptIcon::Question) == PromptAnswer::Yes;
    if (!stop)
        return;
    if (m_installing) {
        m_stopRequested = true; // the copy stops at its next block
        return;
    }
    if (currentId() == kAspiPage)
        m_exitCode = 0; // installed already; only the CD access check is left
    QWizard::reject();
}

} // namespace lyb
