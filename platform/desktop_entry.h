// Values of desktop entry files (the Linux form of shell links), written as
// the freedesktop.org desktop entry format has desktops read them back.
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

} // namespace lyb
