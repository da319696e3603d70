#include "uninstall/uninstaller.h"

#include "app/settings.h"
#include "platform/desktop_entry.h"
#include "platform/file_system.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace lyb {

namespace {

constexpr const char* kTypes[] = {".cda", ".m3u", ".mp3", ".lse", ".aac"};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return KindOf(path) != EntryKind::Missing; }

bool IsRealFolder(const std::string& path) { return KindOf(path) == EntryKind::Folder; }

// One name inside a folder: no separator, not "." or "..".
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Deletes one file (a link itself, never what it points to). Failures are
// passed over: the step goes on with the next.
void DeleteFile(const std::string& path) {
    const int e = DeleteFileEntry(path);
    if (e == 0)
        TraceFormat("uninstall: deleted %s", path.c_str());
    else if (e != ENOENT)
        TraceFormat("uninstall: %s stays (%s)", path.c_str(), ErrorText(e).c_str());
}

// Removes an empty folder; a folder that still holds anything stays.
bool RemoveFolder(const std::string& path) {
    const int e = RemoveEmptyFolder(path);
    if (e == 0) {
        TraceFormat("uninstall: removed folder %s", path.c_str());
        return true;
    }
    if (e != ENOENT && e != ENOTDIR)
        TraceFormat("uninstall: folder %s stays (%s)", path.c_str(), ErrorText(e).c_str());
    return false;
}

bool EndsWithSav(const std::string& name) {
    if (name.size() < 5)
        return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext == ".SAV";
}

void Wait(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

bool ParseTemporaryCopyLine(const std::string& line, TemporaryCopyFields& out) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t plus = line.find('+'); plus != std::string::npos; plus = line.find('+', start)) {
        fields.push_back(line.substr(start, plus - start));
        start = plus + 1;
    }
    fields.push_back(line.substr(start));
    // own part (before the first "+"), handle, first uninstaller, folder, "" after the last "+"
    if (fields.size() < 4)
        return false;
    char* end = nullptr;
    const long handle = std::strtol(fields[1].c_str(), &end, 10);
    out.handle = end && *end == '\0' && !fields[1].empty() ? handle : -1;
    out.firstUninstaller = fields[2];
    out.installFolder = fields[3];
    return true;
}

CUninstaller::CUninstaller(UninstallEnvironment env) : m_env(std::move(env)) {}

bool CUninstaller::IsTemporaryCopy() const {
    return !m_env.args.empty() && !m_env.args.back().empty() && m_env.args.back().back() == '+';
}

int CUninstaller::Run() {
    if (IsTemporaryCopy())
        return RunTemporaryCopy();
    const int start = CheckStart();
    if (start != kUninstallDone)
        return start;
    const std::string caption = m_texts.Get(txt::QuestionCaption);
    if (m_env.prompt &&
        m_env.prompt->Ask(m_texts.Get(txt::ConfirmRemoval), caption, PromptButtons::YesNo, PromptIcon::Question) !=
            PromptAnswer::Yes)
        return kUninstallDeclined;
    Remove();
    RemoveSelf();
    return kUninstallDone;
}

// The copy that, in the original, removed the first uninstaller once it had
// ended. Here the uninstaller removes its own file (a running program's file
// may be deleted), so nothing starts this copy; a command line that ends
// with "+" still only ever does this part and no removal.
int CUninstaller::RunTemporaryCopy() {
    std::string line;
    for (const auto& a : m_env.args)
        line += (line.empty() ? "" : " ") + a;
    TemporaryCopyFields f;
    if (!ParseTemporaryCopyLine(line, f))
        return kUninstallDone;
    if (f.installFolder.empty())
        f.installFolder = FolderOf(f.firstUninstaller);
    // Wait for the first uninstaller to end (at most the fixed wait).
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_env.temporaryCopyWaitMs);
    while (ProcessAlive(f.handle) && std::chrono::steady_clock::now() < until)
        Wait(50);
    if (IsInsideFolder(f.firstUninstaller, f.installFolder) && NameOf(f.firstUninstaller) == kUninstallerName)
        DeleteFile(f.firstUninstaller);
    if (IsPlainFullPath(f.installFolder))
        RemoveFolder(f.installFolder);
    return kUninstallDone;
}

void CUninstaller::ShowError(int textId) {
    if (m_env.prompt)
        m_env.prompt->Ask(m_texts.Format(txt::ErrorFrame, {m_texts.Get(textId)}), m_texts.Get(txt::ErrorCaption),
                          PromptButtons::Ok, PromptIcon::Stop);
}

void CUninstaller::Progress(int textId, int percent) {
    if (m_env.progress)
        m_env.progress->Step(textId ? m_texts.Get(textId) : std::string(), percent);
}

int CUninstaller::CheckStart() {
    // 2. The string file beside the program must open, else nothing happens.
    std::string textsPath = m_env.selfPath;
    const std::string name = NameOf(textsPath);
    const size_t dot = name.rfind('.');
    textsPath = FolderOf(textsPath) + "/" + (dot == std::string::npos ? name : name.substr(0, dot)) + ".dat";

    // 3. Its texts, in the code page of the installed language.
    const Registry& reg = *m_env.registry;
    RegKey machine;
    const bool haveKey = reg.OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Read, machine) == RegStatus::Ok;
    std::uint32_t codePage = 1252;
    if (haveKey)
        machine.QueryDword("CodePage", codePage);
    m_texts.SetCodePage(codePage);
    if (!m_texts.LoadFile(textsPath)) {
        TraceFormat("uninstall: %s cannot be opened; nothing is removed", textsPath.c_str());
        return kUninstallNoTexts;
    }
    // The front end is part of this program, so there is no library to load.

    // 4. Not while the program runs.
    if (IsInstanceRunning(m_env.runtimeFolder)) {
        ShowError(txt::ProgramRunning);
        return kUninstallProgramRuns;
    }

    // 5. The settings and the log.
    if (!haveKey || machine.QueryString("pth", m_installFolder) != RegStatus::Ok ||
        machine.QueryString("grp", m_group) != RegStatus::Ok) {
        ShowError(txt::SettingsMissing);
        return kUninstallNoSettings;
    }
    while (m_installFolder.size() > 1 && m_installFolder.back() == '/')
        m_installFolder.pop_back();
    // A folder we could not remove safely counts as no installation.
    if (!IsPlainFullPath(m_installFolder) || m_installFolder == "/") {
        TraceFormat("uninstall: the installation folder \"%s\" is not a plain full path", m_installFolder.c_str());
        ShowError(txt::SettingsMissing);
        return kUninstallNoSettings;
    }
    machine.QueryString("FontFileName", m_fontFileName);
    m_log = ParseInstallLog(ReadFile(m_installFolder + "/" + kInstallLogName));
    if (m_log.empty()) {
        ShowError(txt::LogMissing);
        return kUninstallNoLog;
    }
    return kUninstallDone;
}

void CUninstaller::Remove() {
    Progress(txt::StepFont, 0);
    RemoveFont();
    Progress(txt::StepFiles, 0);
    RemoveLoggedFiles();
    RemoveFixedFiles();
    RemoveSavedGames();
    Progress(0, 50);
    Progress(txt::StepFolders, 50);
    RemoveLoggedFolders();
    RemoveParentFolders();
    RemoveFolder(m_installFolder); // holds the uninstaller until its own removal
    Progress(0, 80);
    Progress(txt::StepSettings, 80);
    Wait(m_env.registryWaitMs);
    RemoveSettings();
    Progress(txt::StepAssociations, 80);
    RestoreAssociations();
    Progress(0, 90);
    Progress(txt::StepShortcuts, 90);
    RemoveShortcuts();
    Progress(0, 100);
    if (m_env.prompt)
        m_env.prompt->Ask(m_texts.Get(txt::RemovalDone), m_texts.Get(txt::CompletionCaption), PromptButtons::Ok,
                          PromptIcon::Information);
}

// The interface font the installer put into the user's fonts: only that
// copy, recognised by being the same as the installation's own file.
void CUninstaller::RemoveFont() {
    if (!IsPlainName(m_fontFileName))
        return;
    const std::string ours = FolderOf(m_env.selfPath) + "/Font/" + m_fontFileName;
    const std::string user = m_env.xdg.dataHome + "/fonts/" + m_fontFileName;
    const std::string bytes = ReadFile(ours);
    if (!bytes.empty() && Exists(user) && !IsRealFolder(user) && ReadFile(user) == bytes)
        DeleteFile(user);
}

void CUninstaller::RemoveLoggedFiles() {
    for (const LogEntry& e : m_log) {
        if (e.folder)
            continue;
        if (!IsPlainFullPath(e.path)) {
            TraceFormat("uninstall: log entry \"%s\" is not a plain full path; skipped", e.path.c_str());
            continue;
        }
        DeleteFile(e.path);
    }
}

void CUninstaller::RemoveFixedFiles() {
    for (const char* name : {kInstallLogName, "Setup.cfg", "log.txt", "lyb30l.chm"})
        DeleteFile(m_installFolder + "/" + name);
}

void CUninstaller::RemoveSavedGames() {
    const std::string save = m_installFolder + "/SAVE";
    if (!IsRealFolder(save))
        return;
    std::vector<std::string> saved;
    for (const std::string& name : FolderNames(save))
        if (IsPlainName(name) && EndsWithSav(name) && KindOf(save + "/" + name) == EntryKind::File)
            saved.push_back(save + "/" + name);
    if (saved.empty())
        return;
    if (m_env.prompt && m_env.prompt->Ask(m_texts.Get(txt::DeleteSavedGames), m_texts.Get(txt::QuestionCaption),
                                          PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return;
    for (const auto& f : saved)
        DeleteFile(f);
    RemoveFolder(save);
}

void CUninstaller::RemoveLoggedFolders() {
    for (auto it = m_log.rbegin(); it != m_log.rend(); ++it) {
        if (!it->folder)
            continue;
        if (!IsPlainFullPath(it->path)) {
            TraceFormat("uninstall: log entry \"%s\" is not a plain full path; skipped", it->path.c_str());
            continue;
        }
        RemoveFolder(it->path);
    }
}

bool CUninstaller::LogNamesFolder(const std::string& path) const {
    for (const LogEntry& e : m_log) {
        if (!e.folder)
            continue;
        std::string p = e.path;
        while (p.size() > 1 && p.back() == '/')
            p.pop_back();
        if (p == path)
            return true;
    }
    return false;
}

// Parent folders go only when the installer made them (the log names them),
// deepest first, up to the first that stays.
void CUninstaller::RemoveParentFolders() {
    std::string folder = FolderOf(m_installFolder);
    while (folder != "/" && LogNamesFolder(folder) && RemoveFolder(folder))
        folder = FolderOf(folder);
}

void CUninstaller::RemoveSettings() {
    const Registry& reg = *m_env.registry;
    reg.DeleteKey(Hive::CurrentUser, kSettingsKey);
    reg.DeleteKey(Hive::LocalMachine, kSettingsKey);
    reg.DeleteKey(Hive::LocalMachine, kUninstallKey);
}

void CUninstaller::RestoreAssociations() {
    Associations assoc(*m_env.registry, m_installFolder, m_env.xdg);
    assoc.RestoreAudioCDBackup();
    for (const char* ext : kTypes)
        assoc.RestoreBackup(ext);
    assoc.RemoveDesktopEntry();
}

// A shortcut is removed only when it is one of this installation's (its
// working folder is the installation folder): a user's own entry of the
// same name stays.
bool CUninstaller::MayRemoveShortcut(const std::string& path) const {
    if (KindOf(path) != EntryKind::File)
        return false;
    return DesktopEntryValue(ReadFile(path), "Path") == m_installFolder;
}

void CUninstaller::RemoveShortcuts() {
    const std::string applications = m_env.xdg.dataHome + "/applications";
    const bool groupUsable = IsPlainName(m_group);
    const std::string group = applications + "/" + m_group;
    if (groupUsable) {
        for (int id : {txt::ProgramShortcut, txt::ReadMeShortcut, txt::HelpShortcut, txt::UninstallShortcut}) {
            const std::string path = group + "/" + ShortcutFileName(m_texts.Get(id));
            if (MayRemoveShortcut(path))
                DeleteFile(path);
        }
    }
    const std::string desktop = DesktopFolder(m_env.xdg.configHome, m_env.home) + "/" +
                                ShortcutFileName(m_texts.Get(txt::ProgramShortcut));
    if (MayRemoveShortcut(desktop))
        DeleteFile(desktop);
    if (groupUsable)
        RemoveFolder(group);
}

void CUninstaller::RemoveSelf() {
    // A running program's file may be deleted on this system, so no
    // temporary copy is needed: the file goes now, then the folder.
    const std::string self = m_env.selfPath;
    if (IsInsideFolder(self, m_installFolder) && Exists(self))
        DeleteFile(self);
    RemoveFolder(m_installFolder);
    if (!Exists(m_installFolder))
        RemoveParentFolders();
}

} // namespace lyb
