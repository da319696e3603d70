// Desktop entry files (the Linux form of shell links), written as the
// freedesktop.org desktop entry format has desktops read them back: the
// program's own entry for file associations, the installer's shortcuts, and
// reading a value back (the uninstaller checks that a shortcut is one of its
// installation's).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lyb {

/// One argument of an Exec key: an argument holding a reserved character
/// (blank, quote, backslash, $, `, ~, |, &, ;, <, >, *, ?, #, parentheses)
/// is put in double quotes, inside which ", `, $ and \ get a backslash; a
/// literal % is doubled. Field codes such as %f are the caller's to add.
std::string DesktopExecArgument(std::string_view argument);

/// The value of a string key: backslash, newline, tab and carriage return
/// escaped (\\, \n, \t, \r), a leading blank as \s.
std::string DesktopStringValue(std::string_view value);

/// The Exec value for a program and its arguments (each quoted as needed),
/// followed by `fieldCodes` as they are (e.g. "%f"), string-escaped.
std::string DesktopExecValue(const std::vector<std::string>& commandLine,
                             std::string_view fieldCodes = {});

struct DesktopEntry {
    std::string type = "Application";
    std::string name;
    std::string comment;
    std::vector<std::string> command; ///< the program and its arguments, unquoted
    std::string fieldCodes;           ///< e.g. "%f", after the command
    std::string path;                 ///< the working folder
    std::string icon;
    std::string categories;
    std::string mimeTypes;
};

/// The entry's text: the [Desktop Entry] group with its non-empty keys,
/// every value escaped as the format asks.
std::string FormatDesktopEntry(const DesktopEntry& entry);

/// The value of `key` in the [Desktop Entry] group with the string escapes
/// (\s \n \t \r \\) undone; empty when absent.
std::string DesktopEntryValue(std::string_view text, std::string_view key);

/// The file name of a shortcut titled `title`: the title with '/' (which no
/// file name may hold) as '-', and ".desktop".
std::string ShortcutFileName(std::string_view title);

/// The user's desktop folder: XDG_DESKTOP_DIR of user-dirs.dirs in
/// `configHome` ("$HOME/..." expanded), else `home` + "/Desktop".
std::string DesktopFolder(const std::string& configHome, const std::string& home);

} // namespace lyb
