// In-memory ID3v2 tag: read versions 2.2, 2.3 and 2.4, edit the title,
// artist, length and URL frames, render and write the tag (always 2.4 when
// this program builds a new tag).
//
// Sizes: the tag size and the extended-header size are sync-safe (7 bits a
// byte); frame sizes are plain big-endian integers in 2.2 (3 bytes) and 2.3
// (4 bytes) and sync-safe in 2.4 (a 2.4 tag whose sizes a known writer put
// as plain integers is recognised by which reading lines the frames up).
// Texts are UTF-8 on this side; text frames are read in every ID3 encoding
// (ISO-8859-1, UTF-16 with or without a byte-order mark, UTF-16BE, UTF-8)
// and written as UTF-16 with the mark FE FF. URL frames (W***) hold the bare
// ISO-8859-1 URL, with no encoding byte.
//
// Frames are held decoded: unsynchronisation (of the whole tag in 2.2 and
// 2.3, of each frame in 2.4) and 2.4 data length indicators are undone when
// read, so a tag is always written back whole and plain. A 2.4 footer is
// believed only when its "3DI" is there.
//
// Reading never trusts the file: a size running past the data ends the frame
// list, keeping the frames before it. Writing never loses the music file: a
// tag that outgrows its space is written with the audio into a new
// temporary file beside the original, which then replaces it atomically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

class ID3v2Tag {
  public:
    struct Frame {
        std::string id;     ///< 4 characters (3 in version 2)
        uint16_t flags = 0; ///< frame header flags (versions 3 and 4)
        std::string data;   ///< the frame's data bytes
    };

    /// Largest tag size the header can express (28 bits).
    static constexpr uint32_t kMaxTagSize = 0x0FFFFFFF;
    /// Space of a new tag.
    static constexpr uint32_t kNewTagSize = 1024;
    /// A tag grows in steps of this many bytes.
    static constexpr uint32_t kGrowStep = 256;

    /// Frames larger than this are not read in ReadMode::Info.
    static constexpr uint32_t kInfoFrameLimit = 256 * 1024;

    enum class ReadMode {
        Full, ///< every frame's data: the tag can be edited and written back
        Info, ///< frames above kInfoFrameLimit (pictures) are listed without
              ///< data; such a tag cannot be rendered or written
    };

    ID3v2Tag();

    /// Reads the tag at the start of the file. False when the file cannot be
    /// read or does not start with a tag of version 2, 3 or 4 whose body is
    /// complete. Unsynchronisation is not undone.
    bool ReadTag(const std::string& path, ReadMode mode = ReadMode::Full);
    /// The same from bytes (the start of a file).
    bool ReadTagFromBytes(std::string_view bytes, ReadMode mode = ReadMode::Full);
    /// True when frames were left unread (ReadMode::Info).
    bool Partial() const { return m_partial; }
    /// True when every frame of the tag read was understood: the frame list
    /// ended at the padding or the tag's end, not at bytes that are no frame.
    /// Only such a tag can be written back in place of the old one without
    /// losing anything.
    bool Complete() const { return m_complete && !m_partial; }

    /// The text of the last frame with this identifier and non-empty data
    /// (compressed or encrypted frames cannot be read), as UTF-8, at most
    /// `maxChars` characters, cut at the first NUL. Empty when there is no
    /// such frame. This frame is also the one the setters edit.
    std::string GetTextFrame(std::string_view id, size_t maxChars = 255) const;
    std::string GetTitle() const;
    std::string GetArtist() const;
    std::string GetURL() const;
    /// The length frame (milliseconds) in whole seconds; 0 without one.
    /// "-1000" (written for an unknown length) reads back as 0xFFFFFFFF.
    uint32_t GetLength() const;

    /// Replaces the data of the frame `id` that GetTextFrame reads (else the
    /// first, or a new one) with a zero encoding byte followed by `bytes`;
    /// other frames with that identifier are removed.
    void SetRawTextFrame(std::string_view id, std::string_view bytes);
    /// Stores UTF-8 `text` as encoding 1, mark FE FF, big-endian UTF-16;
    /// with `terminator` a NUL unit follows the text.
    void SetUnicodeTextFrame(std::string_view id, std::string_view text, bool terminator = false);
    /// Removes every frame with the identifier.
    void RemoveFrame(std::string_view id);

    /// The title is stored with its terminating NUL.
    void SetTitle(std::string_view text);
    /// Empty text removes the frame.
    void SetArtist(std::string_view text);
    /// The bare URL (characters outside printable ASCII percent-encoded);
    /// an unchanged URL leaves its frame as it is.
    void SetURL(std::string_view text);
    /// Milliseconds as decimal text; kNoLength (0xFFFFFFFF) is written as "-1000".
    void SetLength(uint32_t seconds);

    /// Empty version-4 tag of kNewTagSize bytes.
    void ResetTag();
    /// ResetTag, title, artist, and grown until the frames fit.
    void SetTitleAndArtist(std::string_view title, std::string_view artist);

    /// Builds size + 10 bytes: header, frames, zero padding. False when the
    /// frames do not fit into the size.
    bool RenderTag();
    /// Encodes the 10 header bytes from version, revision, flags and size.
    /// False for a version other than 2, 3, 4.
    bool EncodeHeader();
    /// Grows the size in kGrowStep steps until the frames fit (false when
    /// even the largest size is too small).
    bool GrowToFit();
    /// Clears what rendering does not write (the extended header and
    /// unsynchronisation flags), so a tag read from a file renders as a
    /// well-formed tag of its own.
    void DropUnwrittenFlags();

    /// Writes the tag to the start of the file. When the tag still fits the
    /// space of the tag now in the file and `force` is false, only the first
    /// size + 10 bytes are overwritten. Otherwise the file is rebuilt through
    /// a temporary file (the path with its last character replaced by "~"):
    /// the new tag, then the file's content after its old tag (with `force`,
    /// the whole old content), then an atomic rename over the original. On
    /// any failure the original is untouched and the temporary file removed.
    /// The extended-header and unsynchronisation flags are cleared, since
    /// neither is written.
    bool WriteTag(const std::string& path, bool force);

    // State.
    int MajorVersion() const { return m_major; }
    int Revision() const { return m_revision; }
    bool Unsynchronised() const { return m_unsync; }
    bool HasExtendedHeader() const { return m_extended; }
    bool Experimental() const { return m_experimental; }
    uint32_t Size() const { return m_size; }
    /// True when the tag read has a 2.4 footer (flag set and "3DI" there).
    bool HasFooter() const { return m_footer; }
    /// Bytes the tag read takes in the file: header, body and footer. The
    /// audio starts here.
    uint64_t TotalSize() const { return uint64_t(m_size) + 10 + (m_footer ? 10 : 0); }
    uint32_t FrameStart() const { return m_frameStart; }
    void SetSize(uint32_t size) { m_size = size; }
    void SetVersion(int major, int revision = 0) {
        m_major = major;
        m_revision = revision;
    }
    const std::vector<Frame>& Frames() const { return m_frames; }
    const uint8_t* RawHeader() const { return m_header; }
    const std::string& Rendered() const { return m_render; }
    /// Bytes the frames take when rendered (headers included).
    size_t FramesBytes() const;

    /// Identifiers of the four frames used, for this tag's version.
    std::string_view TitleId() const { return m_major == 2 ? "TT2" : "TIT2"; }
    std::string_view ArtistId() const { return m_major == 2 ? "TP1" : "TPE1"; }
    std::string_view LengthId() const { return m_major == 2 ? "TLE" : "TLEN"; }
    std::string_view URLId() const { return m_major == 2 ? "WCM" : "WCOM"; }

  private:
    size_t HeaderBytes() const { return m_major == 2 ? 6 : 10; }
    template <class Source> bool Parse(const uint8_t* head, Source& source, bool skipLarge);
    template <class Source> bool ParseFrames(Source& body, uint32_t size, bool skipLarge);
    void DecodeFrame(Frame& frame) const;
    /// The frame's content after its flag bytes; none when it is
    /// compressed or encrypted.
    std::optional<std::string_view> Payload(const Frame& frame) const;
    const Frame* FindRead(std::string_view id) const;
    Frame* SetFrameData(std::string_view id, std::string data);
    bool IdMatches(const Frame& frame, std::string_view id) const;

    uint8_t m_header[10] = {};
    int m_major = 4;
    int m_revision = 0;
    bool m_unsync = false;
    bool m_extended = false;
    bool m_experimental = false;
    uint32_t m_size = 0;
    uint32_t m_frameStart = 0;
    std::vector<Frame> m_frames;
    std::string m_render;
    bool m_partial = false;
    bool m_footer = false;
    bool m_complete = true;
};

/// The ID3v1 record in the last 128 bytes of a file.
struct ID3v1Record {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    uint8_t genre = 0;

    /// From the last 128 bytes ("TAG" first). Texts end at their first NUL,
    /// trailing blanks are dropped, ISO-8859-1 is converted to UTF-8.
    bool Parse(std::string_view last128);
    bool Read(const std::string& path);
};

/// 28-bit sync-safe integer of 4 bytes (top bit of each byte ignored).
uint32_t DecodeSyncSafe(const uint8_t* bytes, size_t count = 4);
void EncodeSyncSafe(uint32_t value, uint8_t* out, size_t count = 4);

} // namespace lyb
