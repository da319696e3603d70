#include "library/id3v2_tag.h"

#include "library/file_util.h"
#include "platform/file_access.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace lyb {

namespace {

constexpr uint8_t kFlagUnsync = 0x80;
constexpr uint8_t kFlagExtended = 0x40;
constexpr uint8_t kFlagExperimental = 0x20;
constexpr uint8_t kFlagFooter = 0x10;                  // version 4 only
// Frame format flags of version 4.
constexpr uint16_t kFrameGrouping4 = 0x0040;
constexpr uint16_t kFrameCompressed4 = 0x0008;
constexpr uint16_t kFrameEncrypted4 = 0x0004;
constexpr uint16_t kFrameUnsync4 = 0x0002;
constexpr uint16_t kFrameDataLengthIndicator = 0x0001;
// Frame format flags of version 3.
constexpr uint16_t kFrameCompressed3 = 0x0080;
constexpr uint16_t kFrameEncrypted3 = 0x0040;
constexpr uint16_t kFrameGrouping3 = 0x0020;

uint32_t BigEndian(const uint8_t* p, size_t count) {
    uint32_t v = 0;
    for (size_t i = 0; i < count; ++i)
        v = (v << 8) | p[i];
    return v;
}

void PutBigEndian(uint32_t v, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[count - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsFrameIdChar(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Keeps at most maxChars code points of UTF-8 text.
std::string CutChars(std::string text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) {
                text.resize(i);
                break;
            }
            ++chars;
        }
    }
    return text;
}

// Header fields of a tag at the start of `head` (10 bytes), or false.
bool ParseHeader(const uint8_t* head, size_t n, int& major, uint32_t& size) {
    if (n < 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3')
        return false;
    if (head[3] < 2 || head[3] > 4)
        return false;
    major = head[3];
    size = DecodeSyncSafe(head + 6);
    return true;
}

// True when a version-4 footer ("3DI", the header's other fields) follows
// the body. Writers set the flag without writing one; the flag alone is not
// trusted, or ten bytes of audio would be taken for a footer.
bool IsFooter(const uint8_t* head, const uint8_t* tail) {
    return tail[0] == '3' && tail[1] == 'D' && tail[2] == 'I' && tail[3] == head[3] &&
           std::memcmp(tail + 6, head + 6, 4) == 0;
}

// Total bytes of the tag at the start of the file (header, body, footer);
// 0 when the file does not start with a tag.
uint64_t TagTotalOnDisk(std::FILE* f) {
    uint8_t head[10];
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return 0;
    size_t n = std::fread(head, 1, sizeof head, f);
    int major = 0;
    uint32_t size = 0;
    if (!ParseHeader(head, n, major, size))
        return 0;
    uint64_t total = 10ull + size;
    uint8_t tail[10];
    if (major == 4 && (head[5] & kFlagFooter) &&
        std::fseek(f, static_cast<long>(total), SEEK_SET) == 0 &&
        std::fread(tail, 1, sizeof tail, f) == sizeof tail && IsFooter(head, tail))
        total += 10;
    return total;
}

// Undoes unsynchronisation: every FF 00 becomes FF.
std::string Resynchronise(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0)
            ++i;
    }
    return out;
}

// A URL frame (W***, but not the user-defined WXXX) holds the bare URL.
bool IsUrlFrameId(std::string_view id) {
    return !id.empty() && id[0] == 'W' && id != "WXXX" && id != "WXX";
}

// A URL as ISO-8859-1 bytes: what is not printable ASCII is percent-encoded
// as UTF-8, as a URI carries such characters.
std::string UrlBytes(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<uint8_t>(c);
        if (b > 0x20 && b < 0x7F) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return out;
}

enum class Walk { Clean, Broken, HighBit };

// Walks version-4 frame headers with sync-safe or plain sizes: Clean when
// the frames line up to the padding or the end of the tag.
template <class Source> Walk WalkFrames(Source& body, uint64_t pos, uint32_t size, bool plain) {
    while (pos < size) {
        uint8_t fh[10];
        if (!body.Read(pos, 1, fh) || fh[0] == 0)
            return Walk::Clean;
        if (pos + 10 > size || !body.Read(pos, 10, fh))
            return Walk::Broken;
        for (size_t i = 0; i < 4; ++i)
            if (!IsFrameIdChar(fh[i]))
                return Walk::Broken;
        if (!plain && ((fh[4] | fh[5] | fh[6] | fh[7]) & 0x80))
            return Walk::HighBit;
        const uint32_t frameSize = plain ? BigEndian(fh + 4, 4) : DecodeSyncSafe(fh + 4);
        if (frameSize > size - pos - 10)
            return Walk::Broken;
        pos += 10 + frameSize;
    }
    return Walk::Clean;
}

} // namespace

uint32_t DecodeSyncSafe(const uint8_t* bytes, size_t count) {
    uint32_t v = 0;
    for (size_t i = 0; i < count; ++i)
        v = (v << 7) | (bytes[i] & 0x7F);
    return v;
}

void EncodeSyncSafe(uint32_t value, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[count - 1 - i] = static_cast<uint8_t>((value >> (7 * i)) & 0x7F);
}

ID3v2Tag::ID3v2Tag() {
    ResetTag();
}

namespace {

// The tag body, read either from memory or from the file; reads outside the
// body fail.
class BodySource {
  public:
    BodySource(const uint8_t* bytes, uint32_t size) : m_bytes(bytes), m_size(size) {}
    BodySource(std::FILE* file, uint32_t size) : m_file(file), m_size(size) {
        // Most tags are small: one read serves every frame.
        if (size <= (1u << 20)) {
            m_cache.resize(size);
            if (std::fread(m_cache.data(), 1, size, file) == size)
                m_bytes = reinterpret_cast<const uint8_t*>(m_cache.data());
            else
                m_failed = true;
        }
    }
    bool Failed() const { return m_failed; }
    bool Read(uint64_t offset, size_t count, void* out) {
        if (offset > m_size || count > m_size - offset)
            return false;
        if (m_bytes) {
            std::memcpy(out, m_bytes + offset, count);
            return true;
        }
        return std::fseek(m_file, static_cast<long>(10 + offset), SEEK_SET) == 0 &&
               std::fread(out, 1, count, m_file) == count;
    }

  private:
    const uint8_t* m_bytes = nullptr;
    std::FILE* m_file = nullptr;
    uint32_t m_size;
    std::string m_cache;
    bool m_failed = false;
};

} // namespace

bool ID3v2Tag::ReadTag(const std::string& path, ReadMode mode) {
    m_frames.clear();
    m_partial = false;
    std::FILE* f = OpenRegularFile(path, "rb");
    if (!f)
        return false;
    uint8_t head[10];
    size_t n = std::fread(head, 1, sizeof head, f);
    int major = 0;
    uint32_t size = 0;
    // A size beyond the end of the file is a short read, found before any
    // allocation.
    auto fileSize = libfile::FileSize(path);
    if (!ParseHeader(head, n, major, size) || !fileSize || *fileSize < 10ull + size) {
        std::fclose(f);
        return false;
    }
    BodySource body(f, size);
    bool ok = !body.Failed() && Parse(head, body, mode == ReadMode::Info);
    uint8_t tail[10];
    m_footer = ok && major == 4 && (head[5] & kFlagFooter) &&
               std::fseek(f, static_cast<long>(10 + size), SEEK_SET) == 0 &&
               std::fread(tail, 1, sizeof tail, f) == sizeof tail && IsFooter(head, tail);
    std::fclose(f);
    if (!ok)
        m_frames.clear();
    return ok;
}

bool ID3v2Tag::ReadTagFromBytes(std::string_view bytes, ReadMode mode) {
    m_frames.clear();
    m_partial = false;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    int major = 0;
    uint32_t size = 0;
    if (!ParseHeader(p, bytes.size(), major, size) || bytes.size() - 10 < size)
        return false;
    BodySource body(p + 10, size);
    if (!Parse(p, body, mode == ReadMode::Info))
        return false;
    m_footer = major == 4 && (p[5] & kFlagFooter) && bytes.size() - 10 - size >= 10 &&
               IsFooter(p, p + 10 + size);
    return true;
}

template <class Source> bool ID3v2Tag::Parse(const uint8_t* head, Source& source, bool skipLarge) {
    std::memcpy(m_header, head, 10);
    m_major = head[3];
    m_revision = head[4];
    m_unsync = (head[5] & kFlagUnsync) != 0;
    m_extended = (head[5] & kFlagExtended) != 0;
    m_experimental = (head[5] & kFlagExperimental) != 0;
    m_footer = false;
    m_complete = true;
    m_size = DecodeSyncSafe(head + 6);

    // Versions 2 and 3 unsynchronise the whole tag: it is undone first, and
    // the frames are read from what it was before.
    if (m_unsync && m_major <= 3) {
        std::string raw(m_size, '\0');
        if (!source.Read(0, m_size, raw.data()))
            return false;
        const std::string body = Resynchronise(raw);
        Source decoded(reinterpret_cast<const uint8_t*>(body.data()),
                       static_cast<uint32_t>(body.size()));
        return ParseFrames(decoded, static_cast<uint32_t>(body.size()), skipLarge);
    }
    return ParseFrames(source, m_size, skipLarge);
}

template <class Source> bool ID3v2Tag::ParseFrames(Source& body, uint32_t size, bool skipLarge) {
    uint64_t start = 0;
    // Version 2 has no extended header (its bit 6 means compression).
    if (m_extended && m_major >= 3) {
        uint8_t extSize[4];
        if (!body.Read(0, 4, extSize)) {
            start = size;
            m_complete = false;
        } else {
            // In 2.4 the size is sync-safe and counts its own four bytes; in
            // 2.3 it is a plain integer that does not.
            uint32_t ext = m_major == 4 ? DecodeSyncSafe(extSize) : BigEndian(extSize, 4);
            start = m_major == 4 ? ext : 4ull + ext;
            if (m_major == 4 && ext < 6) {
                start = size; // malformed: no frames can be located
                m_complete = false;
            }
            m_complete = m_complete && start <= size;
        }
    }
    m_frameStart = static_cast<uint32_t>(std::min<uint64_t>(start, size));

    // Version-4 frame sizes are sync-safe, but a well-known writer put plain
    // integers there; common readers accept both. The reading under which
    // the frames line up is taken, so no frame is cut when it is rewritten.
    bool plainSizes = m_major != 4;
    if (m_major == 4 && WalkFrames(body, m_frameStart, size, false) != Walk::Clean)
        plainSizes = WalkFrames(body, m_frameStart, size, true) == Walk::Clean;

    const size_t hdr = HeaderBytes();
    const size_t idLen = m_major == 2 ? 3 : 4;
    uint64_t pos = m_frameStart;
    while (pos < size) {
        uint8_t fh[10] = {};
        if (!body.Read(pos, 1, fh) || fh[0] == 0)
            break; // padding
        if (pos + hdr > size || !body.Read(pos, hdr, fh)) {
            m_complete = false;
            break;
        }
        bool validId = true;
        for (size_t i = 0; i < idLen; ++i)
            validId = validId && IsFrameIdChar(fh[i]);
        if (!validId) {
            m_complete = false;
            break;
        }
        uint32_t frameSize = 0;
        uint16_t flags = 0;
        if (m_major == 2) {
            frameSize = BigEndian(fh + 3, 3);
        } else {
            frameSize = plainSizes ? BigEndian(fh + 4, 4) : DecodeSyncSafe(fh + 4);
            flags = static_cast<uint16_t>(BigEndian(fh + 8, 2));
        }
        if (frameSize > size - pos - hdr) {
            m_complete = false;
            break; // runs past the tag: keep the frames before it
        }
        Frame frame;
        frame.id.assign(reinterpret_cast<const char*>(fh), idLen);
        frame.flags = flags;
        if (skipLarge && frameSize > kInfoFrameLimit) {
            m_partial = true; // pictures and the like: not needed for the texts
        } else {
            frame.data.resize(frameSize);
            if (!body.Read(pos + hdr, frameSize, frame.data.data()))
                return false;
            DecodeFrame(frame);
        }
        m_frames.push_back(std::move(frame));
        pos += hdr + frameSize;
    }
    return true;
}

void ID3v2Tag::DecodeFrame(Frame& frame) const {
    if (m_major != 4)
        return;
    // Version 4 unsynchronises frame by frame (the tag's flag says all are).
    if ((frame.flags & kFrameUnsync4) || m_unsync) {
        frame.data = Resynchronise(frame.data);
        frame.flags &= static_cast<uint16_t>(~kFrameUnsync4);
    }
    // The data length indicator only matters for data we cannot decode.
    if ((frame.flags & kFrameDataLengthIndicator) &&
        !(frame.flags & (kFrameCompressed4 | kFrameEncrypted4))) {
        const size_t at = (frame.flags & kFrameGrouping4) ? 1 : 0;
        if (frame.data.size() >= at + 4) {
            frame.data.erase(at, 4);
            frame.flags &= static_cast<uint16_t>(~kFrameDataLengthIndicator);
        }
    }
}

std::optional<std::string_view> ID3v2Tag::Payload(const Frame& frame) const {
    std::string_view data = frame.data;
    size_t skip = 0;
    if (m_major == 4) {
        if (frame.flags & (kFrameCompressed4 | kFrameEncrypted4))
            return std::nullopt;
        skip = ((frame.flags & kFrameGrouping4) ? 1 : 0) +
               ((frame.flags & kFrameDataLengthIndicator) ? 4 : 0);
    } else if (m_major == 3) {
        if (frame.flags & (kFrameCompressed3 | kFrameEncrypted3))
            return std::nullopt;
        skip = (frame.flags & kFrameGrouping3) ? 1 : 0;
    }
    if (data.size() < skip)
        return std::nullopt;
    return data.substr(skip);
}

bool ID3v2Tag::IdMatches(const Frame& frame, std::string_view id) const {
    size_t n = m_major == 2 ? 3 : 4;
    return std::string_view(frame.id).substr(0, n) == id.substr(0, n);
}

const ID3v2Tag::Frame* ID3v2Tag::FindRead(std::string_view id) const {
    const Frame* found = nullptr;
    for (const Frame& frame : m_frames)
        if (IdMatches(frame, id)) {
            auto payload = Payload(frame);
            if (payload && !payload->empty())
                found = &frame;
        }
    return found;
}

ID3v2Tag::Frame* ID3v2Tag::SetFrameData(std::string_view id, std::string data) {
    // The frame edited is the frame read; duplicates of it (which the
    // standard does not allow) go, so every reader sees the new text.
    const Frame* read = FindRead(id);
    Frame* target = nullptr;
    for (Frame& frame : m_frames)
        if (IdMatches(frame, id) && (!read || &frame == read)) {
            target = &frame;
            break;
        }
    if (!target) {
        Frame frame;
        size_t n = m_major == 2 ? 3 : 4;
        frame.id = std::string(id.substr(0, n));
        frame.id.resize(n, ' ');
        m_frames.push_back(std::move(frame));
        target = &m_frames.back();
    }
    target->data = std::move(data);
    target->flags = 0; // the old flags described the old data
    const size_t index = static_cast<size_t>(target - m_frames.data());
    for (size_t i = m_frames.size(); i-- > 0;)
        if (i != index && IdMatches(m_frames[i], id))
            m_frames.erase(m_frames.begin() + static_cast<std::ptrdiff_t>(i));
    for (Frame& frame : m_frames)
        if (IdMatches(frame, id))
            return &frame;
    return nullptr;
}

std::string ID3v2Tag::GetTextFrame(std::string_view id, size_t maxChars) const {
    const Frame* found = FindRead(id);
    if (!found)
        return {};
    std::string_view data = *Payload(*found);
    const uint8_t encoding = static_cast<uint8_t>(data[0]);
    if (IsUrlFrameId(found->id) && encoding > 3) {
        // A URL frame holds the bare ISO-8859-1 URL. (Older versions of this
        // program laid it out like a text frame, encoding byte first: those
        // start with a byte no URL starts with, and are read as text.)
        return CutChars(Latin1ToUtf8(data.substr(0, data.find('\0'))), maxChars);
    }
    data.remove_prefix(1);
    std::string text;
    if (encoding == 0 || encoding == 3) {
        data = data.substr(0, data.find('\0'));
        // Encoding 0 is ISO-8859-1; 3 is UTF-8 (kept, invalid bytes replaced).
        text = encoding == 0 ? Latin1ToUtf8(data) : Utf16ToUtf8(Utf8ToUtf16(data));
    } else {
        // 16-bit text: a byte-order mark decides; without one encoding 2 is
        // big-endian by definition and every other value little-endian.
        bool bigEndian = encoding == 2;
        if (data.size() >= 2) {
            auto b0 = static_cast<uint8_t>(data[0]);
            auto b1 = static_cast<uint8_t>(data[1]);
            if (b0 == 0xFF && b1 == 0xFE) {
                bigEndian = false;
                data.remove_prefix(2);
            } else if (b0 == 0xFE && b1 == 0xFF) {
                bigEndian = true;
                data.remove_prefix(2);
            }
        }
        size_t units = data.size() / 2;
        size_t end = units;
        for (size_t i = 0; i < units; ++i)
            if (data[2 * i] == 0 && data[2 * i + 1] == 0) {
                end = i;
                break;
            }
        text = Utf16BytesToUtf8(data.substr(0, end * 2), bigEndian);
    }
    return CutChars(std::move(text), maxChars);
}

std::string ID3v2Tag::GetTitle() const {
    return GetTextFrame(TitleId());
}
std::string ID3v2Tag::GetArtist() const {
    return GetTextFrame(ArtistId());
}
std::string ID3v2Tag::GetURL() const {
    return GetTextFrame(URLId());
}

uint32_t ID3v2Tag::GetLength() const {
    std::string text = GetTextFrame(LengthId(), 50);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int64_t ms = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        ms = ms * 10 + (text[i] - '0');
        if (ms > (int64_t(1) << 50))
            break; // absurd; clamp
    }
    int64_t seconds = (negative ? -ms : ms) / 1000; // truncates toward zero
    return static_cast<uint32_t>(seconds);
}

void ID3v2Tag::SetRawTextFrame(std::string_view id, std::string_view bytes) {
    std::string data;
    data.reserve(bytes.size() + 1);
    data.push_back('\0');
    data.append(bytes);
    SetFrameData(id, std::move(data));
}

void ID3v2Tag::SetUnicodeTextFrame(std::string_view id, std::string_view text, bool terminator) {
    std::u16string units = Utf8ToUtf16(text);
    if (terminator)
        units.push_back(u'\0');
    std::string bytes;
    bytes.reserve(2 + units.size() * 2);
    bytes.push_back(static_cast<char>(0xFE));
    bytes.push_back(static_cast<char>(0xFF));
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u >> 8));
        bytes.push_back(static_cast<char>(u & 0xFF));
    }
    bytes.insert(bytes.begin(), '\x01');
    SetFrameData(id, std::move(bytes));
}

void ID3v2Tag::RemoveFrame(std::string_view id) {
    // Every frame of the identifier: a duplicate left behind would be read.
    std::erase_if(m_frames, [&](const Frame& frame) { return IdMatches(frame, id); });
}

void ID3v2Tag::SetTitle(std::string_view text) {
    SetUnicodeTextFrame(TitleId(), text, true);
}

void ID3v2Tag::SetArtist(std::string_view text) {
    if (text.empty())
        RemoveFrame(ArtistId());
    else
        SetUnicodeTextFrame(ArtistId(), text);
}

void ID3v2Tag::SetURL(std::string_view text) {
    if (text.empty())
        RemoveFrame(URLId());
    else if (GetURL() != text) // an unchanged URL keeps its frame as written
        SetFrameData(URLId(), UrlBytes(text));
}

void ID3v2Tag::SetLength(uint32_t seconds) {
    // An unknown length keeps its historical form, which reads back as unknown.
    std::string digits =
        seconds == 0xFFFFFFFFu ? std::string("-1000") : std::to_string(uint64_t(seconds) * 1000u);
    SetRawTextFrame(LengthId(), digits);
}

void ID3v2Tag::ResetTag() {
    m_frames.clear();
    m_partial = false;
    m_footer = false;
    m_major = 4;
    m_revision = 0;
    m_unsync = m_extended = m_experimental = false;
    m_size = kNewTagSize;
    m_frameStart = 0;
    m_complete = true;
    EncodeHeader();
}

bool ID3v2Tag::EncodeHeader() {
    if (m_major < 2 || m_major > 4 || m_size > kMaxTagSize)
        return false;
    m_header[0] = 'I';
    m_header[1] = 'D';
    m_header[2] = '3';
    m_header[3] = static_cast<uint8_t>(m_major);
    m_header[4] = static_cast<uint8_t>(m_revision);
    m_header[5] =
        static_cast<uint8_t>((m_unsync ? kFlagUnsync : 0) | (m_extended ? kFlagExtended : 0) |
                             (m_experimental ? kFlagExperimental : 0));
    EncodeSyncSafe(m_size, m_header + 6);
    return true;
}

size_t ID3v2Tag::FramesBytes() const {
    size_t total = 0;
    for (const Frame& frame : m_frames)
        total += HeaderBytes() + frame.data.size();
    return total;
}

bool ID3v2Tag::RenderTag() {
    if (m_partial)
        return false; // frames were left unread: rendering would lose them
    m_render.assign(size_t(m_size) + 10, '\0');
    std::memcpy(m_render.data(), m_header, 10);
    const size_t end = m_render.size();
    const size_t hdr = HeaderBytes();
    size_t pos = 10;
    for (const Frame& frame : m_frames) {
        const size_t dataSize = frame.data.size();
        const size_t maxData = m_major == 2 ? 0xFFFFFF : m_major == 4 ? kMaxTagSize : 0xFFFFFFFF;
        if (end - pos < hdr || end - pos - hdr < dataSize || dataSize > maxData)
            return false;
        auto* out = reinterpret_cast<uint8_t*>(m_render.data() + pos);
        size_t idLen = m_major == 2 ? 3 : 4;
        std::string id = frame.id;
        id.resize(idLen, ' ');
        std::memcpy(out, id.data(), idLen);
        const auto size32 = static_cast<uint32_t>(dataSize);
        if (m_major == 2) {
            PutBigEndian(size32, out + 3, 3);
        } else {
            if (m_major == 4)
                EncodeSyncSafe(size32, out + 4);
            else
                PutBigEndian(size32, out + 4, 4);
            PutBigEndian(frame.flags, out + 8, 2);
        }
        std::memcpy(out + hdr, frame.data.data(), dataSize);
        pos += hdr + dataSize;
    }
    return true;
}

bool ID3v2Tag::GrowToFit() {
    const uint64_t needed = FramesBytes();
    if (needed > m_size) {
        // The size grows in whole steps, as many as needed at once.
        uint64_t steps = (needed - m_size + kGrowStep - 1) / kGrowStep;
        uint64_t grown = m_size + steps * kGrowStep;
        if (grown > kMaxTagSize)
            return false;
        m_size = static_cast<uint32_t>(grown);
    }
    return EncodeHeader() && RenderTag();
}

void ID3v2Tag::DropUnwrittenFlags() {
    // Neither an extended header, nor unsynchronisation, nor a footer is
    // written: the frames were decoded when read, so the tag is written
    // whole and plain.
    m_unsync = false;
    m_extended = false;
    m_frameStart = 0;
}

void ID3v2Tag::SetTitleAndArtist(std::string_view title, std::string_view artist) {
    ResetTag();
    SetTitle(title);
    SetArtist(artist);
    GrowToFit();
}

bool ID3v2Tag::WriteTag(const std::string& file, bool force) {
    // Through a symbolic link the linked file is rewritten; the link stays.
    const std::string path = FollowLinks(file);
    if (path.empty())
        return false;
    const uint64_t oldTotal = uint64_t(m_size) + 10;
    DropUnwrittenFlags();
    if (!GrowToFit())
        return false;

    std::FILE* music = OpenRegularFile(path, "r+b");
    if (!music)
        return false;
    // The tag actually in the file decides what the new one replaces, so a
    // tag built elsewhere can never overwrite audio data.
    const uint64_t diskTotal = TagTotalOnDisk(music);

    if (!force && uint64_t(m_size) + 10 == oldTotal && diskTotal == oldTotal) {
        bool ok = std::fseek(music, 0, SEEK_SET) == 0 &&
                  std::fwrite(m_render.data(), 1, m_render.size(), music) == m_render.size();
        ok = std::fflush(music) == 0 && ok;
        ok = std::fclose(music) == 0 && ok;
        return ok;
    }

    // The new file is built beside the old one ("song.mp~", or another new
    // name when a file of that name exists) and replaces it in one step.
    FileReplacement replacement;
    bool ok = replacement.Begin(path, libfile::TemporaryName(path)) && replacement.Write(m_render);
    const uint64_t skip = force ? 0 : diskTotal;
    ok = ok && std::fseek(music, static_cast<long>(skip), SEEK_SET) == 0;
    std::string buffer(65536, '\0');
    while (ok) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), music);
        if (n == 0) {
            ok = std::ferror(music) == 0;
            break;
        }
        ok = replacement.Write(std::string_view(buffer.data(), n));
    }
    std::fclose(music);
    return ok && replacement.Commit();
}

bool ID3v1Record::Parse(std::string_view last128) {
    if (last128.size() != 128 || last128.substr(0, 3) != "TAG")
        return false;
    auto field = [&](size_t offset, size_t width) {
        std::string_view raw = last128.substr(offset, width);
        raw = raw.substr(0, raw.find('\0'));
        while (!raw.empty() && raw.back() == ' ')
            raw.remove_suffix(1);
        return IsValidUtf8(raw) ? std::string(raw) : Latin1ToUtf8(raw);
    };
    title = field(3, 30);
    artist = field(33, 30);
    album = field(63, 30);
    year = field(93, 4);
    comment = field(97, 30);
    genre = static_cast<uint8_t>(last128[127]);
    return true;
}

bool ID3v1Record::Read(const std::string& path) {
    std::FILE* f = OpenRegularFile(path, "rb");
    if (!f)
        return false;
    char buf[128];
    bool ok = std::fseek(f, -128, SEEK_END) == 0 && std::fread(buf, 1, 128, f) == 128;
    std::fclose(f);
    return ok && Parse(std::string_view(buf, 128));
}

} // namespace lyb
