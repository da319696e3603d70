// File associations: the classes-root keys of the registry (".aac", ".mp3",
// ".m3u", ".cda" -> "LYB.File", the previous class kept under "LYB30_Back";
// the AudioCD play command) and, beside them, the desktop's own defaults:
// a "lyb30.desktop" entry and the [Default Applications] of mimeapps.list.
//
// The registry keys decide what is associated; the desktop entries follow
// them. Registry writes are not checked (a key that cannot be opened leaves
// that association as it is).
#pragma once

#include <string>

namespace lyb {

class Registry;

/// Where the desktop's files live (tests give temporary folders).
struct XdgFolders {
    std::string dataHome;   ///< applications/lyb30.desktop goes below
    std::string configHome; ///< mimeapps.list lies here
    /// From XDG_DATA_HOME / XDG_CONFIG_HOME, else ~/.local/share and ~/.config.
    static XdgFolders FromEnvironment();
};

class Associations {
public:
    static constexpr const char* kClassName = "LYB.File";
    static constexpr const char* kBackupName = "LYB30_Back";
    static constexpr const char* kDesktopFile = "lyb30.desktop";

    /// `installFolder` is the "pth" setting; the program is "<pth>/lyb30".
    Associations(const Registry& registry, std::string installFolder, XdgFolders xdg);

    /// installFolder + "/lyb30" + " /play %1".
    std::string Command() const;

    bool IsAssociated(const std::string& ext) const;
    void Associate(const std::string& ext);
    void Unassociate(const std::string& ext);
    bool IsAudioCDAssociated() const;
    /// `createKey`: make the command key when it is missing (the installer
    /// does; the Preferences dialog changes only a key that exists).
    void AssociateAudioCD(bool createKey = false);
    void UnassociateAudioCD();

    /// The installer's file class: "LYB.File" with DefaultIcon (program
    /// path + ",4") and shell\open\command ("program" "%1").
    void RegisterFileClass();
    /// The uninstaller's restore: the backup value, when there is one,
    /// becomes the default again (the backup and the class stay); the
    /// desktop's default goes back to what it was before ours.
    void RestoreBackup(const std::string& ext);
    void RestoreAudioCDBackup();
    /// Removes the program's own desktop entry when it is the one this
    /// installation wrote (its Exec names this folder's program).
    void RemoveDesktopEntry();

    /// The program: installFolder + "/lyb30".
    std::string ProgramPath() const;

    /// The MIME type the desktop uses for an extension (or "x-content/audio-cdda"
    /// for the AudioCD command); empty when unknown.
    static std::string MimeTypeOf(const std::string& ext);

private:
    void DesktopAssociate(const std::string& mime);
    void DesktopUnassociate(const std::string& mime);
    void WriteDesktopEntry() const;
    std::string DesktopEntryPath() const;
    std::string DesktopEntryText() const;

    const Registry& m_registry;
    std::string m_installFolder;
    XdgFolders m_xdg;
};

/// mimeapps.list editing: the value of `mime` in [Default Applications]
/// ("" when absent), and setting or removing it while every other line stays.
std::string MimeAppsDefault(const std::string& text, const std::string& mime);
std::string MimeAppsSetDefault(const std::string& text, const std::string& mime, const std::string& desktop);

} // namespace lyb
