// The ".nms" skin file: a 4-byte signature ("NS" and two bytes nobody
// reads), 50 bytes of author, 100 of description and a complete 24-bit
// Windows bitmap file of 300 x 312 pixels, 281010 bytes in all.
//
// The reader checks exactly what the program always checked (signature,
// every read's count, "BM", width and height) and takes the pixels from
// byte 54 of the bitmap whatever its header says; it never reads beyond
// what it was given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

namespace skin {
inline constexpr int kWidth = 300;
inline constexpr int kHeight = 312;
inline constexpr size_t kSignatureBytes = 4;
inline constexpr size_t kAuthorBytes = 50;
inline constexpr size_t kDescriptionBytes = 100;
inline constexpr size_t kPictureBytes = 280856;
inline constexpr size_t kPixelOffset = 54; ///< inside the picture block
inline constexpr size_t kRowBytes = 900;   ///< 300 pixels x 3, already a multiple of 4
inline constexpr size_t kPixelBytes = kRowBytes * kHeight;
inline constexpr size_t kFileBytes = kSignatureBytes + kAuthorBytes + kDescriptionBytes + kPictureBytes;
} // namespace skin

/// A skin picture: 300 x 312 pixels, 8-bit red, green, blue, rows from the top.
struct SkinPicture {
    std::vector<std::uint8_t> rgb; ///< kWidth * kHeight * 3 bytes

    std::uint32_t Pixel(int x, int y) const; ///< 0xRRGGBB; 0 outside the picture
};

/// What reading a skin gave.
struct SkinFile {
    bool ok = false;
    /// The check that failed, in the program's trace wording
    /// (e.g. "(header[0]!='N')||(header[1]!='S')"); empty when ok or when
    /// the file could not be opened.
    std::string failedCheck;
    std::string author;      ///< UTF-8, up to the first NUL
    std::string description; ///< UTF-8, up to the first NUL
    SkinPicture picture;
};

/// Reads a skin file by name. A file that cannot be opened gives !ok with
/// an empty failedCheck.
SkinFile ReadSkinFile(const std::string& path);
/// The same from the file's bytes.
SkinFile ReadSkinBytes(std::string_view bytes);

/// Builds the bytes of a skin file from a picture (rows from the top) and
/// the two texts (cut to 49 and 99 bytes at a character boundary).
/// Signature bytes 2 and 3 are written as 0x01 0x00.
std::string WriteSkinBytes(const SkinPicture& picture, std::string_view author, std::string_view description);

} // namespace lyb
