#include "setup/installer.h"

#include "app/help_files.h"
#include "app/settings.h"
#include "outside/aspi/wnaspi32.h"
#include "platform/atomic_file.h"
#include "platform/desktop_entry.h"
#include "platform/file_system.h"
#include "platform/instance.h"
#include "platform/process.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/volumes.h"
#include "setup/packed_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace lyb {

namespace {

constexpr const char* kTypes[] = {".cda", ".m3u", ".mp3", ".lse", ".aac"};
constexpr const char* kVideos[] = {"Intro.Bik", "Outro.Bik"};
constexpr int kSkipped = -1;
constexpr int kStopped = -2;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string StripSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool ContainsMakersName(const std::string& s) {
    return s.find("Orvik") != std::string::npos || s.find("orvik") != std::string::npos ||
           s.find("ORVIK") != std::string::npos;
}

std::string HtmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

std::string FormatThousands(std::uint64_t v) {
    std::string digits = std::to_string(v);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string SetupCfgText(const std::string& sourceFolder, const std::string& destination) {
    const std::string frame = "///////////////////////////////////////////////////";
    std::string text;
    text += frame + "\r\n";
    text += "//   This file was created by install program.   //\r\n";
    text += "//          DO NOT CHANGE IT MANUALLY            //\r\n";
    text += frame + "\r\n";
    text += "\r\n";
    text += "set G_DataPath " + sourceFolder + "\r\n";
    text += "set G_InstallPath " + destination + "/" + "\r\n";
    return text;
}

std::string OfflinePageText(const std::string& url) {
    const std::string u = HtmlEscape(url);
    return "<html>\r\n<head>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n"
           "<title>" + u + " (offline)</title>\r\n"
           "</head>\r\n"
           "<body bgcolor=\"#FFFFFF\">\r\n"
           "<table width=\"100%\" height=\"100%\" border=\"0\">\r\n"
           "<tr><td align=\"center\" valign=\"middle\">"
           "<a href=\"" + u + "\"><img src=\"logo.jpg\" alt=\"" + u + "\" border=\"0\"></a>"
           "</td></tr>\r\n</table>\r\n</body>\r\n</html>\r\n";
}

CSetup::CSetup(SetupEnvironment env) : m_env(std::move(env)) {}

CSetup::~CSetup() { ReleaseLock(); }

void CSetup::ReleaseLock() {
    if (m_lock)
        m_lock->Release();
    m_lock.reset();
}

CSetup::StartResult CSetup::Start(const std::vector<std::string>& args) {
    // 1. One installer at a time; none while the other program runs.
    m_lock = MakeLockFileGuard(m_env.runtimeFolder, kSetupMutexName);
    if (m_lock->Acquire() != GuardResult::Acquired) {
        m_lock.reset();
        return StartResult::SetupRunning;
    }
    if (IsInstanceRunning(m_env.runtimeFolder, kOtherMutexName)) {
        ReleaseLock();
        return StartResult::OtherProgramRunning;
    }

    // 2. The languages, and the one the command line asks for.
    m_languages = ParseLanguageInf(ReadFile(m_env.sourceFolder + "/language.inf"));
    if (m_languages.languages.empty()) {
        m_startError = "language.inf";
        return StartResult::NoLanguages;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 4 && a.compare(0, 2, "-l") == 0)
            m_requestedLanguage = a.substr(3);
        else if (a == "-l" && i + 1 < args.size())
            m_requestedLanguage = args[++i];
    }
    int index = m_languages.DefaultIndex();
    if (m_requestedLanguage) {
        const int wanted = m_languages.FindByName(*m_requestedLanguage);
        if (wanted >= 0)
            index = wanted;
    }
    SelectLanguage(index);

    // 3. The file list.
    const std::string ctl = ReadFile(m_env.sourceFolder + "/setup.ctl");
    std::string why;
    if (!ParseSetupCtl(ctl, m_fileList, why) || m_fileList.entries.empty()) {
        m_startError = why.empty() ? "setup.ctl is missing or empty" : "setup.ctl: " + why;
        return StartResult::NoFileList;
    }
    return StartResult::Ready;
}

const SetupLanguage& CSetup::Language() const {
    static const SetupLanguage none;
    if (m_language < 0 || m_language >= static_cast<int>(m_languages.languages.size()))
        return none;
    return m_languages.languages[static_cast<size_t>(m_language)];
}

void CSetup::SelectLanguage(int index) {
    if (index < 0 || index >= static_cast<int>(m_languages.languages.size()))
        return;
    m_language = index;
    const SetupLanguage& l = Language();
    m_texts.Clear();
    m_texts.SetCodePage(static_cast<unsigned>(l.codePage));
    const std::string file = ResolveBelow(m_env.sourceFolder + "/Language", l.installFile);
    if (!file.empty())
        m_texts.LoadFile(file);
}

std::string CSetup::LanguageFontPath() const {
    if (Language().fontFile.empty())
        return {};
    return ResolveBelow(m_env.sourceFolder + "/Font", Language().fontFile);
}

bool CSetup::BoldDialogFont() const { return ContainsMakersName(Language().typeface); }

bool CSetup::IsInstalled(std::string* folder) const {
    RegKey key;
    std::string pth;
    std::uint32_t chs = 0;
    if (m_env.registry->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Read, key) != RegStatus::Ok ||
        key.QueryString("pth", pth) != RegStatus::Ok || key.QueryDword("chs", chs) != RegStatus::Ok)
        return false;
    std::ifstream uninstaller(pth + "/" + kUninstallerName, std::ios::binary);
    if (!uninstaller)
        return false;
    if (folder)
        *folder = pth;
    return true;
}

bool CSetup::StartInstalledProgram() {
    std::string folder;
    if (!IsInstalled(&folder))
        return false;
    ReleaseLock();
    return StartDetached(folder + "/" + kProgramName, {}, folder) == 0;
}

std::string CSetup::DefaultDestination() const {
    if (RunsAsAdministrator())
        return "/opt/Orvik/Lyrabox 3.0";
    return m_env.home + "/.local/opt/Orvik/Lyrabox 3.0";
}

std::string CSetup::DefaultGroup() const { return m_texts.Get(txt::ProgramShortcut); }

std::string CSetup::DefaultMusicFolder() const { return m_env.home + "/Music"; }

std::string CSetup::DefaultPlaylistFolder() const { return m_env.home + "/Music/Playlists"; }

std::vector<std::string> CSetup::ExistingGroups() const {
    std::vector<std::string> groups;
    const std::string applications = m_env.xdg.dataHome + "/applications";
    for (const std::string& name : FolderNames(applications))
        if (KindOf(applications + "/" + name) == EntryKind::Folder && IsUsableGroupName(name))
            groups.push_back(name);
    std::sort(groups.begin(), groups.end());
    return groups;
}

bool CSetup::IsUsableGroupName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

bool CSetup::HasVideos() const {
    for (const char* v : kVideos)
        if (KindOf(m_env.sourceFolder + "/Data/Video/" + v) != EntryKind::File)
            return false;
    return true;
}

std::uint64_t CSetup::StoredSize(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    std::uint8_t head[kPackedHeaderSize] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const auto got = static_cast<size_t>(in.gcount());
    if (const auto h = ReadPackedHeader(std::span<const std::uint8_t>(head, got)))
        return h->size;
    in.clear();
    in.seekg(0, std::ios::end);
    return static_cast<std::uint64_t>(std::max<std::streamoff>(0, in.tellg()));
}

std::uint64_t CSetup::RequiredBytes(bool video) const {
    std::uint64_t total = m_fileList.totalBytes;
    if (total == 0) {
        // No total in the list: count what it names.
        for (const auto& e : m_fileList.entries)
            if (e.kind == SetupCtlEntry::Kind::File)
                total += StoredSize(m_env.sourceFolder + "/" + e.path);
    }
    return total + (video ? kVideoBytes : 0);
}

std::optional<std::uint64_t> CSetup::FreeBytes(const std::string& path) {
    std::string p = StripSlashes(path);
    while (!p.empty() && KindOf(p) == EntryKind::Missing && p != "/")
        p = FolderOf(p);
    std::uint64_t total = 0, free = 0;
    if (p.empty() || !CurrentVolumeSource().Space(p, total, free))
        return std::nullopt;
    return free;
}

CSetup::FolderCheck CSetup::PrepareDestination(const std::string& folderIn) {
    const std::string folder = StripSlashes(folderIn);
    // Folders made for a destination the user has left again go (when empty).
    if (!m_preparedFolder.empty() && m_preparedFolder != folder) {
        for (auto it = m_createdForDestination.rbegin(); it != m_createdForDestination.rend(); ++it)
            RemoveEmptyFolder(*it);
        m_createdForDestination.clear();
        m_preparedFolder.clear();
    }
    if (!IsPlainFullPath(folder))
        return FolderCheck::NotCreated;
    // Create the missing folders, outermost first.
    std::vector<std::string> missing;
    for (std::string p = folder; p != "/" && KindOf(p) == EntryKind::Missing; p = FolderOf(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (MakeFolder(*it) != 0)
            return FolderCheck::NotCreated;
        m_createdForDestination.push_back(*it);
    }
    if (KindOf(folder) != EntryKind::Folder)
        return FolderCheck::NotCreated;
    m_preparedFolder = folder;
    if (ProbeWritable(folder, "check.fi") != 0)
        return FolderCheck::NotWritable;
    return FolderCheck::Usable;
}

void CSetup::Note(const std::string& line) {
    m_report.push_back(line);
    Trace(line);
}

void CSetup::SetProgress(int percent, const std::string& text) {
    // The bar never goes back (the copy ends at 96 %, the settings that
    // follow are at 90 and 93 %).
    m_lastPercent = std::max(m_lastPercent, std::clamp(percent, 0, 100));
    if (!m_progress)
        return;
    char head[16];
    std::snprintf(head, sizeof head, "%3d%% ", m_lastPercent);
    m_progress->Progress(m_lastPercent, head + text);
}

bool CSetup::Pump() {
    if (m_env.pump && !m_env.pump())
        m_stopped = true;
    return !m_stopped;
}

int CSetup::Fatal(int error) {
    int textId = txt::Error6;
    switch (error) {
    case kSetupNoModulePath: textId = txt::Error1; break;
    case kSetupNoSpace: textId = txt::Error4; break;
    case kSetupFolderFailed: textId = txt::Error7; break;
    case kSetupConfigFailed: textId = txt::Error8; break;
    case kSetupRegistryFailed: textId = txt::Error9; break;
    case kSetupLogFailed: textId = txt::Error99; break;
    default: break;
    }
    Note("fatal error " + std::to_string(error) + ": " + m_texts.Get(textId));
    if (m_log.IsOpen())
        m_log.Close();
    if (!m_options.destination.empty() && KindOf(m_options.destination) == EntryKind::Folder) {
        std::string text;
        for (const auto& l : m_report)
            text += l + "\n";
        ReplaceFileAtomically(m_options.destination + "/setup.log", text);
    }
    if (m_env.prompt)
        m_env.prompt->Ask(m_texts.Format(txt::FatalFrame, {std::to_string(error), m_texts.Get(textId)}),
                          m_texts.Get(txt::SetupCaption), PromptButtons::Ok, PromptIcon::Stop);
    ReleaseLock();
    return error;
}

int CSetup::CopyFailedMessage(int error, const std::string& source, const std::string& target,
                              const std::string& why) {
    Note("cannot copy " + source + " to " + target + ": " + why);
    if (m_env.prompt)
        m_env.prompt->Ask(m_texts.Format(txt::CopyFailed, {std::to_string(error), source, target}) + "\n\n" + why,
                          m_texts.Get(txt::SetupCaption), PromptButtons::Ok, PromptIcon::Stop);
    return Fatal(kSetupCopyFailed);
}

int CSetup::CopyOne(const std::string& source, const std::string& target, std::uint64_t& done,
                    std::uint64_t total, const std::string& shownAs) {
    std::ifstream in(source, std::ios::binary);
    if (!in || KindOf(source) == EntryKind::Folder) {
        const int e = errno ? errno : ENOENT;
        return CopyFailedMessage(e, source, target, ErrorText(e));
    }
    std::vector<std::uint8_t> head(kPackedHeaderSize);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const std::optional<PackedHeader> packed = ReadPackedHeader(head);

    FileReplacement out;
    out.SetMode(IsExecutableFile(source) ? 0755 : 0644); // normal attributes
    if (!out.Begin(target, {}, false)) {
        const int e = out.Error();
        if (IsAccessDenied(e)) {
            Note("skipped " + target + " (" + ErrorText(e) + ")");
            return kSkipped;
        }
        return CopyFailedMessage(e, source, target, ErrorText(e));
    }
    auto advance = [&](std::size_t n) {
        done += n;
        if (total > 0) {
            const auto percent = static_cast<int>(std::min<std::uint64_t>(done, total) * 96 / total);
            if (percent != m_lastPercent && m_progress)
                SetProgress(percent, m_texts.Format(txt::CopyingFile, {shownAs.empty() ? source : shownAs, target}));
        }
    };

    if (packed) {
        // The stream is read whole; the unpacked bytes go out in blocks.
        const std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool writeFailed = false;
        const LzhufStatus s = LzhufDecode(stream, packed->size, [&](const std::uint8_t* d, std::size_t n) {
            if (!out.Write(std::string_view(reinterpret_cast<const char*>(d), n))) {
                writeFailed = true;
                return false;
            }
            advance(n);
            return Pump();
        });
        if (s != LzhufStatus::Ok) {
            const int e = out.Error();
            out.Abort();
            if (m_stopped)
                return kStopped;
            if (writeFailed)
                return CopyFailedMessage(e, source, target, ErrorText(e));
            return CopyFailedMessage(EILSEQ, source, target,
                                     std::string("the packed file is damaged: ") + LzhufStatusText(s));
        }
    } else {
        bool ok = out.Write(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
        advance(head.size());
        std::vector<char> block(kCopyBlockSize);
        while (ok && in) {
            in.read(block.data(), static_cast<std::streamsize>(block.size()));
            const auto n = static_cast<std::size_t>(in.gcount());
            if (n == 0)
                break;
            ok = out.Write(std::string_view(block.data(), n));
            advance(n);
            if (!Pump()) {
                out.Abort();
                return kStopped;
            }
        }
        if (!ok || in.bad()) {
            const int e = ok ? EIO : out.Error();
            out.Abort();
            return CopyFailedMessage(e, source, target, ErrorText(e));
        }
    }
    if (!out.Commit()) {
        const int e = out.Error();
        if (IsAccessDenied(e)) {
            Note("skipped " + target + " (" + ErrorText(e) + ")");
            return kSkipped;
        }
        return CopyFailedMessage(e, source, target, ErrorText(e));
    }
    Note("copied " + source + " to " + target + (packed ? " (unpacked)" : ""));
    return 0;
}

bool CSetup::EnsureFolder(const std::string& path, bool log) {
    std::vector<std::string> missing;
    for (std::string p = path; p != "/" && KindOf(p) == EntryKind::Missing; p = FolderOf(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (MakeFolder(*it) != 0)
            return false;
        Note("created folder " + *it);
        if (log && *it != path)
            m_log.AddFolder(*it);
    }
    if (KindOf(path) != EntryKind::Folder)
        return false;
    if (log)
        m_log.AddFolder(path);
    return true;
}

int CSetup::CopyLanguageFiles() {
    const SetupLanguage& l = Language();
    const std::string dest = m_options.destination;
    const std::string languageFolder = m_env.sourceFolder + "/Language";
    struct Item {
        const std::string* name;
        std::string target;
    };
    const Item items[] = {{&l.helpFile, HelpFilePath(dest, true)},
                          {&l.interfaceFile, dest + "/lang.dat"},
                          {&l.uninstallFile, dest + "/" + kUninstallTextsName}};
    for (const Item& item : items) {
        const std::string& target = item.target;
        if (item.name->empty()) {
            if (item.name == &l.uninstallFile) {
                // The uninstaller needs its string file beside it; without a
                // translation it speaks English.
                if (!ReplaceFileAtomically(target, {}))
                    return CopyFailedMessage(EIO, "-", target, "cannot be written");
                m_log.AddFile(target);
            }
            continue;
        }
        const std::string source = ResolveBelow(languageFolder, *item.name);
        if (source.empty())
            return CopyFailedMessage(EINVAL, *item.name, target, "the name leaves the Language folder");
        std::uint64_t ignored = 0;
        const int r = CopyOne(source, target, ignored, 0);
        if (r == kStopped)
            return r;
        if (r > 0)
            return r;
        if (r == 0)
            m_log.AddFile(target);
    }
    return 0;
}

int CSetup::RunFileList(std::uint64_t total) {
    const std::string dest = m_options.destination;
    std::string current = dest;
    std::uint64_t done = 0;
    for (const SetupCtlEntry& e : m_fileList.entries) {
        switch (e.kind) {
        case SetupCtlEntry::Kind::Folder:
            SetProgress(m_lastPercent, m_texts.Format(txt::CopyingFile, {"!" + e.path, dest + "/" + e.path}));
            if (!EnsureFolder(dest + "/" + e.path, true))
                return Fatal(kSetupFolderFailed);
            break;
        case SetupCtlEntry::Kind::SubFolder:
            current = e.path.empty() ? dest : dest + "/" + e.path;
            if (KindOf(current) != EntryKind::Folder) {
                Note("cannot enter folder " + current);
                return Fatal(kSetupCopyFailed);
            }
            break;
        case SetupCtlEntry::Kind::File: {
            const std::string source = m_env.sourceFolder + "/" + e.path;
            const std::string target = current + "/" + EntryFileName(e.path);
            SetProgress(m_lastPercent, m_texts.Format(txt::CopyingFile, {e.path, target}));
            const int r = CopyOne(source, target, done, total, e.path);
            if (r == kStopped || r > 0)
                return r;
            if (r == 0)
                m_log.AddFile(target);
            if (!Pump())
                return kStopped;
            break;
        }
        }
    }
    if (m_options.video) {
        const std::string videoFolder = dest + "/Data/Video";
        if (!EnsureFolder(videoFolder, true))
            return Fatal(kSetupFolderFailed);
        for (const char* v : kVideos) {
            const int r = CopyOne(m_env.sourceFolder + "/Data/Video/" + v, videoFolder + "/" + v, done, total);
            if (r == kStopped || r > 0)
                return r;
            if (r == 0)
                m_log.AddFile(videoFolder + "/" + v);
        }
    }
    return 0;
}

int CSetup::InstallFont() {
    const std::string source = LanguageFontPath();
    if (source.empty() || KindOf(source) != EntryKind::File)
        return 0;
    const std::string name = EntryFileName(source);
    const std::string folder = m_options.destination + "/Font";
    if (!EnsureFolder(folder, true))
        return Fatal(kSetupFolderFailed);
    std::uint64_t ignored = 0;
    const int r = CopyOne(source, folder + "/" + name, ignored, 0);
    if (r != 0)
        return r == kSkipped ? 0 : r;
    m_log.AddFile(folder + "/" + name);
    // For the user's other programs too: a copy in the user's fonts, unless
    // a font of that name is there already (the uninstaller removes only an
    // identical copy).
    const std::string fonts = m_env.xdg.dataHome + "/fonts";
    const std::string userCopy = fonts + "/" + name;
    if (KindOf(userCopy) == EntryKind::Missing) {
        std::vector<std::string> parts;
        for (std::string p = fonts; p != "/" && KindOf(p) == EntryKind::Missing; p = FolderOf(p))
            parts.push_back(p);
        for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            MakeFolder(*it);
        if (ReplaceFileAtomically(userCopy, ReadFile(folder + "/" + name)))
            Note("installed the interface font for the user as " + userCopy);
    }
    return 0;
}

int CSetup::WriteOfflinePage() {
    const std::string& url = Language().defaultUrl;
    if (url.empty())
        return 0;
    const std::string folder = m_options.destination + "/Offline";
    if (!EnsureFolder(folder, true))
        return Fatal(kSetupFolderFailed);
    std::string page;
    if (!Utf8ToCodePage(1251, OfflinePageText(url), page, '?'))
        page = OfflinePageText(url);
    const std::string path = folder + "/offline.htm";
    if (!ReplaceFileAtomically(path, page))
        return CopyFailedMessage(EIO, "offline.htm", path, "cannot be written");
    m_log.AddFile(path);
    Note("wrote " + path);
    return 0;
}

int CSetup::WriteSetupCfg() {
    const std::string path = m_options.destination + "/Setup.cfg";
    if (!ReplaceFileAtomically(path, SetupCfgText(m_env.sourceFolder, m_options.destination)))
        return Fatal(kSetupConfigFailed);
    Note("wrote " + path);
    return 0;
}

int CSetup::WriteRegistry() {
    const SetupLanguage& l = Language();
    const std::string dest = m_options.destination;
    RegKey key;
    if (m_env.registry->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, key) != RegStatus::Ok)
        return Fatal(kSetupRegistryFailed);
    bool ok = key.SetString("pth", dest) == RegStatus::Ok;
    ok = ok && key.SetString("grp", m_options.group) == RegStatus::Ok;
    ok = ok && key.SetString("Default Music Folder", m_options.musicFolder) == RegStatus::Ok;
    ok = ok && key.SetString("Default Playlist Folder", m_options.playlistFolder) == RegStatus::Ok;
    ok = ok && key.SetDword("Auto Scan Hard Drive", 1) == RegStatus::Ok;
    ok = ok && key.SetString("FullExePath", dest + "/" + kProgramName) == RegStatus::Ok;
    ok = ok && key.SetString("Default Skin Path", dest + "/Skins/") == RegStatus::Ok;
    ok = ok && key.SetString("Current Skin Name", dest + "/Skins/simple.nms") == RegStatus::Ok;
    if (!ok)
        return Fatal(kSetupRegistryFailed);
    SetProgress(90, m_texts.Get(txt::InstallingTitle));
    if (!l.defaultUrl.empty())
        ok = key.SetString("DefaultURL", l.defaultUrl) == RegStatus::Ok;
    ok = ok && key.SetString("FontFileName", l.fontFile) == RegStatus::Ok;
    ok = ok && key.SetString("TypefaceName", l.typeface) == RegStatus::Ok;
    ok = ok && key.SetDword("CharacterSet", static_cast<std::uint32_t>(l.characterSet)) == RegStatus::Ok;
    ok = ok && key.SetDword("CodePage", static_cast<std::uint32_t>(l.codePage)) == RegStatus::Ok;
    ok = ok && key.SetDword("LangID", static_cast<std::uint32_t>(l.id)) == RegStatus::Ok;
    ok = ok && key.SetDword("EnglishBase", l.englishBase ? 1 : 0) == RegStatus::Ok;
    if (!ok)
        return Fatal(kSetupRegistryFailed);
    SetProgress(93, m_texts.Get(txt::InstallingTitle));
    Note("wrote the settings of " + std::string(kSettingsKey));
    return 0;
}

void CSetup::Associate() {
    bool yes = false;
    if (m_options.associate)
        yes = *m_options.associate;
    else if (m_env.prompt)
        yes = m_env.prompt->Ask(m_texts.Get(txt::AskAssociate), m_texts.Get(txt::SetupCaption),
                                PromptButtons::YesNo, PromptIcon::Question) == PromptAnswer::Yes;
    if (!yes) {
        Note("file types left to their programs");
        return;
    }
    Associations a(*m_env.registry, m_options.destination, m_env.xdg);
    a.RegisterFileClass();
    a.AssociateAudioCD(true);
    for (const char* ext : kTypes)
        a.Associate(ext);
    Note("file types associated with " + a.ProgramPath());
}

void CSetup::WriteShortcuts() {
    const std::string dest = m_options.destination;
    const std::string group = m_env.xdg.dataHome + "/applications/" + m_options.group;
    const std::string icon = dest + "/lyb30.svg";
    auto entry = [&](int titleId, const std::vector<std::string>& command) {
        DesktopEntry e;
        e.name = m_texts.Get(titleId);
        e.command = command;
        e.path = dest;
        e.icon = icon;
        e.categories = "AudioVideo;Audio;";
        return e;
    };
    // The localised help when the language has one, else the English.
    const std::string help = HelpFilePath(dest, !Language().helpFile.empty());
    const std::pair<int, std::vector<std::string>> shortcuts[] = {
        {txt::ProgramShortcut, {dest + "/" + kProgramName}},
        {txt::HelpShortcut, {dest + "/" + kHelpViewerName, help}},
        {txt::UninstallShortcut, {dest + "/" + kUninstallerName}},
        {txt::ReadMeShortcut, {"xdg-open", dest + "/ReadMe.txt"}},
    };
    std::vector<std::string> parts;
    for (std::string p = group; p != "/" && KindOf(p) == EntryKind::Missing; p = FolderOf(p))
        parts.push_back(p);
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        MakeFolder(*it);
    for (const auto& [id, command] : shortcuts) {
        const std::string path = group + "/" + ShortcutFileName(m_texts.Get(id));
        if (ReplaceFileAtomically(path, FormatDesktopEntry(entry(id, command))))
            Note("shortcut " + path);
        else
            Note("shortcut " + path + " could not be written");
    }
    const std::string desktop = DesktopFolder(m_env.xdg.configHome, m_env.home);
    if (m_options.desktopShortcut && KindOf(desktop) != EntryKind::Folder)
        Note("no desktop folder " + desktop + ": no desktop shortcut");
    else if (m_options.desktopShortcut) {
        const std::string path = desktop + "/" + ShortcutFileName(m_texts.Get(txt::ProgramShortcut));
        const auto& program = shortcuts[0];
        // Desktops start only entries marked executable.
        FileReplacement w;
        w.SetMode(0755);
        if (w.Begin(path) && w.Write(FormatDesktopEntry(entry(program.first, program.second))) && w.Commit())
            Note("desktop shortcut " + path);
    }
}

int CSetup::Install(const InstallOptions& options, InstallProgress* progress) {
    m_options = options;
    m_options.destination = StripSlashes(options.destination);
    m_progress = progress;
    m_report.clear();
    m_stopped = false;
    m_lastPercent = 0;
    const std::string dest = m_options.destination;
    if (m_language < 0)
        return Fatal(kSetupNoModulePath);
    if (!IsUsableGroupName(m_options.group))
        m_options.group = DefaultGroup();

    if (m_preparedFolder != dest) {
        switch (PrepareDestination(dest)) {
        case FolderCheck::Usable: break;
        case FolderCheck::NotCreated: return Fatal(kSetupFolderFailed);
        case FolderCheck::NotWritable: return Fatal(kSetupCopyFailed);
        }
    } else if (ProbeWritable(dest, "check.fi") != 0) {
        return Fatal(kSetupCopyFailed);
    }
    const std::uint64_t required = RequiredBytes(m_options.video);
    if (const auto free = FreeBytes(dest); free && *free < required) {
        Note("needs " + FormatThousands(required / 1000) + " KB, " + FormatThousands(*free / 1000) + " KB free");
        return Fatal(kSetupNoSpace);
    }
    Note("Lyrabox 3.0 setup from " + m_env.sourceFolder + " into " + dest + ", language " + Language().name);

    // 1. The log, with the folders made for the destination first.
    SetProgress(0, m_texts.Get(txt::InstallingTitle));
    if (!m_log.Create(dest + "/" + kInstallLogName))
        return Fatal(kSetupLogFailed);
    for (const auto& f : m_createdForDestination)
        m_log.AddFolder(f);
    // Where the installation goes is known to the uninstaller from now on,
    // so an installation that stops half way can still be removed.
    {
        RegKey key;
        if (m_env.registry->CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, key) != RegStatus::Ok ||
            key.SetString("pth", dest) != RegStatus::Ok || key.SetString("grp", m_options.group) != RegStatus::Ok)
            return Fatal(kSetupRegistryFailed);
    }

    auto stopped = [this]() {
        Note("installation stopped by the user");
        m_log.Close();
        ReleaseLock();
        return kSetupExitCancelled;
    };

    // 2-3. The language's files, then the file list.
    int r = CopyLanguageFiles();
    if (r == kStopped)
        return stopped();
    if (r != 0)
        return r;
    std::uint64_t total = RequiredBytes(m_options.video);
    r = RunFileList(total);
    if (r == kStopped)
        return stopped();
    if (r != 0)
        return r;
    SetProgress(96, m_texts.Get(txt::InstallingTitle));

    // 4-5. The font and the offline page.
    if ((r = InstallFont()) != 0)
        return r == kStopped ? stopped() : r;
    if ((r = WriteOfflinePage()) != 0)
        return r;

    // 6. The files the program writes later, the end of the log, the
    // configuration text and the settings.
    for (const char* name : {"setup.log", "data.ms", "_OrvikLog.txt"})
        m_log.AddFile(dest + "/" + name);
    if (!m_log.Close())
        return Fatal(kSetupLogFailed);
    if ((r = WriteSetupCfg()) != 0)
        return r;
    if ((r = WriteRegistry()) != 0)
        return r;

    // 7. The phone's USB driver of the oldest systems.
    Note("USB driver: not installed; this system reads the phone's card as a storage device without a driver");
    SetProgress(97, m_texts.Get(txt::InstallingTitle));

    // 8. Installed; the file types.
    {
        RegKey key;
        if (m_env.registry->OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, key) != RegStatus::Ok ||
            key.SetDword("chs", kChsValue) != RegStatus::Ok)
            return Fatal(kSetupRegistryFailed);
    }
    Associate();

    // 9. The uninstall entry and the shortcuts.
    {
        RegKey key;
        if (m_env.registry->CreateKey(Hive::LocalMachine, kUninstallKey, RegAccess::Full, key) != RegStatus::Ok ||
            key.SetString("DisplayName", m_texts.Get(txt::ProgramShortcut)) != RegStatus::Ok ||
            key.SetString("UninstallString", dest + "/" + kUninstallerName) != RegStatus::Ok)
            return Fatal(kSetupRegistryFailed);
    }
    SetProgress(98, m_texts.Get(txt::InstallingTitle));
    WriteShortcuts();
    SetProgress(100, m_texts.Get(txt::Done));

    std::string text;
    for (const auto& l : m_report)
        text += l + "\n";
    ReplaceFileAtomically(dest + "/setup.log", text);
    return 0;
}

bool CSetup::AspiPresent(const std::string& programFolder) const {
    SharedLibrary lib;
    if (!lib.Open(programFolder + "/" + aspi::kAspiLibraryName))
        return false;
    auto version = reinterpret_cast<aspi::GetASPI32DLLVersionFn>(lib.Symbol("GetASPI32DLLVersion"));
    auto support = reinterpret_cast<aspi::GetASPI32SupportInfoFn>(lib.Symbol("GetASPI32SupportInfo"));
    if (!version || !support)
        return false;
    return ((support() >> 8) & 0xFF) == aspi::SS_COMP;
}

int CSetup::RunAspiSetup(std::string* output) {
    const std::string folder = m_env.sourceFolder + "/ASPI32";
    const ProcessRun run = RunAndCapture(folder + "/aspiinst", {}, folder, 30000);
    if (run.error == ENOMEM)
        return txt::AspiNoMemory;
    if (run.error != 0)
        return txt::AspiNotFound;
    if (output)
        *output = run.output;
    Note("CD access setup ended with " + std::to_string(run.exitCode));
    return 0;
}

} // namespace lyb
