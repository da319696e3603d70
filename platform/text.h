// Text conversion at the boundaries: inside the program all text is UTF-8.
//
// UTF-16 appears in the language file and in ID3 frames; single-byte code
// pages (1250-1258, ISO-8859-1) in old files. Conversions never fail loudly:
// malformed input is replaced (U+FFFD for UTF-16/UTF-8 decoding, "?" for a
// character the target code page cannot hold), so a broken file can never
// stop a parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

/// UTF-16 code units (host order) to UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

/// Bytes of UTF-16 in the given byte order to UTF-8; an odd last byte is dropped.
std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian);

/// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

/// ISO-8859-1 (Latin-1) bytes to UTF-8 (every byte maps).
std::string Latin1ToUtf8(std::string_view bytes);

/// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

/// Bytes in the Windows code page (e.g. 1252, 1251) to UTF-8 through iconv.
/// Code page 65001 is UTF-8 itself. Unknown code page: returns false.
bool CodePageToUtf8(unsigned codePage, std::string_view bytes, std::string& out);

/// UTF-8 to the Windows code page; characters the page cannot hold become
/// `replacement`. Unknown code page: returns false.
bool Utf8ToCodePage(unsigned codePage, std::string_view text, std::string& out,
                    char replacement = '?');

/// Reads a text file's bytes as UTF-8: a UTF-8 BOM is stripped, valid UTF-8 is
/// kept, anything else is taken as the fallback single-byte code page.
std::string DecodeLegacyText(std::string_view bytes, unsigned fallbackCodePage = 1252);

/// One line of a file whose lines need not share an encoding (lists that
/// several programs and versions have written to): valid UTF-8 is kept,
/// anything else is decoded from the fallback code page. Deciding per line
/// means one odd line never makes the others unreadable.
std::string DecodeTextLine(std::string_view line, unsigned fallbackCodePage = 1252);

/// The lines of a text file as they are stored: split at LF, a CR before the
/// LF dropped, a UTF-8 byte-order mark at the very start dropped. A last
/// line without LF counts; an empty file has no lines. The views point into
/// `bytes`.
std::vector<std::string_view> SplitLines(std::string_view bytes);

} // namespace lyb
