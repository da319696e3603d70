#include "platform/text.h"

#include <cerrno>
#include <iconv.h>

namespace lyb {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one code point at `i`; advances `i`. Invalid input yields U+FFFD
// and consumes one byte, so decoding always makes progress.
char32_t DecodeUtf8(std::string_view s, size_t& i, bool& valid) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    valid = true;
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        ++i; valid = false;
        return kReplacement;
    }
    if (i + len > s.size()) {
        ++i; valid = false;
        return kReplacement;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i; valid = false;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i; valid = false;
        return kReplacement;
    }
    i += len;
    return cp;
}

const char* IconvName(unsigned codePage) {
    switch (codePage) {
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    default: return nullptr;
    }
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
    }
    return Utf16ToUtf8(units);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        bool valid = true;
        char32_t cp = DecodeUtf8(text, i, valid);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        AppendUtf8(out, static_cast<unsigned char>(ch));
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        bool valid = true;
        DecodeUtf8(bytes, i, valid);
        if (!valid)
            return false;
    }
    return true;
}

bool CodePageToUtf8(unsigned codePage, std::string_view bytes, std::string& out) {
    out.clear();
    if (codePage == 65001) {
        out = IsValidUtf8(bytes) ? std::string(bytes) : Utf16ToUtf8(Utf8ToUtf16(bytes));
        return true;
    }
    const char* name = IconvName(codePage);
    if (!name)
        return false;
    Iconv cd("UTF-8", name);
    if (!cd.ok())
        return false;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        size_t r = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the page does not define: show it as U+FFFD and go on.
            AppendUtf8(out, kReplacement);
            ++in;
            --inLeft;
        }
    }
    // Some pages (1255, 1258) hold a letter back until they know that no
    // combining mark follows it: the end of the input lets it out.
    char* o = buf;
    size_t oLeft = sizeof buf;
    iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    return true;
}

bool Utf8ToCodePage(unsigned codePage, std::string_view text, std::string& out, char replacement) {
    out.clear();
    if (codePage == 65001) {
        out = IsValidUtf8(text) ? std::string(text) : Utf16ToUtf8(Utf8ToUtf16(text));
        return true;
    }
    const char* name = IconvName(codePage);
    if (!name)
        return false;
    Iconv cd(name, "UTF-8");
    if (!cd.ok())
        return false;
    size_t i = 0;
    char buf[8];
    while (i < text.size()) {
        size_t start = i;
        bool valid = true;
        DecodeUtf8(text, i, valid);
        if (!valid) {
            out.push_back(replacement);
            continue;
        }
        char* in = const_cast<char*>(text.data() + start);
        size_t inLeft = i - start;
        char* o = buf;
        size_t oLeft = sizeof buf;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd.get(), &in, &inLeft, &o, &oLeft) == static_cast<size_t>(-1) ||
            iconv(cd.get(), nullptr, nullptr, &o, &oLeft) == static_cast<size_t>(-1))
            out.push_back(replacement);
        else
            out.append(buf, static_cast<size_t>(o - buf));
    }
    return true;
}

std::string DecodeLegacyText(std::string_view bytes, unsigned fallbackCodePage) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return DecodeTextLine(bytes, fallbackCodePage);
}

std::string DecodeTextLine(std::string_view line, unsigned fallbackCodePage) {
    if (IsValidUtf8(line))
        return std::string(line);
    std::string out;
    if (!CodePageToUtf8(fallbackCodePage, line, out))
        out = Latin1ToUtf8(line);
    return out;
}

std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

} // namespace lyb
