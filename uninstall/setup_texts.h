// The texts of the installer and the uninstaller, looked up by number in the
// chosen language's string file, with our own English text for a number the
// file does not have (the role the string resources of the original front-end
// library played).
//
// String files are untrusted input: formats are filled by FillText, which
// only replaces %s and %d in order and never hands the text to printf.
#pragma once

#include "app/localize.h"

#include <string>
#include <string_view>
#include <vector>

namespace lyb {

namespace txt {
// Numbers fixed by the uninstaller's string file.
inline constexpr int UninstallShortcut = 169;
inline constexpr int ReadMeShortcut = 170;
inline constexpr int QuestionCaption = 183;
inline constexpr int CompletionCaption = 186;
inline constexpr int ErrorCaption = 187;
inline constexpr int ErrorFrame = 188;
inline constexpr int SettingsMissing = 189;
inline constexpr int LogMissing = 190;
inline constexpr int StepFont = 191;
inline constexpr int StepFiles = 192;
inline constexpr int StepFolders = 193;
inline constexpr int StepSettings = 194;
inline constexpr int StepAssociations = 195;
inline constexpr int StepShortcuts = 196;
inline constexpr int ConfirmRemoval = 197;
inline constexpr int RemovalDone = 198;
inline constexpr int DeleteSavedGames = 199;
inline constexpr int ProgramShortcut = 208; ///< also the product title
inline constexpr int ProgramRunning = 211;
inline constexpr int HelpShortcut = 257;

// The installer's own numbers (its string file uses the shortcut numbers
// above as well, so both programs name the shortcuts alike).
inline constexpr int SetupCaption = 10;
inline constexpr int Welcome = 11;
inline constexpr int LanguageLabel = 12;
inline constexpr int AlreadyInstalled = 13;
inline constexpr int DestinationTitle = 14;
inline constexpr int DestinationText = 15;
inline constexpr int Browse = 16;
inline constexpr int VideoOption = 17;
inline constexpr int SpaceRequired = 18;
inline constexpr int SpaceAvailable = 19;
inline constexpr int FolderNotWritable = 20;
inline constexpr int GroupTitle = 21;
inline constexpr int GroupText = 22;
inline constexpr int DesktopShortcutOption = 23;
inline constexpr int InstallingTitle = 24;
inline constexpr int CopyingFile = 25;
inline constexpr int AskAssociate = 26;
inline constexpr int ConfirmCancel = 27;
inline constexpr int FatalFrame = 28;
inline constexpr int CopyFailed = 29;
inline constexpr int Error1 = 30;
inline constexpr int Error4 = 31;
inline constexpr int Error6 = 32;
inline constexpr int Error7 = 33;
inline constexpr int Error8 = 34;
inline constexpr int Error9 = 35;
inline constexpr int Error99 = 36;
inline constexpr int AspiTitle = 37;
inline constexpr int AspiMissing = 38;
inline constexpr int AspiRunSetup = 39;
inline constexpr int AspiNoMemory = 40;
inline constexpr int AspiNotFound = 41;
inline constexpr int Done = 42;
inline constexpr int MusicFolderLabel = 43;
inline constexpr int PlaylistFolderLabel = 44;
inline constexpr int SetupListMissing = 45;
inline constexpr int LanguageListMissing = 46;
inline constexpr int ButtonNext = 47;
inline constexpr int ButtonBack = 48;
inline constexpr int ButtonCancel = 49;
inline constexpr int ButtonFinish = 50;
inline constexpr int WelcomeTitle = 51;
inline constexpr int AlreadyInstalledTitle = 52;
inline constexpr int AspiPresent = 53;
inline constexpr int FolderNotCreated = 54;
} // namespace txt

/// Our English text of a number; empty for a number we do not use.
std::string_view SetupResText(int id);

/// Replaces each %s and %d of `pattern`, in order, by the next of `args`
/// ("%%" gives "%"); any other % stays as written, as does a placeholder
/// without an argument left.
std::string FillText(std::string_view pattern, const std::vector<std::string>& args);

class SetupTexts {
public:
    /// Code page the file's texts are converted to (the language's).
    void SetCodePage(unsigned codePage) { m_table.SetCodePage(codePage); }
    /// Reads a string file; false (and no texts) when it cannot be opened.
    bool LoadFile(const std::string& path);
    void LoadBytes(std::string_view bytes) { m_table.LoadStringFile(bytes); }
    void Clear() { m_table.Clear(); }

    /// The file's text, else our English one.
    std::string Get(int id) const;
    std::string Format(int id, const std::vector<std::string>& args) const { return FillText(Get(id), args); }

private:
    CLocalize m_table;
};

} // namespace lyb
