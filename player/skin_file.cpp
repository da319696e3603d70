#include "player/skin_file.h"

#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace lyb {

namespace {

std::int32_t Le32(const char* p) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(p);
    return static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                                     std::uint32_t(b[3]) << 24);
}

void PutLe(std::string& s, size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A fixed text field up to its first NUL, as UTF-8 (older skins were written
// in a Windows code page).
std::string FieldText(std::string_view field) {
    const size_t end = field.find('\0');
    return DecodeLegacyText(field.substr(0, end == std::string_view::npos ? field.size() : end), 1252);
}

// Cuts UTF-8 text to at most `max` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, size_t max) {
    if (text.size() <= max)
        return text;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

// Reads in the order and with the checks of the program: each read must
// return its full count.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool Read(size_t n, std::string_view& out) {
        if (m_bytes.size() - m_at < n)
            return false;
        out = m_bytes.substr(m_at, n);
        m_at += n;
        return true;
    }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

} // namespace

std::uint32_t SkinPicture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= skin::kWidth || y >= skin::kHeight || rgb.size() < size_t(skin::kWidth) * skin::kHeight * 3)
        return 0;
    const size_t at = (static_cast<size_t>(y) * skin::kWidth + static_cast<size_t>(x)) * 3;
    return std::uint32_t(rgb[at]) << 16 | std::uint32_t(rgb[at + 1]) << 8 | rgb[at + 2];
}

SkinFile ReadSkinBytes(std::string_view bytes) {
    SkinFile s;
    Reader r(bytes);
    std::string_view header, author, descr, picture;
    if (!r.Read(skin::kSignatureBytes, header)) {
        s.failedCheck = "skinfile.Read(header,4)!=4";
        return s;
    }
    if (header[0] != 'N' || header[1] != 'S') {
        s.failedCheck = "(header[0]!='N')||(header[1]!='S')";
        return s;
    }
    if (!r.Read(skin::kAuthorBytes, author)) {
        s.failedCheck = "skinfile.Read(author,50)!=50";
        return s;
    }
    if (!r.Read(skin::kDescriptionBytes, descr)) {
        s.failedCheck = "skinfile.Read(descr,100)!=100";
        return s;
    }
    if (!r.Read(skin::kPictureBytes, picture)) {
        s.failedCheck = "skinfile.ReadHuge(skn,280856)!=280856";
        return s;
    }
    if (picture[0] != 'B' || picture[1] != 'M') {
        s.failedCheck = "(bmfh.bfType!='MB')";
        return s;
    }
    // BITMAPINFOHEADER at 14: size, width, height (bottom-up when positive).
    const std::int32_t width = Le32(picture.data() + 14 + 4);
    const std::int32_t height = Le32(picture.data() + 14 + 8);
    if (width != skin::kWidth || height != skin::kHeight) {
        s.failedCheck = "(bmih.biWidth!=300)||(bmih.biHeight!=312)";
        return s;
    }
    s.author = FieldText(author);
    s.description = FieldText(descr);
    // Pixels from byte 54 whatever the file header says: BGR rows, bottom up.
    s.picture.rgb.resize(size_t(skin::kWidth) * skin::kHeight * 3);
    const auto* px = reinterpret_cast<const std::uint8_t*>(picture.data() + skin::kPixelOffset);
    for (int y = 0; y < skin::kHeight; ++y) {
        const std::uint8_t* row = px + static_cast<size_t>(skin::kHeight - 1 - y) * skin::kRowBytes;
        std::uint8_t* out = s.picture.rgb.data() + static_cast<size_t>(y) * skin::kWidth * 3;
        for (int x = 0; x < skin::kWidth; ++x) {
            out[x * 3 + 0] = row[x * 3 + 2];
            out[x * 3 + 1] = row[x * 3 + 1];
            out[x * 3 + 2] = row[x * 3 + 0];
        }
    }
    s.ok = true;
    return s;
}

SkinFile ReadSkinFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    // A skin is 281010 bytes; more is never needed for the checks.
    std::string bytes(skin::kFileBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return ReadSkinBytes(bytes);
}

std::string WriteSkinBytes(const SkinPicture& picture, std::string_view author, std::string_view description) {
    std::string out(skin::kFileBytes, '\0');
    out[0] = 'N';
    out[1] = 'S';
    out[2] = 1;
    const std::string_view a = CutUtf8(author, skin::kAuthorBytes - 1);
    const std::string_view d = CutUtf8(description, skin::kDescriptionBytes - 1);
    std::memcpy(&out[4], a.data(), a.size());
    std::memcpy(&out[54], d.data(), d.size());
    const size_t bmp = 154;
    out[bmp] = 'B';
    out[bmp + 1] = 'M';
    PutLe(out, bmp + 2, static_cast<std::uint32_t>(skin::kPictureBytes), 4); // file size
    PutLe(out, bmp + 10, static_cast<std::uint32_t>(skin::kPixelOffset), 4);
    PutLe(out, bmp + 14, 40, 4);
    PutLe(out, bmp + 18, skin::kWidth, 4);
    PutLe(out, bmp + 22, skin::kHeight, 4);
    PutLe(out, bmp + 26, 1, 2);  // planes
    PutLe(out, bmp + 28, 24, 2); // bits per pixel
    PutLe(out, bmp + 34, static_cast<std::uint32_t>(skin::kPixelBytes), 4);
    PutLe(out, bmp + 38, 2835, 4); // 72 dpi
    PutLe(out, bmp + 42, 2835, 4);
    if (picture.rgb.size() >= size_t(skin::kWidth) * skin::kHeight * 3) {
        for (int y = 0; y < skin::kHeight; ++y) {
            const std::uint8_t* row = picture.rgb.data() + static_cast<size_t>(y) * skin::kWidth * 3;
            char* dst = &out[bmp + skin::kPixelOffset + static_cast<size_t>(skin::kHeight - 1 - y) * skin::kRowBytes];
            for (int x = 0; x < skin::kWidth; ++x) {
                dst[x * 3 + 0] = static_cast<char>(row[x * 3 + 2]);
                dst[x * 3 + 1] = static_cast<char>(row[x * 3 + 1]);
                dst[x * 3 + 2] = static_cast<char>(row[x * 3 + 0]);
            }
        }
    }
    return out;
}

} // namespace lyb
