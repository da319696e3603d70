// The uninstaller's logic: the start checks, the removal of what the
// installer put on the machine, and the removal of its own file.
//
// Questions and messages go through Prompt, progress through
// UninstallProgress; the Qt front end and the command line supply both.
//
// What it never does: delete a path outside the installation folder that
// the log does not name, follow a log entry with a "." or ".." part, follow
// a symbolic link into another folder, or remove a folder that is not empty.
#pragma once

#include "app/associations.h"
#include "uninstall/install_log.h"
#include "uninstall/setup_texts.h"

#include <memory>
#include <string>
#include <vector>

namespace lyb {

class Prompt;
class Registry;

/// Exit codes of `uninstall`.
enum UninstallExit : int {
    kUninstallDone = 0,
    kUninstallDeclined = 1,     ///< the user answered No to the confirmation
    kUninstallNoTexts = 2,      ///< no "uninstall.dat" beside the program
    kUninstallProgramRuns = 3,  ///< lyb30 runs (message 211)
    kUninstallNoSettings = 4,   ///< "pth" or "grp" missing (message 189)
    kUninstallNoLog = 5,        ///< the installation log missing or empty (message 190)
};

class UninstallProgress {
public:
    virtual ~UninstallProgress() = default;
    /// A step begins (`text`) or the bar moves (`percent`, 0-100).
    virtual void Step(const std::string& text, int percent) = 0;
};

struct UninstallEnvironment {
    std::shared_ptr<Registry> registry;
    Prompt* prompt = nullptr;
    UninstallProgress* progress = nullptr;
    std::string selfPath;           ///< the running uninstaller's file
    std::vector<std::string> args;  ///< the command line without the program name
    std::string runtimeFolder;      ///< where lyb30's instance lock lies
    XdgFolders xdg;
    std::string home;
    int registryWaitMs = 200;       ///< the pause before the settings keys go
    int temporaryCopyWaitMs = 5000; ///< the temporary copy's wait for the first uninstaller
};

class CUninstaller {
public:
    explicit CUninstaller(UninstallEnvironment env);

    /// The whole run; returns the exit code.
    int Run();

    /// True when the command line marks the temporary copy (it ends with "+").
    bool IsTemporaryCopy() const;

    // The parts of Run, in order (tests call them one by one).
    /// Start checks 2-5; kUninstallDone when the removal may be asked for.
    int CheckStart();
    /// Removal steps 1-10 (after the confirmation).
    void Remove();
    /// Deletes the uninstaller's own file and the then empty installation
    /// folder, and the parent folders the installer made.
    void RemoveSelf();

    const SetupTexts& Texts() const { return m_texts; }
    const std::string& InstallFolder() const { return m_installFolder; }
    const std::vector<LogEntry>& Log() const { return m_log; }

private:
    int RunTemporaryCopy();
    void ShowError(int textId);
    void Progress(int textId, int percent);
    void RemoveFont();
    void RemoveLoggedFiles();
    void RemoveFixedFiles();
    void RemoveSavedGames();
    void RemoveLoggedFolders();
    void RemoveParentFolders();
    void RemoveSettings();
    void RestoreAssociations();
    void RemoveShortcuts();
    bool LogNamesFolder(const std::string& path) const;
    bool MayRemoveShortcut(const std::string& path) const;

    UninstallEnvironment m_env;
    SetupTexts m_texts;
    std::string m_installFolder;
    std::string m_group;
    std::string m_fontFileName;
    std::vector<LogEntry> m_log;
};

/// The temporary copy's command line fields ("+handle+first uninstaller+folder+").
struct TemporaryCopyFields {
    long handle = -1;
    std::string firstUninstaller;
    std::string installFolder;
};
/// Splits the joined command line at "+"; false when it has too few fields.
bool ParseTemporaryCopyLine(const std::string& line, TemporaryCopyFields& out);

} // namespace lyb
