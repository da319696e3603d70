#include "app/associations.h"

#include "platform/atomic_file.h"
#include "platform/desktop_entry.h"
#include "platform/registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace lyb {

namespace {

constexpr const char* kCdCommandKey = "AudioCD\\shell\\play\\command";
constexpr const char* kCdMime = "x-content/audio-cdda";
constexpr const char* kGroup = "[Default Applications]";

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Replaces the file through a temporary copy, so a crash never leaves half of it.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return lyb::ReplaceFileAtomically(path, text);
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

} // namespace

XdgFolders XdgFolders::FromEnvironment() {
    XdgFolders f;
    const char* home = std::getenv("HOME");
    const std::string h = home && *home ? home : "/tmp";
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    f.dataHome = data && *data ? data : h + "/.local/share";
    f.configHome = config && *config ? config : h + "/.config";
    return f;
}

std::string MimeAppsDefault(const std::string& text, const std::string& mime) {
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        const std::string t = Trim(line);
        if (!t.empty() && t[0] == '[') {
            inGroup = t == kGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const size_t eq = t.find('=');
        if (eq != std::string::npos && Trim(t.substr(0, eq)) == mime)
            return Trim(t.substr(eq + 1));
    }
    return {};
}

std::string MimeAppsSetDefault(const std::string& text, const std::string& mime, const std::string& desktop) {
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
    }
    int groupStart = -1;
    int groupEnd = static_cast<int>(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string t = Trim(lines[i]);
        if (!t.empty() && t[0] == '[') {
            if (groupStart >= 0 && groupEnd == static_cast<int>(lines.size()))
                groupEnd = static_cast<int>(i);
            if (t == kGroup && groupStart < 0)
                groupStart = static_cast<int>(i);
        }
    }
    const std::string entry = mime + "=" + desktop;
    if (groupStart < 0) {
        if (!desktop.empty()) {
            if (!lines.empty() && !Trim(lines.back()).empty())
                lines.push_back("");
            lines.push_back(kGroup);
            lines.push_back(entry);
        }
    } else {
        bool done = false;
        for (int i = groupStart + 1; i < groupEnd; ++i) {
            const std::string t = Trim(lines[static_cast<size_t>(i)]);
            const size_t eq = t.find('=');
            if (eq != std::string::npos && Trim(t.substr(0, eq)) == mime) {
                if (desktop.empty())
                    lines.erase(lines.begin() + i);
                else
                    lines[static_cast<size_t>(i)] = entry;
                done = true;
                break;
            }
        }
        if (!done && !desktop.empty()) {
            int at = groupEnd;
            while (at > groupStart + 1 && Trim(lines[static_cast<size_t>(at - 1)]).empty())
                --at; // keep the blank line before the next group
            lines.insert(lines.begin() + at, entry);
        }
    }
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

Associations::Associations(const Registry& registry, std::string installFolder, XdgFolders xdg)
    : m_registry(registry), m_installFolder(std::move(installFolder)), m_xdg(std::move(xdg)) {}

std::string Associations::ProgramPath() const { return m_installFolder + "/lyb30"; }

std::string Associations::Command() const { return ProgramPath() + " /play %1"; }

std::string Associations::MimeTypeOf(const std::string& ext) {
    if (EqualNoCase(ext, ".mp3")) return "audio/mpeg";
    if (EqualNoCase(ext, ".aac")) return "audio/aac";
    if (EqualNoCase(ext, ".m3u")) return "audio/x-mpegurl";
    if (EqualNoCase(ext, ".cda")) return "application/x-cda";
    if (EqualNoCase(ext, ".lse")) return "audio/x-lse";
    if (EqualNoCase(ext, "AudioCD")) return kCdMime;
    return {};
}

bool Associations::IsAssociated(const std::string& ext) const {
    RegKey key;
    std::string v;
    return m_registry.OpenKey(Hive::ClassesRoot, ext, RegAccess::Read, key) == RegStatus::Ok &&
           key.QueryString("", v) == RegStatus::Ok && v == kClassName;
}

void Associations::Associate(const std::string& ext) {
    RegKey key;
    if (m_registry.OpenKey(Hive::ClassesRoot, ext, RegAccess::Full, key) != RegStatus::Ok) {
        if (m_registry.CreateKey(Hive::ClassesRoot, ext, RegAccess::Write, key) != RegStatus::Ok)
            return;
    } else {
        std::string previous;
        // Backing up our own class would lose the real previous one.
        if (key.QueryString("", previous) == RegStatus::Ok && previous != kClassName)
            key.SetString(kBackupName, previous);
    }
    key.SetString("", kClassName);
    DesktopAssociate(MimeTypeOf(ext));
}

void Associations::Unassociate(const std::string& ext) {
    RegKey key;
    if (m_registry.OpenKey(Hive::ClassesRoot, ext, RegAccess::Full, key) != RegStatus::Ok)
        return;
    std::string back;
    if (key.QueryString(kBackupName, back) != RegStatus::Ok || back == kClassName)
        back = " ";
    key.SetString("", back);
    DesktopUnassociate(MimeTypeOf(ext));
}

bool Associations::IsAudioCDAssociated() const {
    RegKey key;
    std::string v;
    return m_registry.OpenKey(Hive::ClassesRoot, kCdCommandKey, RegAccess::Read, key) == RegStatus::Ok &&
           key.QueryString("", v) == RegStatus::Ok && EqualNoCase(v, Command());
}

void Associations::AssociateAudioCD(bool createKey) {
    RegKey key;
    const RegStatus opened = createKey ? m_registry.CreateKey(Hive::ClassesRoot, kCdCommandKey, RegAccess::Full, key)
                                       : m_registry.OpenKey(Hive::ClassesRoot, kCdCommandKey, RegAccess::Full, key);
    if (opened != RegStatus::Ok)
        return;
    std::string previous;
    if (key.QueryString("", previous) == RegStatus::Ok && !EqualNoCase(previous, Command()))
        key.SetString(kBackupName, previous);
    key.SetString("", Command());
    DesktopAssociate(kCdMime);
}

void Associations::UnassociateAudioCD() {
    RegKey key;
    if (m_registry.OpenKey(Hive::ClassesRoot, kCdCommandKey, RegAccess::Full, key) != RegStatus::Ok)
        return;
    std::string back;
    if (key.QueryString(kBackupName, back) == RegStatus::Ok)
        key.SetString("", back);
    DesktopUnassociate(kCdMime);
}

void Associations::RegisterFileClass() {
    RegKey key;
    if (m_registry.CreateKey(Hive::ClassesRoot, kClassName, RegAccess::Full, key) != RegStatus::Ok)
        return;
    RegKey icon;
    if (m_registry.CreateKey(Hive::ClassesRoot, std::string(kClassName) + "\\DefaultIcon", RegAccess::Full, icon) ==
        RegStatus::Ok)
        icon.SetString("", ProgramPath() + ",4");
    RegKey open;
    if (m_registry.CreateKey(Hive::ClassesRoot, std::string(kClassName) + "\\shell\\open\\command", RegAccess::Full,
                             open) == RegStatus::Ok)
        open.SetString("", "\"" + ProgramPath() + "\" \"%1\"");
}

void Associations::RestoreBackup(const std::string& ext) {
    RegKey key;
    std::string back;
    if (m_registry.OpenKey(Hive::ClassesRoot, ext, RegAccess::Full, key) == RegStatus::Ok &&
        key.QueryString(kBackupName, back) == RegStatus::Ok)
        key.SetString("", back);
    DesktopUnassociate(MimeTypeOf(ext));
}

void Associations::RestoreAudioCDBackup() {
    RegKey key;
    std::string back;
    if (m_registry.OpenKey(Hive::ClassesRoot, kCdCommandKey, RegAccess::Full, key) == RegStatus::Ok &&
        key.QueryString(kBackupName, back) == RegStatus::Ok)
        key.SetString("", back);
    DesktopUnassociate(kCdMime);
}

std::string Associations::DesktopEntryPath() const {
    return m_xdg.dataHome + "/applications/" + kDesktopFile;
}

std::string Associations::DesktopEntryText() const {
    // The install folder may hold blanks and other characters the Exec key
    // reserves: the program is quoted, and the program runs in its folder.
    DesktopEntry e;
    e.name = "Lyrabox 3.0";
    e.comment = "Music manager for the phone's memory card";
    e.command = {ProgramPath(), "/play"};
    e.fieldCodes = "%f";
    e.path = m_installFolder;
    e.categories = "AudioVideo;Audio;Player;";
    e.mimeTypes = "audio/mpeg;audio/aac;audio/x-mpegurl;application/x-cda;audio/x-lse;x-content/audio-cdda;";
    return FormatDesktopEntry(e);
}

void Associations::WriteDesktopEntry() const {
    const std::string path = DesktopEntryPath();
    const std::string text = DesktopEntryText();
    if (ReadFile(path) != text)
        WriteFileAtomically(path, text);
}

void Associations::RemoveDesktopEntry() {
    const std::string path = DesktopEntryPath();
    const std::string text = ReadFile(path);
    std::error_code ec;
    if (!text.empty() && DesktopEntryValue(text, "Path") == m_installFolder)
        std::filesystem::remove(path, ec);
}

// The desktop default before ours is kept in the classes root beside the
// registry's own backup, so unassociating restores it.
void Associations::DesktopAssociate(const std::string& mime) {
    if (mime.empty() || m_xdg.configHome.empty())
        return;
    WriteDesktopEntry();
    const std::string listPath = m_xdg.configHome + "/mimeapps.list";
    const std::string text = ReadFile(listPath);
    const std::string previous = MimeAppsDefault(text, mime);
    if (previous != kDesktopFile) {
        RegKey key;
        if (m_registry.CreateKey(Hive::ClassesRoot, "LYB.File\\DesktopBackup", RegAccess::Full, key) ==
            RegStatus::Ok)
            key.SetString(mime, previous);
    }
    WriteFileAtomically(listPath, MimeAppsSetDefault(text, mime, kDesktopFile));
}

void Associations::DesktopUnassociate(const std::string& mime) {
    if (mime.empty() || m_xdg.configHome.empty())
        return;
    const std::string listPath = m_xdg.configHome + "/mimeapps.list";
    const std::string text = ReadFile(listPath);
    if (MimeAppsDefault(text, mime) != kDesktopFile)
        return; // the user chose another program meanwhile: leave it
    std::string previous;
    RegKey key;
    if (m_registry.OpenKey(Hive::ClassesRoot, "LYB.File\\DesktopBackup", RegAccess::Read, key) == RegStatus::Ok)
        key.QueryString(mime, previous);
    WriteFileAtomically(listPath, MimeAppsSetDefault(text, mime, previous));
}

} // namespace lyb
