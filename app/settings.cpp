#include "app/settings.h"

#include "app/localize.h"
#include "platform/prompt.h"
#include "platform/registry.h"

#include <cstdio>

namespace lyb {

namespace {

constexpr size_t kColumnTextLimit = 100;

// Each read replaces the field only when it succeeds.
void ReadText(const RegKey& key, std::string_view name, std::string& field, size_t limit = 0) {
    std::string v;
    if (key.QueryString(name, v, limit) == RegStatus::Ok)
        field = std::move(v);
}

void ReadNumber(const RegKey& key, std::string_view name, int& field) {
    std::uint32_t v = 0;
    if (key.QueryDword(name, v) == RegStatus::Ok)
        field = static_cast<int>(v);
}

void ReadNumber(const RegKey& key, std::string_view name, std::uint32_t& field) {
    std::uint32_t v = 0;
    if (key.QueryDword(name, v) == RegStatus::Ok)
        field = v;
}

int ReadNumberOr(const RegKey& key, std::string_view name, int missing) {
    std::uint32_t v = 0;
    return key.QueryDword(name, v) == RegStatus::Ok ? static_cast<int>(v) : missing;
}

long LeadingDecimal(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        neg = s[i++] == '-';
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = (v * 10 + (s[i] - '0')) & 0x7FFFFFFF; // only the low 16 bits are used
    return neg ? -v : v;
}

} // namespace

SettingsLoadReport LoadSettings(const Registry& registry, Prompt* prompt, const CLocalize* loc,
                                const std::string& currentFolder, AppSettings& s) {
    SettingsLoadReport report;
    s = AppSettings{};
    s.englishBase = 1;
    s.rightToLeft = false;
    s.loaded = true;

    RegKey machine;
    const bool opened =
        registry.OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Read, machine) == RegStatus::Ok;
    s.installFolder = currentFolder;
    if (!opened) {
        if (prompt) {
            auto text = [&](int id, const char* english) {
                return loc ? loc->Get(id, english) : std::string(english);
            };
            prompt->Ask(text(336, "Unable to load registry settings.") + "\n" +
                            text(337, "Please reinstall Lyrabox 3.0"),
                        "Lyrabox 3.0", PromptButtons::Ok, PromptIcon::Stop);
        }
        return report;
    }
    report.machineKeyOpened = true;

    std::string pth;
    if (machine.QueryString("pth", pth) == RegStatus::Ok) {
        s.installFolder = pth;
        s.installFolderCopy = pth;
    }
    ReadText(machine, "Default Music Folder", s.defaultMusicFolder);
    ReadText(machine, "Default Playlist Folder", s.defaultPlaylistFolder);
    ReadText(machine, "Default Skin Path", s.defaultSkinPath);
    ReadText(machine, "Current Skin Name", s.currentSkinName);
    ReadText(machine, "Default Playlist Folder", s.defaultPlaylistFolder);
    s.startupMode = 0;
    ReadNumber(machine, "Startup mode", s.startupMode);
    s.alwaysOnTop = 0;
    ReadNumber(machine, "Alwayes top", s.alwaysOnTop);
    s.autoScanHardDrive = 1;
    ReadNumber(machine, "Auto Scan Hard Drive", s.autoScanHardDrive);
    s.bitrate = 128000;
    ReadNumber(machine, "Bitrate", s.bitrate);
    ReadText(machine, "Music Studio column", s.musicStudioColumns, kColumnTextLimit);
    ReadText(machine, "Mobile Devise column", s.mobileDeviceColumns, kColumnTextLimit);
    ReadText(machine, "CD Player column", s.cdPlayerColumns, kColumnTextLimit);
    s.splitterPosition = 500;
    ReadNumber(machine, "Spliter position", s.splitterPosition);
    s.currentLocale = 0;
    ReadNumber(machine, "Current Locale", s.currentLocale);
    s.fontFileName = "Oswbd.ttf";
    ReadText(machine, "FontFileName", s.fontFileName);
    s.typefaceName = "Orvik Sans Wise";
    ReadText(machine, "TypefaceName", s.typefaceName);
    s.characterSet = 0;
    ReadNumber(machine, "CharacterSet", s.characterSet);
    s.codePage = 1252;
    ReadNumber(machine, "CodePage", s.codePage);
    s.englishBase = 0;
    ReadNumber(machine, "EnglishBase", s.englishBase);
    s.langId = -1;
    ReadNumber(machine, "LangID", s.langId);
    ReadText(machine, "DefaultURL", s.defaultUrl);
    machine.Close();

    s.rightToLeft = s.codePage == 1256 || s.codePage == 1255;

    RegKey user;
    if (registry.OpenKey(Hive::CurrentUser, kSettingsKey, RegAccess::Full, user) != RegStatus::Ok)
        return report;
    report.userKeyOpened = true;

    // User values made for another interface language are left unread; the
    // next exit overwrites them.
    if (ReadNumberOr(user, "LangID", -1) != s.langId ||
        ReadNumberOr(user, "CharacterSet", 0) != s.characterSet ||
        ReadNumberOr(user, "CodePage", 0) != s.codePage) {
        report.userValuesForAnotherLanguage = true;
        return report;
    }

    std::string tmp;
    if (user.QueryString("Default Music Folder", tmp) == RegStatus::Ok && !tmp.empty())
        s.defaultMusicFolder = tmp;
    tmp.clear();
    if (user.QueryString("Default Playlist Folder", tmp) == RegStatus::Ok && !tmp.empty())
        s.defaultPlaylistFolder = tmp;

    if (user.QueryString("Default Skin Path", tmp) != RegStatus::Ok) {
        s.defaultSkinPath = std::string(kDefaultSkinPath);
        user.SetString("Default Skin Path", s.defaultSkinPath);
    } else {
        s.defaultSkinPath = tmp;
    }
    if (user.QueryString("Current Skin Name", tmp) != RegStatus::Ok) {
        s.currentSkinName = std::string(kDefaultSkinName);
        user.SetString("Current Skin Name", s.currentSkinName);
    } else {
        s.currentSkinName = tmp;
    }

    ReadNumber(user, "Startup mode", s.startupMode);
    ReadNumber(user, "Alwayes top", s.alwaysOnTop);
    ReadNumber(user, "Auto Scan Hard Drive", s.autoScanHardDrive);
    ReadNumber(user, "Bitrate", s.bitrate);
    ReadText(user, "Music Studio column", s.musicStudioColumns, kColumnTextLimit);
    ReadText(user, "Mobile Devise column", s.mobileDeviceColumns, kColumnTextLimit);
    ReadText(user, "CD Player column", s.cdPlayerColumns, kColumnTextLimit);
    ReadNumber(user, "Spliter position", s.splitterPosition);
    return report;
}

bool SaveSettings(const Registry& registry, const AppSettings& s) {
    auto u32 = [](int v) { return RegValue::Dword(static_cast<std::uint32_t>(v)); };
    // One change of the hive for all values: the file is written once.
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"Default Music Folder", RegValue::Sz(s.defaultMusicFolder)},
        {"Default Skin Path", RegValue::Sz(s.defaultSkinPath)},
        {"Current Skin Name", RegValue::Sz(s.currentSkinName)},
        {"Default Playlist Folder", RegValue::Sz(s.defaultPlaylistFolder)},
        {"Startup mode", u32(s.startupMode)},
        {"Alwayes top", u32(s.alwaysOnTop)},
        {"Auto Scan Hard Drive", u32(s.autoScanHardDrive)},
        {"Bitrate", u32(s.bitrate)},
        {"Music Studio column", RegValue::Sz(s.musicStudioColumns)},
        {"Mobile Devise column", RegValue::Sz(s.mobileDeviceColumns)},
        {"CD Player column", RegValue::Sz(s.cdPlayerColumns)},
        {"Spliter position", u32(s.splitterPosition)},
        {"CharacterSet", u32(s.characterSet)},
        {"CodePage", u32(s.codePage)},
        {"LangID", u32(s.langId)},
    };
    return registry.SetValues(Hive::CurrentUser, kSettingsKey, values) == RegStatus::Ok;
}

std::vector<int> ParseColumnWidths(std::string_view text, size_t columns) {
    std::vector<int> out;
    size_t pos = 0;
    while (pos < text.size() && out.size() < columns) {
        size_t comma = text.find(',', pos);
        std::string_view piece = text.substr(pos, comma == std::string_view::npos ? text.size() - pos : comma - pos);
        out.push_back(static_cast<int>(LeadingDecimal(piece) & 0xFFFF));
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return out;
}

std::string FormatColumnWidths(const std::vector<int>& widths) {
    std::string out;
    char buf[16];
    for (int w : widths) {
        std::snprintf(buf, sizeof buf, "%d,", w);
        out += buf;
    }
    return out;
}

size_t ColumnCountOfPage(int page) {
    switch (page) {
    case 1: return 6;
    case 2:
    case 3: return 3;
    default: return 0;
    }
}

std::string* ColumnTextOfPage(AppSettings& s, int page) {
    switch (page) {
    case 1: return &s.musicStudioColumns;
    case 2: return &s.mobileDeviceColumns;
    case 3: return &s.cdPlayerColumns;
    default: return nullptr;
    }
}

void GetColumnWidths(const AppSettings& s, int page, ColumnList& list) {
    std::string* text = ColumnTextOfPage(const_cast<AppSettings&>(s), page);
    if (!text)
        return;
    const size_t n = std::min(ColumnCountOfPage(page), static_cast<size_t>(std::max(0, list.ColumnCount())));
    const auto widths = ParseColumnWidths(*text, n);
    for (size_t i = 0; i < widths.size(); ++i)
        list.SetColumnWidth(static_cast<int>(i), widths[i]);
}

void SetColumnWidths(AppSettings& s, int page, const ColumnList& list) {
    std::string* text = ColumnTextOfPage(s, page);
    if (!text)
        return;
    std::vector<int> widths;
    const int n = std::min(static_cast<int>(ColumnCountOfPage(page)), list.ColumnCount());
    for (int i = 0; i < n; ++i)
        widths.push_back(list.ColumnWidth(i));
    *text = FormatColumnWidths(widths);
    if (text->size() >= kColumnTextLimit)
        text->resize(kColumnTextLimit - 1); // the stored text keeps its 100-byte limit
}

} // namespace lyb
