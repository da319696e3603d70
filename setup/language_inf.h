// "language.inf": the languages a distribution offers (an INI file).
//
// Section "LANGUAGE", key "Default": the section of the default language.
// Every other section with a "LanguageName" is one language, numbered 0, 1,
// 2, ... in file order (the number is stored as "LangID"); its keys name
// the files of that language and its font, code page and web address.
// Section and key names compare without regard to letter case; the first
// of two sections or keys of one name counts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lyb {

struct SetupLanguage {
    int id = 0;                 ///< the number stored as "LangID"
    std::string section;
    std::string name;           ///< "LanguageName"
    std::string interfaceFile;  ///< "LocalizationFileName" (copied as "lang.dat")
    std::string installFile;    ///< "LocalizationInstallFileName" (the installer's texts)
    std::string uninstallFile;  ///< "LocalizationUninstallFileName", else the installer's file
    std::string helpFile;       ///< "LocalizationHlpFileName" (copied as "lyb30l.chm")
    std::string fontFile;       ///< "FontFileName"
    std::string typeface;       ///< "TypefaceName"
    int characterSet = 0;       ///< "CharacterSet"
    int codePage = 1252;        ///< "CodePage"
    std::string defaultUrl;     ///< "DefaultURL"
    bool englishBase = false;   ///< one of the two English variants

    bool RightToLeft() const { return codePage == 1255 || codePage == 1256; }
};

struct LanguageList {
    std::vector<SetupLanguage> languages;
    std::string defaultSection;

    /// The language of the "Default" section, else the first; -1 when none.
    int DefaultIndex() const;
    /// The language whose name is exactly `name`; -1 when none.
    int FindByName(std::string_view name) const;
};

/// Parses the file's bytes (UTF-8, a single-byte code page, or UTF-16 with
/// its byte-order mark). Never fails: what cannot be read is left out.
LanguageList ParseLanguageInf(std::string_view bytes);

/// A file named by a language ("German\lang.dat", backslashes or slashes)
/// as a path below `folder`; empty when the name is empty, absolute, or
/// has a "." or ".." part.
std::string ResolveBelow(const std::string& folder, std::string_view name);

} // namespace lyb
