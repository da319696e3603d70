// The program's settings: the values of the key "SOFTWARE\Orvik\Lyrabox 3.0"
// under the machine hive (written by the installer) and the user hive
// (written by the program at exit).
//
// Value names are part of the stored format and are kept letter for letter,
// misspellings included ("Alwayes top", "Mobile Devise column",
// "Spliter position").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

class CLocalize;
class Prompt;
class Registry;

inline constexpr std::string_view kSettingsKey = "SOFTWARE\\Orvik\\Lyrabox 3.0";

struct AppSettings {
    std::string installFolder;     ///< "pth"
    std::string installFolderCopy; ///< second copy of "pth" kept by the program
    std::string defaultMusicFolder;
    std::string defaultPlaylistFolder;
    std::string defaultSkinPath;
    std::string currentSkinName;
    int startupMode = 0;
    int alwaysOnTop = 0;
    int autoScanHardDrive = 1;
    int bitrate = 128000;
    std::string musicStudioColumns;
    std::string mobileDeviceColumns;
    std::string cdPlayerColumns;
    int splitterPosition = 500;
    std::uint32_t currentLocale = 0;
    std::string fontFileName = "Oswbd.ttf";
    std::string typefaceName = "Orvik Sans Wise";
    int characterSet = 0;
    int codePage = 1252;
    int englishBase = 0;
    int langId = -1;
    std::string defaultUrl;

    bool rightToLeft = false;
    bool loaded = false; ///< set by LoadSettings; saving happens only when set
};

/// What loading reports besides the fields (for tests and traces).
struct SettingsLoadReport {
    bool machineKeyOpened = false;
    bool userKeyOpened = false;
    bool userValuesForAnotherLanguage = false;
};

/// The skin defaults written into the user key on a first start. The drive
/// root of the original becomes the file-system root.
inline constexpr std::string_view kDefaultSkinPath = "/";
inline constexpr std::string_view kDefaultSkinName = "default.nms";

/// Reads the settings in the fixed order. `currentFolder` is the default of
/// "pth". A missing machine key shows the reinstall message through `prompt`
/// (texts 336 and 337 of `loc`) and leaves the built-in defaults.
SettingsLoadReport LoadSettings(const Registry& registry, Prompt* prompt, const CLocalize* loc,
                                const std::string& currentFolder, AppSettings& s);

/// Writes the user values (the key created when missing) in one change of
/// the hive; false when the user key can neither be opened nor created
/// (nothing is saved then).
bool SaveSettings(const Registry& registry, const AppSettings& s);

/// Column widths from the stored text ("180,60,60,"): each comma-separated
/// piece read with a leading-decimal conversion, its low 16 bits a width.
/// At most `columns` widths; an empty text gives none.
std::vector<int> ParseColumnWidths(std::string_view text, size_t columns);
/// "%d," for each width, joined.
std::string FormatColumnWidths(const std::vector<int>& widths);

/// Pages of GetColumnWidths/SetColumnWidths: 1 Music Studio (6 columns),
/// 2 Mobile Device (3), 3 CD Player (3).
size_t ColumnCountOfPage(int page);
/// The settings text of a page (null for an unknown page).
std::string* ColumnTextOfPage(AppSettings& s, int page);

/// A list whose column widths the settings keep (implemented by the pages' lists).
class ColumnList {
public:
    virtual ~ColumnList() = default;
    virtual int ColumnCount() const = 0;
    virtual int ColumnWidth(int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
};
/// Applies the page's stored widths to the list (an empty text leaves it).
void GetColumnWidths(const AppSettings& s, int page, ColumnList& list);
/// Stores the list's widths of the page's columns into the settings.
void SetColumnWidths(AppSettings& s, int page, const ColumnList& list);

} // namespace lyb
