#include "uninstall/setup_texts.h"

#include <fstream>
#include <iterator>
#include <map>

namespace lyb {

namespace {

const std::map<int, std::string_view>& EnglishTexts() {
    static const std::map<int, std::string_view> texts = {
        {txt::UninstallShortcut, "Uninstall Lyrabox 3.0"},
        {txt::ReadMeShortcut, "Lyrabox 3.0 ReadMe"},
        {txt::QuestionCaption, "Lyrabox 3.0 Uninstall"},
        {txt::CompletionCaption, "Lyrabox 3.0 Uninstall"},
        {txt::ErrorCaption, "Lyrabox 3.0 Uninstall Error"},
        {txt::ErrorFrame, "Lyrabox 3.0 cannot be removed:\n\n%s"},
        {txt::SettingsMissing, "The installation settings of Lyrabox 3.0 were not found."},
        {txt::LogMissing, "The installation log of Lyrabox 3.0 is missing or empty."},
        {txt::StepFont, "Removing the interface font..."},
        {txt::StepFiles, "Removing the program files..."},
        {txt::StepFolders, "Removing the program folders..."},
        {txt::StepSettings, "Removing the settings..."},
        {txt::StepAssociations, "Giving the file types back to their programs..."},
        {txt::StepShortcuts, "Removing the shortcuts..."},
        {txt::ConfirmRemoval, "Do you want to remove Lyrabox 3.0 and all of its components from this computer?"},
        {txt::RemovalDone, "Lyrabox 3.0 was removed from this computer."},
        {txt::DeleteSavedGames, "The folder SAVE holds saved games.\nDo you want to delete them too?"},
        {txt::ProgramShortcut, "Lyrabox 3.0"},
        {txt::ProgramRunning, "Lyrabox 3.0 is running. Close it, then start the uninstallation again."},
        {txt::HelpShortcut, "Lyrabox 3.0 Help"},

        {txt::SetupCaption, "Lyrabox 3.0 Setup"},
        {txt::WelcomeTitle, "Welcome"},
        {txt::Welcome, "This program installs Lyrabox 3.0 on this computer.\n\nChoose the language of the program, "
                       "then press Next."},
        {txt::LanguageLabel, "Language:"},
        {txt::AlreadyInstalledTitle, "Lyrabox 3.0 is installed"},
        {txt::AlreadyInstalled, "Lyrabox 3.0 is installed in %s already.\n\nPress Finish to start it. To install it "
                                "again, remove it first."},
        {txt::DestinationTitle, "Destination folder"},
        {txt::DestinationText, "Setup installs Lyrabox 3.0 into the following folder. To use another folder, type "
                               "it or press Browse."},
        {txt::Browse, "Browse..."},
        {txt::VideoOption, "Install the videos"},
        {txt::SpaceRequired, "Space required: %s KB"},
        {txt::SpaceAvailable, "Space available: %s KB"},
        {txt::FolderNotWritable, "Setup cannot write into the folder\n%s\nPlease choose another folder."},
        {txt::FolderNotCreated, "Setup cannot create the folder\n%s\nPlease choose another folder."},
        {txt::MusicFolderLabel, "Music folder:"},
        {txt::PlaylistFolderLabel, "Playlist folder:"},
        {txt::GroupTitle, "Program group"},
        {txt::GroupText, "Setup puts the shortcuts of Lyrabox 3.0 into the following program group. Type a new "
                         "name or choose an existing group."},
        {txt::DesktopShortcutOption, "Put a shortcut on the desktop"},
        {txt::InstallingTitle, "Installing"},
        {txt::CopyingFile, "%s -> %s"},
        {txt::AskAssociate, "Do you want Lyrabox 3.0 to open your music files (AAC, MP3, LSE, M3U playlists and "
                            "audio CDs)?"},
        {txt::ConfirmCancel, "Do you really want to stop the installation?"},
        {txt::FatalFrame, "Setup error %d:\n%s"},
        {txt::CopyFailed, "Error %d while copying\n%s\nto\n%s"},
        {txt::Error1, "Setup cannot find its own folder."},
        {txt::Error4, "There is not enough free space on the disk for the installation."},
        {txt::Error6, "A file cannot be copied or a folder cannot be entered."},
        {txt::Error7, "A folder cannot be created."},
        {txt::Error8, "The file Setup.cfg cannot be written."},
        {txt::Error9, "A setting cannot be written."},
        {txt::Error99, "The installation log cannot be created."},
        {txt::AspiTitle, "CD access"},
        {txt::AspiMissing, "Lyrabox 3.0 reads audio CDs through its CD access component, which found no CD drive "
                           "it may use. Ripping and playing CDs work once a drive is connected and you may use "
                           "it (on most systems: membership of the group \"cdrom\")."},
        {txt::AspiPresent, "The CD access component is ready."},
        {txt::AspiRunSetup, "Do you want to run the CD access setup now?"},
        {txt::AspiNoMemory, "The CD access setup cannot be started: there is not enough memory."},
        {txt::AspiNotFound, "The CD access setup cannot be started: its file was not found."},
        {txt::Done, "Lyrabox 3.0 is installed."},
        {txt::SetupListMissing, "The file list setup.ctl is missing, empty or damaged."},
        {txt::LanguageListMissing, "The language list language.inf is missing or names no language."},
        {txt::ButtonNext, "&Next >"},
        {txt::ButtonBack, "< &Back"},
        {txt::ButtonCancel, "Cancel"},
        {txt::ButtonFinish, "&Finish"},
    };
    return texts;
}

} // namespace

std::string_view SetupResText(int id) {
    const auto& texts = EnglishTexts();
    const auto it = texts.find(id);
    return it == texts.end() ? std::string_view() : it->second;
}

std::string FillText(std::string_view pattern, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((c == 's' || c == 'd') && next < args.size()) {
                out += args[next++];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

bool SetupTexts::LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_table.Clear();
    m_table.LoadStringFile(bytes);
    return true;
}

std::string SetupTexts::Get(int id) const { return m_table.Get(id, SetupResText(id)); }

} // namespace lyb
