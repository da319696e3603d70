#include "app/localize.h"

#include "platform/text.h"

#include <fstream>
#include <iterator>

namespace lyb {

const std::array<int, 43> CLocalize::kMenuTextIds = {
    1,  2,  3,  0,  4,  5,  6,  0,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 0,  19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 0,  34, 0,  35, 36, 37, 0,  38, 0,  0};

namespace {

// UTF-16 to UTF-8 where a lone surrogate becomes `replacement`.
std::string Utf16ToUtf8Replacing(std::u16string_view units, char replacement) {
    std::u16string clean;
    clean.reserve(units.size());
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            clean.push_back(c);
            clean.push_back(units[++i]);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            clean.push_back(static_cast<char16_t>(static_cast<unsigned char>(replacement)));
        } else {
            clean.push_back(c);
        }
    }
    return Utf16ToUtf8(clean);
}

// Leading decimal conversion of an ASCII/UTF-8 identifier: optional blanks,
// optional sign, digits; no digits reads as 0. Saturates instead of overflowing.
long ReadLeadingInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value < 100000000L)
            value = value * 10 + (s[i] - '0');
    }
    return negative ? -value : value;
}

// \n, \t and \\ of a string file's text; any other backslash stays.
std::u16string TranslateEscapes(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const char16_t next = text[i + 1];
            if (next == u'n' || next == u't' || next == u'\\') {
                out.push_back(next == u'n' ? u'\n' : next == u't' ? u'\t' : u'\\');
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

} // namespace

std::string TruncateUtf8(std::string text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t cut = maxBytes;
    // Step back over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

CLocalize::CLocalize() = default;

void CLocalize::Clear() {
    for (auto& slot : m_slots)
        slot.clear();
}

void CLocalize::Load() {
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
        return;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LoadFromBytes(bytes);
}

void CLocalize::LoadFromBytes(std::string_view bytes) {
    ParseLines(bytes, false, kLineUnits);
    const std::string site(kSiteAddress);
    m_slots[6] = site + "\tCtrl+3";
    m_slots[155] = site;
    m_slots[182] = site;
    m_slots[413] = site;
}

void CLocalize::LoadStringFile(std::string_view bytes) { ParseLines(bytes, true, kStringFileTextUnits); }

void CLocalize::ParseLines(std::string_view bytes, bool escapes, size_t textUnits) {
    std::u16string line;
    line.reserve(kLineUnits);
    auto finishLine = [&](std::u16string_view text) {
        size_t eq = text.find(u'=');
        if (eq == std::u16string_view::npos)
            return;
        std::u16string_view idPart = text.substr(0, std::min(eq, kIdUnits));
        long id = ReadLeadingInt(ToAnsiText(idPart));
        if (id < 0 || id >= kSlotCount)
            return;
        std::u16string value(text.substr(eq + 1));
        if (escapes)
            value = TranslateEscapes(value);
        if (value.size() > textUnits)
            value.resize(textUnits);
        m_slots[static_cast<size_t>(id)] = ToInterfaceText(value);
    };
    // Units are read in pairs of bytes; an odd last byte cannot form a unit.
    bool lastWasCR = false;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (unit == u'\n' && lastWasCR) {
            // The CR before the LF is part of the line end, not of the text.
            if (!line.empty() && line.back() == u'\r')
                line.pop_back();
            finishLine(line);
            line.clear();
            lastWasCR = false;
            continue;
        }
        lastWasCR = unit == u'\r';
        if (line.size() < kLineUnits)
            line.push_back(unit);
        else if (lastWasCR)
            line.back() = u'\r'; // keep the line end recognisable after a cut
    }
    if (!line.empty())
        finishLine(line);
}

std::string CLocalize::Get(int id, std::string_view english) const {
    if (id >= 0 && id < kSlotCount && !m_slots[static_cast<size_t>(id)].empty())
        return m_slots[static_cast<size_t>(id)];
    return std::string(english);
}

int CLocalize::LocalizeMenu(LocalizableMenu& menu, int counter) const {
    const int count = menu.ItemCount();
    for (int i = 0; i < count; ++i) {
        const int position = counter++;
        if (menu.IsTextItem(i) && position >= 0 &&
            position < static_cast<int>(kMenuTextIds.size())) {
            menu.SetItemText(i, Get(kMenuTextIds[static_cast<size_t>(position)], menu.ItemText(i)));
        }
        if (LocalizableMenu* sub = menu.SubMenu(i))
            counter = LocalizeMenu(*sub, counter);
    }
    return counter;
}

std::string CLocalize::ToInterfaceText(std::u16string_view units) const {
    const std::string utf8 = Utf16ToUtf8Replacing(units, '?');
    std::string paged;
    if (!Utf8ToCodePage(m_codePage, utf8, paged, '?'))
        return std::string(std::min(units.size(), kSlotBytes - 1), '?');
    if (m_codePage == 65001)
        return TruncateUtf8(paged, kSlotBytes - 1);
    // The slot's limit counts bytes of the interface code page.
    if (paged.size() > kSlotBytes - 1)
        paged.resize(kSlotBytes - 1);
    std::string back;
    if (!CodePageToUtf8(m_codePage, paged, back))
        return std::string(std::min(units.size(), kSlotBytes - 1), '?');
    return back;
}

std::string CLocalize::ToAnsiText(std::u16string_view units) const {
    return TruncateUtf8(Utf16ToUtf8Replacing(units, ' '), kSlotBytes - 1);
}

} // namespace lyb
