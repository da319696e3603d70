// The interface language table: every text the program shows is looked up
// here by number, with its English text as the default.
//
// The table is read from "lang.dat", a file of UTF-16LE lines "id=text"
// ended by CR LF. Identifiers 0..499 are kept; later lines replace earlier
// ones. Texts are converted to the interface code page (unmappable
// characters become "?") and held as UTF-8. Lookups never fail: an empty
// slot gives the caller's default.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace lyb {

/// A menu as the localiser walks it: items in order, a text item's text,
/// separators, and pop-up items with their sub-menu. The widget layer
/// adapts its menus to this; tests use a plain tree.
class LocalizableMenu {
public:
    virtual ~LocalizableMenu() = default;
    virtual int ItemCount() const = 0;
    /// False for separators (and any other non-text item).
    virtual bool IsTextItem(int index) const = 0;
    virtual std::string ItemText(int index) const = 0;
    virtual void SetItemText(int index, const std::string& text) = 0;
    /// The pop-up's sub-menu, or null when the item opens none.
    virtual LocalizableMenu* SubMenu(int index) = 0;
};

class CLocalize {
public:
    static constexpr int kSlotCount = 500;
    /// Bytes a slot holds, terminator included (texts keep at most 1023).
    static constexpr size_t kSlotBytes = 1024;
    /// Units of one line that are read; the rest of a longer line is dropped.
    static constexpr size_t kLineUnits = 1024;
    /// Units of the identifier part that are used.
    static constexpr size_t kIdUnits = 20;
    /// The address of the game-phone web site put into the fixed slots.
    static constexpr std::string_view kSiteAddress = "http://games.orvik.com";
    /// Text identifiers of the main menu's items, in walking order (0: separator).
    static const std::array<int, 43> kMenuTextIds;

    CLocalize();

    /// The language file; normally the program's folder followed by "lang.dat".
    void SetPath(std::string path) { m_path = std::move(path); }
    const std::string& Path() const { return m_path; }

    /// The interface code page (settings value "CodePage"), default 1252.
    void SetCodePage(unsigned codePage) { m_codePage = codePage; }
    unsigned CodePage() const { return m_codePage; }

    /// Reads the language file at Path(). A missing or unreadable file leaves
    /// the slots as they were (empty after construction); the four fixed slots
    /// are filled either way once a load has been attempted on a readable file.
    void Load();
    /// The same from the file's bytes (used by Load, tests and the fuzzer).
    void LoadFromBytes(std::string_view bytes);

    /// Texts of a string file of the installer or the uninstaller
    /// ("uninstall.dat"): the same lines, with the escapes backslash-n,
    /// backslash-t and two backslashes translated to newline, tab and one
    /// backslash, each text cut to
    /// kStringFileTextUnits units, and no fixed slots.
    void LoadStringFile(std::string_view bytes);
    static constexpr size_t kStringFileTextUnits = 1020;
    /// Empties every slot (the English interface).
    void Clear();

    /// The slot's text when not empty, else `english`. Out-of-range ids give `english`.
    std::string Get(int id, std::string_view english) const;

    /// Replaces each text item's text by Get(kMenuTextIds[counter], text),
    /// depth first; every item advances the counter. Positions beyond the
    /// table keep their text. Returns the counter after the walk.
    int LocalizeMenu(LocalizableMenu& menu, int counter = 0) const;

    /// UTF-16 text to the interface code page ("?" for what it cannot hold),
    /// returned as UTF-8, at most 1023 bytes. When the code page is unknown
    /// the result is one "?" per unit.
    std::string ToInterfaceText(std::u16string_view units) const;
    /// UTF-16 text to the system code page (UTF-8 here) with " " for what
    /// cannot be converted (lone surrogates), at most 1023 bytes.
    std::string ToAnsiText(std::u16string_view units) const;

private:
    void ParseLines(std::string_view bytes, bool escapes, size_t textUnits);

    std::array<std::string, kSlotCount> m_slots;
    std::string m_path;
    unsigned m_codePage = 1252;
};

/// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
std::string TruncateUtf8(std::string text, size_t maxBytes);

} // namespace lyb
