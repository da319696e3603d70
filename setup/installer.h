// The installer's logic: the start rules, the languages and the file list
// of a distribution folder, the checks of the wizard's pages, and the
// installation itself (files, log, "Setup.cfg", the offline page, the
// registry values, the associations, the uninstall entry, the shortcuts and
// the interface font), then the check of the CD access component.
//
// The Qt wizard and the command line drive one CSetup; questions and
// messages go through Prompt, progress through InstallProgress.
#pragma once

#include "app/associations.h"
#include "setup/language_inf.h"
#include "setup/setup_ctl.h"
#include "uninstall/install_log.h"
#include "uninstall/setup_texts.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lyb {

class InstanceGuard;
class Prompt;
class Registry;

/// The fatal errors; each ends the installer with its number.
enum SetupError : int {
    kSetupNoModulePath = 1,
    kSetupNoSpace = 4,
    kSetupCopyFailed = 6,
    kSetupFolderFailed = 7,
    kSetupConfigFailed = 8,
    kSetupRegistryFailed = 9,
    kSetupLogFailed = 99,
};

/// Exit codes of `setup` besides 0 and the error numbers.
inline constexpr int kSetupExitBadDistribution = 2; ///< no usable language.inf or setup.ctl
inline constexpr int kSetupExitCancelled = 3;       ///< the user left the wizard
inline constexpr int kSetupExitBadOption = 5;       ///< a command-line option cannot be used
inline constexpr int kSetupExitRunning = 10;        ///< another setup runs (it exits at once)

/// Bytes the video option adds.
inline constexpr std::uint64_t kVideoBytes = 115647500;

inline constexpr const char* kSetupMutexName = "ZKSetupMutex";
inline constexpr const char* kOtherMutexName = "TvhqMutex";

struct SetupEnvironment {
    std::shared_ptr<Registry> registry;
    Prompt* prompt = nullptr;
    std::string sourceFolder;  ///< the distribution: the folder of `setup`
    std::string runtimeFolder; ///< where the two lock files lie
    XdgFolders xdg;
    std::string home;
    /// Called between copied blocks so a window stays responsive; false
    /// when the user asked to stop.
    std::function<bool()> pump;
};

struct InstallOptions {
    std::string destination;
    std::string group;
    std::string musicFolder;
    std::string playlistFolder;
    bool video = false;
    bool desktopShortcut = true;
    /// Associate the file types; unset: ask the user.
    std::optional<bool> associate;
};

class InstallProgress {
public:
    virtual ~InstallProgress() = default;
    /// `percent` 0-100 and its text "%3d%% %s".
    virtual void Progress(int percent, const std::string& text) = 0;
};

class CSetup {
public:
    enum class StartResult { Ready, SetupRunning, OtherProgramRunning, NoLanguages, NoFileList };
    enum class FolderCheck { Usable, NotCreated, NotWritable };

    explicit CSetup(SetupEnvironment env);
    ~CSetup();
    CSetup(const CSetup&) = delete;
    CSetup& operator=(const CSetup&) = delete;

    /// The start: the two locks, language.inf (the default language, or the
    /// one "-l" names), setup.ctl. Anything but Ready ends the installer.
    StartResult Start(const std::vector<std::string>& args);
    /// Why Start refused the distribution (for the message).
    const std::string& StartError() const { return m_startError; }
    /// The language name given with "-l", when one was given.
    const std::optional<std::string>& RequestedLanguage() const { return m_requestedLanguage; }

    const LanguageList& Languages() const { return m_languages; }
    int LanguageIndex() const { return m_language; }
    const SetupLanguage& Language() const;
    /// Chooses a language and loads its installer texts.
    void SelectLanguage(int index);
    const SetupTexts& Texts() const { return m_texts; }
    /// The language's font file in the distribution ("" when it has none).
    std::string LanguageFontPath() const;
    /// Dialog fonts are bold when the typeface carries the maker's name.
    bool BoldDialogFont() const;

    /// True when the product is installed already ("pth" and "chs" set and
    /// the uninstaller present in "pth"); `folder` gets "pth".
    bool IsInstalled(std::string* folder = nullptr) const;
    /// Releases the lock and starts the installed program in its folder.
    bool StartInstalledProgram();

    std::string DefaultDestination() const;
    std::string DefaultGroup() const;
    std::string DefaultMusicFolder() const;
    std::string DefaultPlaylistFolder() const;
    /// Program groups that exist already (folders of the menu).
    std::vector<std::string> ExistingGroups() const;
    /// True when the distribution carries the two videos.
    bool HasVideos() const;
    /// The bytes the installation needs.
    std::uint64_t RequiredBytes(bool video) const;
    /// Free bytes of the file system that holds `path` (or its nearest
    /// existing parent); nullopt when unknown.
    static std::optional<std::uint64_t> FreeBytes(const std::string& path);
    /// The destination page's test: creates a missing folder, then needs
    /// the test file "check.fi" to be created and deleted in it.
    FolderCheck PrepareDestination(const std::string& folder);
    /// A group name is one folder name (no '/', not "." or "..").
    static bool IsUsableGroupName(const std::string& name);

    /// The installation (the progress page). 0, or the fatal error's number
    /// after its message was shown. Files already installed stay, and the
    /// log written so far lets the uninstaller remove them.
    int Install(const InstallOptions& options, InstallProgress* progress);

    /// The CD access component counts as present when it loads from the
    /// program's folder, exports both query functions and the support
    /// query succeeds.
    bool AspiPresent(const std::string& programFolder) const;
    /// Runs the distribution's CD access setup ("ASPI32/aspiinst", in that
    /// folder). 0 when it ran (its report in `output`), else the number of
    /// the text telling why it could not be started.
    int RunAspiSetup(std::string* output);

    /// The lines of "setup.log" (what was done, what was skipped).
    const std::vector<std::string>& Report() const { return m_report; }
    const SetupCtl& FileList() const { return m_fileList; }
    void ReleaseLock();

private:
    int Fatal(int error);
    int CopyFailedMessage(int error, const std::string& source, const std::string& target, const std::string& why);
    void Note(const std::string& line);
    void SetProgress(int percent, const std::string& text);
    bool Pump();
    /// Copies (unpacking a packed file) `source` to `target`. 0 done, -1
    /// skipped (access denied), else a fatal error already reported.
    int CopyOne(const std::string& source, const std::string& target, std::uint64_t& done, std::uint64_t total,
                const std::string& shownAs = {});
    int CopyLanguageFiles();
    int RunFileList(std::uint64_t total);
    int InstallFont();
    int WriteOfflinePage();
    int WriteSetupCfg();
    int WriteRegistry();
    void Associate();
    void WriteShortcuts();
    bool EnsureFolder(const std::string& path, bool log);
    std::uint64_t StoredSize(const std::string& path) const;

    SetupEnvironment m_env;
    std::unique_ptr<InstanceGuard> m_lock;
    LanguageList m_languages;
    int m_language = -1;
    SetupTexts m_texts;
    SetupCtl m_fileList;
    std::string m_startError;
    std::optional<std::string> m_requestedLanguage;

    // The destination and the folders made for it (logged first).
    std::string m_preparedFolder;
    std::vector<std::string> m_createdForDestination;

    // During Install.
    InstallOptions m_options;
    InstallProgress* m_progress = nullptr;
    InstallLogWriter m_log;
    std::vector<std::string> m_report;
    int m_lastPercent = 0;
    bool m_stopped = false;
};

/// A number with thousands separators ("12,345,678").
std::string FormatThousands(std::uint64_t value);
/// The text of "Setup.cfg" (lines ended by CR LF).
std::string SetupCfgText(const std::string& sourceFolder, const std::string& destination);
/// The offline page for a web address.
std::string OfflinePageText(const std::string& url);

} // namespace lyb
