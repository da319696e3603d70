#include "platform/media/exact_length.h"

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

namespace lyb {

// --- MP3 -------------------------------------------------------------------

namespace {

bool InitMpg123() {
    static std::once_flag once;
    static bool ok = false;
    // A no-op in current libraries, required by older ones.
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

struct Mpg123Handle {
    mpg123_handle* h = nullptr;
    std::FILE* file = nullptr;
    std::vector<char> buffer; ///< the file's stdio buffer; outlives the file
    bool open = false;
    ~Mpg123Handle() {
        if (open)
            mpg123_close(h);
        if (h)
            mpg123_delete(h);
        if (file)
            std::fclose(file);
    }
};

// The library's own reader asks the system for every frame header on its
// own; reading through a large stdio buffer makes the scan about ten times
// faster.
ssize_t ReadFile(void* handle, void* buf, size_t n) {
    const size_t got = std::fread(buf, 1, n, static_cast<std::FILE*>(handle));
    return got == 0 && std::ferror(static_cast<std::FILE*>(handle)) ? -1 : static_cast<ssize_t>(got);
}

off_t SeekFile(void* handle, off_t offset, int whence) {
    auto* f = static_cast<std::FILE*>(handle);
    if (::fseeko(f, offset, whence) != 0)
        return -1;
    return ::ftello(f);
}

constexpr size_t kScanBuffer = 256 * 1024;

} // namespace

bool Mp3ExactSeconds(const std::string& path, double& seconds) {
    if (!InitMpg123())
        return false;
    Mpg123Handle m;
    int err = MPG123_OK;
    m.h = mpg123_new(nullptr, &err);
    if (!m.h)
        return false;
    mpg123_param(m.h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    m.file = std::fopen(path.c_str(), "rb");
    if (!m.file)
        return false;
    m.buffer.resize(kScanBuffer);
    std::setvbuf(m.file, m.buffer.data(), _IOFBF, m.buffer.size());
    if (mpg123_replace_reader_handle(m.h, &ReadFile, &SeekFile, nullptr) != MPG123_OK ||
        mpg123_open_handle(m.h, m.file) != MPG123_OK)
        return false;
    m.open = true;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(m.h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return false;
    if (mpg123_scan(m.h) != MPG123_OK)
        return false;
    const off_t samples = mpg123_length(m.h);
    if (samples <= 0)
        return false;
    seconds = static_cast<double>(samples) / static_cast<double>(rate);
    return true;
}

// --- ADTS ------------------------------------------------------------------

namespace {

constexpr std::array<std::uint32_t, 13> kAdtsRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                      22050, 16000, 12000, 11025, 8000,  7350};

struct AdtsHeader {
    std::uint32_t frameLength = 0;
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::uint32_t blocks = 0;
};

bool ParseAdts(const std::uint8_t* b, AdtsHeader& h) {
    if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0 || (b[1] & 0x06) != 0)
        return false; // sync word, layer 0
    const unsigned rateIndex = (b[2] >> 2) & 0x0F;
    if (rateIndex >= kAdtsRates.size())
        return false;
    const bool crc = (b[1] & 0x01) == 0;
    h.frameLength = (static_cast<std::uint32_t>(b[3] & 0x03) << 11) | (static_cast<std::uint32_t>(b[4]) << 3) |
                    (b[5] >> 5);
    if (h.frameLength < (crc ? 9u : 7u))
        return false;
    h.rate = kAdtsRates[rateIndex];
    h.channels = ((b[2] & 0x01) << 2) | (b[3] >> 6);
    h.blocks = (b[6] & 0x03) + 1u;
    return true;
}

// A window over the file for reads at any offset; refills in large chunks
// so a walk from frame to frame reads the file once.
class FileWindow {
public:
    explicit FileWindow(std::FILE* f) : m_file(f), m_buf(1 << 16) {
        if (std::fseek(f, 0, SEEK_END) == 0) {
            const long n = std::ftell(f);
            m_size = n > 0 ? static_cast<std::uint64_t>(n) : 0;
        }
    }
    std::uint64_t Size() const { return m_size; }
    bool Get(std::uint64_t at, std::uint8_t* out, size_t n) {
        if (at + n > m_size)
            return false;
        if (at < m_start || at + n > m_start + m_len) {
            if (std::fseek(m_file, static_cast<long>(at), SEEK_SET) != 0)
                return false;
            m_start = at;
            m_len = std::fread(m_buf.data(), 1, m_buf.size(), m_file);
            if (m_len < n)
                return false;
        }
        std::memcpy(out, m_buf.data() + (at - m_start), n);
        return true;
    }

private:
    std::FILE* m_file;
    std::vector<std::uint8_t> m_buf;
    std::uint64_t m_size = 0;
    std::uint64_t m_start = 0;
    size_t m_len = 0;
};

// Length of the ID3v2 tag at `at` (header, body and footer), 0 when none.
std::uint64_t Id3v2Length(FileWindow& w, std::uint64_t at) {
    std::uint8_t h[10];
    if (!w.Get(at, h, sizeof h) || std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF)
        return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80)
        return 0; // not a synchsafe size
    const std::uint64_t body = (std::uint64_t(h[6]) << 21) | (std::uint64_t(h[7]) << 14) |
                               (std::uint64_t(h[8]) << 7) | h[9];
    return 10 + body + ((h[5] & 0x10) ? 10 : 0);
}

bool HeaderAt(FileWindow& w, std::uint64_t at, AdtsHeader& h) {
    std::uint8_t b[7];
    return w.Get(at, b, sizeof b) && ParseAdts(b, h);
}

} // namespace

AdtsScan ScanAdts(std::FILE* file) {
    AdtsScan scan;
    if (!file)
        return scan;
    FileWindow w(file);
    std::uint64_t at = 0;
    while (std::uint64_t tag = Id3v2Length(w, at))
        at += tag;
    const std::uint64_t size = w.Size();
    while (at + 7 <= size) {
        AdtsHeader h;
        if (HeaderAt(w, at, h)) {
            if (at + h.frameLength > size)
                break; // cut off by the end of the file
            if (scan.frames == 0) {
                scan.sampleRate = h.rate;
                scan.channels = h.channels;
            }
            ++scan.frames;
            scan.samples += 1024ull * h.blocks;
            scan.milliseconds += 1024.0 * h.blocks * 1000.0 / h.rate;
            at += h.frameLength;
            continue;
        }
        // Not a frame here: look for the next sync whose frame is followed by
        // another frame (or ends the file exactly), so a stray 0xFFF in
        // damaged data or a trailing tag is not taken for audio.
        std::uint64_t probe = at + 1;
        bool found = false;
        for (; probe + 7 <= size; ++probe) {
            AdtsHeader c, next;
            if (!HeaderAt(w, probe, c))
                continue;
            const std::uint64_t end = probe + c.frameLength;
            if (end == size || HeaderAt(w, end, next)) {
                found = true;
                break;
            }
        }
        scan.skippedBytes += (found ? probe : size) - at;
        if (!found)
            break;
        at = probe;
    }
    return scan;
}

AdtsScan ScanAdtsFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    AdtsScan scan = ScanAdts(f);
    std::fclose(f);
    return scan;
}

bool AdtsExactMilliseconds(const std::string& path, double& milliseconds) {
    const AdtsScan scan = ScanAdtsFile(path);
    if (!scan.Valid())
        return false;
    milliseconds = scan.milliseconds;
    return true;
}

} // namespace lyb
